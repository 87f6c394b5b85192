// What a front-end knows of a page before its rows arrive.
#ifndef QUORVANE_ENGINE_PAGE_GEOMETRY_H
#define QUORVANE_ENGINE_PAGE_GEOMETRY_H

namespace quorvane {

// How a row's bytes read: as ink (0 is white paper, CUPS's K space) or as
// gray levels (0 is black, sGray).
enum class Polarity { kInk, kGray };

struct PageGeometry {
  unsigned width = 0;           // pixels of a row
  unsigned height = 0;          // rows
  unsigned bytes_per_line = 0;  // a row's bytes, pixels first
  unsigned bits_per_pixel = 8;
  unsigned hres = 0;  // dots per inch across
  unsigned vres = 0;  // and along the paper
  Polarity polarity = Polarity::kInk;
};

// The largest gray page the engine takes on, in bytes: beyond it a page is
// refused rather than risking the machine's memory on one receipt.
constexpr long long kMaxGrayPageBytes = 1LL << 30;

// Whether the geometry describes an 8-bit page the engine can hold: a width
// within the line, and sizes that fit in int and kMaxGrayPageBytes. Raster
// streams carry headers no page can honour; every later step trusts these.
bool gray_page_usable(const PageGeometry &g);

}  // namespace quorvane

#endif
