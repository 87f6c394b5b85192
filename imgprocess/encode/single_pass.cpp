#include "single_pass.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "compressed_raster_cmd.h"
#include "jbig_raster_cmd.h"
#include "prepare/large_buffer.h"

namespace quorvane {

namespace {

constexpr long long kRowFraming = 6;  // 1F 28 50, L, and the body-kind byte
constexpr long long kBandAllowance = 128;

long long row_bytes_of(int width) { return width > 0 ? (static_cast<long long>(width) + 7) / 8 : 0; }

}  // namespace

MallocBuffer compressed_block_once(int width, int rows, const unsigned char *raster, int &size) {
  size = 0;
  const long long bound = rows > 0 ? static_cast<long long>(rows) * (row_bytes_of(width) + kRowFraming) : 0;
  MallocBuffer out;
  if (bound > 0 && bound <= INT32_MAX) {
    out = allocate_large_buffer(static_cast<std::size_t>(bound), false);
    if (!out) return {};
    RasterDataToCompressCmd(width, rows, raster, out.get(), &size);
  } else {
    RasterDataToCompressCmd(width, rows, raster, nullptr, &size);
    if (size > 0 && (out = allocate_large_buffer(static_cast<std::size_t>(size))))
      RasterDataToCompressCmd(width, rows, raster, out.get(), &size);
  }
  if (size <= 0 || !out) {
    size = 0;
    return {};
  }
  return out;
}

MallocBuffer jbig_block_once(int width, int rows, const unsigned char *raster, int &size,
                             long long room) {
  size = 0;
  if (room < 0) {
    const long long raster_bytes = row_bytes_of(width) * std::max(rows, 0);
    room = raster_bytes + raster_bytes / 2 + (static_cast<long long>(rows) + 23) / 24 * kBandAllowance;
  }
  room = std::min<long long>(room, INT32_MAX);
  int written = 0;
  if (room > 0) {
    MallocBuffer out = allocate_large_buffer(static_cast<std::size_t>(room), false);
    if (out) {
      RasterDataToJBIG5Cmd(width, rows, raster, out.get(), static_cast<int>(room), &size, &written);
      if (size > 0 && written == size) return out;
    }
  }
  // A band did not fit (or there was no room to try): size the page, then
  // code it into a buffer of exactly that size.
  RasterDataToJBIG5Cmd(width, rows, raster, nullptr, 0, &size, &written);
  MallocBuffer out;
  if (size > 0 && (out = allocate_large_buffer(static_cast<std::size_t>(size)))) {
    const int capacity = size;
    RasterDataToJBIG5Cmd(width, rows, raster, out.get(), capacity, &size, &written);
    if (written == size && size == capacity) return out;
  }
  size = 0;
  return {};
}

}  // namespace quorvane
