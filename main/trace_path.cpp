#include "trace_path.h"

#ifndef QUORVANE_TRACE_FILE
#define QUORVANE_TRACE_FILE "/var/log/cups/quorvane_log"
#endif

const char *const kTraceFilePath = QUORVANE_TRACE_FILE;
