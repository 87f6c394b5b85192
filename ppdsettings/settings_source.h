// The one seam through which every front-end gives a page its settings and a
// job its commands: the filter reads them from its marked PPD, the Printer
// Application from a model description and the job's selection. Both then
// take the same road from here, so both print a job alike.
#ifndef QUORVANE_SETTINGS_SOURCE_H
#define QUORVANE_SETTINGS_SOURCE_H

#include <functional>
#include <vector>

#include "job_commands.h"
#include "page_settings.h"

namespace quorvane {

class SettingsSource {
 public:
  // The selected choice of an option: its name and hex command text (either
  // may be null; a null name means the option is absent or unselected).
  struct Choice {
    const char *name = nullptr;
    const char *code = nullptr;
  };

  virtual ~SettingsSource() = default;

  // The value of the attribute with this keyword (keywords match ignoring
  // case; the first of duplicates wins), or null.
  virtual const char *attribute(const char *keyword) const = 0;
  // The selected choice of the option with this keyword (ignoring case).
  virtual Choice selected(const char *keyword) const = 0;
  // Every option's keyword and order number, sorted by keyword ignoring case:
  // the order in which equal order numbers meet the exchange sort.
  virtual void for_each_option(const std::function<void(const char *keyword, float order)> &visit) const = 0;
};

// A setting: the selected choice's name, else the attribute's value, else
// the default; text converted with atoi.
int setting(const SettingsSource &source, const char *keyword, int default_value);

// The bytes of hex command text; empty for none or for text beyond int.
std::vector<unsigned char> hex_command_bytes(const char *text);

// The commands sent at a job boundary: the boundary's attribute
// (StartJobCmd ... EndJobCmd), then the selected choices' codes of the
// options ordered into its range (20 ... 25.99), in ascending order.
std::vector<unsigned char> hook_commands(const SettingsSource &source, JobBoundary at);

// The settings that shape, binarise and encode a page.
PageSettings read_page_settings(const SettingsSource &source);

}  // namespace quorvane

#endif
