// The printer models as data: everything a front-end needs to know of a
// model, generated at build time from the driver information the filter's
// PPDs are compiled from, so that both front-ends offer the same models.
#ifndef QUORVANE_MODELS_MODEL_H
#define QUORVANE_MODELS_MODEL_H

#include <optional>
#include <span>
#include <string_view>

namespace quorvane::models {

struct Choice {
  const char *name;  // the PPD choice name, e.g. "24" or "Partial"
  const char *text;  // what a person reads, e.g. "Keep at most 3 mm"
  const char *code;  // hex command text, sent at the option's job boundary
  std::optional<int> number;  // the name as a number, for numeric choices
  float mm_per_second;        // a speed choice's speed; 0 for the printer's own
};

struct Option {
  const char *keyword;  // e.g. "PaperSaveTop"
  const char *text;     // e.g. "Blank paper at the top"
  float order;          // its order number: which job boundary sends its code
  std::span<const Choice> choices;
  int default_index;
};

struct Attribute {
  const char *name;
  const char *value;
};

// A media size, in hundredths of a millimetre.
struct MediaSize {
  const char *ppd_name;  // e.g. "4x6.Fullbleed"
  const char *text;
  int width;
  int length;
  int left_margin;    // both sides
  int bottom_margin;  // top and bottom
};

enum class CommandLanguage { kEscPos, kTspl, kOrx };

struct Model {
  const char *driver;  // driver and PPD name, e.g. "qv80rcpt"
  const char *nickname;
  const char *manufacturer;
  const char *model_name;
  CommandLanguage language;   // for status queries and identify
  const char *device_id;      // the IEEE 1284 device ID the model reports
  // Device-ID fields ("CMD:ESC/POS") that mark a real printer this model
  // drives.
  std::span<const char *const> device_id_patterns;
  int x_dpi, y_dpi;
  std::span<const MediaSize> sizes;
  int default_size;
  bool custom_sizes;
  int custom_min_width, custom_min_length;  // hundredths of a millimetre
  int custom_max_width, custom_max_length;
  // Sorted by keyword ignoring case, the order the filter's PPD library
  // enumerates them in.
  std::span<const Option> options;
  std::span<const Attribute> attributes;
};

std::span<const Model> all_models();
const Model *find_model(std::string_view driver);

// The option with this keyword, ignoring case; null when the model has none.
const Option *find_option(const Model &model, std::string_view keyword);
// The attribute's value, ignoring case, the first of duplicates; or null.
const char *find_attribute(const Model &model, std::string_view name);
// The index of the option's choice with this name, ignoring case.
std::optional<int> find_choice(const Option &option, std::string_view name);

}  // namespace quorvane::models

#endif
