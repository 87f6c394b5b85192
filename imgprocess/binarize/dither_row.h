// Ordered dithering one row at a time, for pages binarised as they arrive.
#ifndef QUORVANE_DITHER_ROW_H
#define QUORVANE_DITHER_ROW_H

#include <span>

namespace quorvane {

// Row `row` of ConvertGrayImageToMonoFormatUseDithering: dot j is printed
// where px[j] <= Floyd16x16[row % 16][j % 16]. `out` holds (px.size() + 7) / 8
// bytes, each written whole.
void dither_row(std::span<const unsigned char> px, int row, std::span<unsigned char> out);

}  // namespace quorvane

#endif
