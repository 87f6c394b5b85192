// "Completed means the printer took it": how a job's bytes reach the
// printer, and what the printer's owner is told while they cannot.
//
// Network and serial printers (socket://HOST[:PORT], serial:/dev/...) go
// through the application's own links (link.h): a link opens when the first
// byte is due, waits for a printer that cannot be reached or takes no data
// for as long as it takes, tells the printer's state and the job's message
// meanwhile, and gives up only when the job is cancelled or the connection
// is lost. Other devices (USB, file) are PAPPL's own: a write that returned
// is taken.
#ifndef QUORVANE_APP_DELIVERY_H
#define QUORVANE_APP_DELIVERY_H

#include <pappl/pappl.h>

#include <string>

namespace quorvane::app {

// How long a printer may take no data before its owner is told.
inline constexpr int kStallSeconds = 10;

// The message a printer that takes no data shows.
inline constexpr char kNotTakingData[] =
    "The printer is not taking data: out of paper, cover open or switched off?";

// The job whose bytes go through `device` from now on, until detach_job:
// its cancel ends a wait, and its printer and message tell of one.
void attach_job(pappl_device_t *device, pappl_job_t *job);
void detach_job(pappl_device_t *device);

enum class Handover { kTaken, kCanceled, kFailed };

// Flushes PAPPL's write buffer and waits until the printer has taken every
// byte written so far (for a network printer: the connection's send queue is
// empty). kFailed says why in failure().
Handover wait_until_taken(pappl_device_t *device);

// Why the last write or wait on `device` failed, for the job's message.
std::string failure(pappl_device_t *device);

// Tells the printer's state (`reason`, with `message`) and the job's
// message that the printer cannot go on; printer_resumed takes it back.
void printer_waits(pappl_job_t *job, const std::string &message, pappl_preason_t reason = PAPPL_PREASON_OFFLINE);
void printer_resumed(pappl_job_t *job);

// Once set, no link sends another byte: the server is about to stop and
// keeps its waiting jobs for the next start (job_keeper.cpp).
void freeze_output();
bool output_frozen();

}  // namespace quorvane::app

#endif
