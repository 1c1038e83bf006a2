/* fuzz/LogNullo.cpp - i record del log scartati (fuzz e misure): formato e argomenti passano comunque
 * dai sanitizer. */
#include "base/base.h"

void ConsegnaRecordLog(const char *record)
{
    (void)record;
}
