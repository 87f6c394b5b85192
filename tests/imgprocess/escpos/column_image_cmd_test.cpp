#include <gtest/gtest.h>

#include "guarded_output.h"
#include "img2esccmd.h"

namespace {

using quorvane::test::Bytes;
using quorvane::test::concat;
using quorvane::test::kFill;
using quorvane::test::pack_rows;
using quorvane::test::pattern_image1;
using quorvane::test::two_call_int;

Bytes nv_data(int w, int h, const Bytes &img) {
  return two_call_int([&](unsigned char *o, int *s) { Image1ToNVData(w, h, img.data(), o, s); });
}
Bytes gs_cmd(int w, int h, const Bytes &img) {
  return two_call_int([&](unsigned char *o, int *s) { Image1ToGSCmd(w, h, img.data(), o, s); });
}

// Columns of an all-black 10 x 20 image: yb = 3, the last byte's low 4 bits
// lie below the image; columns 10 to 15 lie beside it.
Bytes black_10x20_columns() {
  Bytes data;
  for (int x = 0; x < 10; ++x) data.insert(data.end(), {0xFF, 0xFF, 0xF0});
  data.insert(data.end(), 18, 0x00);
  return data;
}

TEST(Image1ToNVData, HeaderThenColumnsOfYbBytes) {
  EXPECT_EQ(nv_data(10, 20, Bytes(200, 1)), concat({{0x02, 0x00, 0x03, 0x00}, black_10x20_columns()}));
}

TEST(Image1ToGSCmd, SameColumnsBehindGsStar) {
  EXPECT_EQ(gs_cmd(10, 20, Bytes(200, 1)), concat({{0x1D, 0x2A, 0x02, 0x03}, black_10x20_columns()}));
}

TEST(Image1ToNVData, TopDotIsMostSignificantColumnsLeftToRight) {
  // 3 x 9: dot (0, 0), dot (1, 7), dot (2, 8).
  Bytes img(27, 0);
  img[0] = 1;
  img[7 * 3 + 1] = 1;
  img[8 * 3 + 2] = 1;
  const Bytes nv = nv_data(3, 9, img);
  EXPECT_EQ(nv, concat({{0x01, 0x00, 0x02, 0x00},
                        {0x80, 0x00, 0x01, 0x00, 0x00, 0x80},
                        Bytes(10, 0)}));
}

TEST(Image1ToNVData, WideImageUsesHighByte) {
  const Bytes nv = nv_data(2048, 1, Bytes(2048, 0));
  ASSERT_EQ(nv.size(), 4u + 256 * 8);
  EXPECT_EQ(Bytes(nv.begin(), nv.begin() + 4), (Bytes{0x00, 0x01, 0x01, 0x00}));
}

TEST(Image1ToGSCmd, SizesBeyondItsSingleByteFieldsAreRefused) {
  int size = -1;
  Image1ToGSCmd(2048, 8, nullptr, nullptr, &size);
  EXPECT_EQ(size, 0);
  size = -1;
  ConvertHorizontalRasterImageToDownloadImageCmd(1, 8, 2048, nullptr, nullptr, &size);
  EXPECT_EQ(size, 0);
  const Bytes cmd = gs_cmd(2040, 1, Bytes(2040, 0));
  EXPECT_EQ(Bytes(cmd.begin(), cmd.begin() + 4), (Bytes{0x1D, 0x2A, 0xFF, 0x01}));
  // The data alone have no header to overflow.
  ConvertHorizontalRasterImageToDownloadImageData(256, 2048, 8, nullptr, nullptr, &size);
  EXPECT_EQ(size, 256 * 8);
}

TEST(ConvertImage1ToVerticalRasterImage, ColumnHeightFromTheImage) {
  Bytes img(9, 0);
  img[8] = 1;
  int hs = -1;
  const Bytes out = two_call_int([&](unsigned char *o, int *s) {
    ConvertImage1ToVerticalRasterImage(1, 9, img.data(), &hs, o, s);
  });
  EXPECT_EQ(hs, 2);
  EXPECT_EQ(out, (Bytes{0x00, 0x80}));
}

TEST(ConvertImage1ToVerticalRasterImage, GivenHeightStrideDropsLowerRows) {
  const Bytes out = two_call_int([&](unsigned char *o, int *s) {
    const Bytes img(60, 1);
    ConvertImage1ToVerticalRasterImageSpecifyHeightStride(2, 30, img.data(), 3, o, s);
  });
  EXPECT_EQ(out, Bytes(6, 0xFF));
  // A taller stride leaves the rows below the image clear.
  const Bytes tall = two_call_int([&](unsigned char *o, int *s) {
    const Bytes img(2, 1);
    ConvertImage1ToVerticalRasterImageSpecifyHeightStride(1, 2, img.data(), 2, o, s);
  });
  EXPECT_EQ(tall, (Bytes{0xC0, 0x00}));
}

TEST(ConvertImage1ToVerticalRasterImage, ByteAlignmentRoundsBothWays) {
  const Bytes img = pattern_image1(10, 20);
  const Bytes aligned = two_call_int([&](unsigned char *o, int *s) {
    ConvertImage1ToVerticalRasterImageSpecifyByteAlignment(10, 20, img.data(), 3, 2, o, s);
  });
  ASSERT_EQ(aligned.size(), 96u);  // 24 columns of 4 bytes
  const Bytes plain = two_call_int([&](unsigned char *o, int *s) {
    ConvertImage1ToVerticalRasterImage(10, 20, img.data(), nullptr, o, s);
  });
  for (int x = 0; x < 24; ++x) {
    for (int b = 0; b < 4; ++b) {
      const unsigned char expected = x < 10 && b < 3 ? plain[x * 3 + b] : 0;
      EXPECT_EQ(aligned[x * 4 + b], expected) << "column " << x << " byte " << b;
    }
  }
  // Alignments of 1 give exactly the data of the NV block.
  const Bytes unit = two_call_int([&](unsigned char *o, int *s) {
    ConvertImage1ToVerticalRasterImageSpecifyByteAlignment(10, 20, img.data(), 1, 1, o, s);
  });
  const Bytes nv = nv_data(10, 20, img);
  EXPECT_EQ(unit, Bytes(nv.begin() + 4, nv.end()));
}

TEST(ConvertImage1ToVerticalRasterImage, DestinationSizeClipsColumnsAndRows) {
  const Bytes img(10 * 12, 1);
  Bytes buf(8 * 1 + 4, kFill);
  ConvertImage1ToVerticalRasterImageSpecifyDstWidthAndHeight(10, 12, img.data(), 8, 1, buf.data());
  EXPECT_EQ(buf, concat({Bytes(8, 0xFF), Bytes(4, kFill)}));
  // Wider than the image: the extra columns are cleared.
  Bytes wide(12 * 2 + 4, kFill);
  ConvertImage1ToVerticalRasterImageSpecifyDstWidthAndHeight(10, 12, img.data(), 12, 2, wide.data());
  Bytes expected;
  for (int x = 0; x < 10; ++x) expected.insert(expected.end(), {0xFF, 0xF0});
  expected.insert(expected.end(), 4, 0x00);
  EXPECT_EQ(wide, concat({expected, Bytes(4, kFill)}));
}

TEST(ConvertImage1ToVerticalRasterImage, InvalidLayoutsReportZero) {
  const Bytes img(4, 1);
  int size = -1;
  ConvertImage1ToVerticalRasterImageSpecifyByteAlignment(2, 2, img.data(), 0, 1, nullptr, &size);
  EXPECT_EQ(size, 0);
  size = -1;
  ConvertImage1ToVerticalRasterImageSpecifyByteAlignment(2, 2, img.data(), 1, -2, nullptr, &size);
  EXPECT_EQ(size, 0);
  size = -1;
  ConvertImage1ToVerticalRasterImageSpecifyHeightStride(2, 2, img.data(), -1, nullptr, &size);
  EXPECT_EQ(size, 0);
  size = -1;
  ConvertImage1ToVerticalRasterImageSpecifyByteAlignment(8, 8, img.data(), INT_MAX, 1, nullptr, &size);
  EXPECT_EQ(size, 0);
  Bytes buf(4, kFill);
  ConvertImage1ToVerticalRasterImageSpecifyDstWidthAndHeight(2, 2, img.data(), -4, 1, buf.data());
  EXPECT_EQ(buf, Bytes(4, kFill));
  // Null output and null size: nothing at all.
  ConvertImage1ToVerticalRasterImage(2, 2, img.data(), nullptr, nullptr, nullptr);
  ConvertHorizontalRasterImageToNVData(1, 2, 2, img.data(), nullptr, nullptr);
}

TEST(ConvertHorizontalRasterImageToImage1, IgnoresBitsAndBytesBeyondTheWidth) {
  const Bytes raster = {0xA5, 0xFF, 0xFF,  //
                        0x00, 0x40, 0xFF};
  Bytes out(21, kFill);
  ConvertHorizontalRasterImageToImage1(3, 10, 2, raster.data(), out.data());
  EXPECT_EQ(out, (Bytes{1, 0, 1, 0, 0, 1, 0, 1, 1, 1,  //
                        0, 0, 0, 0, 0, 0, 0, 0, 0, 1, kFill}));
}

TEST(ConvertHorizontalRasterImageToImage1, ShortRowsAreRefused) {
  const Bytes raster(2, 0xFF);
  Bytes out(20, kFill);
  ConvertHorizontalRasterImageToImage1(1, 10, 2, raster.data(), out.data());
  EXPECT_EQ(out, Bytes(20, kFill));
}

class RasterRoute : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(RasterRoute, SameBytesAsTheImage1Route) {
  const auto [w, h] = GetParam();
  const Bytes img = pattern_image1(w, h, static_cast<unsigned>(w * 31 + h));
  const int row_length = (w + 7) / 8 + 2;
  // Padding bits and spare bytes set: the raster route must ignore them.
  const Bytes raster = pack_rows(img, w, h, row_length, 0xFF);
  const auto raster_call = [&](auto fn) {
    return two_call_int([&](unsigned char *o, int *s) { fn(row_length, w, h, raster.data(), o, s); });
  };
  const Bytes gs = gs_cmd(w, h, img);
  EXPECT_EQ(raster_call(ConvertHorizontalRasterImageToNVData), nv_data(w, h, img));
  EXPECT_EQ(raster_call(ConvertHorizontalRasterImageToDownloadImageCmd), gs);
  EXPECT_EQ(raster_call(ConvertHorizontalRasterImageToDownloadImageData),
            Bytes(gs.begin() + 4, gs.end()));
}

INSTANTIATE_TEST_SUITE_P(Sizes, RasterRoute,
                         ::testing::Values(std::pair{10, 20}, std::pair{1, 1}, std::pair{8, 8},
                                           std::pair{21, 13}, std::pair{64, 3}, std::pair{3, 40}));

TEST(RasterRoute, ShortRowsReportZero) {
  const Bytes raster(20, 0xFF);
  int size = -1;
  ConvertHorizontalRasterImageToDownloadImageCmd(1, 10, 20, raster.data(), nullptr, &size);
  EXPECT_EQ(size, 0);
}

}  // namespace
