#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "command_decoders.h"
#include "img2esccmd.h"

namespace {

using quorvane::test::Bytes;

Bytes encode_page(int width, int rows, const Bytes &raster) {
  int size = -1;
  RasterDataToCompressCmd(width, rows, raster.data(), nullptr, &size);
  Bytes out(static_cast<std::size_t>(size) + 16, 0xA5);  // guard bytes after the block
  int filled = -1;
  RasterDataToCompressCmd(width, rows, raster.data(), out.data(), &filled);
  EXPECT_EQ(filled, size);
  for (std::size_t k = static_cast<std::size_t>(size); k < out.size(); ++k)
    EXPECT_EQ(out[k], 0xA5) << "written past the reported size at " << k;
  out.resize(static_cast<std::size_t>(size));
  return out;
}

Bytes encode_row(const Bytes &row) { return encode_page(static_cast<int>(row.size()) * 8, 1, row); }

Bytes cmd(std::initializer_list<unsigned char> b) { return Bytes(b); }

TEST(CompressedRasterRow, RowsThatShrinkAreRunLengthCoded) {
  EXPECT_EQ(encode_row(Bytes(72, 0x00)), cmd({0x1F, 0x28, 0x50, 0x03, 0x00, 0x02, 0x00, 0x48}));
  EXPECT_EQ(encode_row(Bytes(3, 0x00)), cmd({0x1F, 0x28, 0x50, 0x03, 0x00, 0x02, 0x00, 0x03}));
  // The last run is one byte long and still closed.
  EXPECT_EQ(encode_row({0xFF, 0xFF, 0xFF, 0xFF, 0x01}),
            cmd({0x1F, 0x28, 0x50, 0x05, 0x00, 0x04, 0xFF, 0x04, 0x01, 0x01}));
}

TEST(CompressedRasterRow, RowsThatWouldNotShrinkGoRaw) {
  // Run-length body as long as the row: raw.
  EXPECT_EQ(encode_row({0x00, 0x00}), cmd({0x1F, 0x28, 0x50, 0x03, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(encode_row({0xAA}), cmd({0x1F, 0x28, 0x50, 0x02, 0x00, 0x00, 0xAA}));

  Bytes alternating(72);
  for (std::size_t k = 0; k < alternating.size(); ++k) alternating[k] = k % 2 ? 0xFF : 0x00;
  Bytes expected = {0x1F, 0x28, 0x50, 0x49, 0x00, 0x00};
  expected.insert(expected.end(), alternating.begin(), alternating.end());
  EXPECT_EQ(encode_row(alternating), expected);
}

TEST(CompressedRasterRow, RunsAndBodiesBeyondOneByteGoRaw) {
  // One run of 300 bytes cannot be counted in one byte.
  const Bytes zeros(300, 0x00);
  const Bytes z = encode_row(zeros);
  ASSERT_EQ(z.size(), 5u + 301u);
  EXPECT_EQ(z[3], 0x2D);
  EXPECT_EQ(z[4], 0x01);
  EXPECT_EQ(z[5], 0x00);

  // 140 runs: a body of 280 bytes is shorter than the row but needs more
  // than the one-byte body kind.
  Bytes runs;
  for (int r = 0; r < 140; ++r) runs.insert(runs.end(), r == 139 ? 300 - 139 * 2 : 2, r % 2 ? 0x11 : 0x22);
  ASSERT_EQ(runs.size(), 300u);
  const Bytes c = encode_row(runs);
  ASSERT_EQ(c.size(), 5u + 301u);
  EXPECT_EQ(c[5], 0x00);

  // 127 runs (254 bytes of body) is the largest run-length body.
  Bytes most;
  for (int r = 0; r < 127; ++r) most.insert(most.end(), 3, r % 2 ? 0x11 : 0x22);
  const Bytes m = encode_row(most);
  EXPECT_EQ(m[5], 254);
  EXPECT_EQ(m.size(), 5u + 255u);
  // One run more and the body kind cannot count it.
  most.insert(most.end(), 3, 0x33);
  EXPECT_EQ(encode_row(most)[5], 0x00);
}

TEST(CompressedRasterRow, PayloadMatchesWithAndWithoutOutput) {
  const Bytes row = {0x10, 0x10, 0x10, 0x20, 0x20, 0x20, 0x20};
  int without = -1, with = -1;
  CompressDataBuf(row.data(), static_cast<int>(row.size()), nullptr, &without);
  Bytes payload(static_cast<std::size_t>(without) + 4, 0xA5);
  CompressDataBuf(row.data(), static_cast<int>(row.size()), payload.data(), &with);
  EXPECT_EQ(without, 5);
  EXPECT_EQ(with, 5);
  EXPECT_EQ(payload, cmd({0x04, 0x10, 0x03, 0x20, 0x04, 0xA5, 0xA5, 0xA5, 0xA5}));
}

TEST(CompressedRasterPage, RoundTripsOverWidthsAndPages) {
  for (int width : {8, 13, 100, 576, 2040, 2400}) {
    const int row_bytes = (width + 7) / 8;
    for (int rows : {1, 23, 24, 25, 97}) {
      SCOPED_TRACE(testing::Message() << "width " << width << " rows " << rows);
      for (const Bytes &raster :
           {Bytes(static_cast<std::size_t>(row_bytes) * rows, 0),
            quorvane::test::noisy_raster(static_cast<std::size_t>(row_bytes) * rows, width + rows),
            quorvane::test::mixed_raster(row_bytes, rows, width)}) {
        const auto decoded = quorvane::test::decode_run_length_rows(encode_page(width, rows, raster), row_bytes);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(*decoded, raster);
      }
    }
  }
}

TEST(CompressedRasterPage, RowLengthAtTheLimitOfTheLengthField) {
  // 65534 bytes raw gives L = 65535, the largest the field holds.
  const Bytes row = quorvane::test::noisy_raster(65534, 7);
  const Bytes block = encode_page(65534 * 8, 1, row);
  ASSERT_EQ(block.size(), 5u + 65535u);
  EXPECT_EQ(block[3], 0xFF);
  EXPECT_EQ(block[4], 0xFF);
  EXPECT_EQ(quorvane::test::decode_run_length_rows(block, 65534), row);
}

TEST(CompressedRasterPage, PagesTheCommandCannotCarryReportNothing) {
  const Bytes row(65535, 0x55);
  Bytes out(16, 0xA5);
  int size = -1;
  // A 65535-byte raw row would need L = 65536.
  RasterDataToCompressCmd(65535 * 8, 1, row.data(), nullptr, &size);
  EXPECT_EQ(size, 0);
  size = -1;
  RasterDataToCompressCmd(65535 * 8, 1, row.data(), out.data(), &size);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(out, Bytes(16, 0xA5));

  for (auto [width, rows, raster] :
       {std::tuple{576, 2, static_cast<const unsigned char *>(nullptr)},
        std::tuple{0, 2, row.data()}, std::tuple{-8, 2, row.data()}, std::tuple{8, 0, row.data()},
        std::tuple{8, -3, row.data()}, std::tuple{INT_MAX, 1, row.data()}}) {
    size = -1;
    RasterDataToCompressCmd(width, rows, raster, out.data(), &size);
    EXPECT_EQ(size, 0) << width << " x " << rows;
  }
  EXPECT_EQ(out, Bytes(16, 0xA5));

  int produced = -1;
  CompressDataBuf(row.data(), 65535, nullptr, &produced);
  EXPECT_EQ(produced, 0);
  CompressDataBuf(row.data(), 0, nullptr, &produced);
  EXPECT_EQ(produced, 0);
  CompressDataBuf(nullptr, 5, nullptr, &produced);
  EXPECT_EQ(produced, 0);
}

TEST(CompressedRasterPage, SizeBeyondIntIsRefusedBeforeWriting) {
  // One-byte rows go raw as 7 bytes each; this many rows need INT_MAX + 6.
  // The page is sized before anything is written, since no caller could
  // have a buffer of that size.
  const int rows = INT_MAX / 7 + 1;
  const Bytes raster(static_cast<std::size_t>(rows), 0xAA);
  Bytes out(64, 0xA5);
  int size = -1;
  RasterDataToCompressCmd(8, rows, raster.data(), out.data(), &size);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(out, Bytes(64, 0xA5));
}

}  // namespace
