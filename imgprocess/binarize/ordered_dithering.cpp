#include "ordered_dithering.h"
#include "dither_row.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

std::ptrdiff_t offset(int stride, int row) { return static_cast<std::ptrdiff_t>(stride) * row; }

// Stores the two sizes; false when the raster is not to be written (no
// buffer, or sizes that do not fit an int).
bool report_mono_sizes(int width, int height, unsigned char *mono, int *size, int *width_stride,
                       int &row_bytes) {
  row_bytes = width > 0 ? static_cast<int>((static_cast<long long>(width) + 7) / 8) : 0;
  const long long total = height > 0 ? static_cast<long long>(row_bytes) * height : 0;
  const bool fits = total <= INT32_MAX;
  if (size) *size = fits ? static_cast<int>(total) : 0;
  if (width_stride) *width_stride = row_bytes;
  return mono != nullptr && fits && total != 0;
}

constexpr std::array<unsigned char, 256> make_bit_reverse() {
  std::array<unsigned char, 256> t{};
  for (int k = 0; k < 256; ++k) {
    int r = 0;
    for (int b = 0; b < 8; ++b)
      if (k & (1 << b)) r |= 0x80 >> b;
    t[static_cast<std::size_t>(k)] = static_cast<unsigned char>(r);
  }
  return t;
}
constexpr std::array<unsigned char, 256> kBitReverse = make_bit_reverse();

// Packs one row: dot j is printed where px[j] <= limits[j % 16]. Writes every
// byte of the row whole, so the bits past the width come out 0 without the
// row being cleared first.
void pack_row(std::span<const unsigned char> px, const unsigned char *limits,
              std::span<unsigned char> out) {
  const std::size_t width = px.size();
  std::size_t j = 0;
#if defined(__SSE2__)
  const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i *>(limits));
  for (; j + 16 <= width; j += 16) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i *>(px.data() + j));
    // p <= t exactly where min(p, t) == p (unsigned bytes).
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(p, t), p)));
    // movemask puts the leftmost pixel in the lowest bit; the raster wants it
    // in the highest.
    out[j / 8] = kBitReverse[mask & 0xFF];
    out[j / 8 + 1] = kBitReverse[mask >> 8];
  }
#endif
  for (; j < width; j += 8) {
    const std::size_t n = std::min<std::size_t>(8, width - j);
    unsigned bits = 0;
    for (std::size_t k = 0; k < n; ++k)
      if (px[j + k] <= limits[(j + k) & 15]) bits |= 0x80u >> k;
    out[j / 8] = static_cast<unsigned char>(bits);
  }
}

// Sum of one row's pixels; exact in 64 bits.
std::uint64_t row_sum(std::span<const unsigned char> px) {
  std::uint64_t sum = 0;
  std::size_t j = 0;
#if defined(__SSE2__)
  __m128i acc = _mm_setzero_si128();
  for (; j + 16 <= px.size(); j += 16)
    acc = _mm_add_epi64(acc, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(
                                                 px.data() + j)),
                                             _mm_setzero_si128()));
  sum = static_cast<std::uint64_t>(_mm_cvtsi128_si64(acc)) +
        static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(acc, acc)));
#endif
  for (; j < px.size(); ++j) sum += px[j];
  return sum;
}

template <typename LimitsOfRow>
void pack_rows(const unsigned char *gray, int width, int height, int stride, unsigned char *mono,
               int row_bytes, LimitsOfRow limits_of_row) {
  for (int i = 0; i < height; ++i)
    pack_row({gray + offset(stride, i), static_cast<std::size_t>(width)}, limits_of_row(i),
             {mono + offset(row_bytes, i), static_cast<std::size_t>(row_bytes)});
}

}  // namespace

