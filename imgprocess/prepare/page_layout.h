// Placing the page's Gray image on its canvas inside the page's own buffer.
#ifndef QUORVANE_PAGE_LAYOUT_H
#define QUORVANE_PAGE_LAYOUT_H

#include <cstddef>

#include "malloc_buffer.h"

namespace quorvane {

// Where a row of `width` pixels lands on a canvas row of `canvas_width`
// with its first pixel at column x_offset, clipped as
// LayoutGrayImageToNewImage clips: `count` pixels from source column
// `source_x` go to canvas column `canvas_x`; the rest of the canvas is white.
struct RowPlacement {
  int source_x = 0;
  int canvas_x = 0;
  int count = 0;
};
RowPlacement row_placement(int width, int canvas_width, int x_offset);

// Writes a canvas row: the placed pixels of `image_row`, white around them.
// The canvas row may overlap the image row (it is moved before the white is
// written).
void place_row(const unsigned char *image_row, const RowPlacement &p, unsigned char *canvas_row,
               int canvas_width);

// Cutting a row `width` wide to `target` keeps its middle: the first column
// kept.
constexpr int centre_cut_left(int width, int target) { return (width - target) / 2; }

// Turns the image (width x height at stride, in a buffer of `capacity`
// bytes) into the canvas that LayoutGrayImageToNewImage would make of it
// with canvas stride = canvas width, canvas height = height and y offset 0:
// canvas_width x height at stride canvas_width, white where the image does
// not reach, its top-left pixel at column x_offset. The canvas takes the
// image's place in the same buffer, which grows (realloc) when the canvas
// needs more than `capacity`; `capacity` is updated. Does nothing at all when
// the canvas is the image itself. False (buffer untouched) when the canvas
// cannot be had.
bool layout_in_place(MallocBuffer &buffer, std::size_t &capacity, int width, int height,
                     int stride, int canvas_width, int x_offset);

}  // namespace quorvane

#endif
