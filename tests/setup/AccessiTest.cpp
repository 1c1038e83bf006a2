/* tests/setup/AccessiTest.cpp - la decisione sugli accessi di LocalSystem, su testi SDDL di DACL. */
#include "setup/Accessi.h"
#include "setup/setup.h"

#include <gtest/gtest.h>

TEST(Accessi, DaclCheNominaLocalSystemComeFiduciario)
{
    struct Caso {
        const char *sddl;
        int atteso;
    } casi[] = {
        // Voci per SY: consentita, negata, ereditata, con diritti ridotti, in mezzo ad altre, sola.
        {"D:(A;OICI;FA;;;SY)", 1},
        {"D:(D;;FA;;;SY)", 1},
        {"D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)", 1},
        {"D:(A;;0x1200a9;;;SY)", 1},
        {"D:(A;OICI;FA;;;BA)(A;OICI;GA;;;SY)(A;OICI;0x1200a9;;;BU)", 1},
        {"D:P(A;OICI;FA;;;SY)", 1},
        // La DACL che si legge sotto Wine per qualunque cartella.
        {"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)(A;OICI;0x1200a9;;;WD)", 1},
        // Voce d'oggetto con i GUID: il fiduciario resta l'ultimo campo.
        {"D:(OA;;CR;ab721a53-1e2f-11d0-9819-00aa0040529b;;SY)", 1},
        // Nessuna voce per SY: solo amministratori e utenti, un utente del dominio, nessuna voce.
        {"D:(A;;FA;;;BA)(A;;0x1200a9;;;BU)", 0},
        {"D:(A;OICI;FA;;;S-1-5-21-1004336348-1177238915-682003330-1000)", 0},
        {"D:(A;OICI;FA;;;S-1-5-21-1-2-3-18)", 0},
        {"D:", 0},
        {"D:P", 0},
        {"", 0},
        // Servizio di rete (NS) e sistema in altri campi non sono LocalSystem.
        {"D:(A;;FA;;;NS)(A;;FA;;;LS)", 0},
        {"O:SYG:SYD:(A;;FA;;;BA)", 0},
        // LocalSystem scritto come SID per esteso; un SID che solo finisce o comincia allo stesso modo no.
        {"D:(A;;FA;;;S-1-5-18)", 1},
        {"D:(A;;FA;;;S-1-5-21-7-8-9-1-5-18)", 0},
        {"D:(A;;FA;;;S-1-5-180)", 0},
        // DACL nulla: nessun controllo d'accesso, LocalSystem entra gia'.
        {"D:NO_ACCESS_CONTROL", 1},
        {"D:PNO_ACCESS_CONTROL", 1},
        {"D:PAINO_ACCESS_CONTROL", 1},
    };
    for (const Caso &caso : casi) {
        SCOPED_TRACE(caso.sddl);
        EXPECT_EQ(caso.atteso, SddlNominaLocalSystem(caso.sddl));
    }
    EXPECT_EQ(0, SddlNominaLocalSystem(nullptr));
}

TEST(Accessi, CartellaScrivibileDaFiduciariAmpi)
{
    struct {
        const char *sddl;
        FiduciarioAmpio atteso;
    } casi[] = {
        {"D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", NESSUN_FIDUCIARIO},  // lettura ed esecuzione
        {"D:AI(A;OICIID;0x1301bf;;;AU)", FIDUCIARIO_AUTENTICATI},                           // modifica
        {"D:(A;;FRFW;;;WD)", FIDUCIARIO_EVERYONE},
        {"D:(A;OICIIO;GW;;;S-1-5-32-545)", FIDUCIARIO_USERS},  // per esteso, solo ereditata
        {"D:(A;;DC;;;BU)", FIDUCIARIO_USERS},                 // aggiungere file basta
        {"D:(D;;FA;;;WD)(A;;FA;;;BA)", NESSUN_FIDUCIARIO},    // negazione, e amministratori
        {"D:(A;;FA;;;S-1-5-32-5451)", NESSUN_FIDUCIARIO},     // un altro SID con lo stesso inizio
        {"D:NO_ACCESS_CONTROL", FIDUCIARIO_EVERYONE},
        {"D:(A;;FA;;;BU", NESSUN_FIDUCIARIO},                 // voce troncata
        {"", NESSUN_FIDUCIARIO},
    };
    for (const auto &caso : casi) {
        SCOPED_TRACE(caso.sddl);
        EXPECT_EQ(caso.atteso, SddlScrivibileDaTutti(caso.sddl));
    }
    EXPECT_EQ(NESSUN_FIDUCIARIO, SddlScrivibileDaTutti(nullptr));
    EXPECT_STREQ("Authenticated Users", NomeFiduciarioAmpio(FIDUCIARIO_AUTENTICATI));
}
