#include "raster_geometry.h"

namespace quorvane {

PageGeometry raster_page_geometry(const cups_page_header2_t &header, Polarity polarity) {
  PageGeometry g;
  g.width = header.cupsWidth;
  g.height = header.cupsHeight;
  g.bytes_per_line = header.cupsBytesPerLine;
  g.bits_per_pixel = header.cupsBitsPerPixel;
  g.hres = header.HWResolution[0];
  g.vres = header.HWResolution[1];
  g.polarity = polarity;
  return g;
}

}  // namespace quorvane
