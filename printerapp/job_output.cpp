#include "job_output.h"

#include <cstdio>
#include <string>

#include "delivery.h"
#include "job_commands.h"
#include "job_settings.h"
#include "settings_source.h"
#include "status_watch.h"

namespace quorvane::app {

namespace {

void append(std::vector<unsigned char> &out, std::span<const unsigned char> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

bool printer_gone(pappl_job_t *job, pappl_device_t *device) {
  std::string why = failure(device);
  if (why.empty()) why = "Unable to send the job to the printer: it does not take data.";
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", why.c_str());
  papplJobSetMessage(job, "%s", why.c_str());
  papplJobSetReasons(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
  return false;
}

std::size_t device_bytes_written(pappl_device_t *device) {
  pappl_devmetrics_t metrics{};
  papplDeviceGetMetrics(device, &metrics);
  return metrics.write_bytes;
}

}  // namespace

bool fail_document(pappl_job_t *job, const char *message) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message);
  papplJobSetMessage(job, "%s", message);
  papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
  return false;
}

DeviceOutput::DeviceOutput(pappl_job_t *job, pappl_device_t *device)
    : job_(job), hold_(job, device), device_(hold_.get()), written_before_(device_bytes_written(device_)) {
  attach_job(device_, job);
}

DeviceOutput::~DeviceOutput() { detach_job(device_); }

// A short write means the printer went away, or the job was cancelled while
// the printer took no data: the job then ends canceled (PAPPL marks it so
// only when the callbacks do not fail).
bool DeviceOutput::write(std::span<const unsigned char> bytes) {
  if (bytes.empty()) return true;
  handed_ += bytes.size();
  if (papplDeviceWrite(device_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size())) return true;
  return papplJobIsCanceled(job_) || printer_gone(job_, device_);
}

bool DeviceOutput::delivered(bool taken) {
  papplDeviceFlush(device_);
  if (papplJobIsCanceled(job_)) return true;
  if (device_bytes_written(device_) - written_before_ < handed_) return printer_gone(job_, device_);
  if (!taken) return true;
  switch (wait_until_taken(device_)) {
    case Handover::kTaken:
    case Handover::kCanceled:
      return true;
    case Handover::kFailed:
      break;
  }
  return printer_gone(job_, device_);
}

JobOutput::JobOutput(pappl_job_t *job, pappl_device_t *device)
    : job_(job), device_(job, device), engine_([job](const char *line) {
        papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "%s", line);
      }) {}

std::unique_ptr<JobOutput> JobOutput::open(pappl_job_t *job, const pappl_pr_options_t &options,
                                           pappl_device_t *device, int copies) {
  auto out = std::make_unique<JobOutput>(job, device);
  out->selection_ = selection_for_job(job, options);
  if (!out->selection_) return nullptr;
  out->settings_ = read_page_settings(*out->selection_);
  out->copies_ = copies > 1 ? copies : 1;
  // A printer out of paper or with its cover open gets nothing until it is
  // ready again.
  wait_until_printer_ready(job, out->device_.device());
  append(out->opening_, job_lead_in());
  append(out->opening_, hook_commands(*out->selection_, JobBoundary::kStartJob));
  append(out->opening_, hook_commands(*out->selection_, JobBoundary::kStartDoc));
  return out;
}

bool JobOutput::fail(const char *message) {
  failed_ = true;
  return fail_document(job_, message);
}

bool JobOutput::start_page(const PageGeometry &geometry, unsigned page) {
  if (engine_.start_page(geometry, settings_)) return true;
  char message[256];
  std::snprintf(message, sizeof(message), "Page %u cannot be printed: %s", page, engine_.error());
  return fail(message);
}

bool JobOutput::end_page(unsigned page) {
  const CommandBlock block = engine_.finish_page();
  if (!block) {
    char message[256];
    std::snprintf(message, sizeof(message), "Page %u cannot be printed: %s", page, engine_.error());
    return fail(message);
  }
  // Cancelled while the page was being made (a long one takes a while to
  // encode): none of it goes, and a job that sent nothing yet sends nothing.
  if (papplJobIsCanceled(job_)) return true;
  // Each write is whole commands: the page hook, each copy's block, the page
  // end hook; a cancel stops between them.
  if (!opened_) {
    opened_ = true;
    if (!device_.write(opening_)) return false;
  }
  if (!device_.write(hook_commands(*selection_, JobBoundary::kStartPage))) return false;
  for (int copy = 0; copy < copies_; ++copy) {
    if (papplJobIsCanceled(job_)) break;
    if (!device_.write(block.bytes())) return false;
  }
  if (!device_.write(hook_commands(*selection_, JobBoundary::kEndPage)) || !device_.delivered()) return false;
  hear_printer_after_page(job_, device_.device());
  return true;
}

bool JobOutput::end_job() {
  if (!opened_) {
    // Nothing reached the printer, and nothing is to be ended there.
    if (!failed_ && !papplJobIsCanceled(job_)) fail("The document has no pages.");
    return false;
  }
  // As the filter does, a cancelled job still ends with its end commands
  // (the cut), so the printer is left at a clean boundary.
  std::vector<unsigned char> end;
  append(end, hook_commands(*selection_, JobBoundary::kEndDoc));
  append(end, hook_commands(*selection_, JobBoundary::kEndJob));
  return device_.write(end) && device_.delivered(true);
}

}  // namespace quorvane::app
