/* tests/finti/PassiSalvati.h - il record di passi di sistema (vedi base/base.h) copiato quando la
 * prova lo prende e rimesso quando finisce, anche dopo un ASSERT fallito. */
#ifndef PROVE_FINTI_PASSISALVATI_H
#define PROVE_FINTI_PASSISALVATI_H

template <typename Passi> struct PassiSalvati {
    Passi &record;
    const Passi copia;
    explicit PassiSalvati(Passi &daSalvare) : record(daSalvare), copia(daSalvare) {}
    ~PassiSalvati() { record = copia; }
    PassiSalvati(const PassiSalvati &) = delete;
    PassiSalvati &operator=(const PassiSalvati &) = delete;
};

#endif
