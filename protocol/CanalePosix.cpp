/* protocol/CanalePosix.cpp - CanaleRete su un socket BSD (build nativa: test e strumenti).
 * Gli errori di sistema vanno nel log con il nome della chiamata; la chiusura del peer no. */
#include "protocol/protocol.h"

#include "base/base.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

static int DescrittoreDi(void *contesto)
{
    return *(SocketRete *)contesto;
}

static int RiceviSocket(void *contesto, uint8_t *dove, int quanti)
{
    ssize_t n;
    do
        n = recv(DescrittoreDi(contesto), dove, (size_t)quanti, 0);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        ScriviLogErrore("recv");
        return -1;
    }
    return (int)n;
}

static int SbirciaSocket(void *contesto, uint8_t *dove, int quanti)
{
    ssize_t n;
    do
        n = recv(DescrittoreDi(contesto), dove, (size_t)quanti, MSG_PEEK);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        ScriviLogErrore("recv");
        return -1;
    }
    return (int)n;
}

/* MSG_NOSIGNAL: un peer chiuso da' un errore, non SIGPIPE. */
static int InviaSocket(void *contesto, const uint8_t *cosa, int quanti)
{
    ssize_t n;
    do
        n = send(DescrittoreDi(contesto), cosa, (size_t)quanti, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        ScriviLogErrore("send");
        return -1;
    }
    return (int)n;
}

static int AttendiSocket(void *contesto, int millisecondi)
{
    struct pollfd attesa;
    int n;
    attesa.fd = DescrittoreDi(contesto);
    attesa.events = POLLIN;
    attesa.revents = 0;
    do
        n = poll(&attesa, 1, millisecondi);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        ScriviLogErrore("poll");
        return -1;
    }
    return n > 0 ? 1 : 0;
}

void CanaleSuSocket(CanaleRete *canale, SocketRete *s)
{
    canale->ricevi = RiceviSocket;
    canale->invia = InviaSocket;
    canale->attendi = AttendiSocket;
    canale->sbircia = SbirciaSocket;
    canale->contesto = s;
}

uint32_t IdentificativoProcesso(void)
{
    return (uint32_t)getpid();
}
