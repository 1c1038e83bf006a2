/* setup/Accessi.h - decisione sugli accessi di LocalSystem, sul testo SDDL della DACL di una cartella.
 * Portabile: nessun tipo di Windows. */
#ifndef SETUP_ACCESSI_H
#define SETUP_ACCESSI_H

/* 1 se la DACL scritta in SDDL (revisione 1, sola parte D:) lascia entrare LocalSystem: una voce
 * che ha LocalSystem (SY) come fiduciario, di qualunque tipo e con qualunque diritto, oppure una
 * DACL nulla, che non controlla nessun accesso. 0 altrimenti, e per un testo NULL. */
int SddlNominaLocalSystem(const char *testoSddl);

#endif
