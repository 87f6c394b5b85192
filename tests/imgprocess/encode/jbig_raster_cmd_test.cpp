#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "command_decoders.h"
#include "img2esccmd.h"

namespace {

using quorvane::test::Bytes;
using quorvane::test::decode_jbig_bands;

struct Encoded {
  int size = -1;
  int written = -1;
  Bytes block;
};

// The two calls of the page pipeline, with guard bytes after the buffer.
Encoded encode_page(int width, int height, const Bytes &raster) {
  Encoded e;
  int query_written = -1;
  RasterDataToJBIG5Cmd(width, height, raster.data(), nullptr, 0, &e.size, &query_written);
  EXPECT_EQ(query_written, 0);
  if (e.size <= 0) return e;
  Bytes out(static_cast<std::size_t>(e.size) + 32, 0xA5);
  int size2 = -1;
  RasterDataToJBIG5Cmd(width, height, raster.data(), out.data(), e.size, &size2, &e.written);
  EXPECT_EQ(size2, e.size);
  for (std::size_t k = static_cast<std::size_t>(e.size); k < out.size(); ++k)
    EXPECT_EQ(out[k], 0xA5) << "written past the capacity at " << k;
  out.resize(static_cast<std::size_t>(e.size));
  e.block = std::move(out);
  return e;
}

TEST(JbigRasterPage, RoundTripsThroughTheT85Decoder) {
  for (int width : {1, 13, 100, 576, 1000}) {
    const std::size_t row_bytes = (static_cast<std::size_t>(width) + 7) / 8;
    for (int height : {1, 23, 24, 25, 47, 48, 49, 100}) {
      SCOPED_TRACE(testing::Message() << "width " << width << " height " << height);
      for (const Bytes &raster :
           {Bytes(row_bytes * height, 0),
            quorvane::test::noisy_raster(row_bytes * height, width * 31 + height, 60),
            quorvane::test::mixed_raster(static_cast<int>(row_bytes), height, width)}) {
        // Bits past the width are 0 in a Mono raster; the coder drops them.
        Bytes page = raster;
        if (width % 8)
          for (std::size_t r = 0; r < static_cast<std::size_t>(height); ++r)
            page[r * row_bytes + row_bytes - 1] &= static_cast<unsigned char>(0xFF << (8 - width % 8));
        const Encoded e = encode_page(width, height, page);
        ASSERT_GT(e.size, 0);
        EXPECT_EQ(e.written, e.size);
        const auto bands = decode_jbig_bands(e.block);
        ASSERT_TRUE(bands.has_value());
        ASSERT_EQ(bands->size(), static_cast<std::size_t>((height + 23) / 24));
        for (std::size_t b = 0; b < bands->size(); ++b) {
          const int rows = std::min(24, height - static_cast<int>(b) * 24);
          EXPECT_EQ((*bands)[b].width, width);
          EXPECT_EQ((*bands)[b].rows, rows);
          EXPECT_EQ((*bands)[b].bih_width, static_cast<unsigned long>(width));
          EXPECT_EQ((*bands)[b].bih_height, static_cast<unsigned long>(rows));
        }
        EXPECT_EQ(quorvane::test::join_band_rasters(*bands), page);
      }
    }
  }
}

TEST(JbigRasterPage, BandHeadersCarryTheCoderDefaults) {
  const Bytes raster = quorvane::test::noisy_raster(72 * 25, 3);
  const Encoded e = encode_page(576, 25, raster);
  ASSERT_GE(e.block.size(), 8u);
  // First band: 1F 28 4A, parameter length, width 576 = 40 02, 24 rows.
  EXPECT_EQ(e.block[0], 0x1F);
  EXPECT_EQ(e.block[1], 0x28);
  EXPECT_EQ(e.block[2], 0x4A);
  EXPECT_EQ(e.block[5], 0x40);
  EXPECT_EQ(e.block[6], 0x02);
  EXPECT_EQ(e.block[7], 0x18);
  const auto bands = decode_jbig_bands(e.block);
  ASSERT_TRUE(bands.has_value());
  ASSERT_EQ(bands->size(), 2u);
  const auto &first = (*bands)[0];
  EXPECT_EQ(e.block[3] | (e.block[4] << 8), static_cast<int>(first.bie.size()) + 3);
  EXPECT_EQ(first.bih_l0, 128u);
  EXPECT_EQ(first.bih_mx, 127);
  EXPECT_EQ(first.bih_options, 0);
  EXPECT_EQ((*bands)[1].rows, 1);
  EXPECT_EQ((*bands)[1].bih_height, 1u);
}

TEST(JbigRasterPage, WidthFieldIsTheWidthArgument) {
  // 100 dots travel as 100 (64 00), not as the 104 dots of 13 whole bytes.
  const Encoded e = encode_page(100, 3, Bytes(13 * 3, 0));
  ASSERT_GE(e.block.size(), 8u);
  EXPECT_EQ(e.block[5], 0x64);
  EXPECT_EQ(e.block[6], 0x00);
}

TEST(JbigRasterPage, BandsThatDoNotFitTheCapacityAreLeftOut) {
  // Band 0 noisy (large BIE), band 1 blank (tiny BIE).
  Bytes raster = quorvane::test::noisy_raster(72 * 24, 9);
  raster.resize(72 * 48, 0);
  const Encoded whole = encode_page(576, 48, raster);
  const auto bands = decode_jbig_bands(whole.block);
  ASSERT_TRUE(bands.has_value());
  ASSERT_EQ(bands->size(), 2u);
  const int first = static_cast<int>((*bands)[0].bie.size()) + 8;
  const int second = static_cast<int>((*bands)[1].bie.size()) + 8;
  ASSERT_GT(first, second);

  // Room for the second band only: it takes the first band's place.
  Bytes out(static_cast<std::size_t>(second) + 16, 0xA5);
  int size = -1, written = -1;
  RasterDataToJBIG5Cmd(576, 48, raster.data(), out.data(), second, &size, &written);
  EXPECT_EQ(size, whole.size);
  EXPECT_EQ(written, second);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + second, whole.block.begin() + first));
  EXPECT_TRUE(std::all_of(out.begin() + second, out.end(), [](unsigned char b) { return b == 0xA5; }));

  // One byte short of the second band: nothing at all.
  std::fill(out.begin(), out.end(), 0xA5);
  RasterDataToJBIG5Cmd(576, 48, raster.data(), out.data(), second - 1, &size, &written);
  EXPECT_EQ(size, whole.size);
  EXPECT_EQ(written, 0);
  EXPECT_TRUE(std::all_of(out.begin() + second - 1, out.end(), [](unsigned char b) { return b == 0xA5; }));
}

