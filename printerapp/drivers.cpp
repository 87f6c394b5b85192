#include "drivers.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "field_bits.h"
#include "image_job.h"
#include "ipp_mapping.h"
#include "raster_job.h"
#include "status_watch.h"
#include "test_page.h"

namespace quorvane::app {

namespace {

// PAPPL keeps the driver data's string pointers: strings live as long as the
// process.
const char *intern(const std::string &text) {
  static std::mutex mutex;
  static std::deque<std::string> pool;
  const std::lock_guard lock(mutex);
  for (const std::string &s : pool)
    if (s == text) return s.c_str();
  return pool.emplace_back(text).c_str();
}

std::string media_name(int width, int length) {
  const pwg_media_t *pwg = pwgMediaForSize(width, length);
  if (pwg && std::strncmp(pwg->pwg, "custom_", 7) != 0) return pwg->pwg;
  // Self-describing names: "oe" sizes in inches, "om" sizes in millimetres.
  const bool inches = width % 635 == 0 && length % 635 == 0;
  char name[128];
  pwgFormatSizeName(name, sizeof(name), inches ? "oe" : "om", nullptr, width, length, inches ? "in" : "mm");
  return name;
}

void identify(pappl_printer_t *printer, pappl_identify_actions_t, const char *) {
  const char *driver = papplPrinterGetDriverName(printer);
  const models::Model *model = models::find_model(driver ? driver : "");
  const std::span<const unsigned char> bytes =
      model ? identify_command(model->language) : std::span<const unsigned char>();
  if (bytes.empty()) return;  // such models offer no identify
  // A printer at work is not interrupted; PAPPL hands out no device then.
  pappl_device_t *device = papplPrinterOpenDevice(printer);
  if (!device) {
    papplLogPrinter(printer, PAPPL_LOGLEVEL_WARN, "Identify-Printer: the printer is busy and was not disturbed.");
    return;
  }
  const bool sent = papplDeviceWrite(device, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  papplDeviceFlush(device);
  papplPrinterCloseDevice(printer);
  papplLogPrinter(printer, sent ? PAPPL_LOGLEVEL_INFO : PAPPL_LOGLEVEL_ERROR, "Identify-Printer: %s.",
                  sent ? "sent" : "the printer did not take the command");
}


void add_vendor_attributes(const std::vector<VendorOption> &options, pappl_pr_driver_data_t *data, ipp_t *attrs) {
  for (const VendorOption &option : options) {
    if (data->num_vendor >= PAPPL_MAX_VENDOR) break;
    const std::string supported = option.ipp_name + "-supported", def = option.ipp_name + "-default";
    if (ippFindAttribute(attrs, supported.c_str(), IPP_TAG_ZERO)) continue;  // two options, one name
    data->vendor[data->num_vendor++] = intern(option.ipp_name);
    const std::string &value = option.values[static_cast<size_t>(option.default_index)];
    switch (option.kind) {
      case VendorOption::Kind::kBoolean:
        ippAddBoolean(attrs, IPP_TAG_PRINTER, supported.c_str(), 1);
        ippAddBoolean(attrs, IPP_TAG_PRINTER, def.c_str(), value == "true");
        break;
      case VendorOption::Kind::kInteger: {
        std::vector<int> values;
        for (const std::string &v : option.values) values.push_back(std::atoi(v.c_str()));
        ippAddIntegers(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, supported.c_str(), static_cast<int>(values.size()),
                       values.data());
        ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, def.c_str(), std::atoi(value.c_str()));
        break;
      }
      case VendorOption::Kind::kKeyword: {
        std::vector<const char *> values;
        for (const std::string &v : option.values) values.push_back(v.c_str());
        ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, supported.c_str(), static_cast<int>(values.size()),
                      nullptr, values.data());
        ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, def.c_str(), nullptr, value.c_str());
        break;
      }
    }
  }
}

}  // namespace

