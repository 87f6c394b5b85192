// One page from raster to printer commands, written once per copy.
#ifndef QUORVANE_PRINT_PAGE_H
#define QUORVANE_PRINT_PAGE_H

#include <cups/ppd.h>
#include <cups/raster.h>

// Dumps the page header, hands the page's rows (the stream positioned after
// its header) to the page engine with the PPD's settings, and writes the
// command block NumCopies times. True when every copy was written whole.
bool PrintPage(ppd_file_t *ppd, cups_raster_t *stream, cups_page_header2_t *header,
               int page_number);

#endif
