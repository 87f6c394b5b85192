// The PAPPL system of the server: options, state file, drivers, web footer.
#ifndef QUORVANE_APP_SYSTEM_SETUP_H
#define QUORVANE_APP_SYSTEM_SETUP_H

#include <pappl/pappl.h>

namespace quorvane::app {

extern const char kFooterHtml[];

// papplMainloop's system callback. Takes PAPPL's own `server -o` options
// (log-file, log-level, server-port, listen-hostname, server-hostname,
// spool-directory, server-options, admin-group, auth-service) and
// state-file: where printers and their defaults are kept (default
// /var/lib/quorvane-printer-app.state as root, else
// $XDG_CONFIG_HOME/quorvane-printer-app.state).
pappl_system_t *create_system(int num_options, cups_option_t *options, void *data);

}  // namespace quorvane::app

#endif