std::span<const unsigned char> identify_command(models::CommandLanguage language) {
  // TSPL beeps; an ESC/POS printer, which has no common beep, feeds two lines
  // (ESC d 2). What the ORX language has for it is not known: nothing.
  static constexpr unsigned char kBeep[] = {'B', 'E', 'E', 'P', '\r', '\n'};
  static constexpr unsigned char kFeed[] = {0x1B, 0x64, 0x02};
  switch (language) {
    case models::CommandLanguage::kTspl:
      return kBeep;
    case models::CommandLanguage::kEscPos:
      return kFeed;
    case models::CommandLanguage::kOrx:
      break;
  }
  return {};
}

std::vector<pappl_pr_driver_t> &model_drivers() {
  static std::vector<pappl_pr_driver_t> drivers = [] {
    std::vector<pappl_pr_driver_t> list;
    for (const models::Model &model : models::all_models())
      list.push_back({model.driver, model.nickname, model.device_id, nullptr});
    return list;
  }();
  return drivers;
}

StatusLanguage model_status_language(std::string_view driver_name) {
  const models::Model *model = models::find_model(driver_name);
  if (!model) return StatusLanguage::kNone;
  switch (model->language) {
    case models::CommandLanguage::kEscPos:
      return StatusLanguage::kEscPos;
    case models::CommandLanguage::kTspl:
      return StatusLanguage::kTspl;
    case models::CommandLanguage::kOrx:
      break;
  }
  return StatusLanguage::kNone;
}

const std::vector<ModelTraits> &model_traits() {
  static const std::vector<ModelTraits> traits = [] {
    std::vector<ModelTraits> list;
    for (const models::Model &model : models::all_models()) {
      ModelTraits m;
      m.driver = model.driver;
      m.model_name = parse_device_id(model.device_id).model;
      m.language = model_status_language(model.driver);
      m.dpi = model.x_dpi;
      if (const char *width = models::find_attribute(model, "MaxPrintableWidth"); width && m.dpi > 0)
        m.printable_mm = static_cast<int>(std::lround(std::atoi(width) * 25.4 / m.dpi));
      list.push_back(std::move(m));
    }
    return list;
  }();
  return traits;
}

