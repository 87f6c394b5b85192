#include "image_job.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <memory>

#include "job_output.h"
#include "malloc_buffer.h"
#include "picture_layout.h"
#include "picture_reader.h"

namespace quorvane::app {

namespace {

struct OptionsDeleter {
  void operator()(pappl_pr_options_t *options) const { papplJobDeletePrintOptions(options); }
};
struct FileCloser {
  void operator()(std::FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File open_document(pappl_job_t *job) {
  const char *name = papplJobGetFilename(job);
  return File(name ? std::fopen(name, "rb") : nullptr);
}

bool fail_system(pappl_job_t *job, const char *message) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message);
  papplJobSetMessage(job, "%s", message);
  papplJobSetReasons(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
  return false;
}

Scaling scaling_of(pappl_scaling_t scaling) {
  switch (scaling) {
    case PAPPL_SCALING_AUTO_FIT:
      return Scaling::kAutoFit;
    case PAPPL_SCALING_FILL:
      return Scaling::kFill;
    case PAPPL_SCALING_FIT:
      return Scaling::kFit;
    case PAPPL_SCALING_NONE:
      return Scaling::kNone;
    default:
      return Scaling::kAuto;
  }
}

// Receipt printers print on a roll; a label printer does too when its
// labels are continuous paper.
bool on_roll(pappl_job_t *job, const pappl_pr_options_t &options) {
  pappl_pr_driver_data_t driver;
  papplPrinterGetDriverData(papplJobGetPrinter(job), &driver);
  return (driver.kind & PAPPL_KIND_RECEIPT) || options.media.tracking == PAPPL_MEDIA_TRACKING_CONTINUOUS;
}

// The page a picture makes, or the job's message when it makes none.
std::optional<PictureLayout> lay_out(pappl_job_t *job, const pappl_pr_options_t &options, long long width,
                                     long long height, PageGeometry &geometry) {
  char message[320];
  if (width == 0 || height == 0) {
    fail_document(job, "The picture has no pixels.");
    return std::nullopt;
  }
  if (width * height > kMaxGrayPageBytes) {
    std::snprintf(message, sizeof(message),
                  "The picture is %lld × %lld pixels; the largest picture this printer takes has %lld pixels "
                  "(a page of 1 GiB as 8-bit gray).",
                  width, height, kMaxGrayPageBytes);
    fail_document(job, message);
    return std::nullopt;
  }
  const int xdpi = options.printer_resolution[0] > 0 ? options.printer_resolution[0] : 203;
  const int ydpi = options.printer_resolution[1] > 0 ? options.printer_resolution[1] : xdpi;
  const pappl_media_col_t &m = options.media;
  const MediaDots media =
      media_dots({m.size_width, m.size_length, m.left_margin, m.right_margin, m.top_margin, m.bottom_margin}, xdpi,
                 ydpi, on_roll(job, options));
  const auto layout = layout_picture(width, height, media, scaling_of(options.print_scaling));
  if (!layout) {
    std::snprintf(message, sizeof(message), "The media \"%s\" leaves no room to print on.", m.size_name);
    fail_document(job, message);
    return std::nullopt;
  }
  const PictureLayout &l = *layout;
  geometry = {};
  if (l.page_width <= INT_MAX && l.page_height <= INT_MAX) {
    geometry.width = geometry.bytes_per_line = static_cast<unsigned>(l.page_width);
    geometry.height = static_cast<unsigned>(l.page_height);
  }
  geometry.hres = static_cast<unsigned>(xdpi);
  geometry.vres = static_cast<unsigned>(ydpi);
  geometry.polarity = Polarity::kGray;
  if (!gray_page_usable(geometry)) {
    std::snprintf(message, sizeof(message),
                  "The picture, printed %lld × %lld dots, makes a page of %lld × %lld dots; the largest page "
                  "this printer takes is %lld dots (1 GiB as 8-bit gray).",
                  l.scaled_width, l.scaled_height, l.page_width, l.page_height, kMaxGrayPageBytes);
    fail_document(job, message);
    return std::nullopt;
  }
  papplLogJob(job, PAPPL_LOGLEVEL_INFO,
              "Picture of %lld x %lld pixels printed %lld x %lld dots at (%lld, %lld) on a page of %lld x %lld "
              "dots%s",
              width, height, l.scaled_width, l.scaled_height, l.x, l.y, l.page_width, l.page_height,
              media.roll ? " (roll)" : "");
  return layout;
}

// A picture's one page: blank rows above it, its rows as they are decoded
// and scaled, blank rows below, then the page's block once per copy.
bool print_picture(pappl_job_t *job, pappl_device_t *device, PictureReader &reader) {
  papplJobSetImpressions(job, 1);
  const std::unique_ptr<pappl_pr_options_t, OptionsDeleter> options(papplJobCreatePrintOptions(job, 1, false));
  if (!options) return fail_system(job, "Out of memory for the job's options.");
  const File file = open_document(job);
  if (!file) return fail_system(job, "The document cannot be read from the spool.");

  char message[512];
  reader.stop_when([job] { return papplJobIsCanceled(job); });
  if (!reader.open(file.get())) {
    std::snprintf(message, sizeof(message), "The %s picture cannot be read: %s.", reader.kind(),
                  reader.error().c_str());
    return fail_document(job, message);
  }
  const long long width = reader.width(), height = reader.height();
  PageGeometry geometry;
  const auto layout = lay_out(job, *options, width, height, geometry);
  if (!layout) return false;
  if (!reader.verify()) {
    std::snprintf(message, sizeof(message), "The %s picture cannot be read: %s.", reader.kind(),
                  reader.error().c_str());
    return fail_document(job, message);
  }

  PictureScaler scaler;
  const MallocBuffer picture_row = allocate_buffer(static_cast<std::size_t>(width));
  if (!picture_row || !scaler.start(width, height, layout->scaled_width, layout->scaled_height, layout->visible))
    return fail_system(job, "Out of memory for the picture's rows.");

  const auto out = JobOutput::open(job, *options, device, options->copies);
  if (!out || !out->start_page(geometry, 1)) return false;
  PageEngine &engine = out->engine();
  auto blank_rows = [&engine](long long count) {
    for (; count > 0; --count) {
      const std::span<unsigned char> row = engine.row_buffer();
      std::fill(row.begin(), row.end(), 255);
      engine.row_done();
    }
  };
  const long long picture_x = layout->x + layout->visible.left;
  auto picture_row_done = [&engine, picture_x](std::span<const unsigned char> visible) {
    place_picture_row(visible, picture_x, engine.row_buffer());
    engine.row_done();
  };

  blank_rows(std::clamp(layout->y + layout->visible.top, 0LL, layout->page_height));
  const std::span<unsigned char> row(picture_row.get(), static_cast<std::size_t>(width));
  for (long long y = 0; y < height && !scaler.done(); ++y) {
    if (papplJobIsCanceled(job)) return false;  // nothing of the page was sent
    if (!reader.read_row(row)) {
      if (papplJobIsCanceled(job)) return false;
      std::snprintf(message, sizeof(message), "The %s picture is damaged or cut short at row %lld of %lld: %s.",
                    reader.kind(), y + 1, height, reader.error().c_str());
      return out->fail(message);
    }
    scaler.push(row, picture_row_done);
  }
  if (!scaler.done()) return out->fail("The picture ends before its last row.");
  blank_rows(engine.rows_left());
  if (!out->end_page(1)) return false;
  papplJobSetImpressionsCompleted(job, 1);
  return out->end_job();
}

bool print_png(pappl_job_t *job, pappl_device_t *device, void *) {
  return print_picture(job, device, *make_png_reader());
}

bool print_jpeg(pappl_job_t *job, pappl_device_t *device, void *) {
  return print_picture(job, device, *make_jpeg_reader());
}

// The client's bytes go out as they came, each copy whole: the application
// cannot tell where the client's commands end, so a cancel takes effect
// between copies.
bool print_raw(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device) {
  const File file = open_document(job);
  if (!file) return fail_system(job, "The document cannot be read from the spool.");
  DeviceOutput out(job, device);
  std::array<unsigned char, 65536> buffer;
  const int copies = options->copies > 1 ? options->copies : 1;
  for (int copy = 0; copy < copies && (copy == 0 || !papplJobIsCanceled(job)); ++copy) {
    std::rewind(file.get());
    std::size_t total = 0;
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0; total += n) {
      if (!out.write({buffer.data(), n})) return false;
      if (papplJobIsCanceled(job)) return true;  // stopped by its printer's wait
    }
    if (std::ferror(file.get())) return fail_system(job, "The document cannot be read from the spool.");
    if (total == 0) return fail_document(job, "The document is empty.");
  }
  return out.delivered(true);
}

}  // namespace

void use_own_formats(pappl_pr_driver_data_t *data) {
  data->format = kRawFormat;
  data->printfile_cb = print_raw;
}

void add_picture_filters(pappl_system_t *system) {
  papplSystemAddMIMEFilter(system, "image/png", kRawFormat, print_png, nullptr);
  papplSystemAddMIMEFilter(system, "image/jpeg", kRawFormat, print_jpeg, nullptr);
}

}  // namespace quorvane::app
