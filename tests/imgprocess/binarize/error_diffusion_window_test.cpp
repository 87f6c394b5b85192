// The page path's error diffusion keeps three rows of the plane; it must set
// exactly the dots that diffusing the whole plane sets.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "binarize/diffusion_shares.h"
#include "img2esccmd.h"
#include "malloc_buffer.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes whole_plane(const Bytes &gray, int width, int height, int stride) {
  std::vector<double> plane(static_cast<std::size_t>(width) * height);
  for (int i = 0; i < height; ++i)
    for (int j = 0; j < width; ++j)
      plane[static_cast<std::size_t>(i) * width + j] = gray[static_cast<std::size_t>(i) * stride + j];
  Trellimo_ImgUtils_dither_image_5x5(width, height, plane.data(), plane.data());
  const int ws = (width + 7) / 8;
  Bytes mono(static_cast<std::size_t>(ws) * height, 0);
  for (int i = 0; i < height; ++i)
    for (int j = 0; j < width; ++j)
      if (plane[static_cast<std::size_t>(i) * width + j] <= 127.0)
        mono[static_cast<std::size_t>(i) * ws + j / 8] |= static_cast<unsigned char>(0x80 >> (j % 8));
  return mono;
}

Bytes windowed(const Bytes &gray, int width, int height, int stride) {
  int size = -1, ws = -1;
  quorvane::MallocBuffer mono(Trellimo_ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusionV2(
      gray.data(), width, height, stride, &size, &ws));
  EXPECT_TRUE(mono);
  EXPECT_EQ(ws, (width + 7) / 8);
  if (!mono) return {};
  return Bytes(mono.get(), mono.get() + size);
}

TEST(ErrorDiffusionWindow, MatchesTheWholePlaneOnNarrowAndWidePages) {
  std::mt19937 rng(9);
  for (int width : {1, 2, 3, 4, 5, 8, 13, 64, 577}) {
    for (int height : {1, 2, 3, 4, 7, 50}) {
      const int stride = width + static_cast<int>(rng() % 3);
      Bytes gray(static_cast<std::size_t>(stride) * height);
      for (auto &b : gray) b = static_cast<unsigned char>(rng());
      EXPECT_EQ(windowed(gray, width, height, stride), whole_plane(gray, width, height, stride))
          << width << "x" << height << " stride " << stride;
    }
  }
}

TEST(ErrorDiffusionWindow, MatchesTheWholePlaneOnReceiptLikeContent) {
  // White paper, black strokes, a gradient and solid black blocks: errors
  // that die out, run on through white, and pile up in black.
  const int width = 96, height = 120;
  Bytes gray(static_cast<std::size_t>(width) * height, 255);
  std::mt19937 rng(13);
  for (int i = 0; i < height; ++i)
    for (int j = 0; j < width; ++j) {
      unsigned char &p = gray[static_cast<std::size_t>(i) * width + j];
      if (i < 20) p = static_cast<unsigned char>(j * 255 / (width - 1));
      else if (i >= 40 && i < 60 && j % 7 < 2) p = 0;
      else if (i >= 80 && i < 100 && j > 20 && j < 70) p = 0;
      else if (rng() % 50 == 0) p = 96;
    }
  EXPECT_EQ(windowed(gray, width, height, width), whole_plane(gray, width, height, width));
}

TEST(ErrorDiffusionWindow, SharesAreTheDividedProducts) {
  std::mt19937_64 rng(17);
  std::vector<double> errors = {0.0, 1.0, -1.0, 127.0, -127.0, 0x1p-1000, -0x1p-1000,
                                0x1p-1001, 1e-305, -1e-310, 5e-324, 3.0e-14};
  for (int k = 0; k < 100000; ++k) {
    double e;
    const std::uint64_t bits = rng();
    std::memcpy(&e, &bits, sizeof e);
    if (std::isfinite(e) && std::fabs(e) < 1e300) errors.push_back(e);
    errors.push_back(static_cast<double>(static_cast<std::int64_t>(rng() % 2000000) - 1000000) / 3777.0);
  }
  for (double e : errors) {
    const quorvane::DiffusionShares s = quorvane::diffusion_shares(e);
    ASSERT_EQ(s.s1, (e * 1) / 44) << e;
    ASSERT_EQ(s.s3, (e * 3) / 44) << e;
    ASSERT_EQ(s.s4, (e * 4) / 44) << e;
    ASSERT_EQ(s.s5, (e * 5) / 44) << e;
    ASSERT_EQ(s.s6, (e * 6) / 44) << e;
    ASSERT_EQ(std::signbit(s.s3), std::signbit((e * 3) / 44)) << e;
  }
}

}  // namespace