bool driver_callback(pappl_system_t *system, const char *driver_name, const char *, const char *,
                     pappl_pr_driver_data_t *data, ipp_t **attrs, void *) {
  const models::Model *found = models::find_model(driver_name ? driver_name : "");
  if (!found) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "No printer model \"%s\".", driver_name ? driver_name : "");
    return false;
  }
  const models::Model &model = *found;

  data->rstartjob_cb = raster_start_job;
  data->rstartpage_cb = raster_start_page;
  data->rwriteline_cb = raster_write_line;
  data->rendpage_cb = raster_end_page;
  data->rendjob_cb = raster_end_job;
  use_own_formats(data);
  data->status_cb = status_callback;
  data->testpage_cb = write_test_page;
  data->has_supplies = true;
  // A model with nothing to show for it offers no identify (PAPPL would
  // otherwise answer "Printer identified." for a printer that did nothing).
  if (!identify_command(model.language).empty()) {
    data->identify_cb = identify;
    data->identify_default = data->identify_supported = model.language == models::CommandLanguage::kTspl
                                                            ? PAPPL_IDENTIFY_ACTIONS_SOUND
                                                            : PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  }

  std::snprintf(data->make_and_model, sizeof(data->make_and_model), "%s", model.nickname);
  data->ppm = 10;
  const auto tracking = tracking_choices(model);
  data->kind = tracking.empty() ? static_cast<pappl_kind_t>(PAPPL_KIND_RECEIPT | PAPPL_KIND_ROLL)
                                : static_cast<pappl_kind_t>(PAPPL_KIND_LABEL | PAPPL_KIND_ROLL);
  data->orient_default = IPP_ORIENT_PORTRAIT;
  data->color_supported = static_cast<pappl_color_mode_t>(PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_BI_LEVEL);
  data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
  data->content_default = PAPPL_CONTENT_AUTO;
  data->quality_default = IPP_QUALITY_NORMAL;
  data->scaling_default = PAPPL_SCALING_AUTO;
  // 8-bit pages only: the engine binarises them as the filter does.
  data->raster_types = static_cast<pappl_raster_type_t>(PAPPL_PWG_RASTER_TYPE_SGRAY_8 | PAPPL_PWG_RASTER_TYPE_BLACK_8);
  data->sides_supported = PAPPL_SIDES_ONE_SIDED;
  data->sides_default = PAPPL_SIDES_ONE_SIDED;
  data->finishings = can_cut(model) ? PAPPL_FINISHINGS_TRIM : PAPPL_FINISHINGS_NONE;

  data->num_resolution = 1;
  data->x_resolution[0] = data->x_default = model.x_dpi;
  data->y_resolution[0] = data->y_default = model.y_dpi;

  // Media: the model's sizes, and its custom size range as a roll.
  data->num_media = 0;
  int left_right = 0, bottom_top = 0;
  for (const models::MediaSize &size : model.sizes) {
    if (data->num_media >= PAPPL_MAX_MEDIA) break;
    data->media[data->num_media++] = intern(media_name(size.width, size.length));
    left_right = std::max(left_right, size.left_margin);
    bottom_top = std::max(bottom_top, size.bottom_margin);
  }
  if (model.custom_sizes && data->num_media + 2 <= PAPPL_MAX_MEDIA) {
    char name[128];
    pwgFormatSizeName(name, sizeof(name), "roll", "min", model.custom_min_width, model.custom_min_length, nullptr);
    data->media[data->num_media++] = intern(name);
    pwgFormatSizeName(name, sizeof(name), "roll", "max", model.custom_max_width, model.custom_max_length, nullptr);
    data->media[data->num_media++] = intern(name);
  }
  data->borderless = left_right == 0 && bottom_top == 0;
  // CUPS 2.4's driverless PPDs name a size without margins "4x6.Borderless"
  // but the default "4x6", which then matches no size and falls back to
  // Letter. A borderless model therefore also offers each size with a margin
  // of 0.01 mm, which takes the plain name (PAPPL lists both forms only for
  // margins above 0); the media it reports ready stay borderless.
  data->left_right = data->borderless ? 1 : left_right;
  data->bottom_top = data->borderless ? 1 : bottom_top;

  data->num_source = 1;
  data->source[0] = "main-roll";
  data->num_type = 0;
  if (tracking.empty()) {
    data->type[data->num_type++] = "continuous";
    data->tracking_supported = PAPPL_MEDIA_TRACKING_CONTINUOUS;
  } else {
    data->type[data->num_type++] = "labels";
    data->type[data->num_type++] = "continuous";
    data->tracking_supported = static_cast<pappl_media_tracking_t>(0);
    for (const TrackingChoice &t : tracking)
      data->tracking_supported = static_cast<pappl_media_tracking_t>(data->tracking_supported | t.tracking);
  }

  pappl_media_col_t &media = data->media_default;
  media = {};
  if (!model.sizes.empty()) {
    const models::MediaSize &size = model.sizes[static_cast<size_t>(model.default_size)];
    media.size_width = size.width;
    media.size_length = size.length;
    std::snprintf(media.size_name, sizeof(media.size_name), "%s", media_name(size.width, size.length).c_str());
  }
  media.left_margin = media.right_margin = left_right;
  media.top_margin = media.bottom_margin = bottom_top;
  std::snprintf(media.source, sizeof(media.source), "main-roll");
  media.tracking = PAPPL_MEDIA_TRACKING_CONTINUOUS;
  std::snprintf(media.type, sizeof(media.type), "continuous");
  std::string keyword;
  for (const TrackingChoice &t : tracking_choices(model, &keyword)) {
    const models::Option *option = models::find_option(model, keyword);
    if (option && t.choice == option->choices[static_cast<size_t>(option->default_index)].name) {
      media.tracking = t.tracking;
      std::snprintf(media.type, sizeof(media.type), "%s",
                    t.tracking == PAPPL_MEDIA_TRACKING_CONTINUOUS ? "continuous" : "labels");
    }
  }
  data->media_ready[0] = media;

  if (const auto speeds = speed_choices(model); !speeds.empty()) {
    data->speed_supported[0] = speeds.front().speed;
    data->speed_supported[1] = speeds.back().speed;
    data->speed_default = 0;  // the printer's own setting
  }
  if (const auto levels = darkness_choices(model, &keyword); !levels.empty()) {
    data->darkness_supported = static_cast<int>(levels.size());
    data->darkness_configured = kMiddleDarkness;
    const models::Option *option = models::find_option(model, keyword);
    const std::string def = option->choices[static_cast<size_t>(option->default_index)].name;
    for (size_t i = 0; i < levels.size() && levels.size() > 1; ++i)
      if (levels[i] == def) data->darkness_configured = static_cast<int>(i * 100 / (levels.size() - 1));
    data->darkness_default = 0;
  }

  if (!*attrs) *attrs = ippNew();
  data->num_vendor = 0;
  add_vendor_attributes(vendor_options(model), data, *attrs);
  if (has_own_darkness(model) && data->num_vendor < PAPPL_MAX_VENDOR) {
    data->vendor[data->num_vendor++] = kOwnDarknessName;
    const std::string supported = std::string(kOwnDarknessName) + "-supported";
    const std::string def = std::string(kOwnDarknessName) + "-default";
    ippAddBoolean(*attrs, IPP_TAG_PRINTER, supported.c_str(), 1);
    ippAddBoolean(*attrs, IPP_TAG_PRINTER, def.c_str(), own_darkness_by_default(model));
  }

  // What IPP Everywhere clients look for and PAPPL does not add by itself.
  ippAddBoolean(*attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD), "print-rendering-intent-default", nullptr,
               "auto");
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD), "print-rendering-intent-supported", nullptr,
               "auto");
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD), "pwg-raster-document-sheet-back", nullptr,
               "normal");
  return true;
}

