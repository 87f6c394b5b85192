// quorvane-printer-app: an IPP Everywhere Printer Application for the
// quorvane receipt and label printer models.
//
//   quorvane-printer-app server [-o NAME=VALUE ...]
//   quorvane-printer-app add -d NAME -m qv80rcpt -v socket://HOST:9100
//
// papplMainloop supplies the sub-commands, the IPP server and the web pages.
#include <pappl/pappl.h>

#include <cstring>
#include <string>

#include "drivers.h"

namespace {

// A device reporting a quorvane model in its IEEE-1284 ID gets its driver.
const char *autoadd(const char *, const char *, const char *device_id, void *) {
  if (!device_id) return nullptr;
  cups_option_t *pairs = nullptr;
  const int count = papplDeviceParseID(device_id, &pairs);
  const char *mfg = cupsGetOption("MFG", count, pairs), *mdl = cupsGetOption("MDL", count, pairs);
  const char *found = nullptr;
  if (mfg && mdl && strcasecmp(mfg, "quorvane") == 0) {
    for (const pappl_pr_driver_t &driver : quorvane::app::model_drivers()) {
      const std::string wanted = std::string("MDL:") + mdl + ";";
      if (driver.device_id && std::strstr(driver.device_id, wanted.c_str())) found = driver.name;
    }
  }
  cupsFreeOptions(count, pairs);
  return found;
}

}  // namespace

int main(int argc, char *argv[]) {
  auto &drivers = quorvane::app::model_drivers();
  // PAPPL 1.3.1 crashes on every web page without a footer.
  return papplMainloop(argc, argv, "1.0.0",
                       "quorvane Printer Application &middot; receipt and label printers",
                       static_cast<int>(drivers.size()), drivers.data(), autoadd,
                       quorvane::app::driver_callback, nullptr, nullptr, nullptr, nullptr, nullptr);
}
