#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "img2esccmd.h"

namespace {

using Bytes = std::vector<unsigned char>;

TEST(GrayGeometry, UpsideDownReversesTheBuffer) {
  Bytes img = {1, 2, 3, 4, 5, 6};
  UpsideDownGrayImage(img.data(), 6);
  EXPECT_EQ(img, (Bytes{6, 5, 4, 3, 2, 1}));
  Bytes odd = {1, 2, 3};
  UpsideDownGrayImage(odd.data(), 3);
  EXPECT_EQ(odd, (Bytes{3, 2, 1}));
}

// 20 columns, 2 rows, stride 24; ink (0) in columns 5..9.
Bytes margins_image() {
  Bytes img(48, 255);
  for (int r = 0; r < 2; ++r)
    for (int c = 5; c < 10; ++c) img[static_cast<std::size_t>(r * 24 + c)] = static_cast<unsigned char>(c);
  return img;
}

TEST(GrayGeometry, StrippingMarginsMovesInkToColumnZero) {
  Bytes img = margins_image();
  EXPECT_EQ(GetGrayImageLeftPadding(img.data(), 20, 2, 24, 255), 5);
  EXPECT_EQ(GetGrayImageRightPadding(img.data(), 20, 2, 24, 255), 10);
  int w = 0;
  StripGrayImageLeftRightPadding(img.data(), 20, 2, 24, 255, 1, 1, &w);
  EXPECT_EQ(w, 5);
  EXPECT_EQ(Bytes(img.begin() + 24, img.begin() + 29), (Bytes{5, 6, 7, 8, 9}));

  Bytes right_only = margins_image();
  StripGrayImageLeftRightPadding(right_only.data(), 20, 2, 24, 255, 0, 1, &w);
  EXPECT_EQ(w, 10);
  EXPECT_EQ(right_only, margins_image());  // nothing moves
}

TEST(GrayGeometry, BlankImagesKeepOneColumn) {
  Bytes img(20, 255);
  int w = 0;
  StripGrayImageLeftRightPadding(img.data(), 20, 1, 20, 255, 1, 1, &w);
  EXPECT_EQ(w, 1);
  StripGrayImageLeftRightPadding(img.data(), 20, 1, 20, 255, 1, 0, &w);
  EXPECT_EQ(w, 1);
}

TEST(GrayGeometry, TruncationKeepsTheMiddleColumns) {
  // Two rows of 580 columns holding their column number mod 256.
  Bytes img(2 * 580);
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 580; ++c) img[static_cast<std::size_t>(r * 580 + c)] = static_cast<unsigned char>(c);
  ASSERT_TRUE(TurncateGrayImageToDstWidth(img.data(), 580, 2, 580, 576));
  EXPECT_EQ(img[0], 2);
  EXPECT_EQ(img[575], static_cast<unsigned char>(577));
  EXPECT_EQ(img[576], 2);  // row 1 now starts at 576
  Bytes odd(577);
  for (int c = 0; c < 577; ++c) odd[static_cast<std::size_t>(c)] = static_cast<unsigned char>(c);
  ASSERT_TRUE(TurncateGrayImageToDstWidth(odd.data(), 577, 1, 577, 576));
  EXPECT_EQ(odd[0], 0);  // the odd column comes off the right
  EXPECT_EQ(odd[575], static_cast<unsigned char>(575));
}

struct Canvas {
  std::unique_ptr<unsigned char, decltype(&std::free)> p{nullptr, &std::free};
  Bytes row(int at, int n) const { return Bytes(p.get() + at, p.get() + at + n); }
};

TEST(GrayGeometry, LayoutPlacesAndClipsAgainstTheCanvas) {
  const Bytes src(100, 0);
  Canvas c;
  c.p.reset(LayoutGrayImageToNewImage(src.data(), 100, 1, 100, 576, 1, 576, 10, 0));
  ASSERT_TRUE(c.p);
  EXPECT_EQ(c.row(0, 10), Bytes(10, 255));
  EXPECT_EQ(c.row(10, 100), Bytes(100, 0));
  EXPECT_EQ(c.row(110, 466), Bytes(466, 255));

  c.p.reset(LayoutGrayImageToNewImage(src.data(), 100, 1, 100, 576, 1, 576, -10, 0));
  EXPECT_EQ(c.row(0, 90), Bytes(90, 0));
  EXPECT_EQ(c.row(90, 486), Bytes(486, 255));

  c.p.reset(LayoutGrayImageToNewImage(src.data(), 100, 1, 100, 576, 1, 576, 500, 0));
  EXPECT_EQ(c.row(500, 76), Bytes(76, 0));

  for (int x : {576, -100}) {
    c.p.reset(LayoutGrayImageToNewImage(src.data(), 100, 1, 100, 576, 1, 576, x, 0));
    EXPECT_EQ(c.row(0, 576), Bytes(576, 255)) << x;
  }
  // Rows outside the canvas are left out; stride padding stays white.
  c.p.reset(LayoutGrayImageToNewImage(src.data(), 10, 10, 10, 4, 2, 6, 0, -9));
  EXPECT_EQ(c.row(0, 12), (Bytes{0, 0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255}));
}

}  // namespace
