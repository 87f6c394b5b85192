// The filter's side of the settings seam: settings and printer commands from
// a marked PPD, read the one way the filter always has.
#ifndef QUORVANE_PPD_SETTINGS_H
#define QUORVANE_PPD_SETTINGS_H

#include <cups/ppd.h>

#include "settings_source.h"

// The attribute's value (empty specifier), or null.
const char *retrivePPDAttributeValue(ppd_file_t *ppd, const char *keyword);
int retrivePPDAttributeValueToInt(ppd_file_t *ppd, const char *keyword, int default_value);

// The name of the option's marked choice, or null.
const char *retrivePPDOptionChoice(ppd_file_t *ppd, const char *keyword);
int retrivePPDOptionChoiceToInt(ppd_file_t *ppd, const char *keyword, int default_value);

// A setting: the option's marked choice, else the attribute, else the
// default; text converted with atoi.
int retrivePPDPrinterDataToInt(ppd_file_t *ppd, const char *keyword, int default_value);

namespace quorvane {

// A marked PPD as a settings source; the PPD stays the caller's.
class MarkedPpd final : public SettingsSource {
 public:
  explicit MarkedPpd(ppd_file_t *ppd) : ppd_(ppd) {}
  const char *attribute(const char *keyword) const override;
  Choice selected(const char *keyword) const override;
  void for_each_option(const std::function<void(const char *keyword, float order)> &visit) const override;

 private:
  ppd_file_t *ppd_;
};

std::vector<unsigned char> hook_commands(ppd_file_t *ppd, JobBoundary at);
PageSettings read_page_settings(ppd_file_t *ppd);

}  // namespace quorvane

#endif
