// Dithering and thresholding pack whole rows at a time; they must set
// exactly the dots that the per-pixel rules set.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "img2esccmd.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes random_gray(int stride, int height, std::mt19937 &rng, int levels) {
  Bytes img(static_cast<std::size_t>(stride) * height);
  // Few levels make equal-to-threshold pixels common.
  for (auto &b : img) b = static_cast<unsigned char>(levels >= 256 ? rng() % 256 : (rng() % levels) * (255 / (levels - 1)));
  return img;
}

Bytes per_pixel(const Bytes &gray, int width, int height, int stride, auto is_black) {
  const int ws = (width + 7) / 8;
  Bytes mono(static_cast<std::size_t>(ws) * height, 0);
  for (int i = 0; i < height; ++i)
    for (int j = 0; j < width; ++j)
      if (is_black(i, gray[static_cast<std::size_t>(i) * stride + j], j))
        mono[static_cast<std::size_t>(i) * ws + j / 8] |= static_cast<unsigned char>(0x80 >> (j % 8));
  return mono;
}

Bytes run(void (*op)(const unsigned char *, int, int, int, unsigned char *, int *, int *),
          const Bytes &gray, int width, int height, int stride) {
  int size = 0, ws = 0;
  op(gray.data(), width, height, stride, nullptr, &size, &ws);
  EXPECT_EQ(ws, (width + 7) / 8);
  Bytes out(static_cast<std::size_t>(size), 0xA5);  // not cleared: every byte must be written
  op(gray.data(), width, height, stride, out.data(), &size, &ws);
  return out;
}

TEST(RowPacking, DitheringSetsTheDotsOfTheTable) {
  std::mt19937 rng(3);
  for (int width : {1, 7, 8, 9, 15, 16, 17, 31, 33, 577}) {
    for (int pad : {0, 3}) {
      const int stride = width + pad, height = 37;
      const Bytes gray = random_gray(stride, height, rng, width % 2 ? 256 : 5);
      const Bytes expected = per_pixel(gray, width, height, stride, [](int i, unsigned char p, int j) {
        return p <= Floyd16x16[i % 16][j % 16];
      });
      EXPECT_EQ(run(ConvertGrayImageToMonoFormatUseDithering, gray, width, height, stride), expected)
          << "width " << width << " stride " << stride;
    }
  }
}

TEST(RowPacking, ThresholdingSetsTheDotsBelowTheMean) {
  std::mt19937 rng(5);
  for (int width : {1, 2, 9, 16, 17, 40, 577}) {
    for (int levels : {2, 3, 256}) {
      const int stride = width + (width % 3), height = 1 + static_cast<int>(rng() % 20);
      const Bytes gray = random_gray(stride, height, rng, levels);
      double sum = 0;
      for (int i = 0; i < height; ++i)
        for (int j = 0; j < width; ++j) sum += gray[static_cast<std::size_t>(i) * stride + j];
      double threshold = (sum / width) / height;
      bool uniform = true;
      for (std::size_t k = 1; k < gray.size(); ++k) uniform = uniform && gray[k] == gray[k - 1];
      if (uniform) threshold = 128.0;
      const Bytes expected = per_pixel(gray, width, height, stride,
                                       [threshold](int, unsigned char p, int) { return p < threshold; });
      EXPECT_EQ(run(ConvertGrayImageToMonoFormatUseThresholding, gray, width, height, stride),
                expected)
          << "width " << width << " levels " << levels << " threshold " << threshold;
    }
  }
}

TEST(RowPacking, ThresholdingOfAMeanThatIsAWholeNumberKeepsItsPixelsWhite) {
  // Levels 100 and 200 in equal numbers: the mean 150 is a pixel value of
  // none, and the 100s print; 100, 150, 200 with mean 150: 150 stays white.
  const Bytes gray = {100, 150, 200, 100, 150, 200, 100, 150, 200};
  int size = 0, ws = 0;
  Bytes out(3);
  ConvertGrayImageToMonoFormatUseThresholding(gray.data(), 3, 3, 3, out.data(), &size, &ws);
  EXPECT_EQ(out, (Bytes{0x80, 0x80, 0x80}));
}

}  // namespace
