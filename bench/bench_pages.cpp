#include "bench_pages.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace quorvane::bench {

namespace {

// A small deterministic generator so every run writes the same pages.
struct Lcg {
  std::uint32_t state;
  std::uint32_t next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
};

RasterPage blank_page(unsigned width, unsigned height) {
  RasterPage page;
  page.width = width;
  page.height = height;
  page.samples.assign(static_cast<std::size_t>(width) * height, 0);
  return page;
}

std::uint8_t &at(RasterPage &p, unsigned y, unsigned x) {
  return p.samples[static_cast<std::size_t>(y) * p.width + x];
}

// A round logo: a radial ink gradient with a ring, as a rasterised PNG
// logo comes out of Ghostscript.
void draw_logo(RasterPage &p, unsigned top, unsigned size) {
  const double cx = p.width / 2.0, cy = top + size / 2.0, r = size / 2.0;
  for (unsigned y = top; y < top + size && y < p.height; ++y)
    for (unsigned x = 0; x < p.width; ++x) {
      const double d = std::hypot(x - cx, y - cy) / r;
      if (d > 1.0) continue;
      double ink = 255.0 * (1.0 - d) * 0.8 + 40.0 * ((x - cx) / r + 1.0);
      if (d > 0.86 && d < 0.94) ink = 255.0;
      at(p, y, x) = static_cast<std::uint8_t>(std::min(255.0, ink));
    }
}

// One 24-dot line of "text": glyph cells of strokes, edges anti-aliased.
void draw_text_line(RasterPage &p, unsigned y, unsigned glyphs, unsigned left, Lcg &rng) {
  for (unsigned g = 0; g < glyphs; ++g) {
    const unsigned gx = left + g * 12;
    if (gx + 12 >= p.width) break;
    const std::uint32_t shape = rng.next();
    if ((shape & 15) == 0) continue;  // a space
    for (unsigned dy = 3; dy < 21 && y + dy < p.height; ++dy)
      for (unsigned dx = 1; dx < 10; ++dx) {
        const bool stem = dx == 1 + (shape >> 4) % 3 || dx == 7 + (shape >> 6) % 2;
        const bool bar = dy == 3 + (shape >> 8) % 16 || dy == 20 - (shape >> 12) % 4;
        const bool diag = (shape >> 14) % 3 == 0 && dx + dy / 2 == 10;
        if (stem || bar || diag) at(p, y + dy, gx + dx) = 255;
        else if ((stem || bar) == false && dx == 1 + (shape >> 4) % 3 + 1 && dy % 4 == 0)
          at(p, y + dy, gx + dx) = 96;
      }
  }
}

}  // namespace

RasterPage make_receipt(unsigned width, unsigned height, std::uint32_t seed) {
  RasterPage p = blank_page(width, height);
  Lcg rng{seed};
  draw_logo(p, 40, 260);
  unsigned y = 340;
  unsigned line = 0;
  const unsigned tail = 300;  // blank paper below the last line
  while (y + 24 + tail < height) {
    if (line % 40 == 39 && y + 120 + tail < height) {
      // A bar code block every forty lines.
      for (unsigned x = 60; x < width - 60; ++x) {
        const bool bar = (rng.next() & 3) != 0 && (x / 3) % 2 == 0;
        if (bar)
          for (unsigned dy = 0; dy < 80; ++dy) at(p, y + dy, x) = 255;
      }
      y += 120;
    } else {
      const unsigned glyphs = 12 + rng.next() % 34;
      draw_text_line(p, y, glyphs, 16, rng);
      // Paragraph breaks: a longer blank run every few lines.
      y += line % 6 == 5 ? 96 : 28;
    }
    ++line;
  }
  return p;
}

RasterPage make_label(unsigned width, unsigned height) {
  RasterPage p = blank_page(width, height);
  Lcg rng{7};
  for (unsigned y = 10; y < height - 10; ++y)
    for (unsigned x = 10; x < width - 10; ++x)
      if (y < 16 || y >= height - 16 || x < 16 || x >= width - 16) at(p, y, x) = 255;
  draw_logo(p, 30, 200);
  for (unsigned line = 0; line < 14; ++line)
    draw_text_line(p, 260 + line * 30, 40 + rng.next() % 20, 40, rng);
  for (unsigned x = 80; x < width - 80; ++x) {
    const bool bar = (rng.next() % 3) != 0 && (x / 4) % 2 == 0;
    if (bar)
      for (unsigned y = 740; y < 1000; ++y) at(p, y, x) = 255;
  }
  for (unsigned line = 0; line < 5; ++line) draw_text_line(p, 1030 + line * 30, 50, 40, rng);
  return p;
}

RasterPage make_photo(unsigned width, unsigned height) {
  RasterPage p = blank_page(width, height);
  Lcg rng{11};
  for (unsigned y = 0; y < height; ++y)
    for (unsigned x = 0; x < width; ++x) {
      const double v = 128.0 + 70.0 * std::sin(x / 37.0) * std::cos(y / 53.0) +
                       40.0 * std::sin((x + y) / 91.0) + static_cast<double>(rng.next() % 25) - 12.0;
      at(p, y, x) = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
    }
  return p;
}

RasterPage to_one_bit(const RasterPage &page) {
  RasterPage out;
  out.width = page.width;
  out.height = page.height;
  out.bits_per_pixel = 1;
  out.bytes_per_line = (page.width + 7) / 8;
  out.samples.assign(static_cast<std::size_t>(out.bytes_per_line) * page.height, 0);
  for (unsigned y = 0; y < page.height; ++y)
    for (unsigned x = 0; x < page.width; ++x)
      if (page.samples[static_cast<std::size_t>(y) * page.width + x] >= 128)
        out.samples[static_cast<std::size_t>(y) * out.bytes_per_line + x / 8] |=
            static_cast<std::uint8_t>(0x80u >> (x % 8));
  return out;
}

std::vector<BenchPage> bench_pages() {
  return {
      {"receipt", make_receipt(576, 4000, 1)},
      {"long", make_receipt(576, 40000, 2)},
      {"label", make_label(812, 1218)},
      {"photo", make_photo(576, 2000)},
  };
}

}  // namespace quorvane::bench
