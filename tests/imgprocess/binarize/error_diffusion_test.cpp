#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "img2esccmd.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Diffusion = unsigned char *(*)(const unsigned char *, int, int, int, int *, int *);

struct Variant {
  const char *name;
  Diffusion run;
};
const Variant kTwelve{"12-neighbour", Trellimo_ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusionV2};
const Variant kFour{"4-neighbour", ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusion};

// The result as rows of 'X' (printed) and '.' (not printed), plus the raw
// bytes so padding bits can be checked.
struct Result {
  std::vector<std::string> rows;
  Bytes raw;
  int size = -1, width_stride = -1;
  bool null = true;
};

Result diffuse(const Variant &v, const Bytes &gray, int width, int height, int stride) {
  Result r;
  unsigned char *mono = v.run(gray.data(), width, height, stride, &r.size, &r.width_stride);
  if (!mono) return r;
  r.null = false;
  r.raw.assign(mono, mono + r.size);
  std::free(mono);
  for (int i = 0; i < height; ++i) {
    std::string row;
    for (int j = 0; j < width; ++j)
      row += (r.raw[static_cast<std::size_t>(i) * r.width_stride + j / 8] & (0x80 >> (j % 8))) ? 'X' : '.';
    r.rows.push_back(row);
  }
  return r;
}

Result flat(const Variant &v, unsigned char level, int width, int height) {
  return diffuse(v, Bytes(static_cast<std::size_t>(width) * height, level), width, height, width);
}

using Rows = std::vector<std::string>;

TEST(ErrorDiffusion, SmallFlatImages) {
  EXPECT_EQ(flat(kTwelve, 120, 3, 1).rows, (Rows{"X.X"}));
  EXPECT_EQ(flat(kFour, 120, 3, 1).rows, (Rows{"X.X"}));

  // The twelve-neighbour rows run serpentine, with a kernel reaching two
  // rows down; the four-neighbour ones always run left to right.
  EXPECT_EQ(flat(kTwelve, 120, 4, 2).rows, (Rows{"X.XX", ".X.."}));
  EXPECT_EQ(flat(kFour, 120, 4, 2).rows, (Rows{"X.X.", ".X.X"}));
  EXPECT_EQ(flat(kTwelve, 128, 4, 2).rows, (Rows{".X.X", ".XX."}));
  EXPECT_EQ(flat(kFour, 128, 4, 2).rows, (Rows{".X.X", "X.X."}));
}

TEST(ErrorDiffusion, BlackAndWhiteCarryNoError) {
  for (const Variant &v : {kTwelve, kFour}) {
    SCOPED_TRACE(v.name);
    const Result black = flat(v, 0, 13, 5);
    ASSERT_FALSE(black.null);
    EXPECT_EQ(black.size, 10);
    EXPECT_EQ(black.width_stride, 2);
    // Dots past the width stay clear.
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(black.raw[2 * i], 0xFF);
      EXPECT_EQ(black.raw[2 * i + 1], 0xF8);
    }
    const Result white = flat(v, 255, 13, 5);
    ASSERT_FALSE(white.null);
    EXPECT_EQ(white.raw, Bytes(10, 0));
  }
}

TEST(ErrorDiffusion, OnePixelWideKeepsOnlyTheSharesBelow) {
  // 120: black (e = 120, 6/44 and 4/44 go down), 136.4: white
  // (e = -118.6), 114.7: black, 124.9: black.
  EXPECT_EQ(flat(kTwelve, 120, 1, 4).rows, (Rows{"X", ".", "X", "X"}));
}

TEST(ErrorDiffusion, StrideBytesAreNotPixels) {
  const int width = 5, height = 4, stride = 9;
  for (const Variant &v : {kTwelve, kFour}) {
    Bytes tight(static_cast<std::size_t>(width) * height);
    for (std::size_t k = 0; k < tight.size(); ++k) tight[k] = static_cast<unsigned char>(k * 37 % 256);
    for (unsigned char pad : {0x00, 0xFF}) {
      Bytes padded(static_cast<std::size_t>(stride) * height, pad);
      for (int i = 0; i < height; ++i)
        std::copy_n(tight.begin() + i * width, width, padded.begin() + i * stride);
      EXPECT_EQ(diffuse(v, padded, width, height, stride).raw, diffuse(v, tight, width, height, width).raw)
          << v.name;
    }
  }
}

TEST(ErrorDiffusion, FourNeighbourClampsAndTwelveNeighbourDoesNot) {
  // 130 is white (e = -125) and pushes -54 onto the 0 beside it. Clamped,
  // that 0 is black with no error and the 128 after it stays white;
  // unclamped, -54 would push -23 on and turn it black.
  EXPECT_EQ(diffuse(kFour, {130, 0, 128}, 3, 1, 3).rows, (Rows{".X."}));
  // Clamped at the top: 127 is black (e = 127), 255 + 39 stays 255, not a
  // wrapped 38.
  EXPECT_EQ(diffuse(kFour, {127, 255}, 1, 2, 1).rows, (Rows{"X", "."}));
  // The twelve-neighbour values go below 0: the 0 becomes -17.05 and passes
  // -2.32 on, which takes 140 - 11.36 - 2.32 = 126.3 under the threshold.
  EXPECT_EQ(diffuse(kTwelve, {130, 0, 140}, 3, 1, 3).rows, (Rows{".XX"}));
}

