#include "system_setup.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "drivers.h"
#include "image_job.h"

namespace quorvane::app {

// PAPPL 1.3.1 crashes on every web page without a footer.
const char kFooterHtml[] = "quorvane Printer Application &middot; thermal receipt and label printers";

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

// The state file, for as long as the server runs.
std::string &state_file() {
  static std::string path;
  return path;
}

// PAPPL 1.3.1 leaves print-speed-default out of its state file, so a
// printer's speed default would fall back to the driver's after a restart:
// the application keeps it beside the state, one "ID SPEED" line a printer.
std::string speed_file() { return state_file() + ".speed"; }

void save_speed(pappl_printer_t *printer, void *data) {
  pappl_pr_driver_data_t driver;
  papplPrinterGetDriverData(printer, &driver);
  std::fprintf(static_cast<FILE *>(data), "%d %d\n", papplPrinterGetID(printer), driver.speed_default);
}

// PAPPL 1.3.1 can deadlock when it saves its state while it refuses a
// streamed job as busy (the save holds the system lock and waits for the
// printer's; the refusal holds the printer's and waits for the system's).
// So the state is saved only while no printer has a job; a change made
// meanwhile is saved by the timer once they are idle.
std::atomic<bool> state_dirty{false};

void count_active_jobs(pappl_printer_t *printer, void *data) {
  *static_cast<int *>(data) += papplPrinterGetNumberOfActiveJobs(printer);
}

bool printers_idle(pappl_system_t *system) {
  int active = 0;
  papplSystemIteratePrinters(system, count_active_jobs, &active);
  return active == 0;
}

bool write_state(pappl_system_t *system) {
  if (!papplSystemSaveState(system, state_file().c_str())) return false;
  const std::string temp = speed_file() + ".new";
  FILE *file = std::fopen(temp.c_str(), "w");
  if (!file) return false;
  papplSystemIteratePrinters(system, save_speed, file);
  const bool written = std::fclose(file) == 0;
  return written && std::rename(temp.c_str(), speed_file().c_str()) == 0;
}

bool save_state(pappl_system_t *system, void *) {
  if (!printers_idle(system)) {
    state_dirty = true;
    return true;
  }
  state_dirty = false;
  return write_state(system);
}

bool save_when_idle(pappl_system_t *system, void *) {
  if (state_dirty && printers_idle(system)) {
    state_dirty = false;
    write_state(system);
  }
  return true;  // keep the timer
}

void load_speeds(pappl_system_t *system) {
  FILE *file = std::fopen(speed_file().c_str(), "r");
  if (!file) return;
  int id = 0, speed = 0;
  while (std::fscanf(file, "%d %d", &id, &speed) == 2) {
    pappl_printer_t *printer = papplSystemFindPrinter(system, nullptr, id, nullptr);
    if (!printer) continue;
    pappl_pr_driver_data_t driver;
    papplPrinterGetDriverData(printer, &driver);
    if (speed != 0 && (speed < driver.speed_supported[0] || speed > driver.speed_supported[1])) continue;
    driver.speed_default = speed;
    papplPrinterSetDriverDefaults(printer, &driver, 0, nullptr);
  }
  std::fclose(file);
}

pappl_soptions_t server_options(const char *list) {
  unsigned options = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE;
  std::string_view rest = list ? list : "";
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string_view word = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    if (word == "dnssd-host") options |= PAPPL_SOPTIONS_DNSSD_HOST;
    else if (word == "no-multi-queue") options &= ~PAPPL_SOPTIONS_MULTI_QUEUE;
    else if (word == "raw-socket") options |= PAPPL_SOPTIONS_RAW_SOCKET;
    else if (word == "usb-printer") options |= PAPPL_SOPTIONS_USB_PRINTER;
    else if (word == "no-web-interface") options &= ~PAPPL_SOPTIONS_WEB_INTERFACE;
    else if (word == "web-log") options |= PAPPL_SOPTIONS_WEB_LOG;
    else if (word == "web-network") options |= PAPPL_SOPTIONS_WEB_NETWORK;
    else if (word == "web-remote") options |= PAPPL_SOPTIONS_WEB_REMOTE;
    else if (word == "web-security") options |= PAPPL_SOPTIONS_WEB_SECURITY;
    else if (word == "web-tls") options |= PAPPL_SOPTIONS_WEB_TLS;
    else if (word == "no-tls") options |= PAPPL_SOPTIONS_NO_TLS;
  }
  return static_cast<pappl_soptions_t>(options);
}

