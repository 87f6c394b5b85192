// The test page of a model: its name, printable width and resolution, a
// millimetre ruler, density steps and a row of bars, as a gray picture that
// prints through the page engine like any other.
#ifndef QUORVANE_APP_TEST_PAGE_H
#define QUORVANE_APP_TEST_PAGE_H

#include <pappl/pappl.h>

#include <cstddef>
#include <vector>

#include "model.h"

namespace quorvane::app {

// 8-bit gray, 255 white, row after row, `width` the printable width.
struct GrayPicture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> pixels;
  unsigned char at(int x, int y) const {
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }
};

// The ruler's rows start here; its ticks hang down from its top row.
constexpr int kRulerTop = 60;

GrayPicture test_page(const models::Model &model);

// PAPPL's test-page callback: the page as a PNG file for the printer's
// model; null when it cannot be written.
const char *write_test_page(pappl_printer_t *printer, char *buffer, size_t bufsize);

}  // namespace quorvane::app

#endif
