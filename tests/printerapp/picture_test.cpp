// Pictures for the Printer Application: their size on rolls and labels
// under each print-scaling, the streamed scaler against a plain area
// average, and the PNG and JPEG readers on small generated pictures, good
// and damaged.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "picture_layout.h"
#include "picture_reader.h"

namespace quorvane::app {
namespace {

using Bytes = std::vector<unsigned char>;

// --- sizes -----------------------------------------------------------------------

// 80 mm paper with the receipt model's margins; a 4 x 6 in label, with and
// without 2 mm margins; at 203 dpi.
const MediaDots kReceipt = media_dots({8000, 20000, 397, 397, 0, 0}, 203, 203, true);
const MediaDots kLabel = media_dots({10160, 15240, 0, 0, 0, 0}, 203, 203, false);
const MediaDots kMarginLabel = media_dots({10160, 15240, 200, 200, 200, 200}, 203, 203, false);

TEST(PictureLayout, RollsAndLabelsUnderEachScaling) {
  struct Case {
    const char *name;
    const MediaDots &media;
    Scaling scaling;
    long long width, height;
    PictureLayout expected;  // page, scaled size, corner, visible window
  };
  const Case cases[] = {
      {"roll, as wide as the printable width", kReceipt, Scaling::kAuto, 576, 20000,
       {576, 20000, 576, 20000, 0, 0, {0, 576, 0, 20000}}},
      {"roll, smaller: centred as it is",
       kReceipt, Scaling::kAuto, 300, 100, {576, 100, 300, 100, 138, 0, {0, 300, 0, 100}}},
      {"roll, wider: shrunk to the width",
       kReceipt, Scaling::kAuto, 1152, 400, {576, 200, 576, 200, 0, 0, {0, 576, 0, 200}}},
      {"roll, wider, auto-fit", kReceipt, Scaling::kAutoFit, 1152, 401, {576, 201, 576, 201, 0, 0, {0, 576, 0, 201}}},
      {"roll, fit enlarges", kReceipt, Scaling::kFit, 288, 100, {576, 200, 576, 200, 0, 0, {0, 576, 0, 200}}},
      {"roll, fill takes the paper's width",
       kReceipt, Scaling::kFill, 320, 100, {576, 200, 639, 200, -31, 0, {31, 607, 0, 200}}},
      {"roll, none crops the middle",
       kReceipt, Scaling::kNone, 1000, 50, {576, 50, 1000, 50, -212, 0, {212, 788, 0, 50}}},
      {"label, smaller: centred as it is",
       kLabel, Scaling::kAuto, 400, 300, {812, 1218, 400, 300, 206, 459, {0, 400, 0, 300}}},
      {"label, wider: fitted", kLabel, Scaling::kAuto, 1624, 1218, {812, 1218, 812, 609, 0, 304, {0, 812, 0, 609}}},
      {"label, taller: fitted",
       kLabel, Scaling::kAutoFit, 406, 2436, {812, 1218, 203, 1218, 304, 0, {0, 203, 0, 1218}}},
      {"label, fit enlarges", kLabel, Scaling::kFit, 100, 100, {812, 1218, 812, 812, 0, 203, {0, 812, 0, 812}}},
      {"label, fill crops the sides",
       kLabel, Scaling::kFill, 100, 100, {812, 1218, 1218, 1218, -203, 0, {203, 1015, 0, 1218}}},
      {"label, none crops all round",
       kLabel, Scaling::kNone, 1000, 1500, {812, 1218, 1000, 1500, -94, -141, {94, 906, 141, 1359}}},
      {"label with margins, smaller",
       kMarginLabel, Scaling::kAuto, 400, 300, {812, 1218, 400, 300, 206, 459, {0, 400, 0, 300}}},
      {"label with margins, fitted inside them",
       kMarginLabel, Scaling::kAuto, 1560, 300, {812, 1218, 780, 150, 16, 534, {0, 780, 0, 150}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const auto got = layout_picture(c.width, c.height, c.media, c.scaling);
    ASSERT_TRUE(got);
    const PictureLayout &e = c.expected;
    EXPECT_EQ(std::vector<long long>({got->page_width, got->page_height, got->scaled_width, got->scaled_height,
                                      got->x, got->y, got->visible.left, got->visible.right, got->visible.top,
                                      got->visible.bottom}),
              std::vector<long long>({e.page_width, e.page_height, e.scaled_width, e.scaled_height, e.x, e.y,
                                      e.visible.left, e.visible.right, e.visible.top, e.visible.bottom}));
  }
  EXPECT_FALSE(layout_picture(10, 10, media_dots({0, 0, 0, 0, 0, 0}, 203, 203, true), Scaling::kAuto));
  EXPECT_FALSE(layout_picture(10, 10, media_dots({5000, 1000, 2500, 2500, 0, 0}, 203, 203, false), Scaling::kAuto));
  EXPECT_FALSE(layout_picture(0, 10, kLabel, Scaling::kAuto));
}

// --- scaling ---------------------------------------------------------------------

Bytes scale(const Bytes &picture, long long w, long long h, long long sw, long long sh, const Window &window) {
  PictureScaler scaler;
  EXPECT_TRUE(scaler.start(w, h, sw, sh, window));
  Bytes out;
  for (long long y = 0; y < h && !scaler.done(); ++y)
    scaler.push({picture.data() + y * w, static_cast<std::size_t>(w)},
                [&](std::span<const unsigned char> row) { out.insert(out.end(), row.begin(), row.end()); });
  EXPECT_TRUE(scaler.done());
  return out;
}

// The mean of the picture's area under each window pixel, in doubles.
Bytes area_average(const Bytes &picture, long long w, long long h, long long sw, long long sh, const Window &win) {
  Bytes out;
  for (long long oy = win.top; oy < win.bottom; ++oy)
    for (long long ox = win.left; ox < win.right; ++ox) {
      const double x0 = double(ox) * w / sw, x1 = double(ox + 1) * w / sw;
      const double y0 = double(oy) * h / sh, y1 = double(oy + 1) * h / sh;
      double sum = 0;
      for (auto y = static_cast<long long>(y0); y < h && y < y1; ++y)
        for (auto x = static_cast<long long>(x0); x < w && x < x1; ++x)
          sum += (std::min<double>(x + 1, x1) - std::max<double>(x, x0)) *
                 (std::min<double>(y + 1, y1) - std::max<double>(y, y0)) * picture[y * w + x];
      out.push_back(static_cast<unsigned char>(std::lround(sum / ((x1 - x0) * (y1 - y0)))));
    }
  return out;
}

TEST(PictureScaler, ExactSmallCases) {
  // 2 x 2 blocks averaged; 2 -> 3 across blends the seam; rows repeated.
  EXPECT_EQ(scale({0, 0, 255, 255, 0, 255, 255, 255}, 4, 2, 2, 1, {0, 2, 0, 1}), Bytes({64, 255}));
  EXPECT_EQ(scale({0, 255}, 2, 1, 3, 3, {0, 3, 0, 3}), Bytes({0, 128, 255, 0, 128, 255, 0, 128, 255}));
  EXPECT_EQ(scale({1, 2, 3, 4, 5, 6}, 3, 2, 3, 2, {1, 3, 1, 2}), Bytes({5, 6}));
  Bytes row(4);
  place_picture_row(Bytes({7, 8, 9}), 2, row);
  EXPECT_EQ(row, Bytes({255, 255, 7, 8}));
}

TEST(PictureScaler, MatchesAnAreaAverageWithinRounding) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    const long long w = 1 + random() % 40, h = 1 + random() % 40, sw = 1 + random() % 60, sh = 1 + random() % 60;
    Window win{static_cast<long long>(random() % sw), 0, static_cast<long long>(random() % sh), 0};
    win.right = win.left + 1 + random() % (sw - win.left);
    win.bottom = win.top + 1 + random() % (sh - win.top);
    Bytes picture(static_cast<std::size_t>(w * h));
    for (auto &v : picture) v = static_cast<unsigned char>(random() % 4 == 0 ? 0 : random() % 256);
    const Bytes got = scale(picture, w, h, sw, sh, win), want = area_average(picture, w, h, sw, sh, win);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i)
      ASSERT_LE(std::abs(got[i] - want[i]), 1) << w << "x" << h << " -> " << sw << "x" << sh << " at " << i;
  }
}

// --- decoding --------------------------------------------------------------------

struct PngSpec {
  int width, height, color_type, bit_depth;
  Bytes pixels;  // rows as the PNG stores them, unfiltered
  bool interlaced = false;
  std::vector<png_color> palette = {};
  Bytes palette_alpha = {};
  int gray_key = -1;  // the gray that is transparent
};

Bytes write_png(const PngSpec &s) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  Bytes out;
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, size_t n) {
        static_cast<Bytes *>(png_get_io_ptr(p))->insert(static_cast<Bytes *>(png_get_io_ptr(p))->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, s.width, s.height, s.bit_depth, s.color_type,
               s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
  if (!s.palette_alpha.empty())
    png_set_tRNS(png, info, s.palette_alpha.data(), static_cast<int>(s.palette_alpha.size()), nullptr);
  png_color_16 key{};
  key.gray = static_cast<png_uint_16>(s.gray_key);
  if (s.gray_key >= 0) png_set_tRNS(png, info, nullptr, 0, &key);
  png_write_info(png, info);
  const std::size_t stride = s.pixels.size() / static_cast<std::size_t>(s.height);
  std::vector<png_bytep> rows;
  for (int y = 0; y < s.height; ++y) rows.push_back(const_cast<png_bytep>(s.pixels.data()) + stride * y);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes write_jpeg(int width, int height, int components, J_COLOR_SPACE space, const Bytes &pixels, bool progressive) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char *buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = width;
  c.image_height = height;
  c.input_components = components;
  c.in_color_space = space;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  for (int y = 0; y < height; ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data()) + y * width * components;
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

struct Decoded {
  bool opened = false;  // and passed its check
  std::string error;
  unsigned width = 0, height = 0;
  Bytes gray;  // every row read
};

Decoded decode(PictureReader &reader, const Bytes &data) {
  Decoded d;
  std::FILE *file = fmemopen(const_cast<unsigned char *>(data.data()), data.size(), "rb");
  d.opened = reader.open(file) && reader.verify();
  d.width = reader.width();
  d.height = reader.height();
  Bytes row(d.width);
  for (unsigned y = 0; d.opened && y < d.height; ++y) {
    if (!reader.read_row(row)) break;
    d.gray.insert(d.gray.end(), row.begin(), row.end());
  }
  d.error = reader.error();
  std::fclose(file);
  return d;
}

Decoded decode_png(const Bytes &data) { return decode(*make_png_reader(), data); }
Decoded decode_jpeg(const Bytes &data) { return decode(*make_jpeg_reader(), data); }

TEST(PictureReader, PngFormatsBecomeGrayOnWhitePaper) {
  const Bytes gray = {0, 128, 255, 255, 64, 0};
  Bytes interlaced(13 * 11);
  for (std::size_t i = 0; i < interlaced.size(); ++i) interlaced[i] = static_cast<unsigned char>(i * 37);
  Bytes interlaced_ga;
  for (unsigned char v : interlaced)
    interlaced_ga.insert(interlaced_ga.end(), {v, static_cast<unsigned char>(v < 128 ? 255 : 0)});
  Bytes interlaced_on_white = interlaced;
  for (auto &v : interlaced_on_white) v = v < 128 ? v : 255;
  const std::vector<png_color> palette = {{0, 0, 0}, {128, 128, 128}, {255, 255, 255}, {64, 64, 64}};
  struct Case {
    const char *name;
    PngSpec spec;
    Bytes expected;
  };
  const Case cases[] = {
      {"gray 8", {3, 2, PNG_COLOR_TYPE_GRAY, 8, gray}, gray},
      {"gray 16", {3, 2, PNG_COLOR_TYPE_GRAY, 16, {0, 0, 128, 128, 255, 255, 255, 255, 64, 64, 0, 0}}, gray},
      {"gray 1", {3, 2, PNG_COLOR_TYPE_GRAY, 1, {0x40, 0xa0}}, {0, 255, 0, 255, 0, 255}},
      {"gray in RGB",
       {3, 2, PNG_COLOR_TYPE_RGB, 8, {0, 0, 0, 128, 128, 128, 255, 255, 255, 255, 255, 255, 64, 64, 64, 0, 0, 0}},
       gray},
      {"palette", {3, 2, PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 2, 2, 3, 0}, false, palette}, gray},
      {"palette 2-bit, one entry clear", {3, 2, PNG_COLOR_TYPE_PALETTE, 2, {0x18, 0xc0}, false, palette, {255, 0}},
       {0, 255, 255, 64, 0, 0}},
      {"gray with a clear key", {3, 2, PNG_COLOR_TYPE_GRAY, 8, gray, false, {}, {}, 64}, {0, 128, 255, 255, 255, 0}},
      {"gray and alpha", {3, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {0, 255, 0, 0, 0, 128, 255, 255, 128, 255, 0, 255}},
       {0, 255, 127, 255, 128, 0}},
      {"RGBA 16",
       {1, 2, PNG_COLOR_TYPE_RGBA, 16, {64, 64, 64, 64, 64, 64, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0}}, {64, 255}},
      {"interlaced gray", {13, 11, PNG_COLOR_TYPE_GRAY, 8, interlaced, true}, interlaced},
      {"interlaced gray and alpha", {13, 11, PNG_COLOR_TYPE_GRAY_ALPHA, 8, interlaced_ga, true}, interlaced_on_white},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = decode_png(write_png(c.spec));
    EXPECT_TRUE(d.opened) << d.error;
    EXPECT_EQ(d.gray, c.expected) << d.error;
  }
  // Colour: green the lightest, blue the darkest, as the eye sees them.
  const Decoded rgb = decode_png(write_png({3, 1, PNG_COLOR_TYPE_RGB, 8, {255, 0, 0, 0, 255, 0, 0, 0, 255}}));
  ASSERT_EQ(rgb.gray.size(), 3u);
  EXPECT_GT(rgb.gray[1], rgb.gray[0]);
  EXPECT_GT(rgb.gray[0], rgb.gray[2]);
}

TEST(PictureReader, JpegGrayColourAndProgressive) {
  const int w = 40, h = 24;
  Bytes gray(w * h), rgb;
  for (int i = 0; i < w * h; ++i) gray[i] = static_cast<unsigned char>((i % w) * 4 + (i / w) * 2);
  for (unsigned char v : gray) rgb.insert(rgb.end(), {v, v, v});
  for (const Bytes &jpeg : {write_jpeg(w, h, 1, JCS_GRAYSCALE, gray, false), write_jpeg(w, h, 3, JCS_RGB, rgb, false),
                            write_jpeg(w, h, 3, JCS_RGB, rgb, true)}) {
    const Decoded d = decode_jpeg(jpeg);
    ASSERT_EQ(d.gray.size(), gray.size()) << d.error;
    for (std::size_t i = 0; i < gray.size(); ++i) ASSERT_LE(std::abs(d.gray[i] - gray[i]), 6) << i;
  }
}

void put32(Bytes &out, unsigned long v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

// A PNG header, an empty IDAT and the end: the size is all there is to read.
Bytes png_header_only(unsigned width, unsigned height) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  put32(out, width);
  put32(out, height);
  out.insert(out.end(), {8, 0, 0, 0, 0});
  put32(out, crc32(0, out.data() + 12, 17));
  for (const char *type : {"IDAT", "IEND"}) {
    out.insert(out.end(), {0, 0, 0, 0});
    out.insert(out.end(), type, type + 4);
    put32(out, crc32(0, out.data() + out.size() - 4, 4));
  }
  return out;
}

TEST(PictureReader, DamagedPicturesFailCleanly) {
  Bytes noise(64 * 64);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<unsigned char>((i * 7919) >> 3);
  const Bytes png = write_png({64, 64, PNG_COLOR_TYPE_GRAY, 8, noise});
  const Bytes interlaced = write_png({64, 64, PNG_COLOR_TYPE_GRAY, 8, noise, true});
  Bytes damaged = png;
  damaged[damaged.size() / 2] ^= 0x55;
  // The same damage with the chunk's CRC made to match: only decoding finds it.
  Bytes recrc = damaged;
  const char *idat_type = "IDAT";
  const auto idat =
      static_cast<std::size_t>(std::search(recrc.begin(), recrc.end(), idat_type, idat_type + 4) - recrc.begin());
  const std::size_t idat_length = std::size_t{recrc[idat - 4]} << 24 | std::size_t{recrc[idat - 3]} << 16 |
                                  std::size_t{recrc[idat - 2]} << 8 | recrc[idat - 1];
  Bytes crc;
  put32(crc, crc32(0, recrc.data() + idat, static_cast<uInt>(idat_length + 4)));
  std::copy(crc.begin(), crc.end(), recrc.begin() + static_cast<long>(idat + 4 + idat_length));
  const Bytes jpeg = write_jpeg(64, 64, 1, JCS_GRAYSCALE, noise, false);
  const Bytes progressive = write_jpeg(64, 64, 1, JCS_GRAYSCALE, noise, true);
  const Bytes cmyk = write_jpeg(8, 8, 4, JCS_CMYK, Bytes(8 * 8 * 4, 128), false);
  auto cut = [](const Bytes &b) { return Bytes(b.begin(), b.begin() + static_cast<long>(b.size() * 2 / 3)); };
  struct Case {
    const char *name;
    bool is_png;
    Bytes data;
    bool opens;
    const char *error;
  };
  const Case cases[] = {
      {"not a PNG", true, Bytes(100, 'x'), false, "PNG"},
      {"PNG cut short", true, cut(png), false, "cut short inside its IDAT chunk"},
      {"PNG without its end", true, Bytes(png.begin(), png.end() - 12), false, "no IEND"},
      {"PNG data damaged", true, damaged, false, "IDAT chunk fails its CRC"},
      {"PNG data damaged under a good CRC", true, recrc, true, ""},
      {"interlaced PNG cut short", true, cut(interlaced), false, "cut short"},
      {"not a JPEG", false, Bytes(100, 'x'), false, "JPEG"},
      {"JPEG cut short", false, cut(jpeg), false, "cut short"},
      {"progressive JPEG cut short", false, cut(progressive), false, "cut short"},
      {"CMYK JPEG", false, cmyk, false, "CMYK"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = c.is_png ? decode_png(c.data) : decode_jpeg(c.data);
    EXPECT_EQ(d.opened, c.opens);
    EXPECT_LT(d.gray.size(), 64u * 64u);
    EXPECT_NE(d.error, "");
    EXPECT_NE(d.error.find(c.error), std::string::npos) << d.error;
  }
  // Past libpng's own limit of a million rows, the size is read for the
  // application to judge.
  const Decoded tall = decode_png(png_header_only(576, 2000000));
  EXPECT_TRUE(tall.opened) << tall.error;
  EXPECT_EQ(tall.height, 2000000u);
}

TEST(PictureReader, InterlacedPngStopsWhenAsked) {
  auto reader = make_png_reader();
  reader->stop_when([] { return true; });
  const Decoded d = decode(*reader, write_png({16, 16, PNG_COLOR_TYPE_GRAY, 8, Bytes(256, 9), true}));
  EXPECT_TRUE(d.opened);
  EXPECT_TRUE(d.gray.empty());
  EXPECT_EQ(d.error, "stopped");
}

}  // namespace
}  // namespace quorvane::app
