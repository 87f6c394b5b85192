#include "ipp_mapping.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace quorvane::app {

namespace {

using models::Option;

// IPP names of the options whose CamelCase keyword does not read well as an
// IPP keyword, and IPP values for choices named by a number that stands for a
// word. Options not listed are named by their keyword, lower-cased.
struct Naming {
  const char *keyword;
  const char *ipp_name;
  std::vector<std::pair<const char *, const char *>> values;  // choice -> IPP value
  const char *unit = nullptr;                                 // of an integer's values, for its label
};

const std::vector<Naming> &namings() {
  static const std::vector<Naming> kNamings = {
      {"ImageUpsideDownPrint", "upside-down", {}},
      {"HorizontalPrintPositionAdjustment", "place-within-printable-width", {}},
      {"HorizontalPrintAlignment", "alignment", {{"0", "left"}, {"1", "center"}, {"2", "right"}}},
      {"HorizontalPrintOffset", "offset", {}, "dots, 8 = 1 mm; below 0 to the left"},
      {"StripLeftPadding", "strip-left-margin", {}},
      {"StripRightPadding", "strip-right-margin", {}},
      {"PaperSaveTop", "paper-save-top", {}, "dots, 8 = 1 mm"},
      {"PaperSaveMiddle", "paper-save-middle", {}, "dots, 8 = 1 mm"},
      {"PaperSaveBottom", "paper-save-bottom", {}, "dots, 8 = 1 mm"},
      {"ImageCmdConversionAlgorithm", "image-transfer", {{"0", "raster"}, {"1", "run-length"}, {"2", "jbig"}}},
      {"ORX.IMAGECOMPRESSION", "image-transfer", {{"0", "raster"}, {"1", "run-length"}, {"2", "jbig"}}},
      {"CutAfterEachPage", "cut-after-each-page", {}},
      {"ORX.FINISHPRINTCUT", "cut-after-each-page", {{"0", "none"}, {"1", "partial"}, {"2", "full"}}},
      {"CutAtJobEnd", "cut-at-job-end", {}},
      {"CashDrawer", "cash-drawer", {}},
      {"ORX.FINISHPRINTFEED", "feed-after-page", {}, "mm"},
  };
  return kNamings;
}

// What finishings=trim selects on a model that can cut: a cut at the end of
// the receipt, a full cut after each label.
struct CutChoice {
  const char *keyword;
  const char *choice;
};
constexpr CutChoice kCutOnTrim[] = {{"CutAtJobEnd", "Full"}, {"ORX.FINISHPRINTCUT", "2"}};

// Paper type choices: the models number them alike.
constexpr std::pair<int, pappl_media_tracking_t> kTracking[] = {
    {0, PAPPL_MEDIA_TRACKING_CONTINUOUS},
    {1, PAPPL_MEDIA_TRACKING_GAP},
    {2, PAPPL_MEDIA_TRACKING_MARK},
};

enum class Role { kVendor, kBinarization, kSpeed, kDarkness, kTracking, kPappl };

Role role_of(std::string_view keyword) {
  // PAPPL's own attributes: media, printer-resolution, print-color-mode.
  if (keyword == "PageSize" || keyword == "PageRegion" || keyword == "Resolution" || keyword == "ColorModel")
    return Role::kPappl;
  if (keyword == "ImageBinarizationAlgorithm") return Role::kBinarization;
  if (keyword.ends_with(".SPEED")) return Role::kSpeed;
  if (keyword.ends_with(".DENSITY")) return Role::kDarkness;
  if (keyword.ends_with(".PAPERTYPE")) return Role::kTracking;
  return Role::kVendor;
}

std::optional<int> parse_int(const char *text) {
  if (!text || !*text) return std::nullopt;
  char *end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*end != '\0') return std::nullopt;
  return static_cast<int>(value);
}

