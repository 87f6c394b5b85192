#include "system_setup.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>
#include <string>
#include <string_view>

#include "delivery.h"
#include "drivers.h"
#include "image_job.h"
#include "ipp_mapping.h"
#include "pappl_compat.h"
#include "pappl_state.h"
#include "status_watch.h"

namespace quorvane::app {

// PAPPL 1.3.1 crashes on every web page without a footer.
const char kFooterHtml[] = "quorvane Printer Application &middot; thermal receipt and label printers";
const char kFooterNoAvahiHtml[] =
    "quorvane Printer Application &middot; thermal receipt and label printers<br>"
    "Network printers are not discovered: avahi-daemon is not running. Add them by address "
    "(Network Printer, socket://HOST:9100); USB printers and serial ports are listed.";

namespace {

constexpr char kName[] = "quorvane-printer-app";

std::string state_file_path(const char *option) {
  if (option && *option) return option;
  if (getuid() == 0) return std::string("/var/lib/") + kName + ".state";
  std::string dir;
  if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) dir = xdg;
  else if (const char *home = std::getenv("HOME"); home && *home) dir = std::string(home) + "/.config";
  else dir = "/tmp";
  return dir + "/" + kName + ".state";
}

// Where job files wait to print: a folder that outlives the process (PAPPL's
// own default is a new one per process), so that jobs kept at a stop are
// found again.
std::string spool_directory_path(const char *option) {
  if (option && *option) return option;
  if (getuid() == 0) return std::string("/var/spool/") + kName;
  return state_file_path(nullptr) + ".d";
}

// A stop waits a moment for the jobs printing now; the jobs still waiting
// then (for a printer that takes no data or cannot be reached) are saved with
// the state for the next start, and the server ends at once rather than
// after PAPPL's 60 s. Their links send nothing more, and a client streaming
// a raster job sees its connection end and sends the job again.
void stop(pappl_system_t *system, int seconds) {
  if (seconds == 0) papplLog(system, PAPPL_LOGLEVEL_INFO, "Stopping.");
  const int waiting = active_jobs(system);
  if (seconds < kStopGraceSeconds || waiting == 0) return;
  freeze_output();
  alarm(2);  // a save that cannot get its locks must not hold the stop
  save_state_now(system);
  papplLog(system, PAPPL_LOGLEVEL_INFO, "Stopped; %d waiting job(s) kept for the next start.", waiting);
  _exit(0);
}

// One job at a time on each printer: PAPPL 1.3.1 streams raster jobs, and
// refuses a second one as busy only after creating it, leaving an aborted
// job for every retry of a client that waits for a busy printer. With one,
// it refuses before any job exists.
void printer_created(pappl_printer_t *printer, void *) { papplPrinterSetMaxActiveJobs(printer, 1); }

// PAPPL's server options by name; nullopt names the first word it does not
// know.
std::optional<pappl_soptions_t> server_options(const char *list, std::string &unknown) {
  static constexpr std::pair<std::string_view, unsigned> kSet[] = {
      {"dnssd-host", PAPPL_SOPTIONS_DNSSD_HOST},     {"raw-socket", PAPPL_SOPTIONS_RAW_SOCKET},
      {"usb-printer", PAPPL_SOPTIONS_USB_PRINTER},   {"web-log", PAPPL_SOPTIONS_WEB_LOG},
      {"web-network", PAPPL_SOPTIONS_WEB_NETWORK},   {"web-remote", PAPPL_SOPTIONS_WEB_REMOTE},
      {"web-security", PAPPL_SOPTIONS_WEB_SECURITY}, {"web-tls", PAPPL_SOPTIONS_WEB_TLS},
      {"no-tls", PAPPL_SOPTIONS_NO_TLS},
  };
  static constexpr std::pair<std::string_view, unsigned> kClear[] = {
      {"no-multi-queue", PAPPL_SOPTIONS_MULTI_QUEUE}, {"no-web-interface", PAPPL_SOPTIONS_WEB_INTERFACE}};
  unsigned options = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE;
  std::string_view rest = list ? list : "";
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string_view word = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    bool known = word.empty();
    for (const auto &[name, bit] : kSet)
      if (word == name) options |= bit, known = true;
    for (const auto &[name, bit] : kClear)
      if (word == name) options &= ~bit, known = true;
    if (!known) {
      unknown = word;
      return std::nullopt;
    }
  }
  return static_cast<pappl_soptions_t>(options);
}

