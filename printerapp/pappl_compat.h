// Where PAPPL 1.3.1 (Debian 12) falls short, in one place. Each workaround
// names the fault it answers; on a later PAPPL, check each one again.
#ifndef QUORVANE_APP_PAPPL_COMPAT_H
#define QUORVANE_APP_PAPPL_COMPAT_H

#include <pappl/pappl.h>

#include <functional>
#include <string>

namespace quorvane::app {

// The application's device schemes first, then PAPPL's: PAPPL keeps the
// first scheme registered under a name, and adds its own only while it has
// none, so they are added here explicitly after ours. Call before anything
// lists or opens a device (in main, for the server and every sub-command).
void install_device_schemes();

// PAPPL's MIME callback: the format of a document sent without one. PAPPL
// 1.3.1 leaves an unknown format unset and its job thread then crashes on
// it; every document gets one here, application/octet-stream when it is none
// the printers take, so that such a job fails cleanly.
const char *detect_format(const unsigned char *header, size_t size, void *data);

// Whether avahi-daemon answers: without it there is no DNS-SD discovery.
bool avahi_available();

// PAPPL 1.3.1 reports a fixed printer-state-message ("Idle.", "Printing.",
// "Stopped."); this one is reported instead while it is not empty.
void set_printer_state_message(pappl_printer_t *printer, const std::string &message);

// A job's hold on the device it prints through. PAPPL 1.3.1 drops a
// finished job from the printer's active jobs, lets go of the printer, and
// only then closes the printer's device: a job started in between (a client
// waiting on a busy printer starts one at once) is handed the device that is
// closed under it, or none at all, and its bytes would go to freed memory,
// or nowhere. A device closed while a job holds it is closed when the job
// lets go; a job handed none opens its own.
class DeviceHold {
 public:
  DeviceHold(pappl_job_t *job, pappl_device_t *given);
  ~DeviceHold();
  DeviceHold(const DeviceHold &) = delete;
  DeviceHold &operator=(const DeviceHold &) = delete;
  // Null when the job was handed none and cannot open one (PAPPL says why).
  pappl_device_t *get() const { return device_; }

 private:
  pappl_device_t *device_ = nullptr;
  bool own_ = false;
};

// PAPPL 1.3.1 advertises a multiple-operation-time-out of 60 s but keeps a
// job made by Create-Job whose document never comes forever: with one job
// at a time a printer, anyone could block a printer. Such a job is cancelled
// once the time is out.
void expire_jobs_without_documents(pappl_system_t *system);

// Called once, from PAPPL's main loop, when the server is asked to stop
// (SIGTERM, SIGINT or Shutdown-System), and again each second after, with the
// seconds since.
using StopHandler = std::function<void(pappl_system_t *, int seconds)>;
void watch_for_stop(pappl_system_t *system, StopHandler handler);

// PAPPL 1.3.1 stores any vendor default a client sets (Set-Printer-Attributes,
// `modify`, the web page) after checking only its syntax, and advertises it;
// a print-speed-default in the wrong unit, too.
// Once installed (after the state is loaded, so that stored values still
// load), `check` sees every such set first: a non-empty answer refuses the
// whole set, and is the message the IPP client gets instead of PAPPL's
// generic one.
// PAPPL 1.3.1's `options` lists the printer darkness as `printer-darkness`,
// but its `add` and `modify` read only `printer-darkness-configured` and
// ignore the listed name without a word: the listed name is renamed in the
// command line (argv) to the one read.
void rename_printer_darkness_option(int argc, char *argv[]);

// English labels for the web page (strings-file text, kept by the caller for
// the life of the system). PAPPL 1.3.1 adds printer-strings-languages-supported
// to the printer's own attributes on every Get-Printer-Attributes while a
// strings resource exists, so clients see it twice from the second request
// on; the strings are loaded and the resource then withdrawn.
void add_english_labels(pappl_system_t *system, const char *strings);

using VendorDefaultsCheck = std::string (*)(pappl_printer_t *printer, const pappl_pr_driver_data_t *data,
                                            int num_vendor, cups_option_t *vendor);
void check_vendor_defaults(VendorDefaultsCheck check);

}  // namespace quorvane::app

#endif
