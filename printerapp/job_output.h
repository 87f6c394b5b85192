// What every job sends the printer, whatever its document: the commands the
// model gives around its pages, each page's block once per copy, and
// the check that the printer took every byte. The raster callbacks and the
// picture filter both print through it.
#ifndef QUORVANE_APP_JOB_OUTPUT_H
#define QUORVANE_APP_JOB_OUTPUT_H

#include <pappl/pappl.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "model_selection.h"
#include "page_engine.h"
#include "pappl_compat.h"

namespace quorvane::app {

// Ends the document as unprintable (document-format-error) with `message`
// as the job's message. Always false, for the callbacks to return.
bool fail_document(pappl_job_t *job, const char *message);

// Whole writes to the printer and the count of what it took.
class DeviceOutput {
 public:
  // The job's bytes go through `device` (delivery.h) while this lives.
  DeviceOutput(pappl_job_t *job, pappl_device_t *device);
  ~DeviceOutput();
  DeviceOutput(const DeviceOutput &) = delete;
  DeviceOutput &operator=(const DeviceOutput &) = delete;
  // False (the job says why) when the printer does not take them all.
  bool write(std::span<const unsigned char> bytes);
  // PAPPL buffers small writes and drops the buffer silently when the
  // printer has gone: after a flush, its count of bytes written tells. With
  // `taken`, the printer must also have taken every byte.
  bool delivered(bool taken = false);
  pappl_device_t *device() const { return device_; }

 private:
  pappl_job_t *job_;
  DeviceHold hold_;
  pappl_device_t *device_;
  std::size_t handed_ = 0;          // bytes given to the device
  std::size_t written_before_ = 0;  // the device's count when the job began
};

class JobOutput {
 public:
  JobOutput(pappl_job_t *job, pappl_device_t *device);

  // The job's settings and opening commands; null when the job's settings
  // cannot be had (the job's message says why). Each page's block goes out
  // `copies` times.
  static std::unique_ptr<JobOutput> open(pappl_job_t *job, const pappl_pr_options_t &options,
                                         pappl_device_t *device, int copies);

  PageEngine &engine() { return engine_; }
  const PageSettings &settings() const { return settings_; }

  // Starts page `page` in the engine; false (the document failed) when the
  // engine cannot take it.
  bool start_page(const PageGeometry &geometry, unsigned page);
  // After the page's last row: its block with the page's commands, once per
  // copy. Nothing is sent of a page that cannot be made whole.
  bool end_page(unsigned page);
  // The job's closing commands, when anything was sent; a job that sent
  // nothing fails ("no pages") unless it failed or was cancelled already.
  bool end_job();

  bool fail(const char *message);
  bool failed() const { return failed_; }

 private:
  pappl_job_t *job_;
  DeviceOutput device_;
  std::optional<models::ModelSelection> selection_;
  PageSettings settings_;
  PageEngine engine_;
  int copies_ = 1;
  // The opening commands wait for the first whole page: a job that fails
  // before one sends the printer nothing at all.
  std::vector<unsigned char> opening_;
  bool opened_ = false;
  bool failed_ = false;
};

}  // namespace quorvane::app

#endif
