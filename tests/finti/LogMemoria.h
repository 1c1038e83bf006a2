/* tests/finti/LogMemoria.h - log in memoria per i test: ScriviLog e ScriviLogErrore accodano i
 * record (senza data e ora) a un testo che i test leggono e svuotano. */
#ifndef FINTI_LOGMEMORIA_H
#define FINTI_LOGMEMORIA_H

#include <string>

std::string TestoLogMemoria();
void SvuotaLogMemoria();

#endif