TEST(JbigRasterPage, NullOutputStoresNothingWhateverTheCapacity) {
  const Bytes raster(72 * 24, 0);
  int size = -1, written = -1;
  RasterDataToJBIG5Cmd(576, 24, raster.data(), nullptr, 1 << 20, &size, &written);
  EXPECT_GT(size, 8);
  EXPECT_EQ(written, 0);
  // Either out-parameter may be left out.
  RasterDataToJBIG5Cmd(576, 24, raster.data(), nullptr, 0, nullptr, nullptr);
}

TEST(JbigRasterPage, PagesTheCommandCannotCarryReportSizeZero) {
  const Bytes small(16, 0);
  Bytes out(64, 0xA5);
  for (auto [width, height, raster] :
       {std::tuple{65536, 1, small.data()}, std::tuple{0, 1, small.data()},
        std::tuple{-5, 1, small.data()}, std::tuple{8, 0, small.data()},
        std::tuple{8, -24, small.data()},
        std::tuple{8, 2, static_cast<const unsigned char *>(nullptr)}}) {
    int size = -1, written = -1;
    RasterDataToJBIG5Cmd(width, height, raster, out.data(), 64, &size, &written);
    EXPECT_EQ(size, 0) << width << " x " << height;
    EXPECT_EQ(written, 0);
  }
  EXPECT_EQ(out, Bytes(64, 0xA5));
}

TEST(JbigRasterPage, BandWhoseBieOverflowsTheLengthFieldFailsThePage) {
  // 24 rows of 65535 noisy dots compress to far more than 65532 bytes.
  const int width = 65535;
  const std::size_t row_bytes = (width + 7) / 8;
  Bytes raster = quorvane::test::noisy_raster(row_bytes * 24, 5);
  for (std::size_t r = 0; r < 24; ++r) raster[r * row_bytes + row_bytes - 1] &= 0xFE;
  int size = -1, written = -1;
  RasterDataToJBIG5Cmd(width, 24, raster.data(), nullptr, 0, &size, &written);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(written, 0);

  // The widest page the field allows still works when it compresses.
  const Bytes blank(row_bytes * 24, 0);
  const Encoded e = encode_page(width, 24, blank);
  ASSERT_GT(e.size, 0);
  EXPECT_EQ(e.block[5], 0xFF);
  EXPECT_EQ(e.block[6], 0xFF);
  const auto bands = decode_jbig_bands(e.block);
  ASSERT_TRUE(bands.has_value());
  EXPECT_EQ(quorvane::test::join_band_rasters(*bands), blank);
}

TEST(JbigBand, SinkStoresOnlyPiecesThatFitWhole) {
  unsigned char area[6];
  std::fill(std::begin(area), std::end(area), 0xA5);
  BieSink sink{area, 5, 0, 0};
  const unsigned char a[] = {1, 2, 3}, b[] = {4, 5, 6}, c[] = {7, 8};
  output_bie(a, 3, &sink);
  output_bie(b, 3, &sink);  // would end at 6 > 5: dropped
  output_bie(c, 2, &sink);  // still fits after the first piece
  EXPECT_EQ(sink.produced, 8);
  EXPECT_EQ(sink.stored, 5);
  EXPECT_EQ(Bytes(area, area + 6), (Bytes{1, 2, 3, 7, 8, 0xA5}));
}

TEST(JbigBand, ReportsTheBieLengthWhetherStoredOrNot) {
  const Bytes raster = quorvane::test::noisy_raster(10 * 24, 11);
  int full = -1;
  EXPECT_FALSE(RasterDataCompressToJBIG85Data(80, 24, raster.data(), nullptr, 0, &full));
  ASSERT_GT(full, 20);
  Bytes out(static_cast<std::size_t>(full) + 8, 0xA5);
  int len = -1;
  EXPECT_TRUE(RasterDataCompressToJBIG85Data(80, 24, raster.data(), out.data(), full, &len));
  EXPECT_EQ(len, full);
  EXPECT_EQ(out[static_cast<std::size_t>(full)], 0xA5);
  EXPECT_FALSE(RasterDataCompressToJBIG85Data(80, 24, raster.data(), out.data(), full - 1, &len));
  EXPECT_EQ(len, full);
}

}  // namespace
