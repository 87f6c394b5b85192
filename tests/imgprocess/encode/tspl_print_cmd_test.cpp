#include <gtest/gtest.h>

#include <malloc.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "command_decoders.h"
#include "img2esccmd.h"

namespace {

using quorvane::test::Bytes;

struct FreeJob {
  void operator()(unsigned char *p) const { std::free(p); }
};

struct Job {
  std::unique_ptr<unsigned char, FreeJob> buffer;
  int size = -1;
  std::string text() const {
    return buffer ? std::string(reinterpret_cast<const char *>(buffer.get()), static_cast<std::size_t>(size))
                  : std::string();
  }
};

Job make_job(const TSPLPrintParam &p, int row_length, int rows, const unsigned char *raster) {
  Job j;
  j.buffer.reset(RasterDataToTSPLPrintCmd(p, row_length, rows, raster, &j.size));
  return j;
}

// printf's own %.2f, which the job's numbers must match digit for digit.
std::string printf2(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

testing::AssertionResult starts_with(const std::string &text, const std::string &prefix) {
  if (text.compare(0, prefix.size(), prefix) == 0) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "job starts \"" << text.substr(0, prefix.size() + 8) << "\"";
}

std::string bitmap_of(int row_length, int rows, const Bytes &raster) {
  std::string s = "BITMAP 0,0," + std::to_string(row_length) + "," + std::to_string(rows) + ",1,";
  for (unsigned char b : raster) s.push_back(static_cast<char>(~b));
  return s + "\r\n";
}

TEST(TsplPrintCmd, BareJobIsClsBitmapPrint) {
  const Bytes raster = {0x80, 0x00, 0xFF, 0x3C};
  const Job j = make_job(TSPLPrintParam{}, 2, 2, raster.data());
  ASSERT_TRUE(j.buffer);
  EXPECT_EQ(j.text(), "CLS\r\n" + bitmap_of(2, 2, raster) + "PRINT 1,1\r\n");
  // A printed dot travels as 0, an unprinted one as 1.
  EXPECT_EQ(j.text().substr(5 + 17, 4), std::string("\x7F\xFF\x00\xC3", 4));
}

TEST(TsplPrintCmd, SettingLinesInTheirFixedOrder) {
  TSPLPrintParam p{};
  p.hres = p.vres = 203;
  p.reference_enable = 1;
  p.reference_x = -3;
  p.reference_y = 12;
  p.bline_enable = 1;
  p.bline_height = 3.0;
  p.bline_offset = 0.0;
  p.gap_enable = 1;
  p.gap_distance = 2.345;
  p.gap_offset = 0.125;
  p.offset_enable = 1;
  p.offset = -1.5;
  p.density_enable = 1;
  p.density = 8;
  p.speed_enable = 1;
  p.speed = 4;
  p.tear_enable = 1;
  p.tear_on = 0;
  p.peel_enable = 1;
  p.peel_on = 7;
  const Bytes raster(72 * 800, 0);
  const Job j = make_job(p, 72, 800, raster.data());
  ASSERT_TRUE(j.buffer);
  const std::string head =
      std::string("SIZE 72 mm,100 mm\r\n"
                  "REFERENCE -3,12\r\n"
                  "BLINE 3.00 mm,0.00 mm\r\n") +
      "GAP " + printf2(2.345) + " mm," + printf2(0.125) + " mm\r\n" +
      "OFFSET -1.50 mm\r\n"
      "DENSITY 8\r\n"
      "SPEED 4\r\n"
      "SET TEAR OFF\r\n"
      "SET PEEL ON\r\n"
      "CLS\r\n";
  EXPECT_EQ(j.text(), head + bitmap_of(72, 800, raster) + "PRINT 1,1\r\n");
}

TEST(TsplPrintCmd, SizeLineRoundsHalfUpFromSinglePrecision) {
  TSPLPrintParam p{};
  p.hres = p.vres = 200;
  const Bytes raster(80 * 100, 0);
  // 3.2 in = 81.28 mm, 0.5 in = 12.7 mm.
  EXPECT_TRUE(starts_with(make_job(p, 80, 100, raster.data()).text(), "SIZE 81 mm,13 mm\r\n"));

  // 203 dpi: 576 dots are 72.07 mm; 1 row is 0.125 mm.
  p.hres = p.vres = 203;
  EXPECT_TRUE(starts_with(make_job(p, 72, 1, raster.data()).text(), "SIZE 72 mm,0 mm\r\n"));

  // 5 rows at 254 dpi are 0.5 mm exactly in double precision but fall
  // short of it through the single-precision quotient; 45 rows go the other
  // way.
  p.hres = 203;
  p.vres = 254;
  EXPECT_TRUE(starts_with(make_job(p, 72, 5, raster.data()).text(), "SIZE 72 mm,0 mm\r\n"));
  EXPECT_TRUE(starts_with(make_job(p, 72, 45, raster.data()).text(), "SIZE 72 mm,5 mm\r\n"));
}

TEST(TsplPrintCmd, NoSizeLineWithoutBothResolutions) {
  const Bytes raster(4, 0);
  for (auto [h, v] : {std::pair{0, 203}, std::pair{203, 0}, std::pair{-203, 203}}) {
    TSPLPrintParam p{};
    p.hres = h;
    p.vres = v;
    p.density_enable = 1;
    p.density = 0;
    EXPECT_TRUE(starts_with(make_job(p, 2, 2, raster.data()).text(), "DENSITY 0\r\nCLS\r\n"));
  }
}

TEST(TsplPrintCmd, BufferHoldsRasterPlusAllowanceZeroFilled) {
  const Bytes raster = quorvane::test::noisy_raster(72 * 2, 4);
  const Job j = make_job(TSPLPrintParam{}, 72, 2, raster.data());
  ASSERT_TRUE(j.buffer);
  ASSERT_EQ(j.size, 5 + 18 + 144 + 2 + 11);
  EXPECT_GE(malloc_usable_size(j.buffer.get()), 144u + 4096u);
  for (std::size_t k = static_cast<std::size_t>(j.size); k < 144u + 4096u; ++k)
    ASSERT_EQ(j.buffer.get()[k], 0) << k;
}

TEST(TsplPrintCmd, HugeValuesAreFormattedWhole) {
  // %.2f of 1e300 has 301 digits before the point: longer than any fixed
  // scratch line, and still sent exactly.
  TSPLPrintParam p{};
  p.offset_enable = 1;
  p.offset = 1e300;
  const Bytes raster(1, 0);
  const Job j = make_job(p, 1, 1, raster.data());
  char expected[400];
  std::snprintf(expected, sizeof expected, "OFFSET %.2f mm\r\nCLS\r\n", 1e300);
  EXPECT_EQ(j.text().substr(0, std::strlen(expected)), expected);
}

TEST(TsplPrintCmd, RefusesWhatItCannotHold) {
  const Bytes raster(16, 0);
  for (auto [rl, rows, ptr] :
       {std::tuple{-1, 2, raster.data()}, std::tuple{2, -1, raster.data()},
        std::tuple{2, 2, static_cast<const unsigned char *>(nullptr)},
        std::tuple{65536, 65536, raster.data()}, std::tuple{INT_MAX, 1, raster.data()}}) {
    int size = -1;
    unsigned char *job = RasterDataToTSPLPrintCmd(TSPLPrintParam{}, rl, rows, ptr, &size);
    EXPECT_EQ(job, nullptr) << rl << " x " << rows;
    EXPECT_EQ(size, 0);
    std::free(job);
  }
}

}  // namespace
