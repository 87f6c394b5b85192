// Where the filter appends its trace; fixed when the filter is built.
#ifndef QUORVANE_TRACE_PATH_H
#define QUORVANE_TRACE_PATH_H

extern const char *const kTraceFilePath;

#endif
