#include "image_depth.h"

#include <cstdint>
#include <span>

#include "../binarize/bt601_luma.hpp"
#include "../binarize/ordered_dithering.h"
#include "image1_layout.hpp"

using quorvane::escpos::image_fits;
using quorvane::escpos::PixOffset;

namespace {

unsigned char luma_of(std::uint32_t word) {
  return static_cast<unsigned char>(
      quorvane::bt601_luma((word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF));
}

bool usable(int width, int height, const void *src, const void *dst) {
  return width > 0 && height > 0 && image_fits(width, height) && src != nullptr &&
         dst != nullptr;
}

}  // namespace

extern "C" {

void Image8ToImage1(int width, int height, const unsigned char *src, unsigned char *dst) {
  if (!usable(width, height, src, dst)) return;
  const auto n = static_cast<std::size_t>(width) * height;
  const std::span<const unsigned char> in(src, n);
  const std::span<unsigned char> out(dst, n);
  // 64 bits: 255 * INT_MAX pixels still fit, where 32 bits stop at 8.4 Mpx.
  std::int64_t sum = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) sum += in[PixOffset(width, x, y)];
  const std::int64_t mean = (sum / width) / height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int at = PixOffset(width, x, y);
      out[at] = in[at] <= mean ? 1 : 0;
    }
}

void Image32ToImage8(int width, int height, const uint32_t *src, unsigned char *dst) {
  if (!usable(width, height, src, dst)) return;
  const auto n = static_cast<std::size_t>(width) * height;
  const std::span<const std::uint32_t> in(src, n);
  const std::span<unsigned char> out(dst, n);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int at = PixOffset(width, x, y);
      out[at] = luma_of(in[at]);
    }
}

void Image32ToImage1(int width, int height, const uint32_t *src, unsigned char *dst) {
  if (!usable(width, height, src, dst)) return;
  const auto n = static_cast<std::size_t>(width) * height;
  const std::span<const std::uint32_t> in(src, n);
  const std::span<unsigned char> out(dst, n);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int at = PixOffset(width, x, y);
      // The table is read column-first here, transposed against the page
      // path's dithering; printed output of this library depends on it.
      out[at] = luma_of(in[at]) <= Floyd16x16[x % 16][y % 16] ? 1 : 0;
    }
}

}  // extern "C"