std::string lower_keyword(std::string_view text) {
  std::string out;
  for (char c : text) out += c == '.' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

const Option *option_with_role(const Model &model, Role role) {
  for (const Option &option : model.options)
    if (role_of(option.keyword) == role) return &option;
  return nullptr;
}

// The density option's choice for the printer's own setting: below 0.
const models::Choice *own_darkness_choice(const Model &model) {
  const Option *option = option_with_role(model, Role::kDarkness);
  if (!option) return nullptr;
  for (const models::Choice &choice : option->choices)
    if (choice.number && *choice.number < 0) return &choice;
  return nullptr;
}

// The value the request gives a vendor attribute: the job's own, else the
// printer's default.
const std::string *vendor_value(const JobRequest &request, std::string_view name) {
  for (const auto &[n, value] : request.vendor)
    if (n == name) return &value;
  return nullptr;
}

// The choice the pairs leave an option at: the last one named, else the
// model's default.
std::string final_choice(const Model &model, const std::vector<std::pair<std::string, std::string>> &pairs,
                         const char *keyword) {
  std::string choice;
  if (const Option *option = models::find_option(model, keyword))
    choice = option->choices[static_cast<size_t>(option->default_index)].name;
  for (const auto &[k, c] : pairs)
    if (k == keyword) choice = c;
  return choice;
}

// A receipt cut after every page is already cut after its last: a second
// cut at the job's end would only cut off a blank slip, so the job's end
// neither feeds nor cuts. (The PPDs forbid the pair with UIConstraints,
// which IPP clients never see.)
void cut_once(const Model &model, std::vector<std::pair<std::string, std::string>> &pairs) {
  const Option *each = models::find_option(model, "CutAfterEachPage");
  const Option *end = models::find_option(model, "CutAtJobEnd");
  if (!each || !end || !models::find_choice(*end, "None")) return;
  const std::string after_page = final_choice(model, pairs, "CutAfterEachPage");
  const std::string at_end = final_choice(model, pairs, "CutAtJobEnd");
  if (after_page != "None" && (at_end == "Full" || at_end == "Partial")) pairs.emplace_back("CutAtJobEnd", "None");
}

}  // namespace

std::vector<VendorOption> vendor_options(const Model &model) {
  std::vector<VendorOption> out;
  for (const Option &option : model.options) {
    if (role_of(option.keyword) != Role::kVendor || option.choices.empty()) continue;
    VendorOption v;
    v.keyword = option.keyword;
    v.ipp_name = lower_keyword(option.keyword);
    const Naming *naming = nullptr;
    for (const Naming &n : namings())
      if (v.keyword == n.keyword) naming = &n;
    if (naming) v.ipp_name = naming->ipp_name;
    bool all_int = true, binary = option.choices.size() == 2;
    for (const models::Choice &choice : option.choices) {
      v.choices.emplace_back(choice.name);
      all_int = all_int && choice.number.has_value();
      binary = binary && choice.number && (*choice.number == 0 || *choice.number == 1);
    }
    v.kind = binary                                              ? VendorOption::Kind::kBoolean
             : (all_int && !(naming && !naming->values.empty())) ? VendorOption::Kind::kInteger
                                                                 : VendorOption::Kind::kKeyword;
    for (const std::string &choice : v.choices) {
      std::string value = lower_keyword(choice);
      if (v.kind == VendorOption::Kind::kBoolean) value = choice == "1" ? "true" : "false";
      if (naming)
        for (const auto &[c, ipp] : naming->values)
          if (choice == c) value = ipp;
      v.values.push_back(value);
    }
    v.default_index = option.default_index;
    out.push_back(std::move(v));
  }
  return out;
}

const std::string *choice_for_value(const VendorOption &option, const std::string &value) {
  for (size_t i = 0; i < option.values.size(); ++i) {
    if (option.values[i] == value) return &option.choices[i];
    // Integers arrive as IPP integers: "+8" or "08" name the choice 8 too.
    if (option.kind == VendorOption::Kind::kInteger) {
      const auto a = parse_int(value.c_str()), b = parse_int(option.values[i].c_str());
      if (a && b && *a == *b) return &option.choices[i];
    }
  }
  return nullptr;
}

