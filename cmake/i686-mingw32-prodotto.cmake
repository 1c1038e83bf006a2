# cmake/i686-mingw32-prodotto.cmake - the shipped tarnel.exe: the 32-bit cross build with the MinGW-w64
# compilers of the win32 thread model. The -posix ones link the static winpthreads, which imports
# KERNEL32 functions that systems of major version 5 lack; only the service is built here, so
# nothing needs it.
include(${CMAKE_CURRENT_LIST_DIR}/i686-mingw32.cmake)
set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
