#include "pappl_compat.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/simple-watch.h>
#include <cups/raster.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <csignal>
#include <ctime>
#include <map>
#include <mutex>
#include <set>
#include <string_view>
#include <vector>

#include "link.h"

// PAPPL 1.3.1's own scheme registrations: exported, though not in its
// headers.
extern "C" {
void _papplDeviceAddFileScheme(void);
void _papplDeviceAddNetworkSchemes(void);
void _papplDeviceAddUSBScheme(void);
}

namespace quorvane::app {

namespace {

// The next definition of a function this program also defines: the
// library's own, which the wrappers below hand on to.
template <typename F>
F next_definition(const char *name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

std::mutex messages_mutex;
std::map<const pappl_printer_t *, std::string> state_messages;

std::string state_message(const pappl_printer_t *printer) {
  const std::lock_guard lock(messages_mutex);
  const auto found = state_messages.find(printer);
  return found == state_messages.end() ? std::string() : found->second;
}

// Raster streams that have ended (see cupsRasterReadPixels below).
std::mutex ended_mutex;
std::set<const cups_raster_t *> ended_streams;

// PAPPL then reads each missing row of a page whose header may claim
// millions: the thread's last ended stream is answered without the lock.
thread_local const cups_raster_t *last_ended = nullptr;

bool has_ended(const cups_raster_t *stream) {
  if (stream == last_ended) return true;
  const std::lock_guard lock(ended_mutex);
  return ended_streams.contains(stream);
}

unsigned note_end(const cups_raster_t *stream, unsigned result) {
  if (result == 0) {
    last_ended = stream;
    const std::lock_guard lock(ended_mutex);
    ended_streams.insert(stream);
  }
  return result;
}

// Devices held by jobs, and whether PAPPL has closed them meanwhile.
struct DeviceUse {
  int holders = 0;
  bool closed = false;
};
std::mutex uses_mutex;
std::map<const pappl_device_t *, DeviceUse> device_uses;

void really_close(pappl_device_t *device) {
  using Fn = void (*)(pappl_device_t *);
  static const Fn next = next_definition<Fn>("papplDeviceClose");
  next(device);
}

std::atomic<bool> stop_signalled{false};

void on_stop_signal(int) { stop_signalled = true; }

struct StopWatch {
  StopHandler handler;
  bool signals_taken = false;
  time_t since = 0;
};

bool stop_tick(pappl_system_t *system, void *data) {
  auto &watch = *static_cast<StopWatch *>(data);
  if (!watch.signals_taken) {
    // PAPPL 1.3.1's own handler only marks a time it keeps to itself, then
    // waits up to 60 s for every job; the application takes the signals so
    // that its stop handler decides. The first tick runs after PAPPL has set
    // its handlers.
    watch.signals_taken = true;
    std::signal(SIGTERM, on_stop_signal);
    std::signal(SIGINT, on_stop_signal);
  }
  if (!stop_signalled && !papplSystemIsShutdown(system)) return true;
  if (!watch.since) {
    watch.since = time(nullptr);
    papplSystemShutdown(system);  // no-op when already asked
  }
  watch.handler(system, static_cast<int>(time(nullptr) - watch.since));
  return true;
}

}  // namespace

const char *detect_format(const unsigned char *header, size_t size, void *) {
  const std::string_view h(reinterpret_cast<const char *>(header), size);
  if (h.starts_with("RaS2")) return "image/pwg-raster";
  if (h.starts_with("UNIRAST")) return "image/urf";
  if (h.starts_with("\x89PNG")) return "image/png";
  if (h.starts_with("\xff\xd8\xff")) return "image/jpeg";
  return "application/octet-stream";
}

DeviceHold::DeviceHold(pappl_job_t *job, pappl_device_t *given) : device_(given) {
  if (!given) {
    pappl_printer_t *printer = papplJobGetPrinter(job);
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "PAPPL closed the printer's device as the job began: opening another.");
    device_ = papplDeviceOpen(papplPrinterGetDeviceURI(printer), papplJobGetName(job), papplLogDevice,
                              papplPrinterGetSystem(printer));
    own_ = device_ != nullptr;
    return;
  }
  const std::lock_guard lock(uses_mutex);
  ++device_uses[given].holders;
}

DeviceHold::~DeviceHold() {
  if (!device_) return;
  if (own_) {
    really_close(device_);
    return;
  }
  bool close = false;
  {
    const std::lock_guard lock(uses_mutex);
    DeviceUse &use = device_uses[device_];
    if (--use.holders == 0) {
      close = use.closed;
      device_uses.erase(device_);
    }
  }
  if (close) really_close(device_);
}

namespace {

constexpr int kDocumentWaitSeconds = 60;  // the multiple-operation-time-out PAPPL advertises

// Found while PAPPL holds the printer's lock, cancelled after it let go:
// cancelling takes that lock.
void find_expired(pappl_job_t *job, void *data) {
  if (papplJobGetState(job) == IPP_JSTATE_HELD && !papplJobGetFilename(job) &&
      time(nullptr) - papplJobGetTimeCreated(job) >= kDocumentWaitSeconds)
    static_cast<std::vector<int> *>(data)->push_back(papplJobGetID(job));
}

void expire_printer_jobs(pappl_printer_t *printer, void *) {
  std::vector<int> expired;
  papplPrinterIterateActiveJobs(printer, find_expired, &expired, 1, 0);
  for (const int id : expired) {
    pappl_job_t *job = papplPrinterFindJob(printer, id);
    if (!job) continue;
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "No document came within %d s of the job's creation: cancelled.",
                kDocumentWaitSeconds);
    papplJobSetMessage(job, "No document came within %d s of the job's creation.", kDocumentWaitSeconds);
    papplJobCancel(job);
  }
}

bool expire_tick(pappl_system_t *system, void *) {
  papplSystemIteratePrinters(system, expire_printer_jobs, nullptr);
  return true;
}

}  // namespace

