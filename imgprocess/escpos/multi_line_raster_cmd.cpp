#include "multi_line_raster_cmd.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include "image1_layout.hpp"

namespace qe = quorvane::escpos;

namespace {

std::optional<int> banded_size(std::int64_t row_length, std::int64_t rows,
                               std::int64_t rows_per_cmd) {
  // Without a band height the banding could never advance.
  if (rows_per_cmd == 0) return std::nullopt;
  // The same limits as the page path's bands: the 16-bit size fields.
  if (row_length > qe::kField16Max || std::min(rows_per_cmd, rows) > qe::kField16Max)
    return std::nullopt;
  const std::int64_t bands = (rows + rows_per_cmd - 1) / rows_per_cmd;
  if (row_length > INT_MAX || rows > INT_MAX) return std::nullopt;
  return qe::as_size(bands * 8 + row_length * rows);
}

// Writes the bands of rows [0, rows) of raster into out, which holds exactly
// the banded size.
void write_bands(std::span<const unsigned char> raster, std::int64_t row_length,
                 std::int64_t rows, std::int64_t rows_per_cmd, std::span<unsigned char> out) {
  std::int64_t row = 0;
  while (row < rows) {
    const std::int64_t take = std::min(rows_per_cmd, rows - row);
    const std::int64_t bytes = take * row_length;
    qe::put_raster_header(out, row_length, take);
    const auto src = raster.subspan(row * row_length, bytes);
    if (!src.empty()) std::memcpy(out.subspan(8).data(), src.data(), src.size());
    out = out.subspan(8 + bytes);
    row += take;
  }
}

bool ScanLineBlank(std::span<const unsigned char> row) {
  for (unsigned char b : row)
    if (b != 0) return false;
  return true;
}

void store(unsigned *size, std::optional<int> total) {
  if (size != nullptr) *size = static_cast<unsigned>(total.value_or(0));
}

}  // namespace

extern "C" {

void RasterDataToMultiLineRasterCmd(unsigned row_length, unsigned height,
                                    const unsigned char *raster, unsigned rows_per_cmd,
                                    unsigned char *output, unsigned *size) {
  const auto total = banded_size(row_length, height, rows_per_cmd);
  store(size, total);
  if (!total || raster == nullptr || output == nullptr) return;
  const std::int64_t raster_bytes = std::int64_t{row_length} * height;
  write_bands({raster, static_cast<std::size_t>(raster_bytes)}, row_length, height,
              rows_per_cmd, {output, static_cast<std::size_t>(*total)});
}

void RasterDataToMultiLineRasterCmdWithStrip(unsigned row_length, int height,
                                             const unsigned char *raster, unsigned rows_per_cmd,
                                             unsigned char *output, unsigned *size,
                                             bool strip_top, bool strip_bottom) {
  if (height < 0 || !banded_size(row_length, height, rows_per_cmd)) {
    store(size, std::nullopt);
    return;
  }
  std::int64_t top = 0;
  std::int64_t remaining = height;
  std::span<const unsigned char> all;
  if (raster != nullptr) {
    all = {raster, static_cast<std::size_t>(std::int64_t{row_length} * height)};
    const auto row = [&](std::int64_t y) { return all.subspan(y * row_length, row_length); };
    if (strip_top) {
      while (top < height && ScanLineBlank(row(top))) ++top;
    }
    remaining = height - top;
    if (strip_bottom) {
      for (std::int64_t y = height - 1; y >= top && ScanLineBlank(row(y)); --y) --remaining;
    }
  }
  const auto total = banded_size(row_length, remaining, rows_per_cmd);
  store(size, total);
  if (!total || raster == nullptr || output == nullptr) return;
  write_bands(all.subspan(top * row_length), row_length, remaining, rows_per_cmd,
              {output, static_cast<std::size_t>(*total)});
}

}  // extern "C"
