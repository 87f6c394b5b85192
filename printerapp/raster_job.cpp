#include "raster_job.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "delivery.h"
#include "job_commands.h"
#include "job_settings.h"
#include "page_engine.h"
#include "ppd_settings.h"
#include "raster_geometry.h"

namespace quorvane::app {

namespace {

// What a job carries from one callback to the next.
struct JobState {
  PpdHandle ppd;
  PageSettings settings;
  PageEngine engine;
  int copies = 1;
  bool page_open = false;
  // The job's opening commands wait for its first whole page: a job that
  // fails before one sends the printer nothing at all.
  std::vector<unsigned char> opening;
  bool opened = false;
  bool failed = false;  // a page failed, and the job says why
  size_t handed = 0;     // bytes given to the device
  size_t written_before = 0;  // the device's count of bytes written when the job began
  explicit JobState(TraceSink trace) : engine(std::move(trace)) {}
};

JobState *state_of(pappl_job_t *job) { return static_cast<JobState *>(papplJobGetData(job)); }

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

size_t device_bytes_written(pappl_device_t *device) {
  pappl_devmetrics_t metrics{};
  papplDeviceGetMetrics(device, &metrics);
  return metrics.write_bytes;
}

// Writes whole commands; a short write means the printer went away, or the
// job was cancelled while the printer took no data (the job then ends
// canceled: PAPPL marks it so only when the callbacks do not fail).
bool write_all(pappl_job_t *job, JobState &state, pappl_device_t *device, std::span<const unsigned char> bytes) {
  if (bytes.empty()) return true;
  state.handed += bytes.size();
  if (papplDeviceWrite(device, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size())) return true;
  return papplJobIsCanceled(job) || printer_gone(job, device);
}

// PAPPL buffers small writes and drops the buffer silently when the printer
// has gone: after a flush, its count of bytes written tells. At the job's end
// the printer must also have taken them all.
bool delivered(pappl_job_t *job, JobState &state, pappl_device_t *device, bool taken = false) {
  papplDeviceFlush(device);
  if (papplJobIsCanceled(job)) return true;
  if (device_bytes_written(device) - state.written_before < state.handed) return printer_gone(job, device);
  if (!taken) return true;
  switch (wait_until_taken(device)) {
    case Handover::kTaken:
    case Handover::kCanceled:
      return true;
    case Handover::kFailed:
      break;
  }
  return printer_gone(job, device);
}

bool fail_document(pappl_job_t *job, const char *message) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message);
  papplJobSetMessage(job, "%s", message);
  papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
  return false;
}

// PWG and Apple raster reach the driver once whatever the copies; PAPPL
// repeats the pictures it decodes itself.
int copies_to_write(pappl_job_t *job, const pappl_pr_options_t &options) {
  const char *format = papplJobGetFormat(job);
  const std::string_view f = format ? format : "";
  if (f == "image/pwg-raster" || f == "image/urf") return options.copies > 1 ? options.copies : 1;
  return 1;
}

}  // namespace

bool raster_start_job(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device) {
  auto state = std::make_unique<JobState>([job](const char *line) {
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "%s", line);
  });
  state->ppd = marked_ppd_for_job(job, *options);
  if (!state->ppd) return false;
  state->settings = read_page_settings(state->ppd.get());
  state->copies = copies_to_write(job, *options);
  papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Format %s, %d copies asked, %d written by the driver",
              papplJobGetFormat(job) ? papplJobGetFormat(job) : "?", options->copies, state->copies);

  state->written_before = device_bytes_written(device);
  attach_job(device, job);
  append(state->opening, job_lead_in());
  append(state->opening, hook_commands(state->ppd.get(), JobBoundary::kStartJob));
  append(state->opening, hook_commands(state->ppd.get(), JobBoundary::kStartDoc));
  papplJobSetData(job, state.release());
  return true;
}

bool raster_start_page(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned page) {
  JobState *state = state_of(job);
  if (!state) return false;
  const cups_page_header2_t &h = options->header;
  if (h.cupsColorSpace != CUPS_CSPACE_SW && h.cupsColorSpace != CUPS_CSPACE_K) {
    state->failed = true;
    return fail_document(job, "Page is neither 8-bit gray nor 8-bit black.");
  }
  const PageGeometry geometry =
      raster_page_geometry(h, h.cupsColorSpace == CUPS_CSPACE_SW ? Polarity::kGray : Polarity::kInk);
  if (!state->engine.start_page(geometry, state->settings)) {
    char message[256];
    std::snprintf(message, sizeof(message), "Page %u cannot be printed: %s", page, state->engine.error());
    state->failed = true;
    return fail_document(job, message);
  }
  state->page_open = true;
  return true;
}

bool raster_write_line(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned,
                       const unsigned char *line) {
  JobState *state = state_of(job);
  if (!state || !state->page_open) return false;
  // A cancelled job's remaining rows are read and dropped: PAPPL ends the
  // job as canceled only when its callbacks do not fail.
  if (papplJobIsCanceled(job)) return true;
  if (!state->engine.push_row(std::span<const unsigned char>(line, options->header.cupsBytesPerLine))) {
    state->failed = true;
    return fail_document(job, "Page has more rows than its header says.");
  }
  return true;
}

bool raster_end_page(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device, unsigned page) {
  JobState *state = state_of(job);
  if (!state || !state->page_open) return false;
  state->page_open = false;
  // A page whose rows stopped coming is dropped: the next start_page, or
  // the engine's end, discards it. Nothing of a cancelled job's page is sent.
  if (papplJobIsCanceled(job)) return true;
  if (state->engine.rows_left() != 0) {
    char message[128];
    std::snprintf(message, sizeof(message), "Page %u ends before its last row.", page);
    state->failed = true;
    return fail_document(job, message);
  }
  const CommandBlock block = state->engine.finish_page();
  if (!block) {
    char message[256];
    std::snprintf(message, sizeof(message), "Page %u cannot be printed: %s", page, state->engine.error());
    state->failed = true;
    return fail_document(job, message);
  }
  // Each write is whole commands: the page hook, each copy's block, the page
  // end hook; a cancel stops between them.
  if (!state->opened) {
    state->opened = true;
    if (!write_all(job, *state, device, state->opening)) return false;
  }
  if (!write_all(job, *state, device, hook_commands(state->ppd.get(), JobBoundary::kStartPage))) return false;
  for (int copy = 0; copy < state->copies; ++copy) {
    if (papplJobIsCanceled(job)) break;
    if (!write_all(job, *state, device, block.bytes())) return false;
  }
  return write_all(job, *state, device, hook_commands(state->ppd.get(), JobBoundary::kEndPage)) &&
         delivered(job, *state, device);
}

bool raster_end_job(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device) {
  std::unique_ptr<JobState> state(state_of(job));
  papplJobSetData(job, nullptr);
  struct Detach {
    pappl_device_t *device;
    ~Detach() { detach_job(device); }
  } detach{device};
  if (!state) return false;
  if (!state->opened) {
    // Nothing reached the printer, and nothing is to be ended there.
    if (!state->failed && !papplJobIsCanceled(job)) fail_document(job, "The document has no pages.");
    return false;
  }
  // As the filter does, a cancelled job still ends with its end commands
  // (the cut), so the printer is left at a clean boundary.
  std::vector<unsigned char> end;
  append(end, hook_commands(state->ppd.get(), JobBoundary::kEndDoc));
  append(end, hook_commands(state->ppd.get(), JobBoundary::kEndJob));
  return write_all(job, *state, device, end) && delivered(job, *state, device, true);
}

}  // namespace quorvane::app
