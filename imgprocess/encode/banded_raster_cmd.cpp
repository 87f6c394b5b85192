#include "banded_raster_cmd.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr int kHeaderBytes = 8;
constexpr long long kFieldMax = 0xFFFF;  // the command's size fields are 16 bits

void put16(unsigned char *p, int v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

// One GS v 0 block; the caller has checked that both fields fit.
int write_block(int row_length, int rows, const unsigned char *raster, unsigned char *out) {
  const std::size_t data = static_cast<std::size_t>(row_length) * static_cast<std::size_t>(rows);
  out[0] = 0x1D;
  out[1] = 0x76;
  out[2] = 0x30;
  out[3] = 0x00;
  put16(out + 4, row_length);
  put16(out + 6, rows);
  if (data) std::memmove(out + kHeaderBytes, raster, data);
  return static_cast<int>(data) + kHeaderBytes;
}

}  // namespace

extern "C" {

void RasterDataToRasterCmd(int row_length, int rows, const unsigned char *raster,
                           unsigned char *output, int *size) {
  const bool fits = row_length >= 0 && rows >= 0 && row_length <= kFieldMax && rows <= kFieldMax;
  const long long total =
      fits ? static_cast<long long>(row_length) * rows + kHeaderBytes : 0;
  const bool ok = fits && total <= INT32_MAX;
  if (size) *size = ok ? static_cast<int>(total) : 0;
  if (!ok || output == nullptr || (raster == nullptr && total > kHeaderBytes)) return;
  write_block(row_length, rows, raster, output);
}

void RasterDataToRasterCmdSpecifyBankHeight(int row_length, int rows,
                                            const unsigned char *raster, int band_height,
                                            unsigned char *output, int *size) {
  // A band taller than the image is the whole image in one block.
  const int band = band_height < rows ? band_height : rows;
  const bool fits = row_length >= 0 && rows > 0 && band > 0 && row_length <= kFieldMax &&
                    band <= kFieldMax;
  long long total = 0;
  if (fits) {
    const long long bands = (static_cast<long long>(rows) + band - 1) / band;
    total = bands * kHeaderBytes + static_cast<long long>(row_length) * rows;
  }
  const bool ok = fits && total <= INT32_MAX;
  if (size) *size = ok ? static_cast<int>(total) : 0;
  if (!ok || output == nullptr || raster == nullptr) return;
  std::size_t at = 0;
  for (int row = 0; row < rows;) {
    const int take = rows - row < band ? rows - row : band;
    at += static_cast<std::size_t>(write_block(
        row_length, take, raster + static_cast<std::size_t>(row) * row_length, output + at));
    row += take;
  }
}

}  // extern "C"
