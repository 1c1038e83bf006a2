# cmake/sorgenti-portabili.cmake - the portable sources that the fuzzing and benchmark projects build on
# their own (outside the main build, with their own compiler and flags). RADICE is the repository.
# SORGENTI_PROTOCOLLO: the wire protocol with the discard log; SORGENTI_RICHIESTA: also the whole
# request path of one connection (negotiation, parameter file, environment block).
set(SORGENTI_PROTOCOLLO
  ${RADICE}/fuzz/LogNullo.cpp ${RADICE}/base/LogSemplice.cpp ${RADICE}/base/Log.cpp ${RADICE}/base/Testo.cpp
  ${RADICE}/base/Percorsi.cpp ${RADICE}/base/CartellaPosix.cpp
  ${RADICE}/protocol/Cifratura.cpp ${RADICE}/protocol/ScambioChiavi.cpp ${RADICE}/protocol/Trama.cpp
  ${RADICE}/protocol/ListaCampi.cpp ${RADICE}/protocol/Lzw.cpp ${RADICE}/protocol/CanalePosix.cpp)
set(SORGENTI_RICHIESTA ${SORGENTI_PROTOCOLLO}
  ${RADICE}/install/Tabella.cpp ${RADICE}/install/PercorsiAmbiente.cpp
  ${RADICE}/launch/Richiesta.cpp ${RADICE}/launch/CartellaLavoro.cpp ${RADICE}/launch/Aggiornamenti.cpp
  ${RADICE}/launch/NegoziazioneRichiesta.cpp ${RADICE}/launch/PreparaEnvironment.cpp
  ${RADICE}/launch/PassiLancioPosix.cpp)
