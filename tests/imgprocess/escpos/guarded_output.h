// Runs conversions through the two-call size protocol with guard bytes after
// the reported size, so any write past it shows up as a failed expectation.
#ifndef QUORVANE_TEST_GUARDED_OUTPUT_H
#define QUORVANE_TEST_GUARDED_OUTPUT_H

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace quorvane::test {

using Bytes = std::vector<unsigned char>;

constexpr unsigned char kFill = 0xA5;
constexpr std::size_t kGuard = 16;

// fn(output, size_out) is called with a null output, then with a buffer of
// the reported size (pre-filled with kFill, so clearing is checked too)
// followed by kGuard guard bytes. Returns the reported bytes.
template <class Size, class Fn>
Bytes two_call(Fn fn) {
  Size size = static_cast<Size>(-1);
  fn(nullptr, &size);
  if (size == static_cast<Size>(-1)) {
    ADD_FAILURE() << "size not reported";
    return {};
  }
  Bytes buf(static_cast<std::size_t>(size) + kGuard, kFill);
  Size again = static_cast<Size>(-1);
  fn(buf.data(), &again);
  EXPECT_EQ(again, size) << "second call reports another size";
  for (std::size_t i = static_cast<std::size_t>(size); i < buf.size(); ++i)
    EXPECT_EQ(buf[i], kFill) << "write past the reported size at byte " << i;
  buf.resize(static_cast<std::size_t>(size));
  return buf;
}

template <class Fn>
Bytes two_call_int(Fn fn) {
  return two_call<int>(fn);
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto &p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// A deterministic bilevel image with irregular content (0/1 bytes).
inline Bytes pattern_image1(int width, int height, unsigned seed = 7) {
  Bytes img(static_cast<std::size_t>(width) * height);
  unsigned s = seed;
  for (auto &b : img) {
    s = s * 1103515245u + 12345u;
    b = (s >> 16) & 1;
  }
  return img;
}

// Packs an Image1 into rows of row_length bytes, MSB leftmost; bytes and bits
// beyond the width get `padding`.
inline Bytes pack_rows(const Bytes &img, int width, int height, int row_length,
                       unsigned char padding = 0) {
  Bytes raster(static_cast<std::size_t>(row_length) * height, padding);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      unsigned char &byte = raster[static_cast<std::size_t>(y) * row_length + x / 8];
      const auto bit = static_cast<unsigned char>(0x80 >> (x % 8));
      if (img[static_cast<std::size_t>(y) * width + x])
        byte |= bit;
      else
        byte &= static_cast<unsigned char>(~bit);
    }
  }
  return raster;
}

}  // namespace quorvane::test

#endif
