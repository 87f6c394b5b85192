// Takes sizes, choices and pixel data from a fuzzer's input, and checks that
// the fuzz targets share.
#ifndef QUORVANE_FUZZ_INPUT_H
#define QUORVANE_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace quorvane::fuzz {

class Input {
 public:
  Input(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

  // The next byte, or 0 once the input is used up.
  unsigned byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  // A value in [lo, hi], from one or two bytes.
  int range(int lo, int hi) {
    const unsigned span = static_cast<unsigned>(hi - lo) + 1;
    unsigned v = byte();
    if (span > 256) v = v << 8 | byte();
    return lo + static_cast<int>(v % span);
  }

  bool flag() { return byte() & 1; }

  // n bytes for a buffer of exactly that size: the rest of the input,
  // repeated, with zeros when the input is used up. An empty image still
  // gets a (one-byte) buffer, as a C caller would pass one.
  std::vector<unsigned char> bytes(std::size_t n) {
    std::vector<unsigned char> out(n ? n : 1);
    const std::size_t left = size_ - pos_;
    for (std::size_t i = 0; i < n && left; ++i) out[i] = data_[pos_ + i % left];
    return out;
  }

  std::size_t remaining() const { return size_ - pos_; }
  const std::uint8_t *rest() const { return data_ + pos_; }

 private:
  const std::uint8_t *data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

inline void require(bool ok, const char *what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

// Reads every byte of a result, so that a size larger than the buffer
// behind it is caught by the address sanitiser (and uninitialised bytes by
// memcheck).
inline unsigned touch(const unsigned char *p, std::size_t n) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += p[i];
  return sum;
}

// A buffer of exactly n bytes (at least one, so data() is never null), with
// a known fill so that bytes left unwritten are visible.
inline std::vector<unsigned char> exact_buffer(std::size_t n, unsigned char fill = 0xA5) {
  return std::vector<unsigned char>(n ? n : 1, fill);
}

// Runs a two-call operation: the size, then the bytes into a buffer of
// exactly that size, which is read through once. Empty when the size is 0.
template <typename Encode>
std::vector<unsigned char> two_call(Encode encode) {
  int size = -1;
  encode(nullptr, &size);
  require(size >= 0, "reported size");
  if (size == 0) return {};
  auto out = exact_buffer(std::size_t(size));
  int size2 = -1;
  encode(out.data(), &size2);
  require(size2 == size, "second call size");
  touch(out.data(), out.size());
  return out;
}

}  // namespace quorvane::fuzz

#endif
