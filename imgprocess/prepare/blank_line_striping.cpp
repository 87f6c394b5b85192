#include "blank_line_striping.h"

#include <cstddef>
#include <cstring>

#include "blank_run_keeper.h"

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
  quorvane::BlankRunKeeper keeper(top, middle, bottom);
  int written = 0;
  int run_start = 0;
  auto keep = [&](int first, int count) {
    copy_rows(source, stride, first, count, destination, written);
    written += count;
  };
  for (int r = 0; r < height; ++r) {
    if (ScanLineEquals(row_at(source, stride, r), width, blank)) {
      if (keeper.run() == 0) run_start = r;
      keeper.blank();
      continue;
    }
    const quorvane::BlankRunKeeper::Kept k = keeper.before_ink();
    keep(run_start + k.first, k.count);
    keep(r, 1);
  }
  const quorvane::BlankRunKeeper::Kept k = keeper.at_end();
  keep(run_start + k.first, k.count);
  if (out_rows) *out_rows = written;
}

}  // extern "C"
