#include "delivery.h"

#include <atomic>

#include "pappl_compat.h"
#include "link.h"

namespace quorvane::app {

namespace {

std::atomic<bool> frozen{false};

}  // namespace

void attach_job(pappl_device_t *device, pappl_job_t *job) {
  if (Link *link = link_of(device)) link->attach(job);
}

void detach_job(pappl_device_t *device) {
  if (Link *link = link_of(device)) link->detach();
}

Handover wait_until_taken(pappl_device_t *device) {
  papplDeviceFlush(device);
  if (Link *link = link_of(device)) return link->wait_until_taken();
  return Handover::kTaken;
}

std::string failure(pappl_device_t *device) {
  if (Link *link = link_of(device)) return link->failure();
  return {};
}

void printer_waits(pappl_job_t *job, const std::string &message, pappl_preason_t reason) {
  pappl_printer_t *printer = papplJobGetPrinter(job);
  papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%s", message.c_str());
  set_printer_state_message(printer, message);
  papplPrinterSetReasons(printer, reason, PAPPL_PREASON_NONE);
  papplJobSetReasons(job, PAPPL_JREASON_PRINTER_STOPPED, PAPPL_JREASON_NONE);
  papplJobSetMessage(job, "%s", message.c_str());
}

void printer_resumed(pappl_job_t *job) {
  pappl_printer_t *printer = papplJobGetPrinter(job);
  papplLogJob(job, PAPPL_LOGLEVEL_INFO, "The printer takes data again.");
  set_printer_state_message(printer, "");
  papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, PAPPL_PREASON_OFFLINE);
  papplJobSetReasons(job, PAPPL_JREASON_NONE, PAPPL_JREASON_PRINTER_STOPPED);
  papplJobSetMessage(job, "Printing.");
}

void freeze_output() { frozen = true; }
bool output_frozen() { return frozen; }

}  // namespace quorvane::app
