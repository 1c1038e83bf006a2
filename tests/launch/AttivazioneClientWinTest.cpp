/* tests/launch/AttivazioneClientWinTest.cpp - il thread di connessione vero, con lo stack che gli
 * riserva il listener: conversazione completa e bisogno di stack misurato. */
#include "launch/launch.h"

#include "service/Listener.h"
#include "tests/finti/SocketProva.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <malloc.h>
#include <string.h>
#include <string>

#include <windows.h>

#define VERNICE 0xCD
#define DIM_VERNICIATA (DIM_STACK_CONNESSIONE - 32 * 1024)

static volatile uint8_t *fondoVerniciato = NULL;
static size_t bisognoMisurato = 0;
static unsigned long esitoThread = 0;

/* Vernicia lo stack sotto il chiamante; alloca tocca le pagine in ordine, impegnandole. */
static void __attribute__((noinline)) VerniciaStack(void)
{
    volatile uint8_t *area = (volatile uint8_t *)alloca(DIM_VERNICIATA);
    memset((void *)area, VERNICE, DIM_VERNICIATA);
    /* Senza questa barriera il compilatore toglie la memset su un'area che nessuno rilegge. */
    __asm__ __volatile__("" : : "r"(area) : "memory");
    fondoVerniciato = area;
}

/* Thread come quelli del listener: vernicia, esegue AttivazioneClient, misura fin dove e' sceso. */
static DWORD WINAPI MisuraAttivazione(LPVOID socketAccettato)
{
    volatile uint8_t cima = 0;
    VerniciaStack();
    esitoThread = AttivazioneClient(socketAccettato);
    const volatile uint8_t *letto = fondoVerniciato;
    while (letto < &cima && *letto == VERNICE)
        letto++;
    bisognoMisurato = (size_t)(&cima - letto);
    return 0;
}

/* Una conversazione con il thread di connessione vero; rende il bisogno di stack misurato. */
static size_t Conversazione(int inChiaro, const std::string &corpo, std::string *risposta)
{
    SocketRete client = SOCKET_NON_VALIDO, servizio = SOCKET_NON_VALIDO;
    StatoCifratura stato = {};
    uint8_t area[DIM_AREA_MESSAGGIO];
    int lung = 0;

    if (!AvviaReteProva() || !CoppiaConnessa(&client, &servizio))
        return 0;
    HANDLE thread = CreateThread(NULL, DIM_STACK_CONNESSIONE, MisuraAttivazione, (LPVOID)servizio,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
    scambioChiaviCliente(client, &stato, inChiaro);
    memcpy(area, corpo.data(), corpo.size());
    if (inChiaro)
        invioBufferInChiaro(client, area, (int)corpo.size());
    else
        invioBuffer(client, &stato, area, (int)corpo.size());
    int esito = inChiaro ? ricezioneBufferInChiaro(client, area, sizeof area, &lung)
                         : ricezioneBuffer(client, &stato, area, sizeof area, &lung);
    risposta->assign(esito == ESITO_FATTO ? std::string((const char *)area, lung) : "");
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    ChiudiSocketProva(client);
    return bisognoMisurato;
}

TEST(AttivazioneClient, RispondeEChiudeConMetaStackDiMargine)
{
    std::string risposta;
    std::string corpo = std::string("000050000X") + "00003uno" + "00001S" + "00004PROG" + "00000";
    size_t cifrata = Conversazione(0, corpo, &risposta);
    EXPECT_EQ(1u, esitoThread);
    EXPECT_EQ(std::string("000050109X") + "00003uno" + "00001S" + "00004PROG" + "00000", risposta);
    size_t inChiaro = Conversazione(1, corpo, &risposta);
    EXPECT_EQ(1u, esitoThread);
    size_t rifiutata = Conversazione(1, "00003abc00000", &risposta);
    EXPECT_EQ(0u, esitoThread);
    EXPECT_EQ("", risposta);

    size_t bisogno = std::max(cifrata, std::max(inChiaro, rifiutata));
    printf("bisogno di stack misurato: cifrata %u, in chiaro %u, rifiutata %u byte (riserva %u)\n", (unsigned)cifrata,
           (unsigned)inChiaro, (unsigned)rifiutata, (unsigned)DIM_STACK_CONNESSIONE);
    RecordProperty("bisognoStack", (int)bisogno);
    EXPECT_GT(bisogno, 8000u);  // la misura vede almeno le aree della conversazione
    EXPECT_LE(2 * bisogno, (size_t)DIM_STACK_CONNESSIONE);
}
