// The page path's error diffusion keeps three rows of the plane; it must set
// exactly the dots that diffusing the whole plane sets.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "binarize/diffusion_shares.h"
#include "binarize/error_diffusion_window.h"
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

Bytes windowed(const Bytes &gray, int width, int height, int stride,
               quorvane::ShareDivision division) {
  int size = -1, ws = -1;
  quorvane::MallocBuffer mono(
      quorvane::error_diffusion_v2(gray.data(), width, height, stride, &size, &ws, division));
  EXPECT_TRUE(mono);
  EXPECT_EQ(ws, (width + 7) / 8);
  if (!mono) return {};
  return Bytes(mono.get(), mono.get() + size);
}

// Both ways of dividing the shares, the library's own choice first.
constexpr quorvane::ShareDivision kDivisions[] = {quorvane::ShareDivision::kFastest,
                                                  quorvane::ShareDivision::kDivided};

TEST(ErrorDiffusionWindow, MatchesTheWholePlaneOnNarrowAndWidePages) {
  std::mt19937 rng(9);
  for (int width : {1, 2, 3, 4, 5, 8, 13, 64, 577}) {
    for (int height : {1, 2, 3, 4, 7, 50}) {
      const int stride = width + static_cast<int>(rng() % 3);
      Bytes gray(static_cast<std::size_t>(stride) * height);
      for (auto &b : gray) b = static_cast<unsigned char>(rng());
      const Bytes expected = whole_plane(gray, width, height, stride);
      for (auto division : kDivisions)
        EXPECT_EQ(windowed(gray, width, height, stride, division), expected)
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
  const Bytes expected = whole_plane(gray, width, height, width);
  for (auto division : kDivisions) EXPECT_EQ(windowed(gray, width, height, width, division), expected);
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
  auto check = [](const quorvane::DiffusionShares &s, double e) {
    ASSERT_EQ(s.s1, (e * 1) / 44) << e;
    ASSERT_EQ(s.s3, (e * 3) / 44) << e;
    ASSERT_EQ(s.s4, (e * 4) / 44) << e;
    ASSERT_EQ(s.s5, (e * 5) / 44) << e;
    ASSERT_EQ(s.s6, (e * 6) / 44) << e;
    ASSERT_EQ(std::signbit(s.s3), std::signbit((e * 3) / 44)) << e;
    ASSERT_EQ(std::signbit(s.s6), std::signbit((e * 6) / 44)) << e;
  };
  // Quotients near powers of two and errors whose products are exact.
  for (int k = -20; k < 20; ++k) {
    const double p = std::ldexp(44.0 / 6, k);
    for (double e : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e9), -p}) errors.push_back(e);
  }
  errors.push_back(-0.0);
  for (double e : errors) {
    check(quorvane::diffusion_shares(e), e);
    check(quorvane::diffusion_shares<quorvane::FusedShare6>(e), e);
  }
}

TEST(ErrorDiffusionWindow, FusedShareProvesItsQuotient) {
  using quorvane::FusedShare6;
  // The reciprocal split: 1 - 44 hi is exact in one fused operation.
  EXPECT_EQ(FusedShare6::kInvHi, 1.0 / 44);
  EXPECT_EQ(FusedShare6::kInvLo, std::fma(-FusedShare6::kInvHi, 44.0, 1.0) / 44);
  // Only the nearest quotient passes; one ulp off, a power of two (whose
  // lower neighbour is nearer) and a zero of the wrong sign go to division.
  EXPECT_TRUE(FusedShare6::is_nearest_quotient(1.0, 1.0 / 44));
  EXPECT_FALSE(FusedShare6::is_nearest_quotient(1.0, std::nextafter(1.0 / 44, 1.0)));
  EXPECT_FALSE(FusedShare6::is_nearest_quotient(1.0, std::nextafter(1.0 / 44, 0.0)));
  EXPECT_FALSE(FusedShare6::is_nearest_quotient(88.0, 2.0));
  EXPECT_TRUE(FusedShare6::is_nearest_quotient(0.0, 0.0));
  EXPECT_FALSE(FusedShare6::is_nearest_quotient(-0.0, 0.0));
}

}  // namespace
