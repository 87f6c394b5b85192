#include "ipp_mapping.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace quorvane::app {

namespace {

// IPP names of the options whose CamelCase keyword does not read well as an
// IPP keyword, and IPP values for choices named by a number that stands for a
// word. Options not listed are named by their keyword, lower-cased.
struct Naming {
  const char *ppd_keyword;
  const char *ipp_name;
  std::vector<std::pair<const char *, const char *>> values;  // choice -> IPP value
};

const std::vector<Naming> &namings() {
  static const std::vector<Naming> kNamings = {
      {"ImageUpsideDownPrint", "upside-down", {}},
      {"HorizontalPrintPositionAdjustment", "place-within-printable-width", {}},
      {"HorizontalPrintAlignment", "alignment", {{"0", "left"}, {"1", "center"}, {"2", "right"}}},
      {"HorizontalPrintOffset", "offset", {}},
      {"StripLeftPadding", "strip-left-margin", {}},
      {"StripRightPadding", "strip-right-margin", {}},
      {"PaperSaveTop", "paper-save-top", {}},
      {"PaperSaveMiddle", "paper-save-middle", {}},
      {"PaperSaveBottom", "paper-save-bottom", {}},
      {"ImageCmdConversionAlgorithm", "image-transfer", {{"0", "raster"}, {"1", "run-length"}, {"2", "jbig"}}},
      {"ORX.IMAGECOMPRESSION", "image-transfer", {{"0", "raster"}, {"1", "run-length"}, {"2", "jbig"}}},
      {"CutAfterEachPage", "cut-after-each-page", {}},
      {"ORX.FINISHPRINTCUT", "cut-after-each-page", {{"0", "none"}, {"1", "partial"}, {"2", "full"}}},
      {"CutAtJobEnd", "cut-at-job-end", {}},
      {"CashDrawer", "cash-drawer", {}},
      {"ORX.FINISHPRINTFEED", "feed-after-page", {}},
  };
  return kNamings;
}

// What finishings=trim selects on a model that can cut: a cut at the end of
// the receipt, a full cut after each label.
struct CutChoice {
  const char *ppd_keyword;
  const char *choice;
};
constexpr CutChoice kCutOnTrim[] = {{"CutAtJobEnd", "Full"}, {"ORX.FINISHPRINTCUT", "2"}};

// Paper type choices: the models number them alike.
constexpr std::pair<const char *, pappl_media_tracking_t> kTracking[] = {
    {"0", PAPPL_MEDIA_TRACKING_CONTINUOUS},
    {"1", PAPPL_MEDIA_TRACKING_GAP},
    {"2", PAPPL_MEDIA_TRACKING_MARK},
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

// The PPD's options in file order.
template <typename F>
void for_each_option(ppd_file_t *ppd, F &&f) {
  for (int g = 0; g < ppd->num_groups; ++g) {
    const ppd_group_t &group = ppd->groups[g];
    for (int o = 0; o < group.num_options; ++o) f(group.options[o]);
  }
}

ppd_option_t *option_with_role(ppd_file_t *ppd, Role role) {
  ppd_option_t *found = nullptr;
  for_each_option(ppd, [&](ppd_option_t &option) {
    if (!found && role_of(option.keyword) == role) found = &option;
  });
  return found;
}

int default_index(const ppd_option_t &option) {
  for (int c = 0; c < option.num_choices; ++c)
    if (std::strcmp(option.choices[c].choice, option.defchoice) == 0) return c;
  return 0;
}

}  // namespace

std::vector<VendorOption> vendor_options(ppd_file_t *ppd) {
  std::vector<VendorOption> out;
  for_each_option(ppd, [&](ppd_option_t &option) {
    if (role_of(option.keyword) != Role::kVendor || option.num_choices == 0) return;
    VendorOption v;
    v.ppd_keyword = option.keyword;
    v.ipp_name = lower_keyword(option.keyword);
    const Naming *naming = nullptr;
    for (const Naming &n : namings())
      if (v.ppd_keyword == n.ppd_keyword) naming = &n;
    if (naming) v.ipp_name = naming->ipp_name;
    bool all_int = true, binary = option.num_choices == 2;
    for (int c = 0; c < option.num_choices; ++c) {
      const char *choice = option.choices[c].choice;
      v.choices.emplace_back(choice);
      all_int = all_int && parse_int(choice).has_value();
      binary = binary && (std::strcmp(choice, "0") == 0 || std::strcmp(choice, "1") == 0);
    }
    v.kind = binary ? VendorOption::Kind::kBoolean
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
    v.default_index = default_index(option);
    out.push_back(std::move(v));
  });
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

std::vector<SpeedChoice> speed_choices(ppd_file_t *ppd, std::string *keyword) {
  std::vector<SpeedChoice> out;
  ppd_option_t *option = option_with_role(ppd, Role::kSpeed);
  if (!option) return out;
  if (keyword) *keyword = option->keyword;
  for (int c = 0; c < option->num_choices; ++c) {
    const ppd_choice_t &choice = option->choices[c];
    const auto number = parse_int(choice.choice);
    if (!number || *number <= 0) continue;
    // "2 inches per second", "50 mm per second": the text gives the unit.
    char *end = nullptr;
    const long amount = std::strtol(choice.text, &end, 10);
    if (end == choice.text || amount <= 0) continue;
    int speed = 0;
    if (std::strstr(end, "mm per second")) speed = static_cast<int>(amount * 100);
    else if (std::strstr(end, "inch")) speed = static_cast<int>(amount * 2540);
    if (speed > 0) out.push_back({speed, choice.choice});
  }
  std::sort(out.begin(), out.end(), [](const SpeedChoice &a, const SpeedChoice &b) { return a.speed < b.speed; });
  return out;
}

std::vector<std::string> darkness_choices(ppd_file_t *ppd, std::string *keyword) {
  std::vector<std::pair<int, std::string>> levels;
  ppd_option_t *option = option_with_role(ppd, Role::kDarkness);
  if (!option) return {};
  if (keyword) *keyword = option->keyword;
  for (int c = 0; c < option->num_choices; ++c) {
    const auto number = parse_int(option->choices[c].choice);
    if (number && *number >= 0) levels.emplace_back(*number, option->choices[c].choice);
  }
  std::sort(levels.begin(), levels.end());
  std::vector<std::string> out;
  for (auto &level : levels) out.push_back(std::move(level.second));
  return out;
}

std::vector<TrackingChoice> tracking_choices(ppd_file_t *ppd, std::string *keyword) {
  std::vector<TrackingChoice> out;
  ppd_option_t *option = option_with_role(ppd, Role::kTracking);
  if (!option) return out;
  if (keyword) *keyword = option->keyword;
  for (int c = 0; c < option->num_choices; ++c)
    for (const auto &[name, tracking] : kTracking)
      if (std::strcmp(option->choices[c].choice, name) == 0) out.push_back({tracking, name});
  return out;
}

bool can_cut(ppd_file_t *ppd) {
  for (const CutChoice &cut : kCutOnTrim)
    if (ppdFindChoice(ppdFindOption(ppd, cut.ppd_keyword), cut.choice)) return true;
  return false;
}

std::string unsupported_vendor_value(ppd_file_t *ppd, const JobRequest &request) {
  const auto vendor = vendor_options(ppd);
  for (const std::string &name : request.job_vendor_names) {
    for (const auto &[n, value] : request.vendor) {
      if (n != name) continue;
      for (const VendorOption &option : vendor)
        if (option.ipp_name == name && !choice_for_value(option, value)) return name + "=" + value;
      break;  // the job's own value comes first
    }
  }
  return {};
}

std::vector<std::pair<std::string, std::string>> ppd_choices(ppd_file_t *ppd, const JobRequest &request) {
  std::vector<std::pair<std::string, std::string>> out;

  if (ppd_option_t *option = option_with_role(ppd, Role::kBinarization)) {
    const char *choice = "0";  // ordered dithering
    if (request.color_mode == PAPPL_COLOR_MODE_BI_LEVEL || request.content == PAPPL_CONTENT_TEXT) choice = "1";
    else if (request.content == PAPPL_CONTENT_PHOTO) choice = "2";
    out.emplace_back(option->keyword, choice);
  }

  std::string keyword;
  if (const auto speeds = speed_choices(ppd, &keyword); !speeds.empty() && request.print_speed > 0) {
    const SpeedChoice *best = &speeds.front();
    for (const SpeedChoice &s : speeds)
      if (std::abs(s.speed - request.print_speed) < std::abs(best->speed - request.print_speed)) best = &s;
    out.emplace_back(keyword, best->choice);
  }

  if (const auto levels = darkness_choices(ppd, &keyword); !levels.empty()) {
    std::optional<int> level;
    if (request.print_darkness) level = request.darkness_configured + *request.print_darkness;
    else if (request.darkness_configured != kNeutralDarkness) level = request.darkness_configured;
    if (level) {
      const int clamped = std::clamp(*level, 0, 100);
      const auto index = std::lround(clamped * static_cast<double>(levels.size() - 1) / 100.0);
      out.emplace_back(keyword, levels[static_cast<size_t>(index)]);
    }
  }

  for (const TrackingChoice &t : tracking_choices(ppd, &keyword))
    if (request.tracking == t.tracking) out.emplace_back(keyword, t.choice);

  // Vendor values; a cut asked for with finishings overrides the printer's
  // default but not the job's own choice.
  const auto vendor = vendor_options(ppd);
  for (const VendorOption &option : vendor) {
    for (const auto &[name, value] : request.vendor) {
      if (name != option.ipp_name) continue;
      if (const std::string *choice = choice_for_value(option, value)) {
        out.emplace_back(option.ppd_keyword, *choice);
        break;
      }
    }
  }
  if (request.cut) {
    for (const CutChoice &cut : kCutOnTrim) {
      if (!ppdFindChoice(ppdFindOption(ppd, cut.ppd_keyword), cut.choice)) continue;
      bool job_named = false;
      for (const VendorOption &option : vendor)
        if (option.ppd_keyword == cut.ppd_keyword)
          for (const std::string &name : request.job_vendor_names)
            job_named = job_named || name == option.ipp_name;
      if (!job_named) out.emplace_back(cut.ppd_keyword, cut.choice);
    }
  }
  return out;
}

}  // namespace quorvane::app
