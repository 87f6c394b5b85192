// The two roads a page can take to its Mono raster. Which one a page takes
// is the engine's business; both give the same raster where both can go.
#ifndef QUORVANE_ENGINE_PAGE_ROAD_H
#define QUORVANE_ENGINE_PAGE_ROAD_H

#include <memory>
#include <span>

#include "mono_raster.h"
#include "page_geometry.h"
#include "page_settings.h"

namespace quorvane {

class PageRoad {
 public:
  virtual ~PageRoad() = default;
  // False when the page cannot be taken on (memory).
  virtual bool start(const PageGeometry &g, const PageSettings &s) = 0;
  // Room for the next row's bytes_per_line bytes, as they arrive.
  virtual std::span<unsigned char> row_buffer() = 0;
  virtual void row_done() = 0;
  // After the last row: the raster, empty when the page cannot be made.
  virtual MonoRaster finish() = 0;
};

// Binarises each row as it arrives: holds the Mono raster, a row and a
// canvas row (and three rows of the error-diffusion plane).
std::unique_ptr<PageRoad> make_streamed_road();
// Holds the gray page, then strips, shapes, places and binarises it whole.
std::unique_ptr<PageRoad> make_whole_page_road();

// Whether every step the page needs works row by row. Turning the page,
// stripping its side margins and thresholding at the page's mean need all
// of it first, as does a canvas that might not fit the gray page limit.
// `g` must be usable.
bool takes_streamed_road(const PageGeometry &g, const PageSettings &s);

// Gray levels from a row as it arrives: ink amounts are inverted.
void to_gray_levels(std::span<unsigned char> row, Polarity polarity);

}  // namespace quorvane

#endif
