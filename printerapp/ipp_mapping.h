// How a model's options appear over IPP, and a job's IPP attributes turned
// into the model's option=choice pairs. Everything is read from the model
// description: the application keeps no second copy of a model's choices.
#ifndef QUORVANE_APP_IPP_MAPPING_H
#define QUORVANE_APP_IPP_MAPPING_H

#include <pappl/pappl.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model.h"

namespace quorvane::app {

using models::Model;

// A model option that no standard IPP attribute covers, offered as a vendor
// attribute. Choices and values run in parallel, in the model's choice order.
struct VendorOption {
  enum class Kind { kBoolean, kInteger, kKeyword };
  std::string ipp_name;      // lower-case IPP keyword, e.g. "paper-save-top"
  std::string keyword;   // the option's keyword, e.g. "PaperSaveTop"
  Kind kind = Kind::kKeyword;
  std::vector<std::string> choices;  // choice names
  std::vector<std::string> values;   // IPP values as text ("true", "24", "partial")
  int default_index = 0;             // the model's default choice
};

std::vector<VendorOption> vendor_options(const Model &model);

// The choice of an IPP value given as text, or null when the value is
// none of the option's.
const std::string *choice_for_value(const VendorOption &option, const std::string &value);

// Speed choices in hundredths of a millimetre per second (the unit of
// print-speed), slowest first; the printer's own setting is left out.
struct SpeedChoice {
  int speed;
  std::string choice;
};
std::vector<SpeedChoice> speed_choices(const Model &model, std::string *keyword = nullptr);

// Darkness levels, lightest first (the printer's own setting, -1, left out).
std::vector<std::string> darkness_choices(const Model &model, std::string *keyword = nullptr);

// Media tracking and the paper type choice for each.
struct TrackingChoice {
  pappl_media_tracking_t tracking;
  std::string choice;
};
std::vector<TrackingChoice> tracking_choices(const Model &model, std::string *keyword = nullptr);

// Whether the model's density option has a choice for the printer's own
// setting, and whether that is the model's default.
bool has_own_darkness(const Model &model);
bool own_darkness_by_default(const Model &model);

// Whether the model can cut, so that finishings=trim means something.
bool can_cut(const Model &model);

// The printer darkness a model with no darkness level of its own by default
// starts from: the middle of the range.
constexpr int kMiddleDarkness = 50;

// The vendor attribute that leaves the darkness to the printer's own
// setting: the density option's choice for it, offered as a choice of its
// own rather than as one printer-darkness value.
constexpr const char *kOwnDarknessName = "darkness-from-printer";

// What a job asks for, in IPP terms: PAPPL's job options, and the vendor
// values by name (the job's own, else the printer's defaults).
struct JobRequest {
  pappl_color_mode_t color_mode = PAPPL_COLOR_MODE_MONOCHROME;
  pappl_content_t content = PAPPL_CONTENT_AUTO;
  std::optional<int> print_darkness;  // the job's print-darkness, when it sent one
  int darkness_configured = kMiddleDarkness;
  int print_speed = 0;
  pappl_media_tracking_t tracking = static_cast<pappl_media_tracking_t>(0);
  bool cut = false;  // finishings include trim
  std::vector<std::pair<std::string, std::string>> vendor;  // first match wins
  std::vector<std::string> job_vendor_names;  // the vendor values the job itself sent
};

// The first vendor value the job sent that its printer does not offer, as
// "name=value"; empty when there is none. PAPPL 1.3.1 checks standard
// attributes only and lets any vendor value through to the job.
std::string unsupported_vendor_value(const Model &model, const JobRequest &request);

// Why a vendor value is not one the model offers, naming it and the values
// allowed ("cut-at-job-end=sideways is not supported; the values are full,
// partial, feed, none."); empty when it is one, or no vendor attribute of
// the model has that name.
std::string vendor_value_problem(const Model &model, const std::string &name, const std::string &value);

// Why a job's print-speed (hundredths of mm/s) is not one the model can
// print at: outside the range it advertises; empty when it is.
std::string print_speed_problem(const Model &model, int print_speed);

// Labels for the web page, as PAPPL's localisation strings ("key" =
// "text";): each vendor attribute by its option's text (with the unit of its
// numbers) and each keyword value by its choice's text.
std::string web_strings();

// The option=choice pairs that give the model the job's settings, in the
// order they are to be selected.
std::vector<std::pair<std::string, std::string>> model_choices(const Model &model, const JobRequest &request);

}  // namespace quorvane::app

#endif
