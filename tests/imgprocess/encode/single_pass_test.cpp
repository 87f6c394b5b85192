// The page path codes run-length and JBIG pages once; the blocks must be
// the bytes of the two-call protocol, also when the first try runs short.
#include <gtest/gtest.h>

#include <vector>

#include "command_decoders.h"
#include "encode/single_pass.h"
#include "img2esccmd.h"

namespace {

using quorvane::test::Bytes;

Bytes two_call_compressed(int width, int rows, const Bytes &raster) {
  int size = 0;
  RasterDataToCompressCmd(width, rows, raster.data(), nullptr, &size);
  Bytes out(static_cast<std::size_t>(size));
  RasterDataToCompressCmd(width, rows, raster.data(), out.data(), &size);
  return out;
}

Bytes two_call_jbig(int width, int rows, const Bytes &raster) {
  int size = 0, written = 0;
  RasterDataToJBIG5Cmd(width, rows, raster.data(), nullptr, 0, &size, &written);
  Bytes out(static_cast<std::size_t>(size));
  RasterDataToJBIG5Cmd(width, rows, raster.data(), out.data(), size, &size, &written);
  EXPECT_EQ(written, size);
  return out;
}

std::vector<Bytes> rasters(int row_bytes, int rows) {
  const auto n = static_cast<std::size_t>(row_bytes) * rows;
  return {Bytes(n, 0), Bytes(n, 0xFF), quorvane::test::noisy_raster(n, 21, 128),
          quorvane::test::mixed_raster(row_bytes, rows, 5)};
}

TEST(SinglePass, RunLengthBlockIsTheTwoCallBlock) {
  for (int row_bytes : {1, 2, 9, 72, 300})
    for (int rows : {1, 24, 61})
      for (const Bytes &raster : rasters(row_bytes, rows)) {
        int size = -1;
        quorvane::MallocBuffer block =
            quorvane::compressed_block_once(row_bytes * 8, rows, raster.data(), size);
        ASSERT_TRUE(block);
        EXPECT_EQ(Bytes(block.get(), block.get() + size), two_call_compressed(row_bytes * 8, rows, raster))
            << row_bytes << " bytes x " << rows << " rows";
      }
}

TEST(SinglePass, JbigBlockIsTheTwoCallBlockWithRoomToSpareOrNot) {
  for (int row_bytes : {1, 72})
    for (int rows : {1, 24, 49})
      for (const Bytes &raster : rasters(row_bytes, rows)) {
        const Bytes expected = two_call_jbig(row_bytes * 8, rows, raster);
        // Ample room, room for all but the last byte (a band left out, so
        // coded again), and none at all.
        for (long long room : {-1LL, static_cast<long long>(expected.size()) - 1, 0LL}) {
          int size = -1;
          quorvane::MallocBuffer block =
              quorvane::jbig_block_once(row_bytes * 8, rows, raster.data(), size, room);
          ASSERT_TRUE(block) << "room " << room;
          EXPECT_EQ(Bytes(block.get(), block.get() + size), expected)
              << row_bytes << " bytes x " << rows << " rows, room " << room;
        }
      }
}

TEST(SinglePass, RefusedPagesGiveNoBlock) {
  const Bytes raster(16, 0);
  int size = -1;
  EXPECT_FALSE(quorvane::jbig_block_once(70000, 1, raster.data(), size));  // wider than 65535 dots
  EXPECT_EQ(size, 0);
  size = -1;
  EXPECT_FALSE(quorvane::compressed_block_once(8, 0, raster.data(), size));
  EXPECT_EQ(size, 0);
}

}  // namespace
