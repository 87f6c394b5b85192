#include <gtest/gtest.h>

#include <vector>

#include "img2esccmd.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes bands(int row_bytes, int rows, int band, const Bytes &raster) {
  int size = -1;
  RasterDataToRasterCmdSpecifyBankHeight(row_bytes, rows, raster.data(), band, nullptr, &size);
  Bytes out(static_cast<std::size_t>(size) + 1, 0xAB);
  if (size > 0)
    RasterDataToRasterCmdSpecifyBankHeight(row_bytes, rows, raster.data(), band, out.data(),
                                           &size);
  EXPECT_EQ(out.back(), 0xAB);
  out.pop_back();
  return out;
}

Bytes raster_of(int row_bytes, int rows) {
  Bytes r(static_cast<std::size_t>(row_bytes * rows));
  for (std::size_t i = 0; i < r.size(); ++i) r[i] = static_cast<unsigned char>(i * 7 + i / 72);
  return r;
}

TEST(BandedRaster, BandsOf24RowsWithTheirHeaders) {
  const Bytes r24 = raster_of(72, 24);
  Bytes one = bands(72, 24, 24, r24);
  ASSERT_EQ(one.size(), 8u + 1728u);
  EXPECT_EQ(Bytes(one.begin(), one.begin() + 8),
            (Bytes{0x1D, 0x76, 0x30, 0x00, 0x48, 0x00, 0x18, 0x00}));
  EXPECT_EQ(Bytes(one.begin() + 8, one.end()), r24);

  const Bytes r25 = raster_of(72, 25);
  Bytes two = bands(72, 25, 24, r25);
  ASSERT_EQ(two.size(), 16u + 25u * 72u);
  const std::size_t second = 8 + 24 * 72;
  EXPECT_EQ(Bytes(two.begin() + second, two.begin() + second + 8),
            (Bytes{0x1D, 0x76, 0x30, 0x00, 0x48, 0x00, 0x01, 0x00}));
  EXPECT_EQ(Bytes(two.begin() + second + 8, two.end()), Bytes(r25.end() - 72, r25.end()));

  EXPECT_EQ(bands(72, 48, 24, raster_of(72, 48)).size(), 16u + 48u * 72u);
  // A band taller than the image is one block; a 300-byte row is 2C 01.
  const Bytes wide = bands(300, 3, 100, raster_of(300, 3));
  EXPECT_EQ(Bytes(wide.begin(), wide.begin() + 8),
            (Bytes{0x1D, 0x76, 0x30, 0x00, 0x2C, 0x01, 0x03, 0x00}));
}

TEST(BandedRaster, SizesTheCommandCannotCarryGiveNoBlock) {
  int size = -1;
  RasterDataToRasterCmdSpecifyBankHeight(72, 0, nullptr, 24, nullptr, &size);
  EXPECT_EQ(size, 0);
  RasterDataToRasterCmdSpecifyBankHeight(72, 10, nullptr, 0, nullptr, &size);
  EXPECT_EQ(size, 0);
  RasterDataToRasterCmdSpecifyBankHeight(65536, 1, nullptr, 24, nullptr, &size);
  EXPECT_EQ(size, 0);
  RasterDataToRasterCmdSpecifyBankHeight(65535, 40000, nullptr, 24, nullptr, &size);
  EXPECT_EQ(size, 0);  // over 2 GiB
  RasterDataToRasterCmd(72, 70000, nullptr, nullptr, &size);
  EXPECT_EQ(size, 0);
  RasterDataToRasterCmd(72, 2, nullptr, nullptr, &size);
  EXPECT_EQ(size, 152);
}

}  // namespace
