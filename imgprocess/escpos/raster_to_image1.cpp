#include "raster_to_image1.h"

#include <cstdint>
#include <span>

#include "image1_layout.hpp"

namespace qe = quorvane::escpos;

extern "C" {

void ConvertHorizontalRasterImageToImage1(int row_length, int width, int height,
                                          const unsigned char *raster, unsigned char *output) {
  if (raster == nullptr || output == nullptr || !qe::image_fits(width, height)) return;
  if (row_length < qe::bytes_for_dots(width)) return;
  const std::span<const unsigned char> in(raster, static_cast<std::size_t>(row_length) * height);
  const std::span<unsigned char> out(output, static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    const auto row = in.subspan(static_cast<std::size_t>(y) * row_length, row_length);
    for (int x = 0; x < width; ++x)
      out[qe::PixOffset(width, x, y)] = (row[x / 8] >> (7 - x % 8)) & 1;
  }
}

}  // extern "C"
