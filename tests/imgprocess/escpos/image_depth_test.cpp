#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "img2esccmd.h"

namespace {

using Bytes = std::vector<unsigned char>;

unsigned char gray_of(uint32_t word) {
  unsigned char g = 0xA5;
  Image32ToImage8(1, 1, &word, &g);
  return g;
}

TEST(Image32ToImage8, TruncatedBt601Luma) {
  EXPECT_EQ(gray_of(0x00FFFFFF), 255);
  EXPECT_EQ(gray_of(0x00FEFEFE), 253);
  EXPECT_EQ(gray_of(0x00808080), 127);
  EXPECT_EQ(gray_of(0x00010101), 0);
  EXPECT_EQ(gray_of(0x00FF0000), 76);
  EXPECT_EQ(gray_of(0x0000FF00), 149);
  EXPECT_EQ(gray_of(0x000000FF), 29);
  // The top byte is not a channel.
  EXPECT_EQ(gray_of(0xFF000000), 0);
  EXPECT_EQ(gray_of(0xFFFFFFFF), 255);
}

TEST(Image32ToImage8, RowMajorWithoutGaps) {
  const std::vector<uint32_t> src = {0x00FF0000, 0x0000FF00, 0x000000FF,
                                     0x00FFFFFF, 0x00000000, 0x00808080};
  Bytes dst(7, 0xA5);
  Image32ToImage8(3, 2, src.data(), dst.data());
  EXPECT_EQ(dst, (Bytes{76, 149, 29, 255, 0, 127, 0xA5}));
}

Bytes image8_to_image1(int width, int height, const Bytes &src) {
  Bytes dst(src.size() + 1, 0xA5);
  Image8ToImage1(width, height, src.data(), dst.data());
  EXPECT_EQ(dst.back(), 0xA5);
  dst.pop_back();
  return dst;
}

TEST(Image8ToImage1, IntegerMeanAndPixelsEqualToItAreBlack) {
  EXPECT_EQ(image8_to_image1(2, 1, {0, 255}), (Bytes{1, 0}));
  EXPECT_EQ(image8_to_image1(2, 1, {100, 101}), (Bytes{1, 0}));
  EXPECT_EQ(image8_to_image1(3, 1, {0, 0, 255}), (Bytes{1, 1, 0}));
  // (sum / width) / height truncates twice: 4 + 4 + 4 + 5 + 5 + 5 = 27 over
  // 3 x 2 gives 9 / 2 = 4, so the 5s are white.
  EXPECT_EQ(image8_to_image1(3, 2, {4, 4, 4, 5, 5, 5}), (Bytes{1, 1, 1, 0, 0, 0}));
}

TEST(Image8ToImage1, UniformImageOfAnyLevelIsAllBlack) {
  for (int level : {0, 1, 127, 128, 254, 255}) {
    EXPECT_EQ(image8_to_image1(4, 3, Bytes(12, static_cast<unsigned char>(level))), Bytes(12, 1))
        << "level " << level;
  }
}

TEST(Image8ToImage1, MeanOfLargeImageDoesNotOverflow) {
  // 9 million pixels whose sum exceeds 2^31: top half 250, bottom half 255.
  // The mean is 252, so only the top half prints.
  const int width = 3000, height = 3000;
  Bytes src(static_cast<std::size_t>(width) * height, 255);
  std::fill(src.begin(), src.begin() + src.size() / 2, 250);
  Bytes dst(src.size(), 0xA5);
  Image8ToImage1(width, height, src.data(), dst.data());
  EXPECT_EQ(dst.front(), 1);
  EXPECT_EQ(dst[src.size() / 2 - 1], 1);
  EXPECT_EQ(dst[src.size() / 2], 0);
  EXPECT_EQ(dst.back(), 0);
}

TEST(DepthConversions, EmptyOrNegativeSizesWriteNothing) {
  const uint32_t word = 0;
  const unsigned char gray = 0;
  unsigned char out = 0xA5;
  for (auto [w, h] : {std::pair{0, 1}, {1, 0}, {-1, 1}, {1, -5}}) {
    Image8ToImage1(w, h, &gray, &out);
    Image32ToImage8(w, h, &word, &out);
    Image32ToImage1(w, h, &word, &out);
    EXPECT_EQ(out, 0xA5);
  }
}

TEST(Image32ToImage1, BlackPrintsEverywhereWhiteNowhere) {
  const std::vector<uint32_t> black(40, 0x00000000), white(40, 0x00FFFFFF);
  Bytes out(40);
  Image32ToImage1(8, 5, black.data(), out.data());
  EXPECT_EQ(out, Bytes(40, 1));
  Image32ToImage1(8, 5, white.data(), out.data());
  EXPECT_EQ(out, Bytes(40, 0));
}

TEST(Image32ToImage1, Gray127PrintsWhereTheTableIsAtLeast127) {
  const std::vector<uint32_t> src(256, 0x00808080);
  Bytes out(256);
  Image32ToImage1(16, 16, src.data(), out.data());
  int black = 0;
  for (unsigned char b : out) black += b;
  EXPECT_EQ(black, 129);  // 128 entries of 128..255 less 255, plus 127 and a second 254
}

TEST(Image32ToImage1, TableIsIndexedColumnFirst) {
  // Gray 179 or 180 lies between the largest entry of the table's first row
  // (170) and its first column's odd entries (192 ... 254).
  const std::vector<uint32_t> line(16, 0x00B4B4B4);
  Bytes out(16);
  // One column: row y compares with Floyd16x16[0][y], the first row
  // 0 128 32 160 8 136 40 168 2 130 34 162 10 138 42 170: nothing prints.
  Image32ToImage1(1, 16, line.data(), out.data());
  EXPECT_EQ(out, Bytes(16, 0));
  // One row: column x compares with Floyd16x16[x][0], the first column
  // 0 192 48 240 12 204 60 252 3 195 51 243 15 207 63 254.
  Image32ToImage1(16, 1, line.data(), out.data());
  EXPECT_EQ(out, (Bytes{0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1}));
}

}  // namespace
