// The job's hooks at job, document and page boundaries, and cancellation.
#ifndef QUORVANE_JOB_HOOKS_H
#define QUORVANE_JOB_HOOKS_H

#include <cups/ppd.h>

#include <csignal>

// Set to 1 by SIGTERM; polled before each page and before each copy.
extern volatile sig_atomic_t Canceled;

// Each hook writes its trace line, then the printer commands the PPD gives
// it; StartJob writes the job's 64 zero bytes in between. True when all of
// it was written; main does not need to know.
bool StartJob(ppd_file_t *ppd);
bool StartDoc(ppd_file_t *ppd);
bool StartPage(ppd_file_t *ppd);
bool EndPage(ppd_file_t *ppd);
bool EndDoc(ppd_file_t *ppd);
bool EndJob(ppd_file_t *ppd);

// Clears Canceled and installs CancelJob for SIGTERM.
void RegCancelSignal();
void CancelJob(int signal_number);

#endif
