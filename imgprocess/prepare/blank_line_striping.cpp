#include "blank_line_striping.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

const unsigned char *row_at(const unsigned char *data, int stride, int row) {
  return data + static_cast<std::ptrdiff_t>(stride) * row;
}

// Rows only ever move towards the top (at <= first), so the destination may
// be the source itself: a memmove is safe, and rows already in place stay.
void copy_rows(const unsigned char *source, int stride, int first, int count,
               unsigned char *destination, int at) {
  if (count <= 0) return;
  unsigned char *to = destination + static_cast<std::ptrdiff_t>(stride) * at;
  const unsigned char *from = row_at(source, stride, first);
  if (to == from) return;
  std::memmove(to, from, static_cast<std::size_t>(stride) * static_cast<std::size_t>(count));
}

}  // namespace

extern "C" {

bool ScanLineEquals(const unsigned char *row, int width, unsigned char value) {
  if (width <= 0) return true;
  // Every byte equals the value when the first does and the row equals
  // itself shifted by one byte: one library compare instead of a byte loop.
  if (row[0] != value) return false;
  return width == 1 || std::memcmp(row, row + 1, static_cast<std::size_t>(width) - 1) == 0;
}

int GetScalLineEqualsHeightForward(const unsigned char *data, int width, int rows, int stride,
                                   unsigned char value) {
  int n = 0;
  while (n < rows && ScanLineEquals(row_at(data, stride, n), width, value)) ++n;
  return n;
}

int GetScalLineEqualsHeightBackward(const unsigned char *data, int width, int rows, int stride,
                                    unsigned char value) {
  int n = 0;
  while (n < rows && ScanLineEquals(row_at(data, stride, rows - 1 - n), width, value)) ++n;
  return n;
}

void GetStripedBitmap(const unsigned char *source, int width, int height, int stride,
                      unsigned char blank, int top, int middle, int bottom,
                      unsigned char *destination, int *out_rows) {
  int start = 0;
  if (top > 0) {
    const int lead = GetScalLineEqualsHeightForward(source, width, height, stride, blank);
    if (lead > top) start = lead - top;
  }
  int end = height;
  if (bottom > 0 && start < height) {
    // Counted over the rows left after the top cut, so the two never overlap.
    const int tail = GetScalLineEqualsHeightBackward(row_at(source, stride, start), width,
                                                     height - start, stride, blank);
    if (tail > bottom) end = height - (tail - bottom);
  }

  int written = 0;
  if (middle <= 0) {
    copy_rows(source, stride, start, end - start, destination, 0);
    written = std::max(end - start, 0);
  } else {
    int r = start;
    while (r < end) {
      const int run =
          GetScalLineEqualsHeightForward(row_at(source, stride, r), width, end - r, stride, blank);
      if (run > middle) {
        copy_rows(source, stride, r, middle, destination, written);
        written += middle;
        r += run;
      } else if (run > 0) {
        copy_rows(source, stride, r, run, destination, written);
        written += run;
        r += run;
      } else {
        copy_rows(source, stride, r, 1, destination, written);
        written += 1;
        r += 1;
      }
    }
  }
  if (out_rows) *out_rows = written;
}

}  // extern "C"
