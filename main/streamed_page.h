// A page binarised as its rows arrive, without ever holding it whole.
#ifndef QUORVANE_STREAMED_PAGE_H
#define QUORVANE_STREAMED_PAGE_H

#include <cups/raster.h>

#include "mono_raster.h"
#include "page_settings.h"

// Whether the page can take the streamed road: every step it needs works
// row by row. Turning the page, stripping its side margins and thresholding
// at the page's mean need all of it first, as does a canvas that might not
// fit the gray page limit.
bool can_stream_page(const cups_page_header2_t &header, const PageSettings &s);

// Dumps the header, then reads the page line by line and takes each row
// through paper saving, cutting, placing and binarising straight into the
// Mono raster: the same raster the whole-page road makes of the page. Only
// the Mono raster, a line and a canvas row are held (and three rows of the
// error-diffusion plane). Empty when the header is unusable, the stream ends
// early or memory runs out.
MonoRaster read_and_binarize_streamed(cups_raster_t *stream, const cups_page_header2_t &header,
                                      const PageSettings &s);

#endif
