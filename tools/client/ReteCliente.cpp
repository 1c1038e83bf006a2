/* tools/client/ReteCliente.cpp - il materiale di chiave del client. La rete della piattaforma e' in
 * ReteClienteWin.cpp e ReteClientePosix.cpp. */
#include "tools/client/cliente.h"

#include <time.h>

void GeneraMaterialeCliente(uint8_t *materiale)
{
    static uint32_t contatore = 0;
    uint32_t x = (uint32_t)time(NULL) ^ (IdentificativoProcesso() * 2654435761u) ^ (++contatore * 40503u);
    if (x == 0)
        x = 0x9e3779b9u;
    for (int i = 0; i < DIM_CHIAVE; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        materiale[i] = (uint8_t)(x >> 24);
    }
    /* Il materiale non deve sembrare la frase in chiaro al servizio. */
    if (materiale[0] == (uint8_t)FRASE_IN_CHIARO[0])
        materiale[0] ^= 0x80;
}
