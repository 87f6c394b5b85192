#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "command_decoders.h"
#include "img2esccmd.h"

namespace {

using quorvane::test::Bytes;

Bytes encode_label(int x, int y, int width, int height, const Bytes &raster) {
  int size = -1;
  RasterDataToLabelPrintCmd(x, y, width, height, raster.data(), nullptr, &size);
  if (size <= 0) return {};
  Bytes out(static_cast<std::size_t>(size) + 16, 0xA5);
  int filled = -1;
  RasterDataToLabelPrintCmd(x, y, width, height, raster.data(), out.data(), &filled);
  EXPECT_EQ(filled, size);
  for (std::size_t k = static_cast<std::size_t>(size); k < out.size(); ++k) EXPECT_EQ(out[k], 0xA5);
  out.resize(static_cast<std::size_t>(size));
  return out;
}

Bytes slice(const Bytes &b, std::size_t from, std::size_t count) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
               b.begin() + static_cast<std::ptrdiff_t>(from + count));
}

TEST(LabelPrintCmd, FramesTheRasterInFourBlocks) {
  const Bytes raster = quorvane::test::noisy_raster(72 * 2, 1);
  const Bytes out = encode_label(0, 0, 576, 2, raster);
  ASSERT_EQ(out.size(), 176u);
  EXPECT_EQ(slice(out, 0, 12), (Bytes{0x1A, 0x5B, 0x01, 0, 0, 0, 0, 0x40, 0x02, 0x02, 0x00, 0x00}));
  EXPECT_EQ(slice(out, 12, 13),
            (Bytes{0x1A, 0x21, 0x01, 0, 0, 0, 0, 0x40, 0x02, 0x02, 0x00, 0x00, 0x00}));
  EXPECT_EQ(slice(out, 25, 144), raster);
  EXPECT_EQ(slice(out, 169, 7), (Bytes{0x1A, 0x5D, 0x00, 0x1A, 0x4F, 0x01, 0x01}));
}

TEST(LabelPrintCmd, WidthIsRoundedUpToWholeBytes) {
  const Bytes raster = quorvane::test::noisy_raster(13 * 3, 2);
  const Bytes out = encode_label(0, 0, 100, 3, raster);
  ASSERT_EQ(out.size(), 32u + 39u);
  EXPECT_EQ(slice(out, 7, 2), (Bytes{0x68, 0x00}));
  EXPECT_EQ(slice(out, 19, 2), (Bytes{0x68, 0x00}));
  EXPECT_EQ(slice(out, 25, 39), raster);
}

TEST(LabelPrintCmd, PositionGoesToTheOpeningBlockOnly) {
  const Bytes out = encode_label(300, 5, 8, 1, Bytes{0x81});
  ASSERT_EQ(out.size(), 33u);
  EXPECT_EQ(slice(out, 3, 4), (Bytes{0x2C, 0x01, 0x05, 0x00}));
  EXPECT_EQ(slice(out, 15, 4), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(out[25], 0x81);
}

TEST(LabelPrintCmd, EmptyPageStillCarriesAllBlocks) {
  const Bytes out = encode_label(0, 0, 576, 0, Bytes{});
  ASSERT_EQ(out.size(), 32u);
  EXPECT_EQ(slice(out, 9, 2), (Bytes{0, 0}));
  EXPECT_EQ(slice(out, 25, 7), (Bytes{0x1A, 0x5D, 0x00, 0x1A, 0x4F, 0x01, 0x01}));
}

TEST(LabelPrintCmd, OlderEntryPointGivesTheSameBytes) {
  const Bytes raster = quorvane::test::noisy_raster(72 * 30, 3);
  int size = -1;
  RasterDataToLabelCmd(72, 30, raster.data(), nullptr, &size);
  ASSERT_EQ(size, 72 * 30 + 32);
  Bytes older(static_cast<std::size_t>(size));
  RasterDataToLabelCmd(72, 30, raster.data(), older.data(), &size);
  EXPECT_EQ(older, encode_label(0, 0, 576, 30, raster));
}

TEST(LabelPrintCmd, FieldsThatWouldWrapReportNothing) {
  const Bytes raster(8192 * 2, 0);
  Bytes out(64, 0xA5);
  struct Case {
    int x, y, width, height;
  };
  for (const Case &c : {Case{65536, 0, 8, 1}, Case{0, 65536, 8, 1}, Case{-1, 0, 8, 1},
                        Case{0, -1, 8, 1}, Case{0, 0, 65536, 1}, Case{0, 0, 65529, 1},
                        Case{0, 0, 8, 65536}, Case{0, 0, -8, 1}, Case{0, 0, 8, -1},
                        Case{0, 0, INT_MAX, 1}}) {
    int size = -1;
    RasterDataToLabelPrintCmd(c.x, c.y, c.width, c.height, raster.data(), out.data(), &size);
    EXPECT_EQ(size, 0) << c.x << "," << c.y << " " << c.width << "x" << c.height;
  }
  int size = -1;
  RasterDataToLabelPrintCmd(0, 0, 8, 2, nullptr, out.data(), &size);
  EXPECT_EQ(size, 0);
  RasterDataToLabelCmd(8192, 1, raster.data(), out.data(), &size);
  EXPECT_EQ(size, 0);
  RasterDataToLabelCmd(INT_MAX / 4, 1, raster.data(), out.data(), &size);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(out, Bytes(64, 0xA5));

  // The largest values that fit: 65528 dots (8191 bytes), 65535 at x and y.
  const Bytes widest = encode_label(65535, 65535, 65528, 2, raster);
  ASSERT_EQ(widest.size(), 32u + 8191u * 2);
  EXPECT_EQ(slice(widest, 3, 6), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xF8, 0xFF}));
}

}  // namespace