void expire_jobs_without_documents(pappl_system_t *system) {
  papplSystemAddTimerCallback(system, 0, 10, expire_tick, nullptr);
}

void install_device_schemes() {
  register_socket_scheme();
  register_serial_scheme();
  _papplDeviceAddFileScheme();
  _papplDeviceAddNetworkSchemes();
  _papplDeviceAddUSBScheme();
}

bool avahi_available() {
  AvahiSimplePoll *poll = avahi_simple_poll_new();
  if (!poll) return false;
  int error = 0;
  AvahiClient *client = avahi_client_new(avahi_simple_poll_get(poll), static_cast<AvahiClientFlags>(0), nullptr,
                                         nullptr, &error);
  const bool running = client && avahi_client_get_state(client) == AVAHI_CLIENT_S_RUNNING;
  if (client) avahi_client_free(client);
  avahi_simple_poll_free(poll);
  return running;
}

void set_printer_state_message(pappl_printer_t *printer, const std::string &message) {
  const std::lock_guard lock(messages_mutex);
  if (message.empty()) state_messages.erase(printer);
  else state_messages[printer] = message;
}

void watch_for_stop(pappl_system_t *system, StopHandler handler) {
  static StopWatch watch;
  watch.handler = std::move(handler);
  papplSystemAddTimerCallback(system, 0, 1, stop_tick, &watch);
}

std::atomic<VendorDefaultsCheck> vendor_defaults_check{nullptr};
// Why this thread's last set of defaults was refused, until it is answered.
thread_local std::string refused_defaults;

void check_vendor_defaults(VendorDefaultsCheck check) { vendor_defaults_check = check; }

void rename_printer_darkness_option(int argc, char *argv[]) {
  static constexpr std::string_view kListed = "printer-darkness=";
  static std::vector<std::string> renamed;  // argv points into it from here on
  renamed.reserve(static_cast<size_t>(argc));
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    const bool attached = arg.starts_with("-o");
    if (attached) arg.remove_prefix(2);
    if (!arg.starts_with(kListed)) continue;
    renamed.push_back(std::string(attached ? "-o" : "") + "printer-darkness-configured=" +
                      std::string(arg.substr(kListed.size())));
    argv[i] = renamed.back().data();
  }
}

void add_english_labels(pappl_system_t *system, const char *strings) {
  static constexpr const char *kPath = "/quorvane-en.strings";
  papplSystemAddStringsData(system, kPath, "en", strings);
  papplSystemRemoveResource(system, kPath);
}

}  // namespace quorvane::app

using quorvane::app::has_ended;
using quorvane::app::next_definition;
using quorvane::app::note_end;

