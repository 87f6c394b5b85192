#include "raster_overbound.h"

#include <cstdint>
#include <span>

#include "image1_layout.hpp"

extern "C" {

void RasterDataSetOverbound(int row_length, int first_dot, int height, unsigned char *raster,
                            int value) {
  if (raster == nullptr || row_length <= 0 || height <= 0 || first_dot < 0) return;
  if (!quorvane::escpos::image_fits(row_length, height)) return;
  const std::int64_t row_dots = std::int64_t{row_length} * 8;
  const std::span<unsigned char> all(raster, static_cast<std::size_t>(row_length) * height);
  for (int y = 0; y < height; ++y) {
    const auto row = all.subspan(static_cast<std::size_t>(y) * row_length, row_length);
    for (std::int64_t x = first_dot; x < row_dots; ++x) {
      const auto bit = static_cast<unsigned char>(0x80 >> (x % 8));
      if (value != 0)
        row[x / 8] |= bit;
      else
        row[x / 8] &= static_cast<unsigned char>(~bit);
    }
  }
}

}  // extern "C"
