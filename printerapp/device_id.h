// Real printers recognised by their IEEE 1284 device IDs. Receipt printers
// say "CMD:ESC/POS;", cheap TSPL label printers "CMD:XPP,XL;" or "TSPL",
// often with blank or space-padded values, or the long keys MANUFACTURER,
// COMMAND SET and MODEL; the model is chosen by command language, then by
// what the ID says of the paper (58 mm) or resolution (180 or 300 dpi).
#ifndef QUORVANE_APP_DEVICE_ID_H
#define QUORVANE_APP_DEVICE_ID_H

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "printer_status.h"

namespace quorvane::app {

struct DeviceId {
  std::string manufacturer, model, description;
  std::vector<std::string> commands;  // upper case, trimmed
};

DeviceId parse_device_id(std::string_view id);

// A model as recognition sees it.
struct ModelTraits {
  std::string driver;      // its driver name
  std::string model_name;  // what its own device ID says after MDL:
  StatusLanguage language = StatusLanguage::kNone;
  int printable_mm = 0;  // printable width
  int dpi = 203;
};

// The driver for a printer with this ID, or nullopt for a command set no
// model speaks.
std::optional<std::string> match_model(const DeviceId &id, std::span<const ModelTraits> models);

}  // namespace quorvane::app

#endif
