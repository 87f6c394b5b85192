#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "img2esccmd.h"

namespace {

// An image of `rows` rows of width 4 (stride 6) whose printed rows hold 0.
struct Image {
  int width = 4, stride = 6, height;
  std::vector<unsigned char> px;
  explicit Image(int rows) : height(rows), px(static_cast<std::size_t>(6 * rows), 255) {}
  void print(int row) { std::fill_n(px.begin() + row * stride, 2, 0); }
  int strip(int top, int middle, int bottom, std::vector<unsigned char> *out = nullptr) {
    std::vector<unsigned char> dst(px.size(), 0xEE);
    int rows = -1;
    GetStripedBitmap(px.data(), width, height, stride, 255, top, middle, bottom, dst.data(), &rows);
    if (out) *out = dst;
    return rows;
  }
};

Image sample() {
  // Rows 0..9 blank, 10..19 printed, 20..59 blank, 60..69 printed, 70..99 blank.
  Image img(100);
  for (int r = 10; r < 20; ++r) img.print(r);
  for (int r = 60; r < 70; ++r) img.print(r);
  return img;
}

TEST(BlankLineStriping, LimitsShortenEachKindOfRun) {
  Image img = sample();
  std::vector<unsigned char> out;
  EXPECT_EQ(img.strip(5, 8, 12, &out), 41);
  // 5 blank, 10 printed, 8 blank, 10 printed, 8 blank.
  auto printed = [&](int row) { return out[static_cast<std::size_t>(row * 6)] == 0; };
  EXPECT_FALSE(printed(4));
  EXPECT_TRUE(printed(5));
  EXPECT_TRUE(printed(14));
  EXPECT_FALSE(printed(22));
  EXPECT_TRUE(printed(23));
  EXPECT_TRUE(printed(32));
  EXPECT_FALSE(printed(40));
  EXPECT_EQ(out[41 * 6], 0xEE);  // nothing beyond the kept rows

  EXPECT_EQ(img.strip(5, 20, 12), 57);
  EXPECT_EQ(img.strip(5, -1, 12), 77);
  EXPECT_EQ(img.strip(0, 0, 0, &out), 100);
  EXPECT_EQ(out, img.px);
  // A limit equal to the run keeps it whole.
  EXPECT_EQ(img.strip(10, 40, 30), 100);
}

TEST(BlankLineStriping, BlankPagesNeverVanish) {
  Image blank(20);
  EXPECT_EQ(blank.strip(5, -1, 3), 3);
  EXPECT_EQ(blank.strip(-1, -1, 3), 3);
  EXPECT_EQ(blank.strip(-1, 4, -1), 4);
  EXPECT_EQ(blank.strip(-1, -1, -1), 20);
}

TEST(BlankLineStriping, PaddingBytesDoNotMakeARowPrinted) {
  Image img(3);
  img.px[6 + 5] = 0;  // row 1, past the width
  std::vector<unsigned char> out;
  EXPECT_EQ(img.strip(-1, 1, -1, &out), 1);
  EXPECT_EQ(img.strip(1, -1, -1, &out), 1);
  EXPECT_EQ(GetScalLineEqualsHeightForward(img.px.data(), 4, 3, 6, 255), 3);
  // The middle run keeps its first row: row 0 only.
  EXPECT_EQ(img.strip(-1, 2, -1, &out), 2);
  EXPECT_EQ(out[6 + 5], 0);  // row 1 came along with its padding
}

TEST(BlankLineStriping, ScansStopAtTheFirstPrintedRow) {
  Image img(5);
  img.print(1);
  img.print(3);
  EXPECT_EQ(GetScalLineEqualsHeightForward(img.px.data(), 4, 5, 6, 255), 1);
  EXPECT_EQ(GetScalLineEqualsHeightBackward(img.px.data(), 4, 5, 6, 255), 1);
  EXPECT_TRUE(ScanLineEquals(img.px.data(), 0, 7));
}

// Which rows survive, by the rule in words: cut the opening blank run to its
// last `top` rows, then the closing one (of what is left) to its first
// `bottom`, then every blank run to its first `middle`.
std::vector<int> kept_rows(const std::vector<bool> &blank, int top, int middle, int bottom) {
  const int h = static_cast<int>(blank.size());
  int lead = 0;
  while (lead < h && blank[lead]) ++lead;
  const int start = top > 0 && lead > top ? lead - top : 0;
  int tail = 0;
  while (tail < h - start && blank[h - 1 - tail]) ++tail;
  const int end = bottom > 0 && tail > bottom ? h - (tail - bottom) : h;
  std::vector<int> kept;
  int run = 0;
  for (int r = start; r < end; ++r) {
    run = blank[r] ? run + 1 : 0;
    if (!blank[r] || middle <= 0 || run <= middle) kept.push_back(r);
  }
  return kept;
}

// Rows carry their number in their padding, so the test sees which blank
// rows were kept: the page may later be turned, padding and all.
TEST(BlankLineStriping, KeepsTheRowsTheRuleNames) {
  std::mt19937 rng(7);
  for (int k = 0; k < 3000; ++k) {
    const int h = static_cast<int>(rng() % 30);
    Image img(h);
    std::vector<bool> blank(static_cast<std::size_t>(h));
    for (int r = 0; r < h; ++r) {
      img.px[static_cast<std::size_t>(r * img.stride + 5)] = static_cast<unsigned char>(r);
      blank[r] = rng() % 3 != 0;
      if (!blank[r]) img.print(r);
    }
    const int top = static_cast<int>(rng() % 6) - 1, middle = static_cast<int>(rng() % 6) - 1,
              bottom = static_cast<int>(rng() % 6) - 1;
    std::vector<unsigned char> out;
    const int rows = img.strip(top, middle, bottom, &out);
    std::vector<int> got;
    for (int r = 0; r < rows; ++r) got.push_back(out[static_cast<std::size_t>(r * img.stride + 5)]);
    ASSERT_EQ(got, kept_rows(blank, top, middle, bottom)) << k;
  }
}

}  // namespace
