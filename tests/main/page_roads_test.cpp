// A page binarised as its rows arrive must come out as the very raster the
// whole-page road makes of it, for every setting the streamed road takes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <string>

#include "filter_job.h"
#include "print_page.h"
#include "raster_writer.h"
#include "streamed_page.h"

namespace quorvane::test {
namespace {

// Both roads dump the page header to standard error; the comparison does
// not need thousands of those lines.
class QuietStderr {
 public:
  QuietStderr() : saved_(dup(2)) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    close(null);
  }
  ~QuietStderr() {
    dup2(saved_, 2);
    close(saved_);
  }

 private:
  int saved_;
};

template <typename Road>
MonoRaster take_road(const std::string &path, Road road) {
  const int fd = open(path.c_str(), O_RDONLY);
  cups_raster_t *stream = cupsRasterOpen(fd, CUPS_RASTER_READ);
  cups_page_header2_t header;
  MonoRaster mono;
  if (stream && cupsRasterReadHeader2(stream, &header)) mono = road(stream, header);
  cupsRasterClose(stream);
  close(fd);
  return mono;
}

std::string bytes_of(const MonoRaster &m) {
  if (!m.data) return "(none)";
  return std::string(reinterpret_cast<const char *>(m.data.get()),
                     static_cast<std::size_t>(m.width_stride) * m.height);
}

// Pages of blank runs of every length between rows of sparse ink, gray
// ramps and solid black, with padding bytes past the width that are never
// blank.
RasterPage random_page(std::mt19937 &rng) {
  RasterPage p;
  p.width = 1 + rng() % 40;
  p.height = 1 + rng() % 60;
  p.bytes_per_line = p.width + rng() % 3;
  p.samples.assign(static_cast<std::size_t>(p.bytes_per_line) * p.height, 0);
  const unsigned blank_odds = rng() % 4;  // from no blank rows to mostly blank
  for (unsigned y = 0; y < p.height; ++y) {
    std::uint8_t *row = p.samples.data() + static_cast<std::size_t>(y) * p.bytes_per_line;
    for (unsigned x = p.width; x < p.bytes_per_line; ++x) row[x] = static_cast<std::uint8_t>(rng());
    if (rng() % 4 < blank_odds) continue;
    const unsigned kind = rng() % 3;
    for (unsigned x = 0; x < p.width; ++x)
      row[x] = kind == 0   ? (rng() % 5 == 0 ? static_cast<std::uint8_t>(rng()) : 0)
               : kind == 1 ? static_cast<std::uint8_t>(x * 255 / p.width)
                           : 255;
    if (kind == 0) row[rng() % p.width] = 200;  // never blank by chance
  }
  return p;
}

PageSettings random_settings(std::mt19937 &rng, int width) {
  auto pick = [&](std::initializer_list<int> values) {
    return *(values.begin() + rng() % values.size());
  };
  PageSettings s{};
  s.paper_save_top = pick({-1, 0, 1, 2, 5});
  s.paper_save_middle = pick({-1, 0, 1, 3});
  s.paper_save_bottom = pick({-1, 0, 1, 2, 4});
  s.binarization = pick({0, 2, 7});
  s.conversion = 0;
  s.max_printable_width = pick({0, -3, 1, width / 2, width - 1, width, width + 9, 3 * width});
  s.position_adjustment = pick({0, 1});
  s.alignment = pick({0, 1, 2, 5});
  s.offset = pick({0, 3, -4, 1000, -1000});
  return s;
}

TEST(PageRoads, StreamedRasterEqualsTheWholePageRaster) {
  TempDir dir;
  const std::string path = dir.path("page.ras");
  std::mt19937 rng(2026);
  int compared = 0;
  for (int k = 0; k < 1500; ++k) {
    const RasterPage page = random_page(rng);
    const PageSettings s = random_settings(rng, static_cast<int>(page.width));
    ASSERT_TRUE(write_raster_file(path, {page}));
    if (!can_stream_page(make_page_header(page), s)) continue;
    QuietStderr quiet;
    const MonoRaster streamed = take_road(path, [&](cups_raster_t *st, cups_page_header2_t &h) {
      return read_and_binarize_streamed(st, h, s);
    });
    const MonoRaster whole = take_road(path, [&](cups_raster_t *st, cups_page_header2_t &h) {
      return read_and_binarize_whole(st, &h, s);
    });
    ASSERT_EQ(streamed.width_stride, whole.width_stride) << "case " << k;
    ASSERT_EQ(streamed.height, whole.height) << "case " << k;
    ASSERT_EQ(bytes_of(streamed), bytes_of(whole)) << "case " << k;
    ++compared;
  }
  EXPECT_GT(compared, 1000);
}

TEST(PageRoads, StepsThatNeedTheWholePageTakeTheWholePageRoad) {
  RasterPage page;
  page.width = 64;
  page.height = 8;
  const cups_page_header2_t header = make_page_header(page);
  PageSettings s{};
  EXPECT_TRUE(can_stream_page(header, s));
  for (auto set : {+[](PageSettings &p) { p.binarization = 1; },
                   +[](PageSettings &p) { p.upside_down = 1; },
                   +[](PageSettings &p) { p.strip_left = 1; },
                   +[](PageSettings &p) { p.strip_right = 1; }}) {
    PageSettings t = s;
    set(t);
    EXPECT_FALSE(can_stream_page(header, t));
  }
  // A canvas that, for all the header says, might pass the gray page limit.
  PageSettings wide = s;
  wide.position_adjustment = 1;
  wide.max_printable_width = 1 << 20;
  cups_page_header2_t tall = header;
  tall.cupsHeight = 1 << 11;
  EXPECT_FALSE(can_stream_page(tall, wide));
  tall.cupsHeight = 1 << 10;
  EXPECT_TRUE(can_stream_page(tall, wide));
}

TEST(PageRoads, StreamedPageCutShortIsNoRaster) {
  TempDir dir;
  const std::string path = dir.path("cut.ras");
  RasterPage page;
  page.width = 32;
  page.height = 20;
  page.samples.assign(32 * 20, 0x80);
  ASSERT_TRUE(write_raster_file(path, {page}, 32 * 10));
  QuietStderr quiet;
  const MonoRaster m = take_road(path, [](cups_raster_t *st, cups_page_header2_t &h) {
    return read_and_binarize_streamed(st, h, PageSettings{});
  });
  EXPECT_FALSE(m.data);
}

}  // namespace
}  // namespace quorvane::test
