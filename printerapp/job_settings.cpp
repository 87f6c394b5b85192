#include "job_settings.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ipp_mapping.h"

namespace quorvane::app {

namespace {

struct IppDeleter {
  void operator()(ipp_t *ipp) const { ippDelete(ipp); }
};

}  // namespace

std::optional<models::ModelSelection> selection_for_job(pappl_job_t *job, const pappl_pr_options_t &options) {
  pappl_printer_t *printer = papplJobGetPrinter(job);
  const char *driver = papplPrinterGetDriverName(printer);
  const models::Model *model = models::find_model(driver ? driver : "");
  if (!model) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "No printer model \"%s\".", driver ? driver : "");
    return std::nullopt;
  }

  JobRequest request;
  request.color_mode = options.print_color_mode;
  request.content = options.print_content_optimize;
  // PAPPL fills print-darkness from print-darkness-default when the job
  // sends none: a default away from 0 moves the darkness like a job's own.
  if (papplJobGetAttribute(job, "print-darkness") || options.print_darkness != 0)
    request.print_darkness = options.print_darkness;
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
  std::vector<std::string> names;
  for (const VendorOption &option : vendor_options(*model)) names.push_back(option.ipp_name);
  names.emplace_back(kOwnDarknessName);
  std::unique_ptr<ipp_t, IppDeleter> attrs(papplPrinterGetDriverAttributes(printer));
  for (const std::string &ipp_name : names) {
    const std::string name = ipp_name + "-default";
    ipp_attribute_t *def = attrs ? ippFindAttribute(attrs.get(), name.c_str(), IPP_TAG_ZERO) : nullptr;
    if (!def) continue;
    char value[256];
    ippAttributeString(def, value, sizeof(value));
    request.vendor.emplace_back(ipp_name, value);
  }

  if (const std::string bad = unsupported_vendor_value(*model, request); !bad.empty()) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unsupported job attribute value %s.", bad.c_str());
    papplJobSetMessage(job, "Unsupported job attribute value %s.", bad.c_str());
    papplJobSetReasons(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
    return std::nullopt;
  }
  // A speed in another unit (inches per second, say) is refused rather than
  // printed at the nearest speed the printer has; a default stored before it
  // was checked gives way to the printer's own speed.
  if (const std::string problem = print_speed_problem(*model, request.print_speed);
      !problem.empty() && !papplJobGetAttribute(job, "print-speed")) {
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Printer default %s The printer's own speed is used.", problem.c_str());
    papplJobSetMessage(job, "Printer default %s The printer's own speed is used.", problem.c_str());
    request.print_speed = 0;
  } else if (!problem.empty()) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", problem.c_str());
    papplJobSetMessage(job, "%s", problem.c_str());
    papplJobSetReasons(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
    return std::nullopt;
  }
  // A printer default stored before it was checked, which the model does
  // not offer, gives way to the model's default, and the job says so.
  for (const auto &[name, value] : request.vendor) {
    if (const std::string problem = vendor_value_problem(*model, name, value); !problem.empty()) {
      papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Printer default %s The model's default is used.", problem.c_str());
      papplJobSetMessage(job, "Printer default %s The model's default is used.", problem.c_str());
    }
  }

  models::ModelSelection selection(*model);
  for (const auto &[keyword, choice] : model_choices(*model, request)) {
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Model option %s=%s", keyword.c_str(), choice.c_str());
    selection.select(keyword, choice);
  }
  return selection;
}

}  // namespace quorvane::app
