// The page path prepares its page inside the buffer it was read into:
// striping, cutting and placing in place must leave exactly the bytes that
// copying into fresh buffers gives.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <vector>

#include "img2esccmd.h"
#include "malloc_buffer.h"
#include "prepare/page_layout.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Rows that are blank (255) or not at random, in runs of random length; the
// bytes between width and stride vary even in blank rows, so a row that is
// copied from the wrong place shows.
Bytes page_with_blank_runs(int width, int height, int stride, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes img(static_cast<std::size_t>(stride) * height);
  int r = 0;
  while (r < height) {
    const bool blank = rng() % 2 == 0;
    const int run = 1 + static_cast<int>(rng() % (rng() % 4 == 0 ? 60 : 6));
    for (int k = 0; k < run && r < height; ++k, ++r) {
      unsigned char *row = img.data() + static_cast<std::size_t>(stride) * r;
      for (int c = 0; c < stride; ++c)
        row[c] = c < width && blank ? 255 : static_cast<unsigned char>(rng());
      if (!blank && width > 0) row[rng() % width] = static_cast<unsigned char>(rng() % 255);
    }
  }
  return img;
}

TEST(InPlaceStriping, KeepsTheSameRowsAsStripingIntoACopy) {
  std::mt19937 rng(7);
  const int limits[] = {-1, 0, 1, 2, 5, 24, 96, 1000};
  for (int trial = 0; trial < 400; ++trial) {
    const int width = 1 + static_cast<int>(rng() % 40);
    const int stride = width + static_cast<int>(rng() % 3);
    const int height = 1 + static_cast<int>(rng() % 300);
    const int top = limits[rng() % 8], middle = limits[rng() % 8], bottom = limits[rng() % 8];
    SCOPED_TRACE(testing::Message() << "trial " << trial << ": " << width << "x" << height
                                    << " stride " << stride << " limits " << top << " "
                                    << middle << " " << bottom);
    const Bytes page = page_with_blank_runs(width, height, stride, trial);
    Bytes copy(page.size(), 0x5A);
    int copy_rows = -1;
    GetStripedBitmap(page.data(), width, height, stride, 255, top, middle, bottom, copy.data(),
                     &copy_rows);
    Bytes in_place = page;
    int rows = -1;
    GetStripedBitmap(in_place.data(), width, height, stride, 255, top, middle, bottom,
                     in_place.data(), &rows);
    ASSERT_EQ(rows, copy_rows);
    const auto kept = static_cast<std::ptrdiff_t>(stride) * rows;
    ASSERT_EQ(Bytes(in_place.begin(), in_place.begin() + kept), Bytes(copy.begin(), copy.begin() + kept));
  }
}

TEST(InPlaceCut, RepacksManyRowsAtTheTargetStride) {
  // 9 rows of width 13 at stride 16, cut to 6: columns 3..8 of each row.
  const int width = 13, stride = 16, height = 9, target = 6;
  Bytes img(static_cast<std::size_t>(stride) * height);
  for (std::size_t k = 0; k < img.size(); ++k) img[k] = static_cast<unsigned char>(k);
  const Bytes original = img;
  ASSERT_TRUE(TurncateGrayImageToDstWidth(img.data(), width, height, stride, target));
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < target; ++c)
      ASSERT_EQ(img[static_cast<std::size_t>(r * target + c)],
                original[static_cast<std::size_t>(r * stride + 3 + c)])
          << "row " << r << " column " << c;
}

// layout_in_place against LayoutGrayImageToNewImage, over canvases narrower
// and wider than the stride, offsets that clip on either side or miss the
// canvas, and a buffer that has to grow.
TEST(InPlaceLayout, GivesTheCanvasLayoutWouldAllocate) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 600; ++trial) {
    const int width = static_cast<int>(rng() % 30);
    const int stride = width + static_cast<int>(rng() % 5);
    const int height = 1 + static_cast<int>(rng() % 12);
    const int canvas = 1 + static_cast<int>(rng() % 45);
    const int x = static_cast<int>(rng() % 80) - 40;
    SCOPED_TRACE(testing::Message() << "image " << width << "x" << height << " stride " << stride
                                    << ", canvas " << canvas << ", x " << x);
    Bytes src(static_cast<std::size_t>(std::max(stride * height, 1)));
    for (auto &b : src) b = static_cast<unsigned char>(rng() % 255);

    quorvane::MallocBuffer expected(LayoutGrayImageToNewImage(src.data(), width, height, stride,
                                                              canvas, height, canvas, x, 0));
    ASSERT_TRUE(expected);

    std::size_t capacity = src.size();
    quorvane::MallocBuffer buffer = quorvane::allocate_buffer(capacity);
    std::memcpy(buffer.get(), src.data(), capacity);
    ASSERT_TRUE(quorvane::layout_in_place(buffer, capacity, width, height, stride, canvas, x));
    const std::size_t bytes = static_cast<std::size_t>(canvas) * height;
    ASSERT_GE(capacity, bytes);
    ASSERT_EQ(std::memcmp(buffer.get(), expected.get(), bytes), 0);
  }
}

TEST(InPlaceLayout, LeavesAnImageThatIsItsOwnCanvasUntouched) {
  Bytes src = {1, 2, 3, 4, 5, 6};
  std::size_t capacity = src.size();
  quorvane::MallocBuffer buffer = quorvane::allocate_buffer(capacity);
  std::memcpy(buffer.get(), src.data(), capacity);
  unsigned char *before = buffer.get();
  ASSERT_TRUE(quorvane::layout_in_place(buffer, capacity, 3, 2, 3, 3, 0));
  EXPECT_EQ(buffer.get(), before);
  EXPECT_EQ(capacity, src.size());
  EXPECT_EQ(std::memcmp(buffer.get(), src.data(), src.size()), 0);
}

// Canvases larger than any address space: in 64 bits the allocation fails,
// in 32 bits (armhf) the size must not be taken modulo 2^32 (these wrap to
// 0 or to exactly the buffer's capacity, so nothing would be allocated and
// the rows would be written far past the buffer). Either way the canvas is
// refused and the page's buffer stays as it was.
TEST(InPlaceLayout, CanvasesNoAddressSpaceHoldsAreRefused) {
  constexpr int kHeight = 1 << 20;
  for (const int canvas : {1 << 30, (1 << 30) + 1}) {
    std::size_t capacity = kHeight;
    quorvane::MallocBuffer buffer = quorvane::allocate_buffer(capacity);
    ASSERT_TRUE(buffer);
    std::memset(buffer.get(), 7, capacity);
    EXPECT_FALSE(quorvane::layout_in_place(buffer, capacity, 1, kHeight, 1, canvas, 0)) << canvas;
    EXPECT_EQ(capacity, static_cast<std::size_t>(kHeight));
    const Bytes after(buffer.get(), buffer.get() + capacity);
    EXPECT_EQ(after, Bytes(static_cast<std::size_t>(kHeight), 7)) << canvas;
  }
  const Bytes src(8, 0);
  struct Size {
    int stride, height;
  };
  for (const Size c : {Size{1 << 30, (1 << 20) + 4}, Size{INT_MAX, INT_MAX}}) {
    // Placed on its second row, so that a wrapped size would be written past.
    quorvane::MallocBuffer canvas(
        LayoutGrayImageToNewImage(src.data(), 8, 1, 8, 8, c.height, c.stride, 0, 1));
    EXPECT_FALSE(canvas) << c.stride << " x " << c.height;
  }
}

}  // namespace

// The requests above are refused by the allocator; under AddressSanitizer
// that must be a null pointer, not a report that ends the test.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }
