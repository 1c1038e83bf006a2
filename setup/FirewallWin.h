/* setup/FirewallWin.h - pezzi della regola del firewall che i test usano da soli. */
#ifndef SETUP_FIREWALLWIN_H
#define SETUP_FIREWALLWIN_H

#include <windows.h>
#include <netfw.h>
#include <oaidl.h>

/* Sistemi di versione 6 e successive: la policy del firewall. */
HRESULT WFCOMInitialize(INetFwPolicy2 **policy);
/* Sistemi precedenti: il profilo corrente e le sue applicazioni autorizzate. */
HRESULT WindowsFirewallInitialize(INetFwProfile **profilo);
HRESULT IsApplicazioneAbilitata(INetFwProfile *profilo, const wchar_t *pathEseguibile, BOOL *abilitata);

/* Percorre le regole del firewall una alla volta finche' ne trova una il cui ServiceName e' proprio
 * "tarnel" (maiuscole comprese). 1 se trovata, 0 a fine elenco o al primo passo fallito (nel log).
 * Ogni elemento preso viene rilasciato; l'elenco resta del chiamante. */
int CercaRegolaServizio(IEnumVARIANT *elenco);
/* I testi della regola del servizio. */
typedef struct TestiRegola {
    BSTR nome;
    BSTR descrizione;
    BSTR pathEseguibile;
    BSTR nomeServizio;
    BSTR gruppo;
} TestiRegola;

/* Alloca i testi della regola, con il percorso dell'eseguibile in esecuzione. 1 se riuscito; in ogni
 * caso i testi vanno poi liberati con LiberaTestiRegola. */
int PreparaTestiRegola(TestiRegola *testi);
void LiberaTestiRegola(TestiRegola *testi);
/* Imposta sulla regola nuova tutte le proprieta' della regola del servizio, nell'ordine: nome,
 * descrizione, eseguibile, servizio, protocollo TCP, gruppo, profili (dominio, privato, pubblico),
 * azione consenti, abilitata. Gli esiti non si guardano. */
void ImpostaProprietaRegola(INetFwRule *regola, const TestiRegola *testi);
/* Le funzioni di oleaut32 del firewall. La libreria si carica dalla cartella di sistema al primo
 * uso e resta per il processo: la usano solo i comandi di amministrazione, e il servizio non la
 * tiene mappata. Se non si carica (una riga nel log) i testi sono NULL, la liberazione non fa nulla,
 * SvuotaVarianteOle e CambiaTipoOle rendono E_FAIL. */
BSTR TestoOle(const OLECHAR *testo);
void LiberaTestoOle(BSTR testo);
UINT LunghezzaTestoOle(BSTR testo);
void IniziaVarianteOle(VARIANTARG *variante);
HRESULT SvuotaVarianteOle(VARIANTARG *variante);
HRESULT CambiaTipoOle(VARIANTARG *dest, const VARIANTARG *origine, USHORT flag, VARTYPE tipo);

/* Percorso completo dell'eseguibile in testo largo (al piu' 259 caratteri), troncato entro dim. */
void PathEseguibileLargo(wchar_t *dest, size_t dim);

#endif
