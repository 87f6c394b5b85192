// Hearing the printer: asking it how it is (printer_status.h) when a client
// asks for its attributes, every few seconds while it is idle, before each
// job and after each page, and telling PAPPL: printer-state-reasons
// (media-empty, media-low, media-needed during a job, cover-open, offline,
// other with a message) and the paper supply. A printer that does not
// answer is not asked again for some minutes, and never holds a job up for
// more than about a second. Links the application owns (socket, serial)
// are asked; other devices and models with no status stay "unknown".
#ifndef QUORVANE_APP_STATUS_WATCH_H
#define QUORVANE_APP_STATUS_WATCH_H

#include <pappl/pappl.h>

namespace quorvane::app {

// Whether printers are asked at all (on unless the server is told
// status-queries=off: some clone printers choke on commands they do not
// know).
void enable_status_queries(bool on);

// PAPPL's status callback: asks the idle printer.
bool status_callback(pappl_printer_t *printer);

// Asks every idle printer every few seconds, from PAPPL's main loop.
void watch_idle_printers(pappl_system_t *system);

// Before a job's first byte: while the printer says it cannot print (paper
// out, cover open, an error), the job waits with the reason shown. Returns
// when the printer is ready, does not answer, or the job is cancelled.
void wait_until_printer_ready(pappl_job_t *job, pappl_device_t *device);

// After a page: what the printer says now (paper near its end, say).
void hear_printer_after_page(pappl_job_t *job, pappl_device_t *device);

}  // namespace quorvane::app

#endif