std::optional<pappl_loglevel_t> log_level(const char *name) {
  static constexpr std::pair<std::string_view, pappl_loglevel_t> kLevels[] = {
      {"debug", PAPPL_LOGLEVEL_DEBUG}, {"info", PAPPL_LOGLEVEL_INFO},   {"warn", PAPPL_LOGLEVEL_WARN},
      {"error", PAPPL_LOGLEVEL_ERROR}, {"fatal", PAPPL_LOGLEVEL_FATAL},
  };
  if (!name) return PAPPL_LOGLEVEL_WARN;
  for (const auto &[level_name, level] : kLevels)
    if (level_name == name) return level;
  return std::nullopt;
}

// A device whose IEEE 1284 ID a model recognises gets its driver
// (device_id.h); a command set no model speaks gets none.
const char *autoadd(const char *, const char *, const char *device_id, void *) {
  if (!device_id) return nullptr;
  const auto driver = match_model(parse_device_id(device_id), model_traits());
  if (!driver) return nullptr;
  for (const pappl_pr_driver_t &d : model_drivers())
    if (*driver == d.name) return d.name;
  return nullptr;
}

}  // namespace

pappl_system_t *create_system(int num_options, cups_option_t *options, void *) {
  auto option = [&](const char *name) { return cupsGetOption(name, num_options, options); };
  // A mistyped option stops the server with a word rather than leaving it
  // running other than asked.
  std::string unknown;
  const auto soptions = server_options(option("server-options"), unknown);
  const auto level = log_level(option("log-level"));
  const char *port = option("server-port");
  char *port_end = nullptr;
  const long port_number = port ? std::strtol(port, &port_end, 10) : 0;
  if (!soptions) {
    std::fprintf(stderr, "%s: unknown server option \"%s\".\n", kName, unknown.c_str());
    return nullptr;
  }
  if (!level) {
    std::fprintf(stderr, "%s: unknown log level \"%s\" (debug, info, warn, error or fatal).\n", kName,
                 option("log-level"));
    return nullptr;
  }
  const std::string_view queries = option("status-queries") ? option("status-queries") : "on";
  if (queries != "on" && queries != "off") {
    std::fprintf(stderr, "%s: status-queries is \"on\" or \"off\", not \"%s\".\n", kName, option("status-queries"));
    return nullptr;
  }
  enable_status_queries(queries == "on");
  if (port && (*port_end || port_number < 1 || port_number > 65535)) {
    std::fprintf(stderr, "%s: server-port \"%s\" is no TCP port (1 to 65535).\n", kName, port);
    return nullptr;
  }
  const std::string spool = spool_directory_path(option("spool-directory"));
  std::error_code ignored;  // PAPPL says so if it cannot make the folder
  std::filesystem::create_directories(std::filesystem::path(spool).parent_path(), ignored);
  pappl_system_t *system =
      papplSystemCreate(*soptions, kName, static_cast<int>(port_number), "_print,_universal", spool.c_str(),
                        option("log-file"), *level, option("auth-service"), false);
  if (!system) return nullptr;

  papplSystemAddListeners(system, option("listen-hostname"));
  if (const char *host = option("server-hostname")) papplSystemSetHostName(system, host);
  if (const char *group = option("admin-group")) papplSystemSetAdminGroup(system, group);
  papplSystemSetFooterHTML(system, avahi_available() ? kFooterHtml : kFooterNoAvahiHtml);
  papplSystemSetMIMECallback(system, detect_format, nullptr);
  add_picture_filters(system);
  auto &drivers = model_drivers();
  papplSystemSetPrinterDrivers(system, static_cast<int>(drivers.size()), drivers.data(), autoadd,
                               printer_created, driver_callback, nullptr);

  keep_state(system, state_file_path(option("state-file")), spool);
  // Checked from here on: values stored before still load.
  check_vendor_defaults(vendor_defaults_problem);
  static const std::string strings = web_strings();
  add_english_labels(system, strings.c_str());
  watch_for_stop(system, stop);
  watch_idle_printers(system);
  expire_jobs_without_documents(system);
  return system;
}

}  // namespace quorvane::app
