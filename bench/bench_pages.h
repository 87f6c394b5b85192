// The benchmark pages (203 dpi), as 8-bit ink amounts:
//   receipt  576 x 4000   80 mm receipt: logo gradient, text lines, bar codes, blank runs
//   long     576 x 40000  5 m receipt of the same make
//   label    812 x 1218   4 x 6 in shipping label: frame, logo, text, bar code
//   photo    576 x 2000   photo-like continuous tone
#ifndef QUORVANE_BENCH_PAGES_H
#define QUORVANE_BENCH_PAGES_H

#include <cstdint>
#include <string>
#include <vector>

#include "raster_writer.h"

namespace quorvane::bench {

RasterPage make_receipt(unsigned width, unsigned height, std::uint32_t seed);
RasterPage make_label(unsigned width, unsigned height);
RasterPage make_photo(unsigned width, unsigned height);
// The same page at 1 bit per pixel, printed where the ink is at least half.
RasterPage to_one_bit(const RasterPage &page);

struct BenchPage {
  std::string name;
  RasterPage page;
};
std::vector<BenchPage> bench_pages();

}  // namespace quorvane::bench

#endif
