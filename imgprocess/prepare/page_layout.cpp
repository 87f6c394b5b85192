#include "page_layout.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace quorvane {

RowPlacement row_placement(int width, int canvas_width, int x_offset) {
  const long long x = x_offset;
  const bool off_canvas = x + width <= 0 || x >= canvas_width;
  RowPlacement p;
  p.source_x = x < 0 ? static_cast<int>(-x) : 0;
  p.canvas_x = x < 0 ? 0 : static_cast<int>(x);
  p.count = off_canvas ? 0 : std::min(canvas_width - p.canvas_x, width - p.source_x);
  return p;
}

bool layout_in_place(MallocBuffer &buffer, std::size_t &capacity, int width, int height,
                     int stride, int canvas_width, int x_offset) {
  if (!buffer || width < 0 || height < 0 || stride < width || canvas_width < 0) return false;
  const RowPlacement p = row_placement(width, canvas_width, x_offset);
  const int sx = p.source_x, cx = p.canvas_x, count = p.count;
  if (count == width && count == canvas_width && stride == canvas_width) return true;

  // In 64 bits: with a 32-bit size_t the canvas's size can wrap to one the
  // buffer seems to hold already, and the rows placed would overrun it.
  const unsigned long long canvas_bytes =
      static_cast<unsigned long long>(canvas_width) * static_cast<unsigned long long>(height);
  if (canvas_bytes > static_cast<unsigned long long>(PTRDIFF_MAX)) return false;
  const std::size_t cw = static_cast<std::size_t>(canvas_width);
  const auto needed = static_cast<std::size_t>(canvas_bytes);
  if (needed > capacity) {
    void *grown = std::realloc(buffer.get(), needed);
    if (grown == nullptr) return false;
    (void)buffer.release();
    buffer.reset(static_cast<unsigned char *>(grown));
    capacity = needed;
  }
  unsigned char *data = buffer.get();
  auto place_row = [&](int i) {
    unsigned char *row = data + cw * static_cast<std::size_t>(i);
    std::size_t filled = 0;
    if (count > 0) {
      std::memmove(row + cx, data + static_cast<std::size_t>(stride) * i + sx,
                   static_cast<std::size_t>(count));
      std::memset(row, 255, static_cast<std::size_t>(cx));
      filled = static_cast<std::size_t>(cx) + static_cast<std::size_t>(count);
    }
    std::memset(row + filled, 255, cw - filled);
  };
  // A canvas row never reaches a source row that is still to be moved: with
  // canvas rows no longer than the source's, rows move up and are placed top
  // to bottom; with longer ones they move down and are placed bottom to top.
  // Each row is moved before the white around it is written.
  if (cw <= static_cast<std::size_t>(stride)) {
    for (int i = 0; i < height; ++i) place_row(i);
  } else {
    for (int i = height - 1; i >= 0; --i) place_row(i);
  }
  return true;
}

}  // namespace quorvane
