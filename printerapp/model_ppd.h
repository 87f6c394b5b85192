// A model's PPD, parsed by libcups from the text built into the application.
#ifndef QUORVANE_APP_MODEL_PPD_H
#define QUORVANE_APP_MODEL_PPD_H

#include <cups/ppd.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::app {

struct PpdCloser {
  void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};
using PpdHandle = std::unique_ptr<ppd_file_t, PpdCloser>;

// The driver names: each PPD's file name without ".ppd".
std::vector<std::string> model_driver_names();

// A fresh parse of the driver's PPD with its defaults marked; null for an
// unknown driver. Every caller gets its own copy, so jobs on different
// threads never share one.
PpdHandle open_model_ppd(std::string_view driver_name);

}  // namespace quorvane::app

#endif
