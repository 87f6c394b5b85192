// Pages of the CUPS raster stream as the page engine takes them.
#ifndef QUORVANE_RASTER_INPUT_H
#define QUORVANE_RASTER_INPUT_H

#include <cups/raster.h>

#include "page_engine.h"
#include "page_geometry.h"

// The header's page as the engine sees it: 8-bit K pages, 0 = white paper.
quorvane::PageGeometry page_geometry(const cups_page_header2_t &header);

void dump_cups_page_header(const cups_page_header2_t *header);

// Reads the page's rows (the stream positioned after its header) into the
// engine's page, straight into its row buffers. False when the stream ends
// before the page does: libcups then hands out no partial line, and a page
// cut short is not printed at all.
bool read_page_rows(cups_raster_t *stream, quorvane::PageEngine &engine);

// Dumps the header, then reads the page's pixels and inverts them (ink
// amounts become gray levels, 255 = white). Returns a malloc'ed image of
// stride * height bytes, or null when the page is not an 8-bit page the
// filter can hold, or the stream ends before the page does.
unsigned char *cupsRasterToGrayImage(cups_raster_t *stream, cups_page_header2_t *header,
                                     int *width, int *height, int *stride);

#endif
