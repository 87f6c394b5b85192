#include "raster_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace quorvane {

cups_page_header2_t make_page_header(const RasterPage &page) {
  cups_page_header2_t h;
  std::memset(&h, 0, sizeof h);
  const unsigned bpl = page.bytes_per_line ? page.bytes_per_line : page.width;
  std::strcpy(h.MediaClass, "PwgRaster");
  h.HWResolution[0] = h.HWResolution[1] = page.resolution;
  h.PageSize[0] = page.width * 72 / (page.resolution ? page.resolution : 1);
  h.PageSize[1] = page.height * 72 / (page.resolution ? page.resolution : 1);
  h.ImagingBoundingBox[2] = h.PageSize[0];
  h.ImagingBoundingBox[3] = h.PageSize[1];
  h.NumCopies = page.num_copies;
  h.cupsWidth = page.width;
  h.cupsHeight = page.height;
  h.cupsBitsPerColor = page.bits_per_pixel >= 8 ? 8 : page.bits_per_pixel;
  h.cupsBitsPerPixel = page.bits_per_pixel;
  h.cupsBytesPerLine = bpl;
  h.cupsColorOrder = CUPS_ORDER_CHUNKED;
  h.cupsColorSpace = page.bits_per_pixel == 24 ? CUPS_CSPACE_RGB : CUPS_CSPACE_K;
  h.cupsNumColors = page.bits_per_pixel == 24 ? 3 : 1;
  return h;
}

bool write_raster_file(const std::string &path, const std::vector<RasterPage> &pages,
                       long truncate_last_at) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_WRITE_COMPRESSED);
  bool ok = ras != nullptr;
  for (std::size_t p = 0; ok && p < pages.size(); ++p) {
    const RasterPage &page = pages[p];
    cups_page_header2_t h = make_page_header(page);
    ok = cupsRasterWriteHeader2(ras, &h) != 0;
    std::size_t n = page.samples.size();
    const bool cut = truncate_last_at >= 0 && p + 1 == pages.size();
    if (cut && static_cast<std::size_t>(truncate_last_at) < n) n = truncate_last_at;
    // The writer takes whole lines; a cut stream is written whole lines at a
    // time up to the cut.
    const unsigned bpl = h.cupsBytesPerLine;
    if (cut && bpl) n -= n % bpl;
    if (ok && n) {
      ok = cupsRasterWritePixels(ras, const_cast<unsigned char *>(page.samples.data()),
                                 static_cast<unsigned>(n)) == n;
    }
    if (cut) {
      // Leave the stream short of the page's pixels: flush what was written
      // and stop without completing the page.
      cupsRasterClose(ras);
      ras = nullptr;
      break;
    }
  }
  if (ras) cupsRasterClose(ras);
  return ::close(fd) == 0 && ok;
}

RasterPage make_receipt_page(unsigned width, unsigned height) {
  RasterPage page;
  page.width = width;
  page.height = height;
  page.samples.assign(static_cast<std::size_t>(width) * height, 0);
  auto at = [&](unsigned y, unsigned x) -> std::uint8_t & {
    return page.samples[static_cast<std::size_t>(y) * width + x];
  };
  const unsigned logo = height / 6;
  for (unsigned y = 8; y < logo && y < height; ++y)
    for (unsigned x = width / 4; x < width * 3 / 4; ++x)
      at(y, x) = static_cast<std::uint8_t>(255u * (x - width / 4) / (width / 2 ? width / 2 : 1));
  // Lines of "text": 24-dot glyph rows of strokes, separated by blank rows.
  unsigned y = logo + 40;
  unsigned line = 0;
  while (y + 24 < height - height / 8) {
    const unsigned glyphs = 20 + (line * 7) % 20;
    for (unsigned g = 0; g < glyphs && (g + 1) * 12 < width; ++g) {
      const unsigned gx = 16 + g * 12;
      for (unsigned dy = 2; dy < 22; ++dy)
        for (unsigned dx = 0; dx < 9; ++dx) {
          const bool stroke = dx == (g % 3) || dy == 2 + (g * 5) % 18 || dx + dy == 9 + g % 7;
          if (stroke && gx + dx < width) at(y + dy, gx + dx) = 255;
        }
    }
    y += (line % 5 == 4) ? 80 : 30;
    ++line;
  }
  return page;
}

}  // namespace quorvane
