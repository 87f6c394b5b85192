// Page and canvas sizes at the edges of what the filter holds: a page of
// exactly the 1 GiB bound prints on both roads, one line more is refused, and
// canvases whose size does not fit 32 bits are refused rather than computed
// modulo 2^32. On a 32-bit target (armhf) size_t arithmetic would wrap there;
// the cross suites run these jobs under qemu-user.
#include <gtest/gtest.h>
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "filter_job.h"
#include "test_pages.h"

namespace quorvane::test {
namespace {

const std::string kZeros(64, '\0');
const std::string kJobStart = bytes({0xA0, 0xA1});
const std::string kJobEnd = bytes({0xA4, 0xA5});

// A page of `height` lines of `width` bytes written with libcups' writer a
// line at a time (the page itself is never held): white but for the eight
// pixels of full ink at (ink_x, ink_y).
bool write_sparse_page(const std::string &path, unsigned width, unsigned height, unsigned ink_x,
                       unsigned ink_y) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_WRITE_COMPRESSED);
  RasterPage page;
  page.width = width;
  page.height = height;
  cups_page_header2_t h = make_page_header(page);
  bool ok = ras != nullptr && cupsRasterWriteHeader2(ras, &h) != 0;
  std::vector<unsigned char> white(width, 0), inked(width, 0);
  std::fill_n(inked.begin() + ink_x, 8, 255);
  for (unsigned y = 0; ok && y < height; ++y)
    ok = cupsRasterWritePixels(ras, y == ink_y ? inked.data() : white.data(), width) == width;
  if (ras) cupsRasterClose(ras);
  return ::close(fd) == 0 && ok;
}

class SizeEdgesTest : public ::testing::Test {
 protected:
  std::string ppd(const std::string &extra) {
    return dir.write("test.ppd", ppd_text(kHookMarkerPpdLines + extra));
  }
  static void expect_refused(const JobResult &r, const std::string &what) {
    EXPECT_EQ(r.status, 1) << what;
    EXPECT_EQ(r.out, kZeros + kJobStart + bytes({0xA2, 0xA3}) + kJobEnd) << what;
    EXPECT_TRUE(r.status_lines().empty()) << what;
    EXPECT_EQ(r.signal, 0) << what;
  }
  TempDir dir;
};

// Dithering (0) takes the page row by row as it arrives; thresholding (1)
// holds the whole page.
const char *const kRoads[] = {"0", "1"};

TEST_F(SizeEdgesTest, PageOfExactlyTheBoundPrintsAndOneLineMoreIsRefused) {
  // 2^20 bytes a line, 1024 lines: 1 GiB. Cut to the middle 576 dots.
  constexpr unsigned kWidth = 1u << 20, kLines = 1024, kPrintable = 576;
  constexpr unsigned kCutLeft = (kWidth - kPrintable) / 2;
  const std::string at_bound = dir.path("bound.ras");
  const std::string over = dir.path("over.ras");
  ASSERT_TRUE(write_sparse_page(at_bound, kWidth, kLines, kCutLeft, 500));
  ASSERT_TRUE(write_sparse_page(over, kWidth, kLines + 1, kCutLeft, 500));

  std::string mono(static_cast<std::size_t>(kLines) * (kPrintable / 8), '\0');
  mono[500 * (kPrintable / 8)] = '\xff';
  const std::string printed = kZeros + kJobStart + bytes({0xA2}) +
                              gs_v_0_bands(mono, kPrintable / 8) + bytes({0xA3}) + kJobEnd;
  for (const char *road : kRoads) {
    const std::string p = ppd("*MaxPrintableWidth: \"576\"\n*ImageBinarizationAlgorithm: \"" +
                              std::string(road) + "\"\n");
    const JobResult r = run_job(p, at_bound);
    EXPECT_EQ(r.status, 0) << "road " << road;
    // Not EXPECT_EQ: a mismatch would print 70 KB of bytes.
    EXPECT_TRUE(r.out == printed) << "road " << road << ": " << r.out.size()
                                  << " bytes, expected " << printed.size();
    expect_refused(run_job(p, over), std::string("one line over the bound, road ") + road);
  }
}

TEST_F(SizeEdgesTest, CanvasesBeyondTheBoundAreRefusedNotWrapped) {
  // A page of ink placed on canvases as wide as the printable width: 2^32 + 4
  // and 2^32 bytes (32-bit products wrap to 4 and 0), the widest canvas an
  // int allows, and canvases just over 1 GiB.
  struct Case {
    long long printable_width;
    unsigned height;
  };
  const Case cases[] = {{(1LL << 30) + 1, 4}, {1LL << 30, 4}, {(1LL << 31) - 1, 3},
                        {(1LL << 28) + 1, 4}, {1LL << 28, 5}};
  RasterPage page = uniform_page(8, 4, 255);
  auto canvas_ppd = [&](long long printable_width, const char *road) {
    return ppd("*MaxPrintableWidth: \"" + std::to_string(printable_width) +
               "\"\n*HorizontalPrintPositionAdjustment: \"1\"\n*ImageBinarizationAlgorithm: \"" +
               road + "\"\n");
  };
  // The widest canvas a GS v 0 band takes, which prints: the page is read,
  // placed and sent at the canvas's width.
  constexpr int kRowBytes = 65535;
  std::string mono(4u * kRowBytes, '\0');
  for (int r = 0; r < 4; ++r) mono[static_cast<std::size_t>(r) * kRowBytes] = '\xff';
  const std::string printed = kZeros + kJobStart + bytes({0xA2}) + gs_v_0_bands(mono, kRowBytes) +
                              bytes({0xA3}) + kJobEnd;
  ASSERT_TRUE(write_raster_file(dir.path("page.ras"), {page}));
  for (const char *road : kRoads) {
    const JobResult r = run_job(canvas_ppd(8LL * kRowBytes, road), dir.path("page.ras"));
    EXPECT_EQ(r.status, 0) << "road " << road;
    EXPECT_TRUE(r.out == printed) << "road " << road << ": " << r.out.size() << " bytes, expected "
                                  << printed.size();
  }
  for (const Case &c : cases) {
    page.height = c.height;
    page.samples.assign(8u * c.height, 255);
    const std::string ras = dir.path("canvas.ras");
    ASSERT_TRUE(write_raster_file(ras, {page}));
    for (const char *road : kRoads) {
      expect_refused(run_job(canvas_ppd(c.printable_width, road), ras),
                     "canvas " + std::to_string(c.printable_width) + " x " +
                         std::to_string(c.height) + ", road " + road);
    }
  }
}

}  // namespace
}  // namespace quorvane::test
