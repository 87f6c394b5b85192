// The page engine: a page's rows in, one at a time, and its printer command
// block out. Front-ends (the CUPS filter, the Printer Application) hand it
// the page's geometry and settings, then its rows; they own everything
// around the page: where rows come from, copies, framing, cancellation.
#ifndef QUORVANE_ENGINE_PAGE_ENGINE_H
#define QUORVANE_ENGINE_PAGE_ENGINE_H

#include <memory>
#include <span>

#include "mono_raster.h"
#include "page_encoder.h"
#include "page_geometry.h"
#include "page_road.h"
#include "page_settings.h"

namespace quorvane {

class PageEngine {
 public:
  // `trace` receives the engine's trace lines (the page's Mono raster size,
  // the ORX settings); none are made without it.
  explicit PageEngine(TraceSink trace = {});

  // Starts a page; any page before it is dropped. False when the geometry
  // is no 8-bit page the engine can hold, or memory is short; error() says
  // which. Whether the page is binarised as its rows arrive or held whole
  // is decided here, from the settings.
  bool start_page(const PageGeometry &geometry, const PageSettings &settings);

  // Room for the next row's bytes_per_line bytes: fill it, then row_done().
  // Reading straight into it spares a copy. Empty when no row is awaited.
  std::span<unsigned char> row_buffer();
  void row_done();
  // The same with a copy; false when the row is not bytes_per_line bytes or
  // no row is awaited.
  bool push_row(std::span<const unsigned char> row);
  unsigned rows_left() const { return rows_left_; }

  // After the last row: the page binarised, as the printer would print it.
  MonoRaster finish_raster();
  // After the last row: the page's command block. Empty on failure.
  CommandBlock finish_page();

  // Why the last start or finish failed.
  const char *error() const { return error_; }

 private:
  TraceSink trace_;
  PageGeometry geometry_;
  PageSettings settings_;
  std::unique_ptr<PageRoad> road_;
  unsigned rows_left_ = 0;
  const char *error_ = "";
};

}  // namespace quorvane

#endif
