// quorvane-printer-app: an IPP Everywhere Printer Application for the
// quorvane receipt and label printer models.
//
//   quorvane-printer-app server [-o NAME=VALUE ...]
//   quorvane-printer-app add -d NAME -m qv80rcpt -v socket://HOST:9100
//
// papplMainloop supplies the sub-commands, the IPP server and the web pages.
#include <pappl/pappl.h>

#include <cstdio>
#include <cstring>

#include "drivers.h"
#include "pappl_compat.h"
#include "quorvane_version.h"
#include "system_setup.h"

int main(int argc, char *argv[]) {
  quorvane::app::install_device_schemes();
  quorvane::app::rename_printer_darkness_option(argc, argv);
  if (argc > 1 && std::strcmp(argv[1], "devices") == 0 && !quorvane::app::avahi_available())
    std::fprintf(stderr,
                 "Network printers are not discovered: avahi-daemon is not running. USB printers and serial "
                 "ports are listed; add a network printer by its address (socket://HOST:9100).\n");
  auto &drivers = quorvane::app::model_drivers();
  return papplMainloop(argc, argv, QUORVANE_VERSION, quorvane::app::kFooterHtml, static_cast<int>(drivers.size()),
                       drivers.data(), nullptr, quorvane::app::driver_callback, nullptr, nullptr,
                       quorvane::app::create_system, nullptr, nullptr);
}
