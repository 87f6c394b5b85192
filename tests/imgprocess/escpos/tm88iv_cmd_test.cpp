#include <gtest/gtest.h>

#include "guarded_output.h"
#include "img2esccmd.h"

namespace {

using quorvane::test::Bytes;
using quorvane::test::concat;
using quorvane::test::pack_rows;
using quorvane::test::pattern_image1;
using quorvane::test::two_call_int;

const Bytes kPrint = {0x1D, 0x38, 0x4C, 0x02, 0x00, 0x00, 0x00, 0x30, 0x02};

Bytes from_image1(int w, int h, const Bytes &img) {
  return two_call_int(
      [&](unsigned char *o, int *s) { Image1ToTM88IVRasterCmd(w, h, img.data(), o, s); });
}
Bytes from_raster(int rl, int w, int h, const Bytes &raster) {
  return two_call_int([&](unsigned char *o, int *s) {
    ConvertHorizontalRasterImageToEpsonTM88IVGS8Cmd(rl, w, h, raster.data(), o, s);
  });
}

TEST(Image1ToTM88IVRasterCmd, StoreThenPrintWithRowsPaddedToEight) {
  const Bytes img = {1, 0, 0, 0, 0, 0, 0, 0, 0, 1,  //
                     0, 0, 0, 0, 0, 0, 0, 0, 1, 0,  //
                     1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  const Bytes header = {0x1D, 0x38, 0x4C, 0x1A, 0x00, 0x00, 0x00, 0x30, 0x70,
                        0x30, 0x01, 0x01, 0x31, 0x10, 0x00, 0x08, 0x00};
  EXPECT_EQ(from_image1(10, 3, img),
            concat({header, {0x80, 0x40, 0x00, 0x80, 0xFF, 0xC0}, Bytes(10, 0), kPrint}));
}

TEST(Image1ToTM88IVRasterCmd, SingleRowGetsSevenBlankRows) {
  const Bytes cmd = from_image1(8, 1, Bytes(8, 1));
  ASSERT_EQ(cmd.size(), 8u + 26);
  EXPECT_EQ(cmd[15], 0x08);
  EXPECT_EQ(Bytes(cmd.begin() + 17, cmd.begin() + 25), concat({{0xFF}, Bytes(7, 0)}));
}

TEST(ConvertHorizontalRasterImageToEpsonTM88IVGS8Cmd, LargeImageFields) {
  const int w = 576, h = 1000, rl = 80;
  // Rows of 80 bytes: only the first 72 of each go out.
  Bytes raster(static_cast<std::size_t>(rl) * h, 0xEE);
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < 72; ++i) raster[y * rl + i] = static_cast<unsigned char>(y + i);
  const Bytes cmd = from_raster(rl, w, h, raster);
  ASSERT_EQ(cmd.size(), 72026u);
  EXPECT_EQ(Bytes(cmd.begin(), cmd.begin() + 17),
            (Bytes{0x1D, 0x38, 0x4C, 0x4A, 0x19, 0x01, 0x00, 0x30, 0x70, 0x30, 0x01, 0x01, 0x31,
                   0x40, 0x02, 0xE8, 0x03}));
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < 72; ++i)
      ASSERT_EQ(cmd[17 + y * 72 + i], static_cast<unsigned char>(y + i)) << y << "," << i;
  EXPECT_EQ(Bytes(cmd.end() - 9, cmd.end()), kPrint);
}

TEST(ConvertHorizontalRasterImageToEpsonTM88IVGS8Cmd, SameBytesAsImage1Route) {
  for (auto [w, h] : {std::pair{10, 3}, {17, 9}, {64, 16}, {5, 1}}) {
    const Bytes img = pattern_image1(w, h, static_cast<unsigned>(w + h));
    const int rl = (w + 7) / 8;
    EXPECT_EQ(from_raster(rl, w, h, pack_rows(img, w, h, rl)), from_image1(w, h, img))
        << w << "x" << h;
    // Padding bits go out as they stand until they are cleared.
    Bytes dirty = pack_rows(img, w, h, rl, 0xFF);
    if (w % 8 != 0) {
      EXPECT_NE(from_raster(rl, w, h, dirty), from_image1(w, h, img));
    }
    RasterDataSetOverbound(rl, w, h, dirty.data(), 0);
    EXPECT_EQ(from_raster(rl, w, h, dirty), from_image1(w, h, img)) << w << "x" << h;
  }
}

TEST(ConvertHorizontalRasterImageToEpsonTM88IVGS8Cmd, RefusesShortRowsAndOverflow) {
  const Bytes raster(8, 0xFF);
  int size = -1;
  ConvertHorizontalRasterImageToEpsonTM88IVGS8Cmd(1, 10, 4, raster.data(), nullptr, &size);
  EXPECT_EQ(size, 0);
  size = -1;
  Image1ToTM88IVRasterCmd(60000, 60000, nullptr, nullptr, &size);
  EXPECT_EQ(size, 0);
  size = -1;
  Image1ToTM88IVRasterCmd(65536, 1, nullptr, nullptr, &size);
  EXPECT_EQ(size, 0);
  Image1ToTM88IVRasterCmd(65528, 1, nullptr, nullptr, &size);
  EXPECT_EQ(size, 8191 * 8 + 26);
  size = -1;
  Image1ToTM88IVRasterCmd(-1, 4, nullptr, nullptr, &size);
  EXPECT_EQ(size, 0);
}

}  // namespace
