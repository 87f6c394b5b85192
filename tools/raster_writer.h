// Writes CUPS raster streams with libcups' own writer, for the example job,
// the tests and the benchmarks.
#ifndef QUORVANE_RASTER_WRITER_H
#define QUORVANE_RASTER_WRITER_H

#include <cups/raster.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// One 8-bit page: samples are amounts of ink, 0 = white, 255 = full black,
// bytes_per_line per row (width by default).
struct RasterPage {
  unsigned width = 0;
  unsigned height = 0;
  unsigned bytes_per_line = 0;  // 0: same as width
  unsigned bits_per_pixel = 8;
  unsigned num_copies = 1;
  unsigned resolution = 203;
  std::vector<std::uint8_t> samples;  // bytes_per_line * height
};

// A page header for the page, as a PPD with colour space K would give it.
cups_page_header2_t make_page_header(const RasterPage &page);

// Writes the pages as a raster stream to path; `truncate_last_at` >= 0 cuts
// the file after that many bytes of the last page's pixel data. False on
// any I/O failure.
bool write_raster_file(const std::string &path, const std::vector<RasterPage> &pages,
                       long truncate_last_at = -1);

// A receipt-like page: a dark logo gradient, text-like strokes in lines,
// blank runs between blocks and a blank tail.
RasterPage make_receipt_page(unsigned width, unsigned height);

}  // namespace quorvane

#endif
