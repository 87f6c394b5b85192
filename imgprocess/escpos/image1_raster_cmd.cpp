#include "image1_raster_cmd.h"

#include <cstring>
#include <optional>
#include <span>

#include "image1_layout.hpp"

namespace qe = quorvane::escpos;

namespace {

// Stores the size (0 when refused) and returns the span to fill, if any.
std::optional<std::span<unsigned char>> begin_output(std::optional<int> total,
                                                     unsigned char *output, int *size) {
  if (size != nullptr) *size = total.value_or(0);
  if (!total || output == nullptr) return std::nullopt;
  std::span<unsigned char> out(output, static_cast<std::size_t>(*total));
  std::memset(out.data(), 0, out.size());
  return out;
}

std::optional<int> checked(int width, int height, std::int64_t total,
                           bool fields_fit = true) {
  if (!qe::image_fits(width, height) || !fields_fit) return std::nullopt;
  return qe::as_size(total);
}

std::span<const unsigned char> image1_span(const unsigned char *src, int width, int height) {
  return {src, static_cast<std::size_t>(width) * height};
}

}  // namespace

extern "C" {

void Image1ToRasterData(int width, int height, const unsigned char *src, unsigned char *output,
                        int *size) {
  const std::int64_t ws = qe::bytes_for_dots(width);
  const auto out = begin_output(checked(width, height, ws * height), output, size);
  if (!out || src == nullptr) return;
  const auto image = image1_span(src, width, height);
  for (int y = 0; y < height; ++y) qe::pack_image1_row(image, width, y, out->subspan(y * ws, ws));
}

void Image1ToRasterCmd(int width, int height, const unsigned char *src, unsigned char *output,
                       int *size) {
  const std::int64_t ws = qe::bytes_for_dots(width);
  const std::int64_t h8 = qe::round_up8(height);
  const bool fits = ws <= qe::kField16Max && h8 <= qe::kField16Max;
  const auto out = begin_output(checked(width, height, ws * h8 + 8, fits), output, size);
  if (!out) return;
  qe::put_raster_header(*out, ws, h8);
  if (src == nullptr) return;
  const auto image = image1_span(src, width, height);
  const auto data = out->subspan(8);
  for (int y = 0; y < height; ++y) qe::pack_image1_row(image, width, y, data.subspan(y * ws, ws));
}

void Image1ToEachLineRasterCmd(int width, int height, const unsigned char *src,
                               unsigned char *output, int *size) {
  const std::int64_t ws = qe::bytes_for_dots(width);
  const std::int64_t block = ws + 8;
  const auto out =
      begin_output(checked(width, height, block * qe::round_up8(height), ws <= qe::kField16Max),
                   output, size);
  if (!out || src == nullptr) return;
  const auto image = image1_span(src, width, height);
  for (int y = 0; y < height; ++y) {
    const auto cmd = out->subspan(y * block, block);
    qe::put_raster_header(cmd, ws, 1);
    qe::pack_image1_row(image, width, y, cmd.subspan(8));
  }
}

}  // extern "C"
