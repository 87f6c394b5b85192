// The generated PPDs of the printer models, built into the application.
#ifndef QUORVANE_APP_EMBEDDED_PPDS_H
#define QUORVANE_APP_EMBEDDED_PPDS_H

#include <span>

namespace quorvane::app {

struct EmbeddedPpd {
  const char *file_name;                 // e.g. "qv80rcpt.ppd"
  std::span<const unsigned char> text;  // the PPD as ppdc wrote it
};

// Every model's PPD, in the order ppd/CMakeLists.txt lists them.
std::span<const EmbeddedPpd> embedded_ppds();

}  // namespace quorvane::app

#endif
