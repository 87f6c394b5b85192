#include "raster_job.h"

#include <cstdio>
#include <memory>
#include <string_view>

#include "field_bits.h"
#include "job_output.h"
#include "raster_geometry.h"

namespace quorvane::app {

namespace {

// What a job carries from one callback to the next.
struct JobState {
  std::unique_ptr<JobOutput> out;
  bool page_open = false;
};

JobState *state_of(pappl_job_t *job) { return static_cast<JobState *>(papplJobGetData(job)); }

// PWG and Apple raster reach the driver once whatever the copies; a picture
// decoded by PAPPL itself would be repeated by PAPPL.
int copies_to_write(pappl_job_t *job, const pappl_pr_options_t &options) {
  const char *format = papplJobGetFormat(job);
  const std::string_view f = format ? format : "";
  if (f == "image/pwg-raster" || f == "image/urf") return options.copies > 1 ? options.copies : 1;
  return 1;
}

}  // namespace

bool raster_start_job(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device) {
  const int copies = copies_to_write(job, *options);
  papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Format %s, %d copies asked, %d written by the driver",
              papplJobGetFormat(job) ? papplJobGetFormat(job) : "?", options->copies, copies);
  auto state = std::make_unique<JobState>();
  state->out = JobOutput::open(job, *options, device, copies);
  if (!state->out) return false;
  papplJobSetData(job, state.release());
  return true;
}

bool raster_start_page(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned page) {
  JobState *state = state_of(job);
  if (!state) return false;
  const cups_page_header2_t &h = options->header;
  const int space = field_bits(h.cupsColorSpace);  // the client's bits, any of them
  if (space != CUPS_CSPACE_SW && space != CUPS_CSPACE_K)
    return state->out->fail("Page is neither 8-bit gray nor 8-bit black.");
  const PageGeometry geometry =
      raster_page_geometry(h, space == CUPS_CSPACE_SW ? Polarity::kGray : Polarity::kInk);
  if (!state->out->start_page(geometry, page)) return false;
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
  if (!state->out->engine().push_row(std::span<const unsigned char>(line, options->header.cupsBytesPerLine)))
    return state->out->fail("Page has more rows than its header says.");
  return true;
}

bool raster_end_page(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned page) {
  JobState *state = state_of(job);
  if (!state || !state->page_open) return false;
  state->page_open = false;
  // A page whose rows stopped coming is dropped: the next start_page, or
  // the engine's end, discards it. Nothing of a cancelled job's page is sent.
  if (papplJobIsCanceled(job)) return true;
  if (state->out->engine().rows_left() != 0) {
    char message[128];
    std::snprintf(message, sizeof(message), "Page %u ends before its last row.", page);
    return state->out->fail(message);
  }
  return state->out->end_page(page);
}

bool raster_end_job(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *) {
  std::unique_ptr<JobState> state(state_of(job));
  papplJobSetData(job, nullptr);
  if (!state) return false;
  return state->out->end_job();
}

}  // namespace quorvane::app
