#include "raster_input.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "malloc_buffer.h"
#include "prepare/large_buffer.h"

namespace {

// Header fields typed as enums hold whatever the stream carried: their bits
// are read as the int the dump prints, never loaded as an out-of-range enum.
template <typename Field>
int field_bits(const Field &field) {
  static_assert(sizeof(Field) == sizeof(int));
  int bits;
  std::memcpy(&bits, &field, sizeof bits);
  return bits;
}

}  // namespace

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

bool gray_page_header_usable(const cups_page_header2_t *header) {
  if (header->cupsBitsPerPixel != 8) return false;
  // libcups accepts headers no page can honour; every later step trusts
  // width <= stride and a size that fits its signed 32-bit arithmetic.
  const unsigned w = header->cupsWidth;
  const unsigned h = header->cupsHeight;
  const unsigned s = header->cupsBytesPerLine;
  const unsigned long long size = static_cast<unsigned long long>(s) * h;
  return size != 0 && w != 0 && s >= w && s <= INT32_MAX && h <= INT32_MAX &&
         size <= static_cast<unsigned long long>(kMaxGrayPageBytes);
}

unsigned char *cupsRasterToGrayImage(cups_raster_t *stream, cups_page_header2_t *header,
                                     int *width, int *height, int *stride) {
  return read_gray_page(stream, header, 0, nullptr, width, height, stride);
}

unsigned char *read_gray_page(cups_raster_t *stream, cups_page_header2_t *header,
                              long long line_capacity, std::size_t *capacity, int *width,
                              int *height, int *stride) {
  dump_cups_page_header(header);
  if (!gray_page_header_usable(header)) return nullptr;
  const unsigned w = header->cupsWidth;
  const unsigned h = header->cupsHeight;
  const unsigned s = header->cupsBytesPerLine;
  const unsigned long long size = static_cast<unsigned long long>(s) * h;

  unsigned long long room = size;
  if (line_capacity > static_cast<long long>(s)) {
    const unsigned long long wider = static_cast<unsigned long long>(line_capacity) * h;
    if (wider <= static_cast<unsigned long long>(kMaxGrayPageBytes)) room = wider;
  }
  // Not mapped ahead: a header may promise more lines than the stream holds,
  // and memory is taken only as lines arrive.
  quorvane::MallocBuffer page = quorvane::allocate_large_buffer(room, false);
  if (page) {
    // The stream's own count: a page cut short is not printed from
    // uninitialised memory. Line by line: libcups decodes a request of
    // exactly one line straight into it, where a larger request goes through
    // its own line buffer and a copy. Each line is inverted while it is
    // still in the cache.
    for (unsigned y = 0; y < h && page; ++y) {
      unsigned char *line = page.get() + static_cast<std::size_t>(s) * y;
      if (cupsRasterReadPixels(stream, line, s) != s)
        page.reset();
      else
        std::transform(line, line + s, line,
                       [](unsigned char v) { return static_cast<unsigned char>(~v); });
    }
  }
  if (capacity) *capacity = page ? static_cast<std::size_t>(room) : 0;
  if (width) *width = static_cast<int>(w);
  if (height) *height = static_cast<int>(h);
  if (stride) *stride = static_cast<int>(s);
  return page.release();
}
