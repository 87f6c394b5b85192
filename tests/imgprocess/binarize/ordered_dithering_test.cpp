#include <gtest/gtest.h>

#include <bitset>
#include <vector>

#include "img2esccmd.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes dither(const Bytes &gray, int w, int h, int stride, bool threshold = false) {
  int size = -1, ws = -1;
  auto convert = threshold ? ConvertGrayImageToMonoFormatUseThresholding
                           : ConvertGrayImageToMonoFormatUseDithering;
  convert(gray.data(), w, h, stride, nullptr, &size, &ws);
  EXPECT_EQ(ws, (w + 7) / 8);
  EXPECT_EQ(size, ws * h);
  Bytes out(static_cast<std::size_t>(size) + 1, 0xAB);  // one guard byte
  convert(gray.data(), w, h, stride, out.data(), &size, &ws);
  EXPECT_EQ(out.back(), 0xAB);
  out.pop_back();
  return out;
}

int dots(const Bytes &mono) {
  int n = 0;
  for (unsigned char b : mono) n += static_cast<int>(std::bitset<8>(b).count());
  return n;
}

TEST(OrderedDithering, TableIsTheBayerMatrixWithoutWhite) {
  EXPECT_EQ(Floyd16x16[0][1], 128);
  EXPECT_EQ(Floyd16x16[7][8], 254);
  EXPECT_EQ(Floyd16x16[15][0], 254);
  std::vector<int> seen(256, 0);
  for (const auto &row : Floyd16x16)
    for (unsigned char v : row) ++seen[v];
  EXPECT_EQ(seen[254], 2);
  EXPECT_EQ(seen[255], 0);
}

TEST(OrderedDithering, LevelsPrintTheirShareOfTheTile) {
  EXPECT_EQ(dots(dither(Bytes(256, 0), 16, 16, 16)), 256);
  EXPECT_EQ(dots(dither(Bytes(256, 255), 16, 16, 16)), 0);
  EXPECT_EQ(dots(dither(Bytes(256, 128), 16, 16, 16)), 128);
  const Bytes light = dither(Bytes(256, 254), 16, 16, 16);
  EXPECT_EQ(dots(light), 2);
  EXPECT_EQ(light[7 * 2 + 1], 0x80);
  EXPECT_EQ(light[15 * 2], 0x80);
}

TEST(OrderedDithering, PaddingBitsStayClear) {
  const Bytes mono = dither(Bytes(10 * 3, 0), 10, 3, 10);
  EXPECT_EQ(mono, (Bytes{0xFF, 0xC0, 0xFF, 0xC0, 0xFF, 0xC0}));
  EXPECT_EQ(dither(Bytes(12 * 2, 0), 10, 2, 12, true), (Bytes{0xFF, 0xC0, 0xFF, 0xC0}));
}

TEST(Thresholding, UniformPagesSplitAt128) {
  EXPECT_EQ(dither(Bytes(8, 127), 8, 1, 8, true), Bytes{0xFF});
  EXPECT_EQ(dither(Bytes(8, 128), 8, 1, 8, true), Bytes{0x00});
  EXPECT_EQ(dither(Bytes(1, 100), 1, 1, 1, true), Bytes{0x80});
}

TEST(Thresholding, MeanSeparatesTwoLevels) {
  Bytes halves(16, 255);
  std::fill_n(halves.begin(), 8, 0);
  EXPECT_EQ(dither(halves, 16, 1, 16, true), (Bytes{0xFF, 0x00}));
  // Visible pixels all equal but padding differs: the mean is the level and
  // a pixel equal to it stays white.
  Bytes padded = {50, 50, 50, 50, 50, 50, 50, 50, 9};
  EXPECT_EQ(dither(padded, 8, 1, 9, true), Bytes{0x00});
}

TEST(OrderedDithering, SizeQueryTouchesNothing) {
  int size = 0, ws = 0;
  ConvertGrayImageToMonoFormatUseDithering(nullptr, 577, 3, 577, nullptr, &size, &ws);
  EXPECT_EQ(ws, 73);
  EXPECT_EQ(size, 219);
}

}  // namespace
