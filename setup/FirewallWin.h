/* setup/FirewallWin.h - pezzi della regola del firewall che i test usano da soli. */
#ifndef SETUP_FIREWALLWIN_H
#define SETUP_FIREWALLWIN_H

#include <windows.h>
#include <netfw.h>
#include <oaidl.h>

/* Percorre le regole del firewall una alla volta finche' ne trova una il cui ServiceName e' proprio
 * "tarnel" (maiuscole comprese). 1 se trovata, 0 a fine elenco o al primo passo fallito (nel log).
 * Ogni elemento preso viene rilasciato; l'elenco resta del chiamante. */
int CercaRegolaServizio(IEnumVARIANT *elenco);
/* Imposta sulla regola nuova tutte le proprieta' della regola del servizio, nell'ordine: nome,
 * descrizione, eseguibile, servizio, protocollo TCP, gruppo, profili (dominio, privato, pubblico),
 * azione consenti, abilitata. I testi restano del chiamante. Gli esiti non si guardano. */
void ImpostaProprietaRegola(INetFwRule *regola, BSTR nome, BSTR descrizione, BSTR pathEseguibile,
                            BSTR nomeServizio, BSTR gruppo);
/* Percorso completo dell'eseguibile in testo largo (al piu' 259 caratteri), troncato entro dim. */
void PathEseguibileLargo(wchar_t *dest, size_t dim);

#endif
