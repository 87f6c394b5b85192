#include "pixel_format.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <span>

#include "bt601_luma.hpp"
#include "ordered_dithering.h"
#include "malloc_buffer.h"

namespace {

// Byte positions of R, G and B within a pixel of the colour formats 4 to 9.
struct ColourLayout {
  int bytes_per_pixel;
  int r, g, b;
};

bool colour_layout(int format, ColourLayout &layout) {
  switch (format) {
    case 4: layout = {3, 0, 1, 2}; return true;
    case 5: layout = {3, 2, 1, 0}; return true;
    case 6: layout = {4, 1, 2, 3}; return true;
    case 7: layout = {4, 0, 1, 2}; return true;
    case 8: layout = {4, 3, 2, 1}; return true;
    case 9: layout = {4, 2, 1, 0}; return true;
    default: return false;
  }
}

// Bytes of a source row the format reads; 0 for codes that read nothing.
std::int64_t source_row_bytes(int format, int width) {
  ColourLayout layout{};
  if (colour_layout(format, layout)) return std::int64_t{width} * layout.bytes_per_pixel;
  if (format == 3) return width;
  if (format == 1 || format == 2) return (std::int64_t{width} + 7) / 8;
  return 0;
}

// Whether a width x height image of the format, rows stride bytes apart, can
// be read without leaving the rows and its result sized in int.
bool geometry_ok(int width, int height, int stride, int format, std::int64_t result_row) {
  if (width < 0 || height < 0 || stride < 0) return false;
  if (result_row * height > INT_MAX) return false;
  const std::int64_t row = source_row_bytes(format, width);
  return height == 0 || row <= stride;
}

void store(int *out, int value) {
  if (out != nullptr) *out = value;
}

}  // namespace

extern "C" {

// Built two bits at a time: each level of the macros places the next pair
// of low bits at the mirrored high position.
const unsigned char BitReverseTable256[256] = {
#define QV_R2(n) n, n + 2 * 64, n + 1 * 64, n + 3 * 64
#define QV_R4(n) QV_R2(n), QV_R2(n + 2 * 16), QV_R2(n + 1 * 16), QV_R2(n + 3 * 16)
#define QV_R6(n) QV_R4(n), QV_R4(n + 2 * 4), QV_R4(n + 1 * 4), QV_R4(n + 3 * 4)
    QV_R6(0), QV_R6(2), QV_R6(1), QV_R6(3)
#undef QV_R6
#undef QV_R4
#undef QV_R2
};

unsigned char ReverseBit(unsigned char byte) { return BitReverseTable256[byte]; }

void ConvertImageToGrayFormat(const unsigned char *data, int width, int height, int stride,
                              int format, unsigned char *gray, int *size, int *gray_stride) {
  if (!geometry_ok(width, height, stride, format, width)) {
    store(size, 0);
    store(gray_stride, 0);
    return;
  }
  const int total = width * height;
  store(size, total);
  store(gray_stride, width);
  if (gray == nullptr) return;
  std::span<unsigned char> out(gray, static_cast<std::size_t>(total));
  std::memset(out.data(), 0, out.size());
  if (data == nullptr || total == 0) return;

  const std::span<const unsigned char> src(data, static_cast<std::size_t>(stride) * height);
  ColourLayout layout{};
  if (format == 3) {
    for (int i = 0; i < height; ++i) {
      const auto row = src.subspan(static_cast<std::size_t>(i) * stride, width);
      std::memcpy(out.subspan(static_cast<std::size_t>(i) * width).data(), row.data(), row.size());
    }
  } else if (colour_layout(format, layout)) {
    for (int i = 0; i < height; ++i) {
      const auto row = src.subspan(static_cast<std::size_t>(i) * stride,
                                   static_cast<std::size_t>(width) * layout.bytes_per_pixel);
      auto dst = out.subspan(static_cast<std::size_t>(i) * width, width);
      for (int j = 0; j < width; ++j) {
        const auto px = row.subspan(static_cast<std::size_t>(j) * layout.bytes_per_pixel);
        dst[j] = static_cast<unsigned char>(
            quorvane::bt601_luma(px[layout.r], px[layout.g], px[layout.b]));
      }
    }
  }
}

void ConvertGrayImageToMonoFormat(const unsigned char *gray, int width, int height, int stride,
                                  unsigned char *mono, int *size, int *width_stride) {
  ConvertGrayImageToMonoFormatUseDithering(gray, width, height, stride, mono, size,
                                           width_stride);
}

void ConvertImageToMonoFormat(const unsigned char *data, int width, int height, int stride,
                              int format, unsigned char *mono, int *size, int *width_stride) {
  const std::int64_t row_bytes = (std::int64_t{width} + 7) / 8;
  if (!geometry_ok(width, height, stride, format, row_bytes)) {
    store(size, 0);
    store(width_stride, 0);
    return;
  }
  const int ws = static_cast<int>(row_bytes);
  const int total = ws * height;
  store(size, total);
  store(width_stride, ws);
  if (mono == nullptr) return;
  std::span<unsigned char> out(mono, static_cast<std::size_t>(total));
  std::memset(out.data(), 0, out.size());
  if (data == nullptr || total == 0) return;

  const std::span<const unsigned char> src(data, static_cast<std::size_t>(stride) * height);
  if (format == 1 || format == 2) {
    for (int i = 0; i < height; ++i) {
      const auto row = src.subspan(static_cast<std::size_t>(i) * stride, ws);
      auto dst = out.subspan(static_cast<std::size_t>(i) * ws, ws);
      for (int k = 0; k < ws; ++k) dst[k] = format == 1 ? row[k] : ReverseBit(row[k]);
    }
  } else if (format == 3) {
    ConvertGrayImageToMonoFormat(data, width, height, stride, mono, nullptr, nullptr);
  } else {
    ColourLayout layout{};
    if (!colour_layout(format, layout)) return;
    int gray_size = 0;
    int gray_stride = 0;
    ConvertImageToGrayFormat(data, width, height, stride, format, nullptr, &gray_size,
                             &gray_stride);
    if (gray_size == 0) return;
    // Without memory for the gray image the raster stays white.
    auto gray = quorvane::allocate_buffer(static_cast<std::size_t>(gray_size));
    if (!gray) return;
    ConvertImageToGrayFormat(data, width, height, stride, format, gray.get(), nullptr, nullptr);
    ConvertGrayImageToMonoFormat(gray.get(), width, height, gray_stride, mono, nullptr, nullptr);
  }
}

}  // extern "C"