extern "C" {

// PAPPL 1.3.1 browses DNS-SD (the devices sub-command, the web's Add
// Printer page, Get-Devices) with the avahi client it failed to create when
// avahi-daemon is not running, and avahi aborts the process on the null
// client. Refused here, PAPPL reports "Unable to create service browser."
// instead; its browsing code takes its DNS-SD lock before and does not
// release it on that path, so it is released here (a no-op without a
// client, when the lock has no poll to hold).
AvahiServiceBrowser *avahi_service_browser_new(AvahiClient *client, AvahiIfIndex interface, AvahiProtocol protocol,
                                               const char *type, const char *domain, AvahiLookupFlags flags,
                                               AvahiServiceBrowserCallback callback, void *userdata) {
  using Fn = AvahiServiceBrowser *(*)(AvahiClient *, AvahiIfIndex, AvahiProtocol, const char *, const char *,
                                      AvahiLookupFlags, AvahiServiceBrowserCallback, void *);
  static const Fn next = next_definition<Fn>("avahi_service_browser_new");
  AvahiServiceBrowser *browser =
      client && next ? next(client, interface, protocol, type, domain, flags, callback, userdata) : nullptr;
  if (!browser) {
    extern void _papplDNSSDUnlock(void);
    _papplDNSSDUnlock();
  }
  return browser;
}

// The same abort when a printer's dnssd:// address is resolved without
// avahi-daemon; PAPPL reports the address cannot be resolved instead.
AvahiServiceResolver *avahi_service_resolver_new(AvahiClient *client, AvahiIfIndex interface,
                                                 AvahiProtocol protocol, const char *name, const char *type,
                                                 const char *domain, AvahiProtocol aprotocol, AvahiLookupFlags flags,
                                                 AvahiServiceResolverCallback callback, void *userdata) {
  using Fn = AvahiServiceResolver *(*)(AvahiClient *, AvahiIfIndex, AvahiProtocol, const char *, const char *,
                                       const char *, AvahiProtocol, AvahiLookupFlags, AvahiServiceResolverCallback,
                                       void *);
  static const Fn next = next_definition<Fn>("avahi_service_resolver_new");
  return client && next ? next(client, interface, protocol, name, type, domain, aprotocol, flags, callback, userdata)
                        : nullptr;
}

// PAPPL 1.3.1 reads a streamed PWG or Apple raster job on past a page that
// ends early (it discards the page's missing rows one read at a time), and
// once a chunked request body has ended, libcups's next read waits for a
// chunk that never comes: the client's Print-Job hangs until it gives up.
// A raster stream that has once come to its end stays there.
unsigned cupsRasterReadPixels(cups_raster_t *r, unsigned char *p, unsigned len) {
  using Fn = unsigned (*)(cups_raster_t *, unsigned char *, unsigned);
  static const Fn next = next_definition<Fn>("cupsRasterReadPixels");
  if (has_ended(r)) return 0;
  return note_end(r, next(r, p, len));
}

unsigned cupsRasterReadHeader(cups_raster_t *r, cups_page_header_t *h) {
  using Fn = unsigned (*)(cups_raster_t *, cups_page_header_t *);
  static const Fn next = next_definition<Fn>("cupsRasterReadHeader");
  if (has_ended(r)) return 0;
  return note_end(r, next(r, h));
}

unsigned cupsRasterReadHeader2(cups_raster_t *r, cups_page_header2_t *h) {
  using Fn = unsigned (*)(cups_raster_t *, cups_page_header2_t *);
  static const Fn next = next_definition<Fn>("cupsRasterReadHeader2");
  if (has_ended(r)) return 0;
  return note_end(r, next(r, h));
}

void cupsRasterClose(cups_raster_t *r) {
  using Fn = void (*)(cups_raster_t *);
  static const Fn next = next_definition<Fn>("cupsRasterClose");
  {
    const std::lock_guard lock(quorvane::app::ended_mutex);
    quorvane::app::ended_streams.erase(r);
  }
  if (quorvane::app::last_ended == r) quorvane::app::last_ended = nullptr;
  next(r);
}

// PAPPL 1.3.1 reads a media-col's size through pwgMediaForPWG or
// pwgMediaForSize and uses the answer unchecked: a size no PWG name
// describes (a zero length, an unknown name), sent by any client in a job or
// a printer default, crashed the server. Such a size is taken out of the
// collection first, so the rest of it applies and the size stays as it was.
void _papplMediaColImport(ipp_t *col, pappl_media_col_t *media) {
  using Fn = void (*)(ipp_t *, pappl_media_col_t *);
  static const Fn next = next_definition<Fn>("_papplMediaColImport");
  if (col) {
    ipp_attribute_t *name = ippFindAttribute(col, "media-size-name", IPP_TAG_ZERO);
    if (name && !pwgMediaForPWG(ippGetString(name, 0, nullptr))) ippDeleteAttribute(col, name);
    ipp_attribute_t *x = ippFindAttribute(col, "media-size/x-dimension", IPP_TAG_INTEGER);
    ipp_attribute_t *y = ippFindAttribute(col, "media-size/y-dimension", IPP_TAG_INTEGER);
    if (x && y && !pwgMediaForSize(ippGetInteger(x, 0), ippGetInteger(y, 0)))
      if (ipp_attribute_t *size = ippFindAttribute(col, "media-size", IPP_TAG_BEGIN_COLLECTION))
        ippDeleteAttribute(col, size);
  }
  next(col, media);
}

// PAPPL 1.3.1 copies a refused attribute into its answer as it came; one of
// an out-of-band tag carrying a value, or of the extension tag (0x7f), is
// written shorter than the answer's length says, and the client waits for
// bytes that never come. Anything but a plain value is named with the
// out-of-band "unsupported" value instead.
void papplClientRespondIPPUnsupported(pappl_client_t *client, ipp_attribute_t *attr) {
  using Fn = void (*)(pappl_client_t *, ipp_attribute_t *);
  static const Fn next = next_definition<Fn>("papplClientRespondIPPUnsupported");
  const ipp_tag_t tag = ippGetValueTag(attr);
  const bool plain = (tag >= IPP_TAG_INTEGER && tag <= IPP_TAG_ENUM) ||
                     (tag >= IPP_TAG_STRING && tag <= IPP_TAG_NAMELANG) ||
                     (tag >= IPP_TAG_TEXT && tag <= IPP_TAG_MIMETYPE && tag != IPP_TAG_RESERVED_STRING);
  if (plain) return next(client, attr);
  const char *name = ippGetName(attr) ? ippGetName(attr) : "";
  ipp_t *response = papplClientRespondIPP(client, IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES, "Unsupported %s value.", name);
  if (response && *name) ippAddOutOfBand(response, IPP_TAG_UNSUPPORTED_GROUP, IPP_TAG_UNSUPPORTED_VALUE, name);
}

// PAPPL 1.3.1 answers a printer attribute of the wrong syntax as
// unsupported, then reads it all the same: a collection sent for
// printer-geo-location crashed the server on a null string. Its own table
// of the attributes it sets is checked first, and such a request refused
// whole.
bool _papplPrinterSetAttributes(pappl_client_t *client, pappl_printer_t *printer) {
  using Fn = bool (*)(pappl_client_t *, pappl_printer_t *);
  static const Fn next = next_definition<Fn>("_papplPrinterSetAttributes");
  struct Settable {
    std::string_view name;
    ipp_tag_t tag;
    int max_count;
  };
  static constexpr Settable kSettable[] = {
      {"label-mode-configured", IPP_TAG_KEYWORD, 1},
      {"label-tear-off-configured", IPP_TAG_INTEGER, 1},
      {"media-col-default", IPP_TAG_BEGIN_COLLECTION, 1},
      {"media-col-ready", IPP_TAG_BEGIN_COLLECTION, PAPPL_MAX_SOURCE},
      {"media-default", IPP_TAG_KEYWORD, 1},
      {"media-ready", IPP_TAG_KEYWORD, PAPPL_MAX_SOURCE},
      {"orientation-requested-default", IPP_TAG_ENUM, 1},
      {"print-color-mode-default", IPP_TAG_KEYWORD, 1},
      {"print-content-optimize-default", IPP_TAG_KEYWORD, 1},
      {"print-darkness-default", IPP_TAG_INTEGER, 1},
      {"print-quality-default", IPP_TAG_ENUM, 1},
      {"print-speed-default", IPP_TAG_INTEGER, 1},
      {"printer-contact-col", IPP_TAG_BEGIN_COLLECTION, 1},
      {"printer-darkness-configured", IPP_TAG_INTEGER, 1},
      {"printer-geo-location", IPP_TAG_URI, 1},
      {"printer-location", IPP_TAG_TEXT, 1},
      {"printer-organization", IPP_TAG_TEXT, 1},
      {"printer-organizational-unit", IPP_TAG_TEXT, 1},
      {"printer-resolution-default", IPP_TAG_RESOLUTION, 1},
      {"printer-wifi-password", IPP_TAG_STRING, 1},
      {"printer-wifi-ssid", IPP_TAG_NAME, 1},
  };
  bool refused = false;
  ipp_t *request = papplClientGetRequest(client);
  for (ipp_attribute_t *a = ippFirstAttribute(request); a; a = ippNextAttribute(request)) {
    const char *name = ippGetName(a);
    if (!name || ippGetGroupTag(a) != IPP_TAG_PRINTER) continue;
    for (const Settable &settable : kSettable)
      if (settable.name == name && (ippGetValueTag(a) != settable.tag || ippGetCount(a) > settable.max_count)) {
        papplClientRespondIPPUnsupported(client, a);
        refused = true;
      }
  }
  return !refused && next(client, printer);
}

// See DeviceHold: a device a job still holds is closed when it lets go.
void papplDeviceClose(pappl_device_t *device) {
  if (device) {
    const std::lock_guard lock(quorvane::app::uses_mutex);
    const auto found = quorvane::app::device_uses.find(device);
    if (found != quorvane::app::device_uses.end()) {
      found->second.closed = true;
      return;
    }
  }
  quorvane::app::really_close(device);
}

// PAPPL 1.3.1 has no printer-state-message of the driver's: the message set
// with set_printer_state_message replaces its fixed one.
void _papplPrinterCopyStateNoLock(pappl_printer_t *printer, ipp_tag_t group_tag, ipp_t *ipp, pappl_client_t *client,
                                  cups_array_t *ra) {
  using Fn = void (*)(pappl_printer_t *, ipp_tag_t, ipp_t *, pappl_client_t *, cups_array_t *);
  static const Fn next = next_definition<Fn>("_papplPrinterCopyStateNoLock");
  next(printer, group_tag, ipp, client, ra);
  const std::string message = quorvane::app::state_message(printer);
  if (message.empty()) return;
  ipp_attribute_t *last = nullptr;  // the one just added, for this printer
  for (ipp_attribute_t *a = ippFirstAttribute(ipp); a; a = ippNextAttribute(ipp)) {
    const char *name = ippGetName(a);
    if (name && std::string_view(name) == "printer-state-message") last = a;
  }
  if (!last) return;
  // PAPPL's value is a constant string; the new one is the message's copy.
  ippDeleteAttribute(ipp, last);
  ippAddString(ipp, group_tag, IPP_TAG_TEXT, "printer-state-message", nullptr, message.c_str());
}

bool papplPrinterSetDriverDefaults(pappl_printer_t *printer, pappl_pr_driver_data_t *data, int num_vendor,
                                   cups_option_t *vendor) {
  using Fn = bool (*)(pappl_printer_t *, pappl_pr_driver_data_t *, int, cups_option_t *);
  static const Fn next = next_definition<Fn>("papplPrinterSetDriverDefaults");
  if (const auto check = quorvane::app::vendor_defaults_check.load()) {
    std::string problem = check(printer, data, num_vendor, vendor);
    if (!problem.empty()) {
      papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Refused: %s", problem.c_str());
      quorvane::app::refused_defaults = std::move(problem);
      return false;
    }
  }
  return next(printer, data, num_vendor, vendor);
}

// PAPPL answers a refused set of defaults with "One or more attribute values
// were not supported."; the client is told which value and what is allowed.
ipp_t *papplClientRespondIPP(pappl_client_t *client, ipp_status_t status, const char *message, ...) {
  using Fn = ipp_t *(*)(pappl_client_t *, ipp_status_t, const char *, ...);
  static const Fn next = next_definition<Fn>("papplClientRespondIPP");
  std::string &refused = quorvane::app::refused_defaults;
  if (!refused.empty() && status == IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES) {
    const std::string text = std::move(refused);
    refused.clear();
    return next(client, status, "%s", text.c_str());
  }
  if (message == nullptr) return next(client, status, nullptr);
  char text[2048];
  va_list ap;
  va_start(ap, message);
  std::vsnprintf(text, sizeof(text), message, ap);
  va_end(ap);
  return next(client, status, "%s", text);
}

}  // extern "C"
