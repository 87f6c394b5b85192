#include "streamed_page.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

#include "binarize/dither_row.h"
#include "binarize/error_diffusion_window.h"
#include "img2esccmd.h"
#include "prepare/blank_run_keeper.h"
#include "prepare/large_buffer.h"
#include "prepare/page_layout.h"
#include "raster_input.h"

namespace {

constexpr int kThresholding = 1;
constexpr int kErrorDiffusion = 2;

}  // namespace

bool can_stream_page(const cups_page_header2_t &header, const PageSettings &s) {
  if (s.binarization == kThresholding || s.upside_down || s.strip_left || s.strip_right)
    return false;
  if (!gray_page_header_usable(&header)) return true;  // refused the same way on either road
  const int width = cut_width(static_cast<int>(header.cupsWidth), s);
  const CanvasPlacement at = canvas_placement(width, s);
  return at.canvas_width > 0 &&
         static_cast<long long>(at.canvas_width) * header.cupsHeight <= kMaxGrayPageBytes;
}

MonoRaster read_and_binarize_streamed(cups_raster_t *stream, const cups_page_header2_t &header,
                                      const PageSettings &s) {
  dump_cups_page_header(&header);
  if (!gray_page_header_usable(&header)) return {};
  const int page_width = static_cast<int>(header.cupsWidth);
  const int height = static_cast<int>(header.cupsHeight);
  const unsigned line_bytes = header.cupsBytesPerLine;

  // Cutting keeps the middle of each row, as TurncateGrayImageToDstWidth
  // does; placing puts it on the canvas.
  const int width = cut_width(page_width, s);
  const int cut_left = (page_width - width) / 2;
  const CanvasPlacement at = canvas_placement(width, s);
  const int canvas_width = at.canvas_width;
  const quorvane::RowPlacement rp = quorvane::row_placement(width, canvas_width, at.x);
  const bool row_is_canvas = rp.count == width && rp.count == canvas_width;

  MonoRaster mono;
  mono.width_stride = (canvas_width + 7) / 8;
  const std::size_t mono_bytes =
      static_cast<std::size_t>(mono.width_stride) * static_cast<std::size_t>(height);
  // Sized for every row the header promises; only the rows kept are touched.
  quorvane::MallocBuffer raster = quorvane::allocate_large_buffer(mono_bytes, false);
  quorvane::MallocBuffer line = quorvane::allocate_buffer(line_bytes);
  // White but where a row is placed.
  quorvane::MallocBuffer canvas = quorvane::allocate_buffer(static_cast<std::size_t>(canvas_width));
  if (!raster || !line || !canvas) return {};
  std::memset(canvas.get(), 255, static_cast<std::size_t>(canvas_width));
  const std::span<unsigned char> rows(raster.get(), mono_bytes);

  std::optional<quorvane::DiffusionStream> diffusion;
  if (s.binarization == kErrorDiffusion) {
    diffusion.emplace();
    if (!diffusion->start(canvas_width, rows, mono.width_stride)) return {};
  }
  int kept = 0;
  auto binarize = [&](const unsigned char *canvas_row) {
    if (diffusion)
      diffusion->push(canvas_row);
    else
      quorvane::dither_row({canvas_row, static_cast<std::size_t>(canvas_width)}, kept,
                           rows.subspan(static_cast<std::size_t>(kept) * mono.width_stride,
                                        static_cast<std::size_t>(mono.width_stride)));
    ++kept;
  };
  // A blank row placed is a white canvas row.
  auto blank_rows = [&](int n) {
    if (n > 0 && !row_is_canvas && rp.count > 0)
      std::memset(canvas.get() + rp.canvas_x, 255, static_cast<std::size_t>(rp.count));
    for (int i = 0; i < n; ++i) binarize(canvas.get());
  };

  quorvane::BlankRunKeeper keeper(s.paper_save_top, s.paper_save_middle, s.paper_save_bottom);
  for (int y = 0; y < height; ++y) {
    // The stream's own count: a page cut short is not printed at all.
    if (cupsRasterReadPixels(stream, line.get(), line_bytes) != line_bytes) return {};
    unsigned char *row = line.get();
    // Ink amounts become gray levels, 255 = white; past the width nothing is used.
    std::transform(row, row + page_width, row,
                   [](unsigned char v) { return static_cast<unsigned char>(~v); });
    if (ScanLineEquals(row, page_width, 255)) {
      keeper.blank();
      continue;
    }
    blank_rows(keeper.before_ink());
    const unsigned char *image_row = row + cut_left;
    if (row_is_canvas) {
      binarize(image_row);
    } else {
      if (rp.count > 0)
        std::memcpy(canvas.get() + rp.canvas_x, image_row + rp.source_x,
                    static_cast<std::size_t>(rp.count));
      binarize(canvas.get());
    }
  }
  blank_rows(keeper.at_end());
  if (diffusion) diffusion->finish();
  if (kept == 0) return {};
  mono.height = kept;
  mono.data = std::move(raster);
  return mono;
}
