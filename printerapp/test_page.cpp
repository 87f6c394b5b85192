#include "test_page.h"

#include <png.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace quorvane::app {

namespace {

// A 5 x 7 dot font for the page's few words: each glyph seven rows of five
// bits, the leftmost dot the highest bit.
struct Glyph {
  char c;
  std::array<unsigned char, 7> rows;
};
constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}}, {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
};

class Canvas {
 public:
  Canvas(int width, int height)
      : page_{width, height,
              std::vector<unsigned char>(static_cast<size_t>(width) * static_cast<size_t>(height), 255)} {}

  void fill(int x, int y, int w, int h, unsigned char gray) {
    for (int row = std::max(y, 0); row < std::min(y + h, page_.height); ++row)
      for (int col = std::max(x, 0); col < std::min(x + w, page_.width); ++col)
        page_.pixels[static_cast<size_t>(row) * static_cast<size_t>(page_.width) + static_cast<size_t>(col)] = gray;
  }

  // Upper-case text, each font dot `scale` dots square; what does not fit
  // the width is cut off.
  void text(int x, int y, std::string_view text, int scale) {
    for (char c : text) {
      const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      for (const Glyph &g : kFont) {
        if (g.c != upper) continue;
        for (int row = 0; row < 7; ++row)
          for (int col = 0; col < 5; ++col)
            if (g.rows[static_cast<size_t>(row)] & (0x10 >> col))
              fill(x + col * scale, y + row * scale, scale, scale, 0);
      }
      x += 6 * scale;
    }
  }

  GrayPicture take() { return std::move(page_); }

 private:
  GrayPicture page_;
};

int printable_width(const models::Model &model) {
  const char *width = models::find_attribute(model, "MaxPrintableWidth");
  return width ? std::atoi(width) : 0;
}

struct FileCloser {
  void operator()(std::FILE *f) const { std::fclose(f); }
};

// libpng reports a failure by a long jump back here: nothing here has a
// destructor.
bool write_png(std::FILE *file, const GrayPicture &page) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(page.width), static_cast<png_uint_32>(page.height), 8,
               PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int row = 0; row < page.height; ++row)
    png_write_row(png, &page.pixels[static_cast<size_t>(row) * static_cast<size_t>(page.width)]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

GrayPicture test_page(const models::Model &model) {
  const int width = printable_width(model) > 0 ? printable_width(model) : 384;
  const double dots_per_mm = model.x_dpi / 25.4;
  const int scale = model.x_dpi >= 300 ? 3 : 2;
  Canvas page(width, kRulerTop + 40 + 30 * scale + 70 + 70);
  page.text(4, 4, model.nickname, scale);
  char line[128];
  std::snprintf(line, sizeof(line), "Printable %.1f mm, %d dots, %d dpi", width / dots_per_mm, width, model.x_dpi);
  page.text(4, 4 + 10 * scale, line, scale);

  // The ruler: a tick every millimetre, longer every 5 and 10, centimetres
  // numbered.
  page.fill(0, kRulerTop, width, 2, 0);
  for (int mm = 0;; ++mm) {
    const int x = static_cast<int>(std::lround(mm * dots_per_mm));
    if (x >= width) break;
    const int length = mm % 10 == 0 ? 24 : mm % 5 == 0 ? 16 : 8;
    page.fill(std::min(x, width - 2), kRulerTop, 2, length, 0);
    if (mm % 10 == 0 && mm > 0) page.text(x + 3, kRulerTop + 18, std::to_string(mm / 10), scale - 1);
  }

  // Density steps, lightest first, then bars from 1 to 8 dots wide.
  int y = kRulerTop + 40;
  page.text(4, y, "Density", scale);
  y += 10 * scale;
  constexpr unsigned char kSteps[] = {255 - 51, 255 - 102, 255 - 153, 255 - 204, 0};
  const int step = width / 5;
  for (int i = 0; i < 5; ++i) page.fill(i * step, y, i == 4 ? width - 4 * step : step, 60, kSteps[i]);
  y += 70;
  int x = 0;
  for (int bar = 1; x < width; bar = bar % 8 + 1) {
    page.fill(x, y, bar, 60, 0);
    x += 2 * bar;
  }
  return page.take();
}

const char *write_test_page(pappl_printer_t *printer, char *buffer, size_t bufsize) {
  const char *driver = papplPrinterGetDriverName(printer);
  const models::Model *model = models::find_model(driver ? driver : "");
  if (!model) return nullptr;
  const GrayPicture page = test_page(*model);

  const char *tmp = std::getenv("TMPDIR");
  std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorvane-test-page-XXXXXX.png";
  const int fd = mkstemps(path.data(), 4);
  if (fd < 0) return nullptr;
  std::unique_ptr<std::FILE, FileCloser> file(fdopen(fd, "wb"));
  if (!file) {
    close(fd);
    return nullptr;
  }
  const bool written = write_png(file.get(), page);
  file.reset();
  if (!written || path.size() >= bufsize) {
    unlink(path.c_str());
    return nullptr;
  }
  std::snprintf(buffer, bufsize, "%s", path.c_str());
  return buffer;
}

}  // namespace quorvane::app
