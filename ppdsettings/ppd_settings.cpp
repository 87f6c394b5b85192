#include "ppd_settings.h"

#include <cstdlib>

const char *retrivePPDAttributeValue(ppd_file_t *ppd, const char *keyword) {
  ppd_attr_t *attr = ppdFindAttr(ppd, keyword, "");
  return attr ? attr->value : nullptr;
}

int retrivePPDAttributeValueToInt(ppd_file_t *ppd, const char *keyword, int default_value) {
  const char *value = retrivePPDAttributeValue(ppd, keyword);
  return value ? std::atoi(value) : default_value;
}

const char *retrivePPDOptionChoice(ppd_file_t *ppd, const char *keyword) {
  ppd_choice_t *choice = ppdFindMarkedChoice(ppd, keyword);
  return choice ? choice->choice : nullptr;
}

int retrivePPDOptionChoiceToInt(ppd_file_t *ppd, const char *keyword, int default_value) {
  const char *choice = retrivePPDOptionChoice(ppd, keyword);
  return choice ? std::atoi(choice) : default_value;
}

int retrivePPDPrinterDataToInt(ppd_file_t *ppd, const char *keyword, int default_value) {
  return quorvane::setting(quorvane::MarkedPpd(ppd), keyword, default_value);
}

namespace quorvane {

const char *MarkedPpd::attribute(const char *keyword) const { return retrivePPDAttributeValue(ppd_, keyword); }

SettingsSource::Choice MarkedPpd::selected(const char *keyword) const {
  const ppd_choice_t *choice = ppdFindMarkedChoice(ppd_, keyword);
  if (choice == nullptr) return {};
  return {choice->choice, choice->code};
}

void MarkedPpd::for_each_option(const std::function<void(const char *keyword, float order)> &visit) const {
  for (ppd_option_t *o = ppdFirstOption(ppd_); o != nullptr; o = ppdNextOption(ppd_)) visit(o->keyword, o->order);
}

std::vector<unsigned char> hook_commands(ppd_file_t *ppd, JobBoundary at) { return hook_commands(MarkedPpd(ppd), at); }

PageSettings read_page_settings(ppd_file_t *ppd) { return read_page_settings(MarkedPpd(ppd)); }

}  // namespace quorvane
