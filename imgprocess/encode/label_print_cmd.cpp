#include "label_print_cmd.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr long long kFieldMax = 0xFFFF;  // every position and size field is 16 bits
constexpr int kFixedBytes = 32;          // 12 + 13 + 3 + 4 bytes of the four blocks

void put16(unsigned char *p, long long v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

bool fits16(long long v) { return v >= 0 && v <= kFieldMax; }

}  // namespace

extern "C" {

void RasterDataToLabelPrintCmd(int x, int y, int width, int height, const unsigned char *raster,
                               unsigned char *output, int *size) {
  const long long row_bytes = width >= 0 ? (static_cast<long long>(width) + 7) / 8 : -1;
  const long long dots = row_bytes * 8;  // W: the width rounded up to whole bytes
  const long long data = row_bytes * height;
  const bool ok = fits16(x) && fits16(y) && row_bytes >= 0 && fits16(dots) && fits16(height) &&
                  data + kFixedBytes <= INT32_MAX && (raster != nullptr || data == 0);
  if (size) *size = ok ? static_cast<int>(data + kFixedBytes) : 0;
  if (!ok || output == nullptr) return;

  unsigned char *p = output;
  const unsigned char open[] = {0x1A, 0x5B, 0x01};
  std::memcpy(p, open, sizeof open);
  put16(p + 3, x);
  put16(p + 5, y);
  put16(p + 7, dots);
  put16(p + 9, height);
  p[11] = 0x00;
  p += 12;

  const unsigned char bitmap[] = {0x1A, 0x21, 0x01, 0x00, 0x00, 0x00, 0x00};
  std::memcpy(p, bitmap, sizeof bitmap);
  put16(p + 7, dots);
  put16(p + 9, height);
  p[11] = 0x00;
  p[12] = 0x00;
  p += 13;

  if (data) std::memcpy(p, raster, static_cast<std::size_t>(data));
  p += data;

  const unsigned char close_and_print[] = {0x1A, 0x5D, 0x00, 0x1A, 0x4F, 0x01, 0x01};
  std::memcpy(p, close_and_print, sizeof close_and_print);
}

void RasterDataToLabelCmd(int row_length, int height, const unsigned char *raster,
                          unsigned char *output, int *size) {
  // A row length whose dot count overflows cannot be a label; -1 is refused.
  const long long dots = static_cast<long long>(row_length) * 8;
  const int width = row_length >= 0 && dots <= kFieldMax ? static_cast<int>(dots) : -1;
  RasterDataToLabelPrintCmd(0, 0, width, height, raster, output, size);
}

}  // extern "C"
