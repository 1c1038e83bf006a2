/* setup/AccessiWin.cpp - verifica e concessione degli accessi di LocalSystem a una cartella.
 * Si legge e si scrive solo la DACL: proprietario, gruppo e SACL restano come sono.
 * Le chiamate di sicurezza che rendono il codice d'errore (GetNamedSecurityInfo, SetEntriesInAcl,
 * SetNamedSecurityInfo) non lo lasciano come ultimo errore del thread: lo si imposta prima del log. */
#include "setup/setup.h"

#include "base/base.h"
#include "setup/Accessi.h"
#include "setup/AccessiWin.h"

#include <stdlib.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

int VerificaAccessiLocalSystem(const char *pathRoot)
{
    PSECURITY_DESCRIPTOR descrittore = NULL;
    SECURITY_DESCRIPTOR assoluto;
    DWORD dimAssoluto = sizeof assoluto;
    PACL dacl = NULL, sacl = NULL;
    PSID proprietario = NULL, gruppo = NULL;
    DWORD dimDacl = 0, dimSacl = 0, dimProprietario = 0, dimGruppo = 0;
    char *testo = NULL;
    DWORD esito = 0;
    int bStatus = 1;

    ScriviLog("VerificaAccessiLocalSystem - ENTRO - pathRoot %s\n", pathRoot);
    esito = GetNamedSecurityInfoA(pathRoot, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, NULL, NULL, NULL,
                                  NULL, &descrittore);
    if (esito != ERROR_SUCCESS) {
        SetLastError(esito);
        ScriviLogErrore("VerificaAccessiLocalSystem - GetNamedSecurityInfo \n");
        bStatus = 0;
        goto fine;
    }
    /* Prima prova senza spazio per le parti: di solito fallisce e dice quanto ne serve. */
    if (!MakeAbsoluteSD(descrittore, &assoluto, &dimAssoluto, NULL, &dimDacl, NULL, &dimSacl, NULL,
                        &dimProprietario, NULL, &dimGruppo)) {
        /* Una parte assente ha dimensione 0 e nessuna area. */
        if (dimDacl > 0)
            dacl = (PACL)calloc(1, dimDacl);
        if (dimSacl > 0)
            sacl = (PACL)calloc(1, dimSacl);
        if (dimProprietario > 0)
            proprietario = calloc(1, dimProprietario);
        if (dimGruppo > 0)
            gruppo = calloc(1, dimGruppo);
        if ((dimDacl > 0 && dacl == NULL) || (dimSacl > 0 && sacl == NULL) ||
            (dimProprietario > 0 && proprietario == NULL) || (dimGruppo > 0 && gruppo == NULL)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            ScriviLogErrore("VerificaAccessiLocalSystem - MakeAbsoluteSD1 \n");
            bStatus = 0;
            goto fine;
        }
        dimAssoluto = sizeof assoluto;
        if (!MakeAbsoluteSD(descrittore, &assoluto, &dimAssoluto, dacl, &dimDacl, sacl, &dimSacl,
                            proprietario, &dimProprietario, gruppo, &dimGruppo)) {
            ScriviLogErrore("VerificaAccessiLocalSystem - MakeAbsoluteSD2  \n");
            bStatus = 0;
            goto fine;
        }
    }
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(&assoluto, SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &testo, NULL)) {
        ScriviLogErrore("VerificaAccessiLocalSystem - ConvertSecurityDescriptorToStringSecurityDescriptor \n");
        bStatus = 0;
        goto fine;
    }
    ScriviLog("VerificaAccessiLocalSystem %s\n", testo);
    bStatus = SddlNominaLocalSystem(testo);
    LocalFree(testo);

fine:
    free(gruppo);
    free(proprietario);
    free(sacl);
    free(dacl);
    if (descrittore != NULL)
        LocalFree(descrittore);
    ScriviLog("VerificaAccessiLocalSystem - ESCO - bStatus %d\n", bStatus);
    return bStatus;
}

