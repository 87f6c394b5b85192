#include "job_settings.h"

#include <string>
#include <utility>
#include <vector>

#include "ipp_mapping.h"

namespace quorvane::app {

namespace {

struct IppDeleter {
  void operator()(ipp_t *ipp) const { ippDelete(ipp); }
};

struct Options {
  int count = 0;
  cups_option_t *options = nullptr;
  ~Options() { cupsFreeOptions(count, options); }
};

}  // namespace

PpdHandle marked_ppd_for_job(pappl_job_t *job, const pappl_pr_options_t &options) {
  pappl_printer_t *printer = papplJobGetPrinter(job);
  const char *driver = papplPrinterGetDriverName(printer);
  PpdHandle ppd = open_model_ppd(driver ? driver : "");
  if (!ppd) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "No PPD for the printer's model \"%s\".", driver ? driver : "");
    return nullptr;
  }

  JobRequest request;
  request.color_mode = options.print_color_mode;
  request.content = options.print_content_optimize;
  if (papplJobGetAttribute(job, "print-darkness")) request.print_darkness = options.print_darkness;
  request.darkness_configured = options.darkness_configured;
  request.print_speed = options.print_speed;
  request.tracking = options.media.tracking;
  request.cut = (options.finishings & PAPPL_FINISHINGS_TRIM) != 0;

  // The job's vendor values first; PAPPL 1.3.1 leaves the printer's vendor
  // defaults out of the job's options, so they follow.
  for (int i = 0; i < options.num_vendor; ++i) {
    request.vendor.emplace_back(options.vendor[i].name, options.vendor[i].value);
    request.job_vendor_names.emplace_back(options.vendor[i].name);
  }
  std::unique_ptr<ipp_t, IppDeleter> attrs(papplPrinterGetDriverAttributes(printer));
  for (const VendorOption &option : vendor_options(ppd.get())) {
    const std::string name = option.ipp_name + "-default";
    ipp_attribute_t *def = attrs ? ippFindAttribute(attrs.get(), name.c_str(), IPP_TAG_ZERO) : nullptr;
    if (!def) continue;
    char value[256];
    ippAttributeString(def, value, sizeof(value));
    request.vendor.emplace_back(option.ipp_name, value);
  }

  if (const std::string bad = unsupported_vendor_value(ppd.get(), request); !bad.empty()) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unsupported job attribute value %s.", bad.c_str());
    papplJobSetMessage(job, "Unsupported job attribute value %s.", bad.c_str());
    papplJobSetReasons(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
    return nullptr;
  }

  Options marked;
  for (const auto &[keyword, choice] : ppd_choices(ppd.get(), request)) {
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "PPD option %s=%s", keyword.c_str(), choice.c_str());
    marked.count = cupsAddOption(keyword.c_str(), choice.c_str(), marked.count, &marked.options);
  }
  cupsMarkOptions(ppd.get(), marked.count, marked.options);
  return ppd;
}

}  // namespace quorvane::app