pappl_loglevel_t log_level(const char *name) {
  const std::string_view n = name ? name : "";
  if (n == "debug") return PAPPL_LOGLEVEL_DEBUG;
  if (n == "info") return PAPPL_LOGLEVEL_INFO;
  if (n == "warn") return PAPPL_LOGLEVEL_WARN;
  if (n == "error") return PAPPL_LOGLEVEL_ERROR;
  if (n == "fatal") return PAPPL_LOGLEVEL_FATAL;
  return PAPPL_LOGLEVEL_WARN;
}

// A device whose IEEE-1284 ID names a quorvane model gets its driver.
const char *autoadd(const char *, const char *, const char *device_id, void *) {
  if (!device_id) return nullptr;
  cups_option_t *pairs = nullptr;
  const int count = papplDeviceParseID(device_id, &pairs);
  const char *mfg = cupsGetOption("MFG", count, pairs), *mdl = cupsGetOption("MDL", count, pairs);
  const char *found = nullptr;
  if (mfg && mdl && strcasecmp(mfg, "quorvane") == 0) {
    const std::string wanted = std::string("MDL:") + mdl + ";";
    for (const pappl_pr_driver_t &driver : model_drivers())
      if (driver.device_id && std::strstr(driver.device_id, wanted.c_str())) found = driver.name;
  }
  cupsFreeOptions(count, pairs);
  return found;
}

// The format of a document sent without one. PAPPL 1.3.1 leaves an unknown
// format unset and its job thread then crashes on it; every document gets a
// format here, application/octet-stream when it is none of those the
// printers take, so that such a job fails cleanly.
const char *detect_format(const unsigned char *header, size_t size, void *) {
  const std::string_view h(reinterpret_cast<const char *>(header), size);
  if (h.starts_with("RaS2")) return "image/pwg-raster";
  if (h.starts_with("UNIRAST")) return "image/urf";
  if (h.starts_with("\x89PNG")) return "image/png";
  if (h.starts_with("\xff\xd8\xff")) return "image/jpeg";
  return "application/octet-stream";
}

}  // namespace

pappl_system_t *create_system(int num_options, cups_option_t *options, void *) {
  auto option = [&](const char *name) { return cupsGetOption(name, num_options, options); };
  const char *port = option("server-port");
  pappl_system_t *system =
      papplSystemCreate(server_options(option("server-options")), kName, port ? std::atoi(port) : 0,
                        "_print,_universal", option("spool-directory"), option("log-file"),
                        log_level(option("log-level")), option("auth-service"), false);
  if (!system) return nullptr;

  papplSystemAddListeners(system, option("listen-hostname"));
  if (const char *host = option("server-hostname")) papplSystemSetHostName(system, host);
  if (const char *group = option("admin-group")) papplSystemSetAdminGroup(system, group);
  papplSystemSetFooterHTML(system, kFooterHtml);
  papplSystemSetMIMECallback(system, detect_format, nullptr);
  add_picture_filters(system);
  auto &drivers = model_drivers();
  papplSystemSetPrinterDrivers(system, static_cast<int>(drivers.size()), drivers.data(), autoadd, nullptr,
                               driver_callback, nullptr);

  state_file() = state_file_path(option("state-file"));
  if (papplSystemLoadState(system, state_file().c_str())) load_speeds(system);
  papplSystemSetSaveCallback(system, save_state, nullptr);
  papplSystemAddTimerCallback(system, 0, 2, save_when_idle, nullptr);
  return system;
}

}  // namespace quorvane::app