std::vector<SpeedChoice> speed_choices(const Model &model, std::string *keyword) {
  std::vector<SpeedChoice> out;
  const Option *option = option_with_role(model, Role::kSpeed);
  if (!option) return out;
  if (keyword) *keyword = option->keyword;
  for (const models::Choice &choice : option->choices)
    if (choice.mm_per_second > 0)
      out.push_back({static_cast<int>(std::lround(choice.mm_per_second * 100)), choice.name});
  std::sort(out.begin(), out.end(), [](const SpeedChoice &a, const SpeedChoice &b) { return a.speed < b.speed; });
  return out;
}

std::vector<std::string> darkness_choices(const Model &model, std::string *keyword) {
  std::vector<std::pair<int, std::string>> levels;
  const Option *option = option_with_role(model, Role::kDarkness);
  if (!option) return {};
  if (keyword) *keyword = option->keyword;
  for (const models::Choice &choice : option->choices)
    if (choice.number && *choice.number >= 0) levels.emplace_back(*choice.number, choice.name);
  std::sort(levels.begin(), levels.end());
  std::vector<std::string> out;
  for (auto &level : levels) out.push_back(std::move(level.second));
  return out;
}

std::vector<TrackingChoice> tracking_choices(const Model &model, std::string *keyword) {
  std::vector<TrackingChoice> out;
  const Option *option = option_with_role(model, Role::kTracking);
  if (!option) return out;
  if (keyword) *keyword = option->keyword;
  for (const models::Choice &choice : option->choices)
    for (const auto &[number, tracking] : kTracking)
      if (choice.number == number) out.push_back({tracking, choice.name});
  return out;
}

bool has_own_darkness(const Model &model) { return own_darkness_choice(model) != nullptr; }

bool own_darkness_by_default(const Model &model) {
  const Option *option = option_with_role(model, Role::kDarkness);
  return option && &option->choices[static_cast<size_t>(option->default_index)] == own_darkness_choice(model);
}

bool can_cut(const Model &model) {
  for (const CutChoice &cut : kCutOnTrim)
    if (const Option *option = models::find_option(model, cut.keyword);
        option && models::find_choice(*option, cut.choice))
      return true;
  return false;
}

std::string vendor_value_problem(const Model &model, const std::string &name, const std::string &value) {
  std::vector<std::string> allowed;
  if (name == kOwnDarknessName && has_own_darkness(model)) {
    if (value == "true" || value == "false") return {};
    allowed = {"true", "false"};
  } else {
    for (const VendorOption &option : vendor_options(model)) {
      if (option.ipp_name != name) continue;
      if (choice_for_value(option, value)) return {};
      allowed = option.values;
      break;
    }
  }
  if (allowed.empty()) return {};
  std::string message = name + "=" + value + " is not supported; the values are ";
  for (size_t i = 0; i < allowed.size(); ++i) message += (i ? ", " : "") + allowed[i];
  return message + ".";
}

std::string print_speed_problem(const Model &model, int print_speed) {
  const auto speeds = speed_choices(model);
  if (speeds.empty() || print_speed == 0) return {};  // 0: the printer's own speed
  if (print_speed >= speeds.front().speed && print_speed <= speeds.back().speed) return {};
  return "print-speed=" + std::to_string(print_speed) + " is outside " + std::to_string(speeds.front().speed) + "-" +
         std::to_string(speeds.back().speed) + " (hundredths of a millimetre per second).";
}

std::string unsupported_vendor_value(const Model &model, const JobRequest &request) {
  for (const std::string &name : request.job_vendor_names) {
    const std::string *value = vendor_value(request, name);
    if (!value) continue;
    if (const std::string problem = vendor_value_problem(model, name, *value); !problem.empty())
      return name + "=" + *value;
  }
  return {};
}

