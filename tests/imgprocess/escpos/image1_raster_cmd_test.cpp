#include <gtest/gtest.h>

#include "guarded_output.h"
#include "img2esccmd.h"

namespace {

using quorvane::test::Bytes;
using quorvane::test::concat;
using quorvane::test::pack_rows;
using quorvane::test::pattern_image1;
using quorvane::test::two_call_int;

Bytes raster_data(int w, int h, const Bytes &img) {
  return two_call_int([&](unsigned char *o, int *s) { Image1ToRasterData(w, h, img.data(), o, s); });
}
Bytes raster_cmd(int w, int h, const Bytes &img) {
  return two_call_int([&](unsigned char *o, int *s) { Image1ToRasterCmd(w, h, img.data(), o, s); });
}
Bytes each_line(int w, int h, const Bytes &img) {
  return two_call_int(
      [&](unsigned char *o, int *s) { Image1ToEachLineRasterCmd(w, h, img.data(), o, s); });
}

// 10 x 3: row 0 dots 0 and 9, row 1 dot 8, row 2 every dot.
const Bytes kTen = {1, 0, 0, 0, 0, 0, 0, 0, 0, 1,  //
                    0, 0, 0, 0, 0, 0, 0, 0, 1, 0,  //
                    1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
const Bytes kTenRows = {0x80, 0x40, 0x00, 0x80, 0xFF, 0xC0};

TEST(Image1ToRasterData, PacksMsbFirstWithClearPadding) {
  EXPECT_EQ(raster_data(10, 3, kTen), kTenRows);
  EXPECT_EQ(raster_data(10, 2, Bytes(20, 1)), (Bytes{0xFF, 0xC0, 0xFF, 0xC0}));
  EXPECT_TRUE(raster_data(10, 0, {}).empty());
}

TEST(Image1ToRasterData, AnyNonZeroByteIsOneDot) {
  // Values other than 0 and 1 must not spill into the neighbouring dots.
  EXPECT_EQ(raster_data(3, 1, {0, 2, 0}), (Bytes{0x40}));
  EXPECT_EQ(raster_data(3, 1, {0xFF, 0, 0}), (Bytes{0x80}));
}

TEST(Image1ToRasterCmd, HeightRoundedUpToEightWithBlankRows) {
  const Bytes header = {0x1D, 0x76, 0x30, 0x00, 0x02, 0x00, 0x08, 0x00};
  EXPECT_EQ(raster_cmd(10, 3, kTen), concat({header, kTenRows, Bytes(10, 0)}));
}

TEST(Image1ToRasterCmd, SixteenBitFieldsLowByteFirst) {
  const Bytes cmd = raster_cmd(2048, 1, Bytes(2048, 0));
  ASSERT_EQ(cmd.size(), 8u + 256 * 8);
  EXPECT_EQ(Bytes(cmd.begin(), cmd.begin() + 8),
            (Bytes{0x1D, 0x76, 0x30, 0x00, 0x00, 0x01, 0x08, 0x00}));
}

TEST(Image1ToRasterCmd, ZeroHeightIsAnEmptyCommand) {
  EXPECT_EQ(raster_cmd(10, 0, {}), (Bytes{0x1D, 0x76, 0x30, 0x00, 0x02, 0x00, 0x00, 0x00}));
}

TEST(Image1ToRasterCmd, DataEqualsRasterData) {
  const int w = 29, h = 16;
  const Bytes img = pattern_image1(w, h);
  const Bytes cmd = raster_cmd(w, h, img);
  EXPECT_EQ(Bytes(cmd.begin() + 8, cmd.end()), raster_data(w, h, img));
}

TEST(Image1ToEachLineRasterCmd, OneSingleRowCommandPerRowThenZeros) {
  const Bytes img = {1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1,  //
                     0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
                     1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  const Bytes head = {0x1D, 0x76, 0x30, 0x00, 0x02, 0x00, 0x01, 0x00};
  EXPECT_EQ(each_line(16, 3, img), concat({head, {0x80, 0x81}, head, {0x00, 0x00}, head,
                                           {0xFF, 0xFF}, Bytes(50, 0)}));
  EXPECT_TRUE(each_line(16, 0, {}).empty());
}

TEST(Image1RasterForms, RefuseSizesThatDoNotFit) {
  for (auto [w, h] : {std::pair{-8, 4}, {8, -1}, {70000, 70000}, {INT_MAX, 2}}) {
    int size = -1;
    Image1ToRasterData(w, h, nullptr, nullptr, &size);
    EXPECT_EQ(size, 0) << w << "x" << h;
    size = -1;
    Image1ToRasterCmd(w, h, nullptr, nullptr, &size);
    EXPECT_EQ(size, 0) << w << "x" << h;
    size = -1;
    Image1ToEachLineRasterCmd(w, h, nullptr, nullptr, &size);
    EXPECT_EQ(size, 0) << w << "x" << h;
  }
  // Row lengths and counts beyond the 16-bit fields.
  int size = -1;
  Image1ToRasterCmd(65536 * 8, 1, nullptr, nullptr, &size);
  EXPECT_EQ(size, 0);
  size = -1;
  Image1ToRasterCmd(8, 65536, nullptr, nullptr, &size);
  EXPECT_EQ(size, 0);
  size = -1;
  Image1ToEachLineRasterCmd(65536 * 8, 1, nullptr, nullptr, &size);
  EXPECT_EQ(size, 0);
  Image1ToRasterCmd(65535 * 8, 1, nullptr, nullptr, &size);
  EXPECT_EQ(size, 65535 * 8 + 8);
  // Just below the limit: 8 * 268435455 dots of width in one row fit.
  size = -1;
  Image1ToRasterData(INT_MAX - 7, 1, nullptr, nullptr, &size);
  EXPECT_EQ(size, 268435455);
}

}  // namespace
