// Addressing and packing shared by the ESC/POS image library's sources.
// Every function of the library checks its geometry against these helpers
// before it touches a buffer, so offsets below never overflow int.
#ifndef QUORVANE_IMAGE1_LAYOUT_HPP
#define QUORVANE_IMAGE1_LAYOUT_HPP

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <span>

namespace quorvane::escpos {

// Offset of pixel (x, y) in an unpadded image of rows `width` elements long.
constexpr int PixOffset(int width, int x, int y) { return y * width + x; }

// A size the library may report through an int: non-negative and in range.
constexpr std::optional<int> as_size(std::int64_t n) {
  if (n < 0 || n > INT_MAX) return std::nullopt;
  return static_cast<int>(n);
}

// Whether a width x height image of one element per pixel can be addressed
// with PixOffset.
constexpr bool image_fits(int width, int height) {
  return width >= 0 && height >= 0 && std::int64_t{width} * height <= INT_MAX;
}

// Largest value of the commands' 16-bit size fields. A command whose sizes do
// not fit would be read by the printer as another command, so it is refused.
constexpr std::int64_t kField16Max = 0xFFFF;

constexpr std::int64_t bytes_for_dots(std::int64_t dots) { return (dots + 7) / 8; }

constexpr std::int64_t round_up8(std::int64_t n) { return bytes_for_dots(n) * 8; }

inline void put_le16(std::span<unsigned char> out, std::int64_t value) {
  out[0] = static_cast<unsigned char>(value & 0xFF);
  out[1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

inline void put_le32(std::span<unsigned char> out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Header of a print-raster-bit-image command: GS v 0, mode 0 (normal size),
// row length in bytes and row count.
inline void put_raster_header(std::span<unsigned char> out, std::int64_t row_length,
                              std::int64_t rows) {
  out[0] = 0x1D;
  out[1] = 0x76;
  out[2] = 0x30;
  out[3] = 0x00;
  put_le16(out.subspan(4), row_length);
  put_le16(out.subspan(6), rows);
}

// Packs row y of an Image1 into out, most significant bit leftmost. Any
// non-zero pixel is a dot, so stray values cannot spill into neighbours.
inline void pack_image1_row(std::span<const unsigned char> image1, int width, int y,
                            std::span<unsigned char> out) {
  for (int x = 0; x < width; ++x) {
    if (image1[PixOffset(width, x, y)] != 0) out[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
  }
}

// Column format: dot (x, y) is bit 7 - (y % 8) of byte x * height_stride +
// y / 8. Sets the dots of the first `rows` rows and `cols` columns of image1
// in out, which the caller has cleared and sized for at least `cols` columns
// of height_stride bytes, with rows <= height_stride * 8.
inline void write_columns(std::span<const unsigned char> image1, int width, std::int64_t rows,
                          std::int64_t cols, std::int64_t height_stride,
                          std::span<unsigned char> out) {
  for (std::int64_t y = 0; y < rows; ++y) {
    const auto bit = static_cast<unsigned char>(0x80 >> (y % 8));
    for (std::int64_t x = 0; x < cols; ++x) {
      if (image1[PixOffset(width, static_cast<int>(x), static_cast<int>(y))] != 0)
        out[x * height_stride + y / 8] |= bit;
    }
  }
}

}  // namespace quorvane::escpos

#endif