std::vector<std::pair<std::string, std::string>> model_choices(const Model &model, const JobRequest &request) {
  std::vector<std::pair<std::string, std::string>> out;

  if (const Option *option = option_with_role(model, Role::kBinarization)) {
    const char *choice = "0";  // ordered dithering
    if (request.color_mode == PAPPL_COLOR_MODE_BI_LEVEL || request.content == PAPPL_CONTENT_TEXT)
      choice = "1";
    else if (request.content == PAPPL_CONTENT_PHOTO)
      choice = "2";
    out.emplace_back(option->keyword, choice);
  }

  std::string keyword;
  if (const auto speeds = speed_choices(model, &keyword); !speeds.empty() && request.print_speed > 0) {
    const SpeedChoice *best = &speeds.front();
    for (const SpeedChoice &s : speeds)
      if (std::abs(s.speed - request.print_speed) < std::abs(best->speed - request.print_speed)) best = &s;
    out.emplace_back(keyword, best->choice);
  }

  if (const auto levels = darkness_choices(model, &keyword); !levels.empty()) {
    // The printer's own darkness is a choice of its own; a job's
    // print-darkness moves away from the printer darkness either way.
    const models::Choice *own = own_darkness_choice(model);
    const std::string *own_value = vendor_value(request, kOwnDarknessName);
    const bool use_own = own && (own_value ? *own_value == "true" : own_darkness_by_default(model));
    if (use_own && !request.print_darkness) {
      out.emplace_back(keyword, own->name);
    } else {
      // Both come from clients, any int: summed wide, then clamped.
      const long long level = static_cast<long long>(request.darkness_configured) + request.print_darkness.value_or(0);
      const int clamped = static_cast<int>(std::clamp(level, 0LL, 100LL));
      const auto index = std::lround(clamped * static_cast<double>(levels.size() - 1) / 100.0);
      out.emplace_back(keyword, levels[static_cast<size_t>(index)]);
    }
  }

  for (const TrackingChoice &t : tracking_choices(model, &keyword))
    if (request.tracking == t.tracking) out.emplace_back(keyword, t.choice);

  // Vendor values; a cut asked for with finishings overrides the printer's
  // default but not the job's own choice.
  const auto vendor = vendor_options(model);
  for (const VendorOption &option : vendor) {
    if (const std::string *value = vendor_value(request, option.ipp_name)) {
      if (const std::string *choice = choice_for_value(option, *value)) out.emplace_back(option.keyword, *choice);
    }
  }
  if (request.cut) {
    for (const CutChoice &cut : kCutOnTrim) {
      const Option *option = models::find_option(model, cut.keyword);
      if (!option || !models::find_choice(*option, cut.choice)) continue;
      bool job_named = false;
      for (const VendorOption &v : vendor)
        if (v.keyword == cut.keyword)
          for (const std::string &name : request.job_vendor_names) job_named = job_named || name == v.ipp_name;
      if (!job_named) out.emplace_back(cut.keyword, cut.choice);
    }
  }
  cut_once(model, out);
  return out;
}

namespace {

void add_string(std::string &out, std::string_view key, std::string_view text) {
  auto quoted = [](std::string_view t) {
    std::string q = "\"";
    for (char c : t) {
      if (c == '"' || c == '\\') q += '\\';
      q += c;
    }
    return q + "\"";
  };
  const std::string entry = quoted(key) + " = ";
  if (out.find(quoted(key) + " = ") != std::string::npos) return;  // the first model's wins
  out += entry + quoted(text) + ";\n";
}

}  // namespace

std::string web_strings() {
  std::string out;
  for (const Model &model : models::all_models()) {
    for (const VendorOption &v : vendor_options(model)) {
      const Option *option = models::find_option(model, v.keyword);
      const Naming *naming = nullptr;
      for (const Naming &n : namings())
        if (v.keyword == n.keyword) naming = &n;
      std::string label = option->text;
      if (v.kind == VendorOption::Kind::kInteger && naming && naming->unit)
        label += std::string(" (") + naming->unit + ")";
      add_string(out, v.ipp_name, label);
      if (v.kind == VendorOption::Kind::kKeyword)
        for (size_t i = 0; i < v.values.size(); ++i)
          add_string(out, v.ipp_name + "." + v.values[i], option->choices[i].text);
    }
    if (has_own_darkness(model)) add_string(out, kOwnDarknessName, "Leave the darkness to the printer's own setting");
  }
  return out;
}

}  // namespace quorvane::app
