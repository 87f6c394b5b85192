#include "vertical_raster_image.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include "image1_layout.hpp"

namespace qe = quorvane::escpos;

namespace {

struct Layout {
  std::int64_t columns;        // laid out, each height_stride bytes
  std::int64_t height_stride;  // bytes per column
};

std::optional<int> layout_size(int width, int height, const Layout &layout) {
  if (!qe::image_fits(width, height) || layout.columns < 0 || layout.height_stride < 0)
    return std::nullopt;
  return qe::as_size(layout.columns * layout.height_stride);
}

// Clears the layout in output and draws the image's dots that fall inside it.
void fill(int width, int height, const unsigned char *src, const Layout &layout, int total,
          unsigned char *output) {
  const std::span<unsigned char> out(output, static_cast<std::size_t>(total));
  std::memset(out.data(), 0, out.size());
  if (src == nullptr) return;
  const std::span<const unsigned char> image(src, static_cast<std::size_t>(width) * height);
  const std::int64_t rows = std::min<std::int64_t>(height, layout.height_stride * 8);
  const std::int64_t cols = std::min<std::int64_t>(width, layout.columns);
  qe::write_columns(image, width, rows, cols, layout.height_stride, out);
}

// The shared two-call protocol of the variants with a size out-parameter.
void convert(int width, int height, const unsigned char *src, const Layout &layout,
             unsigned char *output, int *size) {
  const auto total = layout_size(width, height, layout);
  if (size != nullptr) *size = total.value_or(0);
  if (!total || output == nullptr) return;
  fill(width, height, src, layout, *total, output);
}

}  // namespace

extern "C" {

void ConvertImage1ToVerticalRasterImage(int width, int height, const unsigned char *src,
                                        int *height_stride, unsigned char *output, int *size) {
  const Layout layout{width, qe::bytes_for_dots(height)};
  const bool ok = layout_size(width, height, layout).has_value();
  if (height_stride != nullptr) *height_stride = ok ? static_cast<int>(layout.height_stride) : 0;
  convert(width, height, src, layout, output, size);
}

void ConvertImage1ToVerticalRasterImageSpecifyHeightStride(int width, int height,
                                                           const unsigned char *src,
                                                           int height_stride,
                                                           unsigned char *output, int *size) {
  convert(width, height, src, Layout{width, height_stride}, output, size);
}

void ConvertImage1ToVerticalRasterImageSpecifyByteAlignment(int width, int height,
                                                            const unsigned char *src,
                                                            int width_alignment,
                                                            int height_alignment,
                                                            unsigned char *output, int *size) {
  if (width_alignment < 1 || height_alignment < 1 || width < 0 || height < 0) {
    if (size != nullptr) *size = 0;
    return;
  }
  const std::int64_t col_unit = std::int64_t{width_alignment} * 8;
  const std::int64_t row_unit = std::int64_t{height_alignment} * 8;
  const Layout layout{(width + col_unit - 1) / col_unit * col_unit,
                      (height + row_unit - 1) / row_unit * height_alignment};
  convert(width, height, src, layout, output, size);
}

void ConvertImage1ToVerticalRasterImageSpecifyDstWidthAndHeight(int width, int height,
                                                                const unsigned char *src,
                                                                int dst_columns,
                                                                int height_stride,
                                                                unsigned char *output) {
  if (output == nullptr) return;
  const Layout layout{dst_columns, height_stride};
  const auto total = layout_size(width, height, layout);
  if (!total) return;
  fill(width, height, src, layout, *total, output);
}

}  // extern "C"