namespace {

// PAPPL 1.3.1 stores a standard default it cannot read as 0, then crashes on
// the next job that takes it (it copies the value's name, which is none).
std::string standard_defaults_problem(const pappl_pr_driver_data_t &data) {
  auto one_of = [](int value, int allowed) { return value != 0 && (value & (value - 1)) == 0 && (value & allowed); };
  if (!one_of(data.content_default, PAPPL_CONTENT_AUTO | PAPPL_CONTENT_GRAPHIC | PAPPL_CONTENT_PHOTO |
                                        PAPPL_CONTENT_TEXT | PAPPL_CONTENT_TEXT_AND_GRAPHIC))
    return "print-content-optimize-default is not supported; the values are auto, graphic, photo, text, "
           "text-and-graphic.";
  if (!one_of(data.scaling_default, PAPPL_SCALING_AUTO | PAPPL_SCALING_AUTO_FIT | PAPPL_SCALING_FILL |
                                        PAPPL_SCALING_FIT | PAPPL_SCALING_NONE))
    return "print-scaling-default is not supported; the values are auto, auto-fit, fill, fit, none.";
  if (!one_of(data.color_default, data.color_supported))
    return "print-color-mode-default is not supported; the values are monochrome, bi-level.";
  if (!one_of(data.sides_default, data.sides_supported))
    return "sides-default is not supported; the value is one-sided.";
  if (const int quality = field_bits(data.quality_default); quality < IPP_QUALITY_DRAFT || quality > IPP_QUALITY_HIGH)
    return "print-quality-default is not supported; the values are 3, 4, 5.";
  return {};
}

}  // namespace

std::string vendor_defaults_problem(pappl_printer_t *printer, const pappl_pr_driver_data_t *data, int num_vendor,
                                    cups_option_t *vendor) {
  const char *driver = papplPrinterGetDriverName(printer);
  const models::Model *model = models::find_model(driver ? driver : "");
  if (!model) return {};
  if (data)
    if (std::string problem = standard_defaults_problem(*data); !problem.empty()) return problem;
  if (data)
    if (const std::string problem = print_speed_problem(*model, data->speed_default); !problem.empty())
      return "print-speed-default: " + problem;
  for (int i = 0; i < num_vendor; ++i)
    if (std::string problem = vendor_value_problem(*model, vendor[i].name, vendor[i].value); !problem.empty())
      return problem;
  return {};
}

}  // namespace quorvane::app