extern "C" {

const unsigned char Floyd16x16[16][16] = {
    {0, 128, 32, 160, 8, 136, 40, 168, 2, 130, 34, 162, 10, 138, 42, 170},
    {192, 64, 224, 96, 200, 72, 232, 104, 194, 66, 226, 98, 202, 74, 234, 106},
    {48, 176, 16, 144, 56, 184, 24, 152, 50, 178, 18, 146, 58, 186, 26, 154},
    {240, 112, 208, 80, 248, 120, 216, 88, 242, 114, 210, 82, 250, 122, 218, 90},
    {12, 140, 44, 172, 4, 132, 36, 164, 14, 142, 46, 174, 6, 134, 38, 166},
    {204, 76, 236, 108, 196, 68, 228, 100, 206, 78, 238, 110, 198, 70, 230, 102},
    {60, 188, 28, 156, 52, 180, 20, 148, 62, 190, 30, 158, 54, 182, 22, 150},
    {252, 124, 220, 92, 244, 116, 212, 84, 254, 126, 222, 94, 246, 118, 214, 86},
    {3, 131, 35, 163, 11, 139, 43, 171, 1, 129, 33, 161, 9, 137, 41, 169},
    {195, 67, 227, 99, 203, 75, 235, 107, 193, 65, 225, 97, 201, 73, 233, 105},
    {51, 179, 19, 147, 59, 187, 27, 155, 49, 177, 17, 145, 57, 185, 25, 153},
    {243, 115, 211, 83, 251, 123, 219, 91, 241, 113, 209, 81, 249, 121, 217, 89},
    {15, 143, 47, 175, 7, 135, 39, 167, 13, 141, 45, 173, 5, 133, 37, 165},
    {207, 79, 239, 111, 199, 71, 231, 103, 205, 77, 237, 109, 197, 69, 229, 101},
    {63, 191, 31, 159, 55, 183, 23, 151, 61, 189, 29, 157, 53, 181, 21, 149},
    // [15][0] is 254, not 255, so that white never prints.
    {254, 127, 223, 95, 247, 119, 215, 87, 253, 125, 221, 93, 245, 117, 213, 85},
};

void ConvertGrayImageToMonoFormatUseDithering(const unsigned char *gray, int width, int height,
                                              int stride, unsigned char *mono, int *size,
                                              int *width_stride) {
  int row_bytes = 0;
  if (!report_mono_sizes(width, height, mono, size, width_stride, row_bytes)) return;
  if (gray == nullptr) {
    std::memset(mono, 0, static_cast<std::size_t>(row_bytes) * static_cast<std::size_t>(height));
    return;
  }
  // Row i is compared against table row i % 16, repeated along the row.
  pack_rows(gray, width, height, stride, mono, row_bytes,
            [](int i) { return Floyd16x16[i & 15]; });
}

void ConvertGrayImageToMonoFormatUseThresholding(const unsigned char *gray, int width, int height,
                                                 int stride, unsigned char *mono, int *size,
                                                 int *width_stride) {
  int row_bytes = 0;
  if (!report_mono_sizes(width, height, mono, size, width_stride, row_bytes)) return;
  const std::size_t total_mono =
      static_cast<std::size_t>(row_bytes) * static_cast<std::size_t>(height);
  if (gray == nullptr) {
    std::memset(mono, 0, total_mono);
    return;
  }
  // The pixel sum is a whole number far below 2^53, so summing in integers
  // gives the very double that summing in doubles gives.
  std::uint64_t sum = 0;
  for (int i = 0; i < height; ++i)
    sum += row_sum({gray + offset(stride, i), static_cast<std::size_t>(width)});
  double threshold = (static_cast<double>(sum) / width) / height;
  // A uniform buffer (padding bytes included) would all equal its mean and
  // come out white; it takes the fixed threshold instead. Every byte equals
  // its predecessor exactly when the buffer equals itself shifted by one.
  const std::size_t total = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
  if (total <= 1 || std::memcmp(gray + 1, gray, total - 1) == 0) threshold = 128.0;
  // For whole-number pixels, p < threshold exactly when p <= ceil(threshold) - 1.
  const double limit = std::ceil(threshold) - 1.0;
  if (!(limit >= 0.0)) {
    std::memset(mono, 0, total_mono);
    return;
  }
  std::array<unsigned char, 16> limits{};
  limits.fill(static_cast<unsigned char>(std::min(limit, 255.0)));
  pack_rows(gray, width, height, stride, mono, row_bytes,
            [&limits](int) { return limits.data(); });
}

}  // extern "C"

void quorvane::dither_row(std::span<const unsigned char> px, int row, std::span<unsigned char> out) {
  pack_row(px, Floyd16x16[row & 15], out);
}