TEST(ErrorDiffusionPlane, DiffusesIntoACopyAndEndsAtTheTwoLevels) {
  const std::vector<double> src = {120, 120, 120, 50, 200, 90, 180, 10};
  std::vector<double> dst(src.size(), -1.0);
  Trellimo_ImgUtils_dither_image_5x5(4, 2, src.data(), dst.data());
  EXPECT_EQ(src, (std::vector<double>{120, 120, 120, 50, 200, 90, 180, 10}));
  for (double d : dst) EXPECT_TRUE(d == 0.0 || d == 255.0) << d;

  std::vector<double> same = src;
  Trellimo_ImgUtils_dither_image_5x5(4, 2, same.data(), same.data());
  EXPECT_EQ(same, dst);
}

TEST(ErrorDiffusionPlane, AddsOnlyInsideThePlane) {
  std::vector<double> plane(6, 1.0);  // 3 wide, 2 high
  for (auto [x, y] : {std::pair{-1, 0}, std::pair{3, 0}, std::pair{0, -1}, std::pair{0, 2},
                      std::pair{INT_MAX, 1}})
    Trellimo_ImgUtils_AddValueToImagePixel(3, 2, plane.data(), x, y, 5.0);
  EXPECT_EQ(plane, std::vector<double>(6, 1.0));
  Trellimo_ImgUtils_AddValueToImagePixel(3, 2, plane.data(), 2, 1, -0.25);
  Trellimo_ImgUtils_AddValueToImagePixel(3, 2, plane.data(), 0, 1, 300.5);
  EXPECT_EQ(plane, (std::vector<double>{1, 1, 1, 301.5, 1, 0.75}));
}

TEST(ErrorDiffusion, RefusedInputStillReportsSizes) {
  const Bytes gray(64, 128);
  for (const Variant &v : {kTwelve, kFour}) {
    SCOPED_TRACE(v.name);
    int size = -1, ws = -1;
    EXPECT_EQ(v.run(nullptr, 10, 2, 10, &size, &ws), nullptr);
    EXPECT_EQ(size, 4);
    EXPECT_EQ(ws, 2);
    EXPECT_EQ(v.run(gray.data(), 10, 2, 9, &size, &ws), nullptr);  // stride below width
    EXPECT_EQ(v.run(gray.data(), 0, 2, 8, &size, &ws), nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(ws, 0);
    EXPECT_EQ(v.run(gray.data(), 8, 0, 8, &size, &ws), nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(ws, 1);
    EXPECT_EQ(v.run(gray.data(), -8, -3, 8, &size, &ws), nullptr);
    // width_stride * height beyond an int.
    EXPECT_EQ(v.run(gray.data(), INT_MAX, INT_MAX, INT_MAX, &size, &ws), nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(ws, INT_MAX / 8 + 1);
    unsigned char *mono = v.run(gray.data(), 8, 8, 8, nullptr, nullptr);
    EXPECT_NE(mono, nullptr);
    std::free(mono);
  }
}

#if defined(__SANITIZE_ADDRESS__)
#define QV_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_UNDER_ASAN 1
#endif
#endif

#if !defined(QV_UNDER_ASAN) && !defined(QUORVANE_TEST_EMULATOR)
// Runs the diffusion in a child whose address space leaves room for the
// raster but not for the working memory; returns the child's verdict.
int run_short_of_memory(const Variant &v, int width, int height, int stride, const Bytes &gray) {
  const pid_t pid = fork();
  if (pid == 0) {
    rlimit lim{};
    // Current mappings plus 24 MB: enough for the raster, not for the plane.
    std::FILE *f = std::fopen("/proc/self/statm", "r");
    unsigned long pages = 0;
    if (!f || std::fscanf(f, "%lu", &pages) != 1) _exit(3);
    std::fclose(f);
    lim.rlim_cur = lim.rlim_max = pages * static_cast<unsigned long>(sysconf(_SC_PAGESIZE)) + (24ul << 20);
    if (setrlimit(RLIMIT_AS, &lim) != 0) _exit(3);
    int size = -1, ws = -1;
    unsigned char *mono = v.run(gray.data(), width, height, stride, &size, &ws);
    const long long expected_size = (static_cast<long long>(width) + 7) / 8 * height;
    if (size != expected_size || ws != (width + 7) / 8) _exit(4);
    _exit(mono == nullptr ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif

TEST(ErrorDiffusion, WorkingMemoryShortageFailsThePage) {
#ifdef QV_UNDER_ASAN
  GTEST_SKIP() << "the sanitizer's shadow memory does not run under an address-space limit";
#elif defined(QUORVANE_TEST_EMULATOR)
  // qemu-user accepts RLIMIT_AS but keeps it from the host (it would bind
  // the emulator's own memory), so the allocation the test starves succeeds.
  GTEST_SKIP() << "qemu-user does not apply the address-space limit this test sets";
#else
  // 12-neighbour: its three working rows of doubles for a page 3,000,000
  // pixels wide take 72 MB besides a 1.1 MB raster.
  const Bytes gray(3000000u * 3u, 100);
  EXPECT_EQ(run_short_of_memory(kTwelve, 3000000, 3, 3000000, gray), 0);
  // 4-neighbour: two rows 40 MB apart need a 40 MB copy besides a 2-byte raster.
  const int stride = 40 << 20;
  const Bytes wide(static_cast<std::size_t>(stride) + 8, 100);
  EXPECT_EQ(run_short_of_memory(kFour, 8, 2, stride, wide), 0);
#endif
}

}  // namespace
