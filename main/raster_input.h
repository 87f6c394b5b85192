// Reading one 8-bit page of the raster stream as a Gray image.
#ifndef QUORVANE_RASTER_INPUT_H
#define QUORVANE_RASTER_INPUT_H

#include <cups/raster.h>

// The largest gray page the filter takes on, in bytes: beyond it a page is
// refused rather than risking the machine's memory on one receipt.
constexpr long long kMaxGrayPageBytes = 1LL << 30;

// Dumps the header to standard error, then reads the page's pixels and
// inverts them (ink amounts become gray levels, 255 = white). Returns a
// malloc'ed image of stride * height bytes, or null when the page is not an
// 8-bit page the filter can hold, or the stream ends before the page does.
unsigned char *cupsRasterToGrayImage(cups_raster_t *stream, cups_page_header2_t *header,
                                     int *width, int *height, int *stride);

void dump_cups_page_header(const cups_page_header2_t *header);

// Whether the header describes an 8-bit page the filter can hold: a width
// within the line, and sizes that fit in int and kMaxGrayPageBytes.
bool gray_page_header_usable(const cups_page_header2_t *header);

#include <cstddef>

// cupsRasterToGrayImage with room to spare: the buffer holds at least
// line_capacity bytes per line of the page (never less than its stride),
// so that a canvas that wide can later take the page's place in it; its size
// goes to *capacity. Room that is never written costs no memory.
unsigned char *read_gray_page(cups_raster_t *stream, cups_page_header2_t *header,
                              long long line_capacity, std::size_t *capacity, int *width,
                              int *height, int *stride);

#endif
