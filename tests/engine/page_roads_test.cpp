// A page binarised as its rows arrive must come out as the very raster the
// whole-page road makes of it, for every setting the streamed road takes;
// and rows read as gray levels as the same rows read as ink.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "page_engine.h"
#include "page_road.h"

namespace quorvane::test {
namespace {

struct Page {
  PageGeometry geometry;
  std::vector<unsigned char> rows;  // bytes_per_line * height, as ink
};

// The page's rows through one road, each row as `polarity` reads it.
std::string take_road(PageRoad &road, const Page &page, const PageSettings &s,
                      Polarity polarity = Polarity::kInk) {
  PageGeometry g = page.geometry;
  g.polarity = polarity;
  if (!road.start(g, s)) return "(no start)";
  for (unsigned y = 0; y < g.height; ++y) {
    const std::span<unsigned char> row = road.row_buffer();
    for (std::size_t x = 0; x < row.size(); ++x) {
      const unsigned char v = page.rows[y * g.bytes_per_line + x];
      row[x] = polarity == Polarity::kInk ? v : static_cast<unsigned char>(~v);
    }
    road.row_done();
  }
  const MonoRaster m = road.finish();
  if (!m.data) return "(none)";
  return std::to_string(m.width_stride) + ":" +
         std::string(reinterpret_cast<const char *>(m.data.get()),
                     static_cast<std::size_t>(m.width_stride) * m.height);
}

// Pages of blank runs of every length between rows of sparse ink, gray
// ramps and solid black, with padding bytes past the width that are never
// blank.
Page random_page(std::mt19937 &rng) {
  Page p;
  PageGeometry &g = p.geometry;
  g.width = 1 + rng() % 40;
  g.height = 1 + rng() % 60;
  g.bytes_per_line = g.width + rng() % 3;
  g.hres = g.vres = 203;
  p.rows.assign(static_cast<std::size_t>(g.bytes_per_line) * g.height, 0);
  const unsigned blank_odds = rng() % 4;  // from no blank rows to mostly blank
  for (unsigned y = 0; y < g.height; ++y) {
    unsigned char *row = p.rows.data() + static_cast<std::size_t>(y) * g.bytes_per_line;
    for (unsigned x = g.width; x < g.bytes_per_line; ++x) row[x] = static_cast<unsigned char>(rng());
    if (rng() % 4 < blank_odds) continue;
    const unsigned kind = rng() % 3;
    for (unsigned x = 0; x < g.width; ++x)
      row[x] = kind == 0   ? (rng() % 5 == 0 ? static_cast<unsigned char>(rng()) : 0)
               : kind == 1 ? static_cast<unsigned char>(x * 255 / g.width)
                           : 255;
    if (kind == 0) row[rng() % g.width] = 200;  // never blank by chance
  }
  return p;
}

PageSettings random_settings(std::mt19937 &rng, int width) {
  auto pick = [&](std::initializer_list<int> values) {
    return *(values.begin() + rng() % values.size());
  };
  PageSettings s;
  s.paper_saving = {pick({-1, 0, 1, 2, 5}), pick({-1, 0, 1, 3}), pick({-1, 0, 1, 2, 4})};
  s.binarization = binarization_from_setting(pick({0, 1, 2, 7}));
  s.upside_down = pick({0, 0, 0, 1});
  s.strip_left = pick({0, 0, 0, 1});
  s.strip_right = pick({0, 0, 0, 1});
  s.placement.max_printable_width =
      pick({0, -3, 1, width / 2, width - 1, width, width + 9, 3 * width});
  s.placement.adjust = pick({0, 1});
  s.placement.alignment = alignment_from_setting(pick({0, 1, 2, 5}));
  s.placement.offset = pick({0, 3, -4, 1000, -1000});
  return s;
}

TEST(PageRoads, StreamedRasterEqualsTheWholePageRasterAndGrayRowsEqualInk) {
  std::mt19937 rng(2026);
  int compared = 0;
  for (int k = 0; k < 1500; ++k) {
    const Page page = random_page(rng);
    const PageSettings s = random_settings(rng, static_cast<int>(page.geometry.width));
    const std::string whole = take_road(*make_whole_page_road(), page, s);
    ASSERT_EQ(take_road(*make_whole_page_road(), page, s, Polarity::kGray), whole) << k;
    if (!takes_streamed_road(page.geometry, s)) continue;
    ASSERT_EQ(take_road(*make_streamed_road(), page, s), whole) << "case " << k;
    ASSERT_EQ(take_road(*make_streamed_road(), page, s, Polarity::kGray), whole) << k;
    ++compared;
  }
  EXPECT_GT(compared, 400);
}

TEST(PageRoads, StepsThatNeedTheWholePageTakeTheWholePageRoad) {
  PageGeometry g;
  g.width = g.bytes_per_line = 64;
  g.height = 8;
  const PageSettings s;
  EXPECT_TRUE(takes_streamed_road(g, s));
  for (auto set : {+[](PageSettings &p) { p.binarization = Binarization::kThresholding; },
                   +[](PageSettings &p) { p.upside_down = true; },
                   +[](PageSettings &p) { p.strip_left = true; },
                   +[](PageSettings &p) { p.strip_right = true; }}) {
    PageSettings t = s;
    set(t);
    EXPECT_FALSE(takes_streamed_road(g, t));
  }
  // A canvas that, for all the page says, might pass the gray page limit.
  PageSettings wide = s;
  wide.placement.adjust = true;
  wide.placement.max_printable_width = 1 << 20;
  g.height = 1 << 11;
  EXPECT_FALSE(takes_streamed_road(g, wide));
  g.height = 1 << 10;
  EXPECT_TRUE(takes_streamed_road(g, wide));
}

// A page whose rows stop coming, or that no printer form takes, makes no
// block; nor does a row of the wrong size get in.
TEST(PageEngine, RefusesWhatItCannotPrintWhole) {
  PageGeometry g;
  g.width = g.bytes_per_line = 32;
  g.height = 20;
  const std::vector<unsigned char> row(32, 0x80);
  for (const Binarization b : {Binarization::kOrderedDithering, Binarization::kThresholding}) {
    PageSettings s;
    s.binarization = b;
    PageEngine engine;
    ASSERT_TRUE(engine.start_page(g, s));
    EXPECT_FALSE(engine.push_row({row.data(), 31}));
    for (int y = 0; y < 10; ++y) ASSERT_TRUE(engine.push_row(row));
    EXPECT_FALSE(engine.finish_page());
    EXPECT_STREQ(engine.error(), "the page ended before its last row");
  }
  PageSettings none;
  none.command = command_form_from_setting(5);
  PageEngine engine;
  ASSERT_TRUE(engine.start_page(g, none));
  for (int y = 0; y < 20; ++y) ASSERT_TRUE(engine.push_row(row));
  EXPECT_FALSE(engine.push_row(row));
  EXPECT_FALSE(engine.finish_page());
  g.bits_per_pixel = 1;
  EXPECT_FALSE(engine.start_page(g, PageSettings{}));
}

}  // namespace
}  // namespace quorvane::test
