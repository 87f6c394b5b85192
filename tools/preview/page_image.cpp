#include "page_image.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

namespace quorvane::preview {

namespace {

struct FileCloser {
  void operator()(std::FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// One packed row of the page: a set bit is a printed dot.
void pack_row(const Page &page, int y, unsigned char *row, std::size_t row_bytes) {
  std::fill(row, row + row_bytes, 0);
  for (int x = 0; x < page.width(); ++x)
    if (page.dot(x, y)) row[static_cast<std::size_t>(x) / 8] |= static_cast<unsigned char>(0x80u >> (x % 8));
}

// libpng reports errors by longjmp; nothing with a destructor lives in this
// frame between setjmp and the end of the writing.
bool png_rows(std::FILE *f, const Page *page, unsigned char *row, std::size_t row_bytes) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(page->width()),
               static_cast<png_uint_32>(page->height()), 1, PNG_COLOR_TYPE_GRAY,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // 203 dots per inch = 7992 per metre.
  png_set_pHYs(png, info, 7992, 7992, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  // In grey PNG 0 is black: a printed dot becomes a 0 bit.
  png_set_invert_mono(png);
  for (int y = 0; y < page->height(); ++y) {
    pack_row(*page, y, row, row_bytes);
    png_write_row(png, row);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool write_png(const Page &page, const std::string &path) {
  if (page.width() <= 0 || page.height() <= 0) return false;
  File f(std::fopen(path.c_str(), "wb"));
  if (!f) return false;
  const std::size_t row_bytes = (static_cast<std::size_t>(page.width()) + 7) / 8;
  std::vector<unsigned char> row(row_bytes);
  if (!png_rows(f.get(), &page, row.data(), row_bytes)) return false;
  return std::fflush(f.get()) == 0 && !std::ferror(f.get());
}

bool write_pbm(const Page &page, const std::string &path) {
  if (page.width() <= 0 || page.height() <= 0) return false;
  File f(std::fopen(path.c_str(), "wb"));
  if (!f) return false;
  std::fprintf(f.get(), "P4\n%d %d\n", page.width(), page.height());
  std::vector<unsigned char> row((static_cast<std::size_t>(page.width()) + 7) / 8);
  for (int y = 0; y < page.height(); ++y) {
    pack_row(page, y, row.data(), row.size());
    if (std::fwrite(row.data(), 1, row.size(), f.get()) != row.size()) return false;
  }
  return std::fflush(f.get()) == 0 && !std::ferror(f.get());
}

}  // namespace quorvane::preview
