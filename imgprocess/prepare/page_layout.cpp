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

void place_row(const unsigned char *image_row, const RowPlacement &p, unsigned char *canvas_row,
               int canvas_width) {
  std::size_t filled = 0;
  if (p.count > 0) {
    std::memmove(canvas_row + p.canvas_x, image_row + p.source_x,
                 static_cast<std::size_t>(p.count));
    std::memset(canvas_row, 255, static_cast<std::size_t>(p.canvas_x));
    filled = static_cast<std::size_t>(p.canvas_x) + static_cast<std::size_t>(p.count);
  }
  std::memset(canvas_row + filled, 255, static_cast<std::size_t>(canvas_width) - filled);
}

bool layout_in_place(MallocBuffer &buffer, std::size_t &capacity, int width, int height,
                     int stride, int canvas_width, int x_offset) {
  if (!buffer || width < 0 || height < 0 || stride < width || canvas_width < 0) return false;
  const RowPlacement p = row_placement(width, canvas_width, x_offset);
  if (p.count == width && p.count == canvas_width && stride == canvas_width) return true;

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
  auto place = [&](int i) {
    place_row(data + static_cast<std::size_t>(stride) * i, p,
              data + cw * static_cast<std::size_t>(i), canvas_width);
  };
  // A canvas row never reaches a source row that is still to be moved: with
  // canvas rows no longer than the source's, rows move up and are placed top
  // to bottom; with longer ones they move down and are placed bottom to top.
  // Each row is moved before the white around it is written.
  if (cw <= static_cast<std::size_t>(stride)) {
    for (int i = 0; i < height; ++i) place(i);
  } else {
    for (int i = height - 1; i >= 0; --i) place(i);
  }
  return true;
}

}  // namespace quorvane