int DaclConLocalSystem(PACL daclEsistente, PACL *nuovaLista)
{
    SID_IDENTIFIER_AUTHORITY autoritaNt = SECURITY_NT_AUTHORITY;
    PSID localSystem = NULL;
    EXPLICIT_ACCESSA voce;
    DWORD esito = 0;
    int riuscito = 0;

    *nuovaLista = NULL;
    if (daclEsistente == NULL) {
        ScriviLog("ImpostaAccessiLocalSystem - DACL nulla: l'accesso e' gia' libero per tutti, resta com'e'\n");
        return 1;
    }
    if (!AllocateAndInitializeSid(&autoritaNt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                  &localSystem)) {
        ScriviLogErrore("ImpostaAccessiLocalSystem - AllocateAndInitializeSid \n");
        goto fine;
    }
    ZeroMemory(&voce, sizeof voce);
    voce.grfAccessPermissions = GENERIC_ALL;
    voce.grfAccessMode = SET_ACCESS;
    voce.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    voce.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    voce.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    voce.Trustee.ptstrName = (LPSTR)localSystem;
    esito = SetEntriesInAclA(1, &voce, daclEsistente, nuovaLista);
    if (esito != ERROR_SUCCESS) {
        *nuovaLista = NULL;
        SetLastError(esito);
        ScriviLogErrore("ImpostaAccessiLocalSystem - SetEntriesInAcl \n");
        goto fine;
    }
    riuscito = 1;

fine:
    if (localSystem != NULL)
        FreeSid(localSystem);
    return riuscito;
}

int ImpostaAccessiLocalSystem(const char *pathRoot)
{
    PSECURITY_DESCRIPTOR descrittore = NULL;
    PACL dacl = NULL;
    PACL nuovaLista = NULL;
    DWORD esito = 0;
    int bStatus = 1;

    ScriviLog("ImpostaAccessiLocalSystem - ENTRO - pathRoot %s\n", pathRoot);
    if (GetFileAttributesA(pathRoot) == INVALID_FILE_ATTRIBUTES)
        return 0;
    esito = GetNamedSecurityInfoA(pathRoot, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, NULL, NULL, &dacl,
                                  NULL, &descrittore);
    if (esito != ERROR_SUCCESS) {
        SetLastError(esito);
        ScriviLogErrore("ImpostaAccessiLocalSystem - GetNamedSecurityInfo \n");
        bStatus = 0;
        goto fine;
    }
    if (!DaclConLocalSystem(dacl, &nuovaLista)) {
        bStatus = 0;
        goto fine;
    }
    if (nuovaLista == NULL)
        goto fine;
    /* SetNamedSecurityInfo non modifica il nome, ma lo vuole non costante. */
    esito = SetNamedSecurityInfoA(const_cast<char *>(pathRoot), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                  NULL, NULL, nuovaLista, NULL);
    if (esito != ERROR_SUCCESS) {
        SetLastError(esito);
        ScriviLogErrore("ImpostaAccessiLocalSystem - SetNamedSecurityInfo \n");
        bStatus = 0;
    }

fine:
    if (nuovaLista != NULL)
        LocalFree(nuovaLista);
    if (descrittore != NULL)
        LocalFree(descrittore);
    ScriviLog("ImpostaAccessiLocalSystem - ESCO - bStatus %d\n", bStatus);
    return bStatus;
}

FiduciarioAmpio CartellaScrivibileDaTutti(const char *cartella)
{
    PSECURITY_DESCRIPTOR descrittore = NULL;
    char *testo = NULL;
    DWORD esito = 0;
    FiduciarioAmpio fiduciario = NESSUN_FIDUCIARIO;

    esito = GetNamedSecurityInfoA(cartella, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, NULL, NULL, NULL, NULL,
                                  &descrittore);
    if (esito != ERROR_SUCCESS) {
        SetLastError(esito);
        ScriviLogErrore("CartellaScrivibileDaTutti - GetNamedSecurityInfo %s", cartella);
        descrittore = NULL;
        goto fine;
    }
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descrittore, SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &testo, NULL)) {
        ScriviLogErrore("CartellaScrivibileDaTutti - ConvertSecurityDescriptorToStringSecurityDescriptor");
        testo = NULL;
        goto fine;
    }
    fiduciario = SddlScrivibileDaTutti(testo);
fine:
    if (testo != NULL)
        LocalFree(testo);
    if (descrittore != NULL)
        LocalFree(descrittore);
    return fiduciario;
}
