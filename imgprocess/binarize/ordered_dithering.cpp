#include "ordered_dithering.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

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
  if (mono == nullptr || !fits || total == 0) return false;
  std::memset(mono, 0, static_cast<std::size_t>(total));
  return true;
}

template <typename IsBlack>
void set_dots(const unsigned char *gray, int width, int height, int stride, unsigned char *mono,
              int row_bytes, IsBlack is_black) {
  for (int i = 0; i < height; ++i) {
    const unsigned char *row = gray + offset(stride, i);
    unsigned char *out = mono + offset(row_bytes, i);
    for (int j = 0; j < width; ++j)
      if (is_black(i, j, row[j])) out[j >> 3] |= static_cast<unsigned char>(0x80u >> (j & 7));
  }
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
  if (!report_mono_sizes(width, height, mono, size, width_stride, row_bytes) || gray == nullptr)
    return;
  set_dots(gray, width, height, stride, mono, row_bytes, [](int i, int j, unsigned char p) {
    return p <= Floyd16x16[i & 15][j & 15];
  });
}

void ConvertGrayImageToMonoFormatUseThresholding(const unsigned char *gray, int width, int height,
                                                 int stride, unsigned char *mono, int *size,
                                                 int *width_stride) {
  int row_bytes = 0;
  if (!report_mono_sizes(width, height, mono, size, width_stride, row_bytes) || gray == nullptr)
    return;
  double sum = 0.0;
  for (int i = 0; i < height; ++i) {
    const unsigned char *row = gray + offset(stride, i);
    for (int j = 0; j < width; ++j) sum += row[j];
  }
  double threshold = (sum / width) / height;
  // A uniform buffer (padding bytes included) would all equal its mean and
  // come out white; it takes the fixed threshold instead.
  const std::size_t total = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
  bool uniform = true;
  for (std::size_t k = 1; k < total && uniform; ++k) uniform = gray[k] == gray[k - 1];
  if (uniform) threshold = 128.0;
  set_dots(gray, width, height, stride, mono, row_bytes,
           [threshold](int, int, unsigned char p) { return p < threshold; });
}

}  // extern "C"
