// Small raster pages and PPD fragments for the filter's tests.
#ifndef QUORVANE_TEST_PAGES_H
#define QUORVANE_TEST_PAGES_H

#include <string>
#include <vector>

#include "raster_writer.h"

namespace quorvane::test {

// An 8-bit page of one ink level (0 = white paper, 255 = full black).
RasterPage uniform_page(unsigned width, unsigned height, unsigned char ink, unsigned copies = 1);

// An 8-bit page whose rows are given by a function of (row, column).
template <typename InkAt>
RasterPage drawn_page(unsigned width, unsigned height, InkAt ink_at) {
  RasterPage page;
  page.width = width;
  page.height = height;
  page.samples.resize(static_cast<std::size_t>(width) * height);
  for (unsigned y = 0; y < height; ++y)
    for (unsigned x = 0; x < width; ++x)
      page.samples[static_cast<std::size_t>(y) * width + x] =
          static_cast<unsigned char>(ink_at(y, x));
  return page;
}

// A page of another depth: 1 or 24 bits per pixel.
RasterPage page_of_depth(unsigned width, unsigned height, unsigned bits_per_pixel);

// A PickOne option block whose default choice is `default_choice`; choices
// are "name:code" pairs (the code is the choice's hex command text).
std::string ppd_option(const std::string &keyword, const std::string &order,
                       const std::string &default_choice,
                       const std::vector<std::string> &choices);

// PPD lines whose hook commands mark every boundary in the output: A0 at
// job start, A1 document start, A2 page start, A3 page end, A4 document end,
// A5 job end.
extern const char kHookMarkerPpdLines[];

// True in an AddressSanitizer build (which valgrind cannot run).
#if defined(__SANITIZE_ADDRESS__)
#define QUORVANE_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVANE_UNDER_ASAN 1
#endif
#endif

// GS v 0 bands of the given mono rows (row_bytes each), 24 rows per band.
std::string gs_v_0_bands(const std::string &mono, int row_bytes);

}  // namespace quorvane::test

#endif
