// How the PPD's options appear over IPP, and a job's IPP attributes turned
// back into PPD option=choice pairs. Everything is read from the model's PPD:
// the application keeps no second copy of a model's choices.
#ifndef QUORVANE_APP_IPP_MAPPING_H
#define QUORVANE_APP_IPP_MAPPING_H

#include <cups/ppd.h>
#include <pappl/pappl.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvane::app {

// A PPD option that no standard IPP attribute covers, offered as a vendor
// attribute. Choices and values run in parallel, in the PPD's choice order.
struct VendorOption {
  enum class Kind { kBoolean, kInteger, kKeyword };
  std::string ipp_name;      // lower-case IPP keyword, e.g. "paper-save-top"
  std::string ppd_keyword;   // e.g. "PaperSaveTop"
  Kind kind = Kind::kKeyword;
  std::vector<std::string> choices;  // PPD choice names
  std::vector<std::string> values;   // IPP values as text ("true", "24", "partial")
  int default_index = 0;             // the PPD's default choice
};

std::vector<VendorOption> vendor_options(ppd_file_t *ppd);

// The PPD choice of an IPP value given as text, or null when the value is
// none of the option's.
const std::string *choice_for_value(const VendorOption &option, const std::string &value);

// Speed choices in hundredths of a millimetre per second (the unit of
// print-speed), read from the choices' texts; the printer's own setting
// (choice 0) is left out.
struct SpeedChoice {
  int speed;
  std::string choice;
};
std::vector<SpeedChoice> speed_choices(ppd_file_t *ppd, std::string *keyword = nullptr);

// Darkness levels, lightest first (the printer's own setting, -1, left out).
std::vector<std::string> darkness_choices(ppd_file_t *ppd, std::string *keyword = nullptr);

// Media tracking and the paper type choice for each.
struct TrackingChoice {
  pappl_media_tracking_t tracking;
  std::string choice;
};
std::vector<TrackingChoice> tracking_choices(ppd_file_t *ppd, std::string *keyword = nullptr);

// Whether the model can cut, so that finishings=trim means something.
bool can_cut(ppd_file_t *ppd);

// The printer darkness that leaves the density at the PPD's default (the
// printer's own setting) when a job asks for no darkness of its own.
constexpr int kNeutralDarkness = 50;

// What a job asks for, in IPP terms: PAPPL's job options, and the vendor
// values by name (the job's own, else the printer's defaults).
struct JobRequest {
  pappl_color_mode_t color_mode = PAPPL_COLOR_MODE_MONOCHROME;
  pappl_content_t content = PAPPL_CONTENT_AUTO;
  std::optional<int> print_darkness;  // the job's print-darkness, when it sent one
  int darkness_configured = kNeutralDarkness;
  int print_speed = 0;
  pappl_media_tracking_t tracking = static_cast<pappl_media_tracking_t>(0);
  bool cut = false;  // finishings include trim
  std::vector<std::pair<std::string, std::string>> vendor;  // first match wins
  std::vector<std::string> job_vendor_names;  // the vendor values the job itself sent
};

// The first vendor value the job sent that its printer does not offer, as
// "name=value"; empty when there is none. PAPPL 1.3.1 checks standard
// attributes only and lets any vendor value through to the job.
std::string unsupported_vendor_value(ppd_file_t *ppd, const JobRequest &request);

// The option=choice pairs that give the PPD the job's settings.
std::vector<std::pair<std::string, std::string>> ppd_choices(ppd_file_t *ppd, const JobRequest &request);

}  // namespace quorvane::app

#endif
