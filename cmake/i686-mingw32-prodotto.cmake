# cmake/i686-mingw32-prodotto.cmake - the shipped tarnel.exe: 32-bit, MinGW-w64 compilers with the win32
# thread model. The -posix ones link the static winpthreads, which imports KERNEL32 functions that
# systems of major version 5 lack; only the service is built here, so nothing needs it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# No MinGW runtime DLL beside the executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
