#include "gray_geometry.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "malloc_buffer.h"
#include "page_layout.h"

namespace {

std::ptrdiff_t offset(int stride, int row) { return static_cast<std::ptrdiff_t>(stride) * row; }

bool column_equals(const unsigned char *data, int height, int stride, int column,
                   unsigned char value) {
  for (int i = 0; i < height; ++i)
    if (data[offset(stride, i) + column] != value) return false;
  return true;
}

}  // namespace

extern "C" {

void UpsideDownGrayImage(unsigned char *buffer, int length) {
  if (buffer == nullptr || length <= 1) return;
  std::reverse(buffer, buffer + length);
}

int GetGrayImageLeftPadding(const unsigned char *data, int width, int height, int stride,
                            unsigned char value) {
  int j = 0;
  while (j < width && column_equals(data, height, stride, j, value)) ++j;
  return j;
}

int GetGrayImageRightPadding(const unsigned char *data, int width, int height, int stride,
                             unsigned char value) {
  int n = 0;
  while (n < width && column_equals(data, height, stride, width - 1 - n, value)) ++n;
  return n;
}

void StripGrayImageLeftRightPadding(unsigned char *data, int width, int height, int stride,
                                    unsigned char value, int strip_left, int strip_right,
                                    int *out_width) {
  if (strip_right && width > 0) {
    const int r = std::min(GetGrayImageRightPadding(data, width, height, stride, value), width - 1);
    width -= r;
  }
  if (strip_left && width > 0) {
    const int l = std::min(GetGrayImageLeftPadding(data, width, height, stride, value), width - 1);
    width -= l;
    if (l > 0) {
      for (int i = 0; i < height; ++i) {
        unsigned char *row = data + offset(stride, i);
        std::memmove(row, row + l, static_cast<std::size_t>(width));
      }
    }
  }
  if (out_width) *out_width = width;
}

bool TurncateGrayImageToDstWidth(unsigned char *buffer, int width, int height, int stride,
                                 int target) {
  if (stride <= target || target <= 0 || height <= 0 || target > width) return true;
  // Row i moves from i * stride + left to i * target: never further down than
  // it was, and never onto a row not yet moved, so the rows are repacked in
  // place, top to bottom, without a scratch copy of the image.
  const int left = quorvane::centre_cut_left(width, target);
  for (int i = 0; i < height; ++i)
    std::memmove(buffer + offset(target, i), buffer + offset(stride, i) + left,
                 static_cast<std::size_t>(target));
  return true;
}

unsigned char *LayoutGrayImageToNewImage(const unsigned char *source, int source_width,
                                         int source_height, int source_stride, int canvas_width,
                                         int canvas_height, int canvas_stride, int x_offset,
                                         int y_offset) {
  if (canvas_width < 0 || canvas_height < 0 || canvas_stride < canvas_width) return nullptr;
  // In 64 bits: with a 32-bit size_t the product of two ints can wrap to a
  // small buffer that the rows below would overrun. Rows are addressed with
  // ptrdiff_t offsets, so no canvas may be larger than PTRDIFF_MAX.
  const unsigned long long bytes =
      static_cast<unsigned long long>(canvas_stride) * static_cast<unsigned long long>(canvas_height);
  if (bytes > static_cast<unsigned long long>(PTRDIFF_MAX)) return nullptr;
  const auto size = static_cast<std::size_t>(bytes);
  quorvane::MallocBuffer canvas = quorvane::allocate_buffer(size);
  if (!canvas) return nullptr;
  std::memset(canvas.get(), 255, size);

  const quorvane::RowPlacement p = quorvane::row_placement(source_width, canvas_width, x_offset);
  if (source != nullptr && p.count > 0) {
    for (int i = 0; i < source_height; ++i) {
      const long long row = static_cast<long long>(y_offset) + i;
      if (row < 0 || row >= canvas_height) continue;
      std::memcpy(canvas.get() + offset(canvas_stride, static_cast<int>(row)) + p.canvas_x,
                  source + offset(source_stride, i) + p.source_x, static_cast<std::size_t>(p.count));
    }
  }
  return canvas.release();
}

}  // extern "C"
