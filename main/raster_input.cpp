#include "raster_input.h"

#include <cstdio>
#include <cstring>

#include "field_bits.h"
#include "malloc_buffer.h"
#include "prepare/large_buffer.h"
#include "raster_geometry.h"

using quorvane::field_bits;

quorvane::PageGeometry page_geometry(const cups_page_header2_t &header) {
  return quorvane::raster_page_geometry(header, quorvane::Polarity::kInk);
}

void dump_cups_page_header(const cups_page_header2_t *h) {
  std::fputs("DEBUG: dump_cups_page_header...\n", stderr);
  std::fprintf(stderr, "DEBUG: Duplex = %d\n", field_bits(h->Duplex));
  std::fprintf(stderr, "DEBUG: HWResolution = [ %d %d ]\n", h->HWResolution[0],
               h->HWResolution[1]);
  std::fprintf(stderr, "DEBUG: ImagingBoundingBox = [ %d %d %d %d ]\n",
               h->ImagingBoundingBox[0], h->ImagingBoundingBox[1], h->ImagingBoundingBox[2],
               h->ImagingBoundingBox[3]);
  std::fprintf(stderr, "DEBUG: Margins = [ %d %d ]\n", h->Margins[0], h->Margins[1]);
  std::fprintf(stderr, "DEBUG: ManualFeed = %d\n", field_bits(h->ManualFeed));
  std::fprintf(stderr, "DEBUG: MediaPosition = %d\n", h->MediaPosition);
  std::fprintf(stderr, "DEBUG: MirrorPrint = %d\n", field_bits(h->MirrorPrint));
  std::fprintf(stderr, "DEBUG: NegativePrint = %d\n", field_bits(h->NegativePrint));
  std::fprintf(stderr, "DEBUG: NumCopies = %d\n", h->NumCopies);
  std::fprintf(stderr, "DEBUG: Orientation = %d\n", field_bits(h->Orientation));
  std::fprintf(stderr, "DEBUG: PageSize = [ %d %d ]\n", h->PageSize[0], h->PageSize[1]);
  std::fprintf(stderr, "DEBUG: cupsWidth = %d\n", h->cupsWidth);
  std::fprintf(stderr, "DEBUG: cupsHeight = %d\n", h->cupsHeight);
  std::fprintf(stderr, "DEBUG: cupsMediaType = %d\n", h->cupsMediaType);
  std::fprintf(stderr, "DEBUG: cupsBitsPerColor = %d\n", h->cupsBitsPerColor);
  std::fprintf(stderr, "DEBUG: cupsBitsPerPixel = %d\n", h->cupsBitsPerPixel);
  std::fprintf(stderr, "DEBUG: cupsBytesPerLine = %d\n", h->cupsBytesPerLine);
  std::fprintf(stderr, "DEBUG: cupsColorOrder = %d\n", field_bits(h->cupsColorOrder));
  std::fprintf(stderr, "DEBUG: cupsColorSpace = %d\n", field_bits(h->cupsColorSpace));
  std::fprintf(stderr, "DEBUG: cupsCompression = %d\n", h->cupsCompression);
}

bool read_page_rows(cups_raster_t *stream, quorvane::PageEngine &engine) {
  // Line by line: libcups decodes a request of exactly one line straight
  // into the engine's buffer, where a larger request goes through its own
  // line buffer and a copy.
  while (engine.rows_left() > 0) {
    const std::span<unsigned char> row = engine.row_buffer();
    const auto n = static_cast<unsigned>(row.size());
    if (cupsRasterReadPixels(stream, row.data(), n) != n) return false;
    engine.row_done();
  }
  return true;
}

unsigned char *cupsRasterToGrayImage(cups_raster_t *stream, cups_page_header2_t *header,
                                     int *width, int *height, int *stride) {
  dump_cups_page_header(header);
  const quorvane::PageGeometry g = page_geometry(*header);
  if (!quorvane::gray_page_usable(g)) return nullptr;
  const unsigned s = g.bytes_per_line;
  quorvane::MallocBuffer page =
      quorvane::allocate_large_buffer(static_cast<std::size_t>(s) * g.height, false);
  for (unsigned y = 0; y < g.height && page; ++y) {
    const std::span<unsigned char> line(page.get() + static_cast<std::size_t>(s) * y, s);
    if (cupsRasterReadPixels(stream, line.data(), s) != s)
      page.reset();
    else
      quorvane::to_gray_levels(line, g.polarity);
  }
  if (width) *width = static_cast<int>(g.width);
  if (height) *height = static_cast<int>(g.height);
  if (stride) *stride = static_cast<int>(s);
  return page.release();
}
