#include <gtest/gtest.h>

#include <tuple>

#include "guarded_output.h"
#include "img2esccmd.h"

namespace {

using quorvane::test::Bytes;
using quorvane::test::concat;
using quorvane::test::kFill;
using quorvane::test::two_call;
using quorvane::test::two_call_int;

Bytes raster_of(unsigned row_length, unsigned height) {
  Bytes r(static_cast<std::size_t>(row_length) * height);
  for (std::size_t i = 0; i < r.size(); ++i) r[i] = static_cast<unsigned char>(i * 7 + i / 5);
  return r;
}

Bytes multi_line(unsigned rl, unsigned h, const Bytes &raster, unsigned rows) {
  return two_call<unsigned>([&](unsigned char *o, unsigned *s) {
    RasterDataToMultiLineRasterCmd(rl, h, raster.data(), rows, o, s);
  });
}

Bytes stripped(unsigned rl, int h, const Bytes &raster, unsigned rows, bool top, bool bottom) {
  return two_call<unsigned>([&](unsigned char *o, unsigned *s) {
    RasterDataToMultiLineRasterCmdWithStrip(rl, h, raster.data(), rows, o, s, top, bottom);
  });
}

Bytes header(unsigned rl, unsigned rows) {
  return {0x1D, 0x76, 0x30, 0x00, static_cast<unsigned char>(rl & 0xFF),
          static_cast<unsigned char>(rl >> 8), static_cast<unsigned char>(rows & 0xFF),
          static_cast<unsigned char>(rows >> 8)};
}

Bytes rows_of(const Bytes &raster, unsigned rl, unsigned first, unsigned count) {
  return Bytes(raster.begin() + first * rl, raster.begin() + (first + count) * rl);
}

TEST(RasterDataToMultiLineRasterCmd, LastBandHoldsTheRemainder) {
  const Bytes raster = raster_of(72, 25);
  const Bytes cmd = multi_line(72, 25, raster, 24);
  ASSERT_EQ(cmd.size(), 1816u);
  EXPECT_EQ(cmd, concat({header(72, 24), rows_of(raster, 72, 0, 24), header(72, 1),
                         rows_of(raster, 72, 24, 1)}));
}

TEST(RasterDataToMultiLineRasterCmd, SameBytesAsThePageBands) {
  for (auto [rl, h, band] : {std::tuple{72u, 24u, 24u}, {72u, 48u, 24u}, {300u, 5u, 2u},
                             {3u, 17u, 4u}, {9u, 7u, 100u}, {1u, 1u, 1u}, {5u, 0u, 24u}}) {
    const Bytes raster = raster_of(rl, h);
    const Bytes banded = two_call_int([&](unsigned char *o, int *s) {
      RasterDataToRasterCmdSpecifyBankHeight(static_cast<int>(rl), static_cast<int>(h),
                                             raster.data(), static_cast<int>(band), o, s);
    });
    EXPECT_EQ(multi_line(rl, h, raster, band), banded) << rl << " " << h << " " << band;
    // Without strip flags the stripping variant is the same operation.
    EXPECT_EQ(stripped(rl, static_cast<int>(h), raster, band, false, false), banded);
  }
}

TEST(RasterDataToMultiLineRasterCmd, NullRasterOnlyReportsTheSize) {
  Bytes buf(64, kFill);
  unsigned size = 0;
  RasterDataToMultiLineRasterCmd(2, 3, nullptr, 2, buf.data(), &size);
  EXPECT_EQ(size, 16u + 6);
  EXPECT_EQ(buf, Bytes(64, kFill));
  size = 0;
  RasterDataToMultiLineRasterCmdWithStrip(2, 3, nullptr, 2, buf.data(), &size, true, true);
  EXPECT_EQ(size, 16u + 6);
  EXPECT_EQ(buf, Bytes(64, kFill));
}

TEST(RasterDataToMultiLineRasterCmd, ZeroRowsPerCommandReportsNothingAndWritesNothing) {
  const Bytes raster = raster_of(4, 6);
  Bytes buf(64, kFill);
  unsigned size = 99;
  RasterDataToMultiLineRasterCmd(4, 6, raster.data(), 0, buf.data(), &size);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(buf, Bytes(64, kFill));
  size = 99;
  RasterDataToMultiLineRasterCmdWithStrip(4, 6, raster.data(), 0, buf.data(), &size, true, true);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(buf, Bytes(64, kFill));
}

TEST(RasterDataToMultiLineRasterCmd, RefusesWhatTheCommandCannotCarry) {
  unsigned size = 99;
  RasterDataToMultiLineRasterCmd(65535, 40000, nullptr, 24, nullptr, &size);
  EXPECT_EQ(size, 0u);
  size = 99;
  RasterDataToMultiLineRasterCmd(65536, 1, nullptr, 24, nullptr, &size);
  EXPECT_EQ(size, 0u);
  size = 99;
  RasterDataToMultiLineRasterCmd(1, 65536, nullptr, 65536, nullptr, &size);
  EXPECT_EQ(size, 0u);
  // A band height beyond the field is fine when the image is shorter.
  RasterDataToMultiLineRasterCmd(1, 10, nullptr, 65536, nullptr, &size);
  EXPECT_EQ(size, 18u);
  int banded = -1;
  RasterDataToRasterCmdSpecifyBankHeight(65536, 1, nullptr, 24, nullptr, &banded);
  EXPECT_EQ(banded, 0);
  size = 99;
  RasterDataToMultiLineRasterCmd(1, 0x80000000u, nullptr, 24, nullptr, &size);
  EXPECT_EQ(size, 0u);
  size = 99;
  RasterDataToMultiLineRasterCmdWithStrip(4, -3, nullptr, 24, nullptr, &size, false, false);
  EXPECT_EQ(size, 0u);
}

// 10 rows of 3 bytes; rows 0-2 and 8-9 blank, row 5 blank inside the image.
Bytes framed_raster() {
  Bytes r(30, 0);
  for (int y : {3, 4, 6, 7}) r[y * 3 + 1] = static_cast<unsigned char>(0x10 + y);
  return r;
}

TEST(RasterDataToMultiLineRasterCmdWithStrip, DropsBlankRowsAtTopAndBottomOnly) {
  const Bytes r = framed_raster();
  EXPECT_EQ(stripped(3, 10, r, 24, true, true), concat({header(3, 5), rows_of(r, 3, 3, 5)}));
  EXPECT_EQ(stripped(3, 10, r, 24, true, false), concat({header(3, 7), rows_of(r, 3, 3, 7)}));
  EXPECT_EQ(stripped(3, 10, r, 24, false, true), concat({header(3, 8), rows_of(r, 3, 0, 8)}));
  // Banding starts at the first kept row.
  EXPECT_EQ(stripped(3, 10, r, 2, true, true),
            concat({header(3, 2), rows_of(r, 3, 3, 2), header(3, 2), rows_of(r, 3, 5, 2),
                    header(3, 1), rows_of(r, 3, 7, 1)}));
}

TEST(RasterDataToMultiLineRasterCmdWithStrip, AllBlankImageLeavesNothing) {
  const Bytes blank(30, 0);
  EXPECT_TRUE(stripped(3, 10, blank, 24, true, false).empty());
  EXPECT_TRUE(stripped(3, 10, blank, 24, false, true).empty());
  EXPECT_TRUE(stripped(3, 10, blank, 24, true, true).empty());
}

TEST(RasterDataToMultiLineRasterCmdWithStrip, PaddingBitsCountAsInk) {
  // A 10-dot row whose only set bit lies beyond the width is not blank.
  Bytes r(6, 0);
  r[5] = 0x01;
  EXPECT_EQ(stripped(2, 3, r, 24, true, true), concat({header(2, 1), rows_of(r, 2, 2, 1)}));
}

TEST(RasterDataSetOverbound, ForcesDotsFromFirstDotToRowEnd) {
  const Bytes original = {0xFF, 0xFF, 0x12, 0x34, 0xAB, 0xCD};
  Bytes r = original;
  RasterDataSetOverbound(2, 10, 3, r.data(), 0);
  EXPECT_EQ(r, (Bytes{0xFF, 0xC0, 0x12, 0x00, 0xAB, 0xC0}));
  RasterDataSetOverbound(2, 10, 3, r.data(), 1);
  EXPECT_EQ(r, (Bytes{0xFF, 0xFF, 0x12, 0x3F, 0xAB, 0xFF}));
  r = original;
  RasterDataSetOverbound(2, 16, 3, r.data(), 0);
  EXPECT_EQ(r, original);
  RasterDataSetOverbound(2, 0, 3, r.data(), 1);
  EXPECT_EQ(r, Bytes(6, 0xFF));
  RasterDataSetOverbound(2, 3, 3, r.data(), 0);
  EXPECT_EQ(r, (Bytes{0xE0, 0x00, 0xE0, 0x00, 0xE0, 0x00}));
}

TEST(RasterDataSetOverbound, NegativeArgumentsChangeNothing) {
  Bytes r(6, 0x5A);
  RasterDataSetOverbound(2, -1, 3, r.data(), 1);
  RasterDataSetOverbound(-2, 0, 3, r.data(), 1);
  RasterDataSetOverbound(2, 0, -3, r.data(), 1);
  EXPECT_EQ(r, Bytes(6, 0x5A));
}

}  // namespace
