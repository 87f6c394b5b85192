// One page from raster to printer commands, written once per copy.
#ifndef QUORVANE_PRINT_PAGE_H
#define QUORVANE_PRINT_PAGE_H

#include <cups/ppd.h>
#include <cups/raster.h>

#include "mono_raster.h"
#include "page_settings.h"

// Reads the page's pixels from the stream (positioned after its header),
// prepares, binarises and encodes it as the PPD says, and writes the command
// block NumCopies times. True when every copy was written whole.
// The whole-page road to the page's Mono raster: dumps the header, reads
// the page into one Gray buffer, then strips, shapes, places and binarises
// it. PrintPage takes it when the streamed road (streamed_page.h) cannot
// go; where both can, they give the same raster. Empty when the page fails.
MonoRaster read_and_binarize_whole(cups_raster_t *stream, cups_page_header2_t *header,
                                   const PageSettings &settings);

bool PrintPage(ppd_file_t *ppd, cups_raster_t *stream, cups_page_header2_t *header,
               int page_number);

#endif
