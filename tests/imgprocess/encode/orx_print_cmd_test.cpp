#include <gtest/gtest.h>

#include <malloc.h>

#include <climits>
#include <cstdlib>
#include <memory>

#include "command_decoders.h"
#include "img2esccmd.h"

namespace {

using quorvane::test::Bytes;

struct OrxJob {
  bool ok = false;
  int size = -1;
  Bytes bytes;
  std::size_t usable = 0;
};

OrxJob make_job(const ORXPrintParam &p, int row_length, int rows, const unsigned char *raster) {
  OrxJob j;
  unsigned char *buf = RasterDataToORXPrintCmd(p, row_length, rows, raster, &j.size);
  if (buf) {
    j.ok = true;
    j.bytes.assign(buf, buf + j.size);
    j.usable = malloc_usable_size(buf);
  }
  std::free(buf);
  return j;
}

Bytes banded(int row_length, int rows, const Bytes &raster) {
  int size = 0;
  RasterDataToRasterCmdSpecifyBankHeight(row_length, rows, raster.data(), 24, nullptr, &size);
  Bytes out(static_cast<std::size_t>(size));
  RasterDataToRasterCmdSpecifyBankHeight(row_length, rows, raster.data(), 24, out.data(), &size);
  return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes &p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

const Bytes kPage = quorvane::test::mixed_raster(72, 30, 1);

TEST(OrxPrintCmd, PlainJobIsTheBandedImage) {
  const OrxJob j = make_job(ORXPrintParam{}, 72, 30, kPage.data());
  ASSERT_TRUE(j.ok);
  EXPECT_EQ(j.bytes, banded(72, 30, kPage));
  ORXPrintParam other{};
  other.image_compression = 5;
  EXPECT_EQ(make_job(other, 72, 30, kPage.data()).bytes, j.bytes);
}

TEST(OrxPrintCmd, SettingsBracketFeedAndCutInOrder) {
  ORXPrintParam p{};
  p.vres = 203;
  p.paper_type = 1;
  p.density_enable = 1;
  p.density = 8;
  p.speed_enable = 1;
  p.speed = 4;
  p.finish_print_feed = 10;
  p.finish_print_cut = 1;
  const OrxJob j = make_job(p, 72, 30, kPage.data());
  ASSERT_TRUE(j.ok);
  EXPECT_EQ(j.bytes, concat({{0x12, 0x23, 0x08},
                             {0x1F, 0x28, 0x73, 0x02, 0x00, 0x64, 0x00},
                             {0x1A, 0x0C, 0xFF},
                             banded(72, 30, kPage),
                             {0x1A, 0x0C, 0x00},
                             {0x1B, 0x4A, 0x50},
                             {0x1B, 0x6D}}));
}

TEST(OrxPrintCmd, OutOfRangeSettingsSendNothing) {
  for (int density : {-1, 16}) {
    ORXPrintParam p{};
    p.density_enable = 1;
    p.density = density;
    EXPECT_EQ(make_job(p, 72, 30, kPage.data()).bytes, banded(72, 30, kPage)) << density;
  }
  // Speeds whose value does not fit the command's 16 bits (or overflow an
  // int when multiplied) are left out rather than sent wrapped.
  for (int speed : {0, -4, 2622, INT_MAX}) {
    ORXPrintParam p{};
    p.speed_enable = 1;
    p.speed = speed;
    EXPECT_EQ(make_job(p, 72, 30, kPage.data()).bytes, banded(72, 30, kPage)) << speed;
  }
  ORXPrintParam p{};
  p.speed_enable = 1;
  p.speed = 2621;  // 65525, the largest multiple of 25 that fits
  p.finish_print_cut = 3;
  p.paper_type = 2;
  EXPECT_EQ(make_job(p, 72, 30, kPage.data()).bytes,
            concat({{0x1F, 0x28, 0x73, 0x02, 0x00, 0xF5, 0xFF}, banded(72, 30, kPage)}));
}

TEST(OrxPrintCmd, FeedGoesInStepsOf255Dots) {
  auto tail = [](int feed_mm, int vres) {
    ORXPrintParam p{};
    p.vres = vres;
    p.finish_print_feed = feed_mm;
    p.finish_print_cut = 2;
    const OrxJob j = make_job(p, 0, 0, nullptr);
    EXPECT_TRUE(j.ok);
    return j.bytes;
  };
  // 32 mm at 203 dpi: 255.76 -> 256 dots.
  EXPECT_EQ(tail(32, 203), (Bytes{0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 0x01, 0x1B, 0x69}));
  // 254 mm at 255 dpi is exactly 2550 dots: ten full steps, no remainder.
  Bytes ten;
  for (int k = 0; k < 10; ++k) ten.insert(ten.end(), {0x1B, 0x4A, 0xFF});
  ten.insert(ten.end(), {0x1B, 0x69});
  EXPECT_EQ(tail(254, 255), ten);
  // 127 mm at 510 dpi: 2550 dots as well, computed in double precision.
  EXPECT_EQ(tail(127, 510), ten);
  EXPECT_EQ(tail(10, 203), (Bytes{0x1B, 0x4A, 0x50, 0x1B, 0x69}));
  EXPECT_EQ(tail(0, 203), (Bytes{0x1B, 0x69}));
  EXPECT_EQ(tail(10, -203), (Bytes{0x1B, 0x69}));
  // 1 mm at 1 dpi rounds to 0 dots: no feed.
  EXPECT_EQ(tail(1, 1), (Bytes{0x1B, 0x69}));
}

TEST(OrxPrintCmd, CompressedImageBlocksRoundTrip) {
  const Bytes photo = quorvane::test::noisy_raster(72 * 1000, 2);
  ORXPrintParam p{};
  p.image_compression = 1;
  const OrxJob rle = make_job(p, 72, 1000, photo.data());
  ASSERT_TRUE(rle.ok);
  // Every row goes raw: 78 bytes a row, more than the raster plus 4096.
  ASSERT_EQ(rle.size, 1000 * 78);
  EXPECT_GE(rle.usable, 1000u * 78u);
  EXPECT_EQ(quorvane::test::decode_run_length_rows(rle.bytes, 72), photo);

  p.image_compression = 2;
  p.paper_type = 1;
  const OrxJob jbig = make_job(p, 72, 50, photo.data());
  ASSERT_TRUE(jbig.ok);
  ASSERT_GE(jbig.bytes.size(), 6u);
  EXPECT_EQ(Bytes(jbig.bytes.begin(), jbig.bytes.begin() + 3), (Bytes{0x1A, 0x0C, 0xFF}));
  EXPECT_EQ(Bytes(jbig.bytes.end() - 3, jbig.bytes.end()), (Bytes{0x1A, 0x0C, 0x00}));
  const auto bands = quorvane::test::decode_jbig_bands(
      std::span<const unsigned char>(jbig.bytes).subspan(3, jbig.bytes.size() - 6));
  ASSERT_TRUE(bands.has_value());
  ASSERT_EQ(bands->size(), 3u);
  EXPECT_EQ(quorvane::test::join_band_rasters(*bands), Bytes(photo.begin(), photo.begin() + 72 * 50));
}

TEST(OrxPrintCmd, NoImageWithoutRows) {
  ORXPrintParam p{};
  p.finish_print_cut = 1;
  for (auto [rl, rows, ptr] : {std::tuple{0, 30, kPage.data()}, std::tuple{72, 0, kPage.data()},
                               std::tuple{-72, -30, kPage.data()},
                               std::tuple{72, 30, static_cast<const unsigned char *>(nullptr)}}) {
    const OrxJob j = make_job(p, rl, rows, ptr);
    ASSERT_TRUE(j.ok);
    EXPECT_EQ(j.bytes, (Bytes{0x1B, 0x6D}));
  }
}

TEST(OrxPrintCmd, ImageTheEncoderRefusesFailsThePage) {
  // Rows of 65535 bytes: the run-length L field cannot hold a raw row, and
  // 524280 dots are too wide for a JBIG band.
  const Bytes wide(65535, 0x55);
  for (int compression : {1, 2}) {
    ORXPrintParam p{};
    p.image_compression = compression;
    p.finish_print_cut = 1;
    int size = -1;
    unsigned char *job = RasterDataToORXPrintCmd(p, 65535, 1, wide.data(), &size);
    EXPECT_EQ(job, nullptr) << compression;
    EXPECT_EQ(size, 0);
    std::free(job);
  }
  // A row length whose dot count overflows an int.
  ORXPrintParam p{};
  p.image_compression = 1;
  int size = -1;
  unsigned char *job = RasterDataToORXPrintCmd(p, INT_MAX / 4, 1, wide.data(), &size);
  EXPECT_EQ(job, nullptr);
  EXPECT_EQ(size, 0);
  std::free(job);
}

TEST(OrxPrintCmd, SizesBeyondIntAreRefused) {
  // A feed of INT_MAX mm at INT_MAX dpi is far more dots than an int holds.
  ORXPrintParam p{};
  p.vres = INT_MAX;
  p.finish_print_feed = INT_MAX;
  int size = -1;
  unsigned char *job = RasterDataToORXPrintCmd(p, 0, 0, nullptr, &size);
  EXPECT_EQ(job, nullptr);
  EXPECT_EQ(size, 0);
  std::free(job);
  // A banded image beyond an int; its bytes are never read.
  job = RasterDataToORXPrintCmd(ORXPrintParam{}, 65535, 40000, kPage.data(), &size);
  EXPECT_EQ(job, nullptr);
  EXPECT_EQ(size, 0);
  std::free(job);
}

}  // namespace
