/* tests/finti/LogMemoria.cpp - i record del log tenuti in memoria, che i test leggono e svuotano. */
#include "tests/finti/LogMemoria.h"

#include "base/base.h"

#include <mutex>

static std::mutex bloccoLog;
static std::string testoLog;

void ConsegnaRecordLog(const char *record)
{
    std::lock_guard<std::mutex> guardia(bloccoLog);
    testoLog += record;
}

std::string TestoLogMemoria()
{
    std::lock_guard<std::mutex> guardia(bloccoLog);
    return testoLog;
}

void SvuotaLogMemoria()
{
    std::lock_guard<std::mutex> guardia(bloccoLog);
    testoLog.clear();
}
