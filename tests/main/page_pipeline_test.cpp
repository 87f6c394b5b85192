// One page's road through the filter binary: striping, shaping, placement,
// binarisation and the refusals that keep garbage away from the printer.
#include <gtest/gtest.h>

#include "filter_job.h"
#include "test_pages.h"

namespace quorvane::test {
namespace {

const std::string kZeros(64, '\0');

class PageTest : public ::testing::Test {
 protected:
  JobResult job(const std::vector<RasterPage> &pages, const std::string &ppd_lines = "",
                const std::string &options = "", long cut = -1) {
    const std::string ras = dir.path("job.ras");
    EXPECT_TRUE(write_raster_file(ras, pages, cut));
    return run_job(dir.write("t.ppd", ppd_text(ppd_lines)), ras, options);
  }
  // The mono rows of a one-band job (no hook commands in the PPD).
  static std::string mono_of(const JobResult &r, int row_bytes, int rows) {
    const std::string band = r.out.substr(64);
    EXPECT_EQ(band.size(), static_cast<std::size_t>(8 + row_bytes * rows));
    return band.size() > 8 ? band.substr(8) : std::string();
  }
  static std::pair<int, int> traced_mono(const JobResult &r) {
    for (const std::string &l : r.trace) {
      int ws = 0, h = 0;
      if (std::sscanf(l.c_str(), "PrintPage: monoimg_width_stride:%d monoimg_height:%d", &ws,
                      &h) == 2)
        return {ws, h};
    }
    return {-1, -1};
  }
  TempDir dir;
};

TEST_F(PageTest, DefaultsDitherAndBandEveryRow) {
  // Ink 0 is white paper; ink 1 is gray level 254, which prints only where
  // the table holds 254: (7, 8) and (15, 0) of every tile.
  const JobResult r = job({uniform_page(16, 30, 1)});
  ASSERT_EQ(r.status, 0);
  std::string mono(2 * 30, '\0');
  mono[7 * 2 + 1] = '\x80';
  mono[15 * 2] = '\x80';
  mono[23 * 2 + 1] = '\x80';
  EXPECT_EQ(r.out, kZeros + gs_v_0_bands(mono, 2));
}

TEST_F(PageTest, ThresholdingPrintsBelowTheMean) {
  // Left half black ink, right half white: threshold 127.5.
  const RasterPage page = drawn_page(16, 1, [](unsigned, unsigned x) { return x < 8 ? 255 : 0; });
  const JobResult r = job({page}, "*ImageBinarizationAlgorithm: \"1\"\n");
  EXPECT_EQ(mono_of(r, 2, 1), bytes({0xFF, 0x00}));
  // A uniform page of level 128 (ink 127) thresholds white, 127 black.
  // The same through a user's choice.
  const std::string option = ppd_option("ImageBinarizationAlgorithm", "", "0", {"0", "1"});
  EXPECT_EQ(mono_of(job({uniform_page(8, 1, 127)}, option, "ImageBinarizationAlgorithm=1"), 1, 1),
            bytes({0x00}));
  EXPECT_EQ(mono_of(job({uniform_page(8, 1, 128)}, option, "ImageBinarizationAlgorithm=1"), 1, 1),
            bytes({0xFF}));
}

TEST_F(PageTest, PaperSavingShortensBlankRuns) {
  // Rows 0..9 blank, 10..19 printed, 20..59 blank, 60..69 printed, 70..99 blank.
  const RasterPage page = drawn_page(8, 100, [](unsigned y, unsigned) {
    return (y >= 10 && y < 20) || (y >= 60 && y < 70) ? 255 : 0;
  });
  const std::string ppd = ppd_option("PaperSaveTop", "", "-1", {"-1", "5"}) +
                          ppd_option("PaperSaveMiddle", "", "-1", {"-1", "8", "20"}) +
                          ppd_option("PaperSaveBottom", "", "-1", {"-1", "3", "12"});
  const std::string limits = "PaperSaveTop=5 PaperSaveMiddle=8 PaperSaveBottom=12";
  EXPECT_EQ(traced_mono(job({page}, ppd, limits)), std::make_pair(1, 41));
  EXPECT_EQ(traced_mono(job({page}, ppd, "PaperSaveTop=5 PaperSaveMiddle=20 PaperSaveBottom=12")),
            std::make_pair(1, 57));
  EXPECT_EQ(traced_mono(job({page}, ppd, "PaperSaveTop=5 PaperSaveBottom=12")),
            std::make_pair(1, 77));
  EXPECT_EQ(traced_mono(job({page}, ppd)), std::make_pair(1, 100));
  // A blank page keeps what the limits allow, never nothing.
  EXPECT_EQ(traced_mono(job({uniform_page(8, 50, 0)}, ppd, "PaperSaveTop=5 PaperSaveBottom=3")),
            std::make_pair(1, 3));
}

TEST_F(PageTest, UpsideDownTurnsThePage) {
  const RasterPage page = drawn_page(8, 2, [](unsigned y, unsigned x) {
    return y == 0 && x == 0 ? 255 : 0;
  });
  EXPECT_EQ(mono_of(job({page}, "*ImageUpsideDownPrint: \"1\"\n"), 1, 2), bytes({0x00, 0x01}));
}

TEST_F(PageTest, MarginsStripAndPlacementCentres) {
  // Ink in columns 5..9 of 20: stripped to 5 columns, then centred on 16.
  const RasterPage page = drawn_page(20, 1, [](unsigned, unsigned x) {
    return x >= 5 && x < 10 ? 255 : 0;
  });
  const std::string ppd = "*StripLeftPadding: \"1\"\n*StripRightPadding: \"1\"\n"
                          "*MaxPrintableWidth: \"16\"\n"
                          "*HorizontalPrintPositionAdjustment: \"1\"\n";
  // d = 11: centre x = 5, right x = 11, left with offset -2 clips two dots.
  EXPECT_EQ(mono_of(job({page}, ppd + "*HorizontalPrintAlignment: \"1\"\n"), 2, 1),
            bytes({0x07, 0xC0}));
  EXPECT_EQ(mono_of(job({page}, ppd + "*HorizontalPrintAlignment: \"2\"\n"), 2, 1),
            bytes({0x00, 0x1F}));
  EXPECT_EQ(mono_of(job({page}, ppd + "*HorizontalPrintOffset: \"-2\"\n"), 2, 1),
            bytes({0xE0, 0x00}));
  // Far beyond the canvas: a white row, not a crash.
  EXPECT_EQ(mono_of(job({page}, ppd + "*HorizontalPrintOffset: \"2147483647\"\n"), 2, 1),
            bytes({0x00, 0x00}));
}

TEST_F(PageTest, WidePagesAreCutToThePrintableWidth) {
  // 580 dots, ink only in the two outermost columns on each side: they go.
  const RasterPage page = drawn_page(580, 1, [](unsigned, unsigned x) {
    return x < 2 || x >= 578 ? 255 : 0;
  });
  const JobResult r = job({page}, "*MaxPrintableWidth: \"576\"\n");
  EXPECT_EQ(mono_of(r, 72, 1), std::string(72, '\0'));
  // A canvas of 577 dots needs 73 bytes a row.
  EXPECT_EQ(traced_mono(job({uniform_page(577, 1, 255)})), std::make_pair(73, 1));
}

TEST_F(PageTest, PaddingBytesOfEachLineAreCarriedButNotPrinted) {
  RasterPage page = uniform_page(6, 2, 255);
  page.bytes_per_line = 8;
  page.samples.assign(16, 255);
  const JobResult r = job({page});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(mono_of(r, 1, 2), bytes({0xFC, 0xFC}));
}

TEST_F(PageTest, PagesWithoutACommandBlockFailAfterTheirTraceLine) {
  for (const char *conversion : {"5", "9"}) {
    const JobResult a = job({uniform_page(8, 1, 255)},
                            std::string("*ImageCmdConversionAlgorithm: \"") + conversion + "\"\n");
    EXPECT_EQ(a.status, 1);
    EXPECT_EQ(a.out, kZeros);
    EXPECT_EQ(traced_mono(a), std::make_pair(1, 1));
    EXPECT_TRUE(a.status_lines().empty());
  }
}

TEST_F(PageTest, StreamCutInsideAPageSendsNothingOfIt) {
  const JobResult r = job({uniform_page(8, 10, 255), uniform_page(8, 10, 255)},
                          "*EndJobCmd: \"EE\"\n", "", 40);
  EXPECT_EQ(r.status, 1);
  const std::string first = bytes({0x1D, 0x76, 0x30, 0, 1, 0, 10, 0}) + std::string(10, '\xff');
  EXPECT_EQ(r.out, kZeros + first + bytes({0xEE}));
  EXPECT_EQ(r.err.find("INFO: Finished page 2"), std::string::npos);
}

}  // namespace
}  // namespace quorvane::test

namespace quorvane::test {
namespace {

TEST_F(PageTest, HeadersNoPageCanHonourAreRefusedQuietly) {
  struct Claim {
    unsigned width, height, bytes_per_line;
  };
  // Lines shorter than the width; a gray page over 1 GiB; no width at all.
  for (const Claim c : {Claim{8, 2, 4}, Claim{60000, 40000, 60000}, Claim{0, 2, 8}}) {
    RasterPage page;
    page.width = c.width;
    page.height = c.height;
    page.bytes_per_line = c.bytes_per_line;
    page.samples.assign(std::min<std::size_t>(std::size_t{c.bytes_per_line} * c.height, 64), 255);
    const JobResult r = job({page}, "*EndJobCmd: \"EE\"\n", "", 64);
    EXPECT_EQ(r.status, 1) << c.width;
    EXPECT_EQ(r.out, kZeros + bytes({0xEE})) << c.width;
    EXPECT_TRUE(r.status_lines().empty()) << c.width;
    // The page was read and refused, not lost on the way.
    EXPECT_NE(r.err.find("DEBUG: cupsBytesPerLine = " + std::to_string(c.bytes_per_line)),
              std::string::npos)
        << c.width;
  }
}

}  // namespace
}  // namespace quorvane::test
