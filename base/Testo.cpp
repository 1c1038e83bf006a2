/* base/Testo.cpp - copia e formattazione di testi a dimensione fissa, sempre terminati. */
#include "base/base.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

int CopiaTesto(char *dest, size_t dim, const char *sorgente)
{
    if (dim == 0)
        return 0;
    size_t lung = strlen(sorgente);
    size_t copiati = lung < dim ? lung : dim - 1;
    memmove(dest, sorgente, copiati);
    dest[copiati] = '\0';
    return copiati == lung;
}

int FormattaTesto(char *dest, size_t dim, const char *formato, ...)
{
    if (dim == 0)
        return 0;
    va_list argomenti;
    va_start(argomenti, formato);
    int necessari = vsnprintf(dest, dim, formato, argomenti);
    va_end(argomenti);
    if (necessari < 0) {
        dest[0] = '\0';
        return 0;
    }
    return (size_t)necessari < dim;
}
