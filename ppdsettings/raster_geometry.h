// The page a CUPS or PWG raster header describes, as the page engine takes
// it.
#ifndef QUORVANE_RASTER_GEOMETRY_H
#define QUORVANE_RASTER_GEOMETRY_H

#include <cups/raster.h>

#include "page_geometry.h"

namespace quorvane {

PageGeometry raster_page_geometry(const cups_page_header2_t &header, Polarity polarity);

}  // namespace quorvane

#endif
