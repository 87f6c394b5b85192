#include "error_diffusion.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>

#include "malloc_buffer.h"

namespace {

using quorvane::FreeDeleter;
using quorvane::MallocBuffer;

struct MonoLayout {
  int row_bytes = 0;
  int total = 0;
  bool usable = false;  // false: nothing to allocate or the input cannot be read safely
};

// Works out the raster's sizes and stores them; both are reported even when
// the conversion is refused.
MonoLayout report_layout(const unsigned char *gray, int width, int height, int stride, int *size,
                         int *width_stride) {
  MonoLayout m;
  const long long row_bytes = width > 0 ? (static_cast<long long>(width) + 7) / 8 : 0;
  const long long total = height > 0 ? row_bytes * height : 0;
  m.row_bytes = static_cast<int>(row_bytes);
  m.total = total <= INT32_MAX ? static_cast<int>(total) : 0;
  m.usable = gray != nullptr && m.total > 0 && stride >= width;
  if (size) *size = m.total;
  if (width_stride) *width_stride = m.row_bytes;
  return m;
}

void set_dot(std::span<unsigned char> mono, int row_bytes, int i, int j) {
  mono[static_cast<std::size_t>(i) * row_bytes + static_cast<std::size_t>(j >> 3)] |=
      static_cast<unsigned char>(0x80u >> (j & 7));
}

// The 12-neighbour kernel: offsets (dx along the direction of travel for the
// current row, plain column offsets for the rows below) and weights over 44.
struct Tap {
  int dx, dy, weight;
};
constexpr Tap kSameRow[] = {{1, 0, 6}, {2, 0, 4}};
constexpr Tap kBelow[] = {{-2, 1, 3}, {-1, 1, 5}, {0, 1, 6}, {1, 1, 5}, {2, 1, 3},
                          {-2, 2, 1}, {-1, 2, 3}, {0, 2, 4}, {1, 2, 3}, {2, 2, 1}};

unsigned char clamp_byte(int v) { return static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

}  // namespace

extern "C" {

void Trellimo_ImgUtils_AddValueToImagePixel(int width, int height, double *plane, int x, int y,
                                            double value) {
  if (plane == nullptr || x < 0 || y < 0 || x >= width || y >= height) return;
  plane[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] +=
      value;
}

void Trellimo_ImgUtils_dither_image_5x5(int width, int height, const double *src, double *dst) {
  if (width <= 0 || height <= 0 || src == nullptr || dst == nullptr) return;
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (src != dst) std::memmove(dst, src, count * sizeof(double));
  const std::span<double> plane(dst, count);
  for (int i = 0; i < height; ++i) {
    const bool forward = i % 2 == 0;
    const int d = forward ? 1 : -1;
    for (int step = 0; step < width; ++step) {
      const int j = forward ? step : width - 1 - step;
      double &v = plane[static_cast<std::size_t>(i) * width + j];
      const double e = v < 128.0 ? v : v - 255.0;
      v = v < 128.0 ? 0.0 : 255.0;
      for (const Tap &t : kSameRow)
        Trellimo_ImgUtils_AddValueToImagePixel(width, height, dst, j + t.dx * d, i,
                                               (e * t.weight) / 44);
      for (const Tap &t : kBelow)
        Trellimo_ImgUtils_AddValueToImagePixel(width, height, dst, j + t.dx, i + t.dy,
                                               (e * t.weight) / 44);
    }
  }
}

unsigned char *Trellimo_ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusionV2(
    const unsigned char *gray, int width, int height, int stride, int *size, int *width_stride) {
  const MonoLayout m = report_layout(gray, width, height, stride, size, width_stride);
  if (!m.usable) return nullptr;
  MallocBuffer mono = quorvane::allocate_zeroed_buffer(static_cast<std::size_t>(m.total));
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (count > SIZE_MAX / sizeof(double)) return nullptr;
  // Without the plane there is nothing to print: the page fails rather than
  // coming out blank.
  std::unique_ptr<double[], FreeDeleter> plane(
      static_cast<double *>(std::malloc(count * sizeof(double))));
  if (!mono || !plane) return nullptr;

  const std::span<double> values(plane.get(), count);
  for (int i = 0; i < height; ++i) {
    const unsigned char *row = gray + static_cast<std::ptrdiff_t>(stride) * i;
    for (int j = 0; j < width; ++j)
      values[static_cast<std::size_t>(i) * width + j] = static_cast<double>(row[j]);
  }
  Trellimo_ImgUtils_dither_image_5x5(width, height, plane.get(), plane.get());

  const std::span<unsigned char> out(mono.get(), static_cast<std::size_t>(m.total));
  for (int i = 0; i < height; ++i)
    for (int j = 0; j < width; ++j)
      if (values[static_cast<std::size_t>(i) * width + j] <= 127.0) set_dot(out, m.row_bytes, i, j);
  return mono.release();
}

unsigned char *ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusion(
    const unsigned char *gray, int width, int height, int stride, int *size, int *width_stride) {
  const MonoLayout m = report_layout(gray, width, height, stride, size, width_stride);
  if (!m.usable) return nullptr;
  MallocBuffer mono = quorvane::allocate_zeroed_buffer(static_cast<std::size_t>(m.total));
  // The last row needs only its pixels; copying whole strides would read
  // past the end of a tightly sized source.
  const std::size_t copy_bytes =
      static_cast<std::size_t>(stride) * static_cast<std::size_t>(height - 1) +
      static_cast<std::size_t>(width);
  MallocBuffer work = quorvane::allocate_buffer(copy_bytes);
  if (!mono || !work) return nullptr;
  std::memcpy(work.get(), gray, copy_bytes);

  const std::span<unsigned char> px(work.get(), copy_bytes);
  const std::span<unsigned char> out(mono.get(), static_cast<std::size_t>(m.total));
  auto at = [&](int i, int j) -> unsigned char & {
    return px[static_cast<std::size_t>(i) * static_cast<std::size_t>(stride) +
              static_cast<std::size_t>(j)];
  };
  auto add = [&](int i, int j, int share) { at(i, j) = clamp_byte(at(i, j) + share); };
  for (int i = 0; i < height; ++i) {
    const bool below = i + 1 < height;
    for (int j = 0; j < width; ++j) {
      const int v = at(i, j);
      const int q = v >= 128 ? 255 : 0;
      const int e = v - q;
      const bool right = j + 1 < width;
      if (right) add(i, j + 1, e * 7 / 16);
      if (below && j > 0) add(i + 1, j - 1, e * 3 / 16);
      if (below) add(i + 1, j, e * 5 / 16);
      if (below && right) add(i + 1, j + 1, e / 16);
      if (q == 0) set_dot(out, m.row_bytes, i, j);
    }
  }
  return mono.release();
}

}  // extern "C"
