#include "error_diffusion.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>

#include "diffusion_shares.h"
#include "error_diffusion_window.h"
#include "malloc_buffer.h"
#include "prepare/large_buffer.h"

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

// Three consecutive rows of the plane, each with DiffusionStream::kMargin
// spare values on both sides.
struct DiffusionRows {
  double *current;
  double *next;
  double *after;
};

// Quantises one row of the plane in the direction D (+1 left to right, -1
// right to left) and spreads each error over the twelve neighbours exactly
// as the whole-plane diffusion does: the same shares, added to each value in
// the same order. Measured from the pixel along D, the kernel is the same
// both ways: 6 and 4 ahead on its row, 3 5 6 5 3 and 1 3 4 3 1 on the rows
// below. Each value that is still receiving shares is held in a register
// from its first share to its last, so a pixel costs one load per row and
// one store per row below instead of twelve additions in memory. Shares that
// the plane would drop at the sides land in the margins.
template <int D, class Share6>
[[gnu::always_inline]] inline void diffuse_row(const DiffusionRows &r, int width,
                                               std::span<unsigned char> out) {
  const double *cur = r.current;
  double *n1 = r.next;
  double *n2 = r.after;
  const int first = D > 0 ? 0 : width - 1;
  double a = cur[first];      // the pixel's value, complete
  double b = cur[first + D];  // the next one's, short of this pixel's share
  double p0 = n1[first - 2 * D], p1 = n1[first - D], p2 = n1[first], p3 = n1[first + D];
  double q0 = n2[first - 2 * D], q1 = n2[first - D], q2 = n2[first], q3 = n2[first + D];
  int j = first;
  for (int step = 0; step < width; ++step, j += D) {
    const double c = cur[j + 2 * D];
    const double p4 = n1[j + 2 * D];
    const double q4 = n2[j + 2 * D];
    const bool black = a < 128.0;
    const double e = black ? a : a - 255.0;
    if (black) out[static_cast<std::size_t>(j >> 3)] |= static_cast<unsigned char>(0x80u >> (j & 7));
    const quorvane::DiffusionShares s = quorvane::diffusion_shares<Share6>(e);
    n1[j - 2 * D] = p0 + s.s3;
    n2[j - 2 * D] = q0 + s.s1;
    p0 = p1 + s.s5;
    p1 = p2 + s.s6;
    p2 = p3 + s.s5;
    p3 = p4 + s.s3;
    q0 = q1 + s.s3;
    q1 = q2 + s.s4;
    q2 = q3 + s.s3;
    q3 = q4 + s.s1;
    a = b + s.s6;
    b = c + s.s4;
  }
  // The last four values of each row below have had all their shares.
  n1[j - 2 * D] = p0;
  n1[j - D] = p1;
  n1[j] = p2;
  n1[j + D] = p3;
  n2[j - 2 * D] = q0;
  n2[j - D] = q1;
  n2[j] = q2;
  n2[j + D] = q3;
}

// One row of the plane diffused, with the share that feeds the next pixel
// divided out or, where the CPU fuses multiply-add, multiplied and proven.
// One call per row: the choice is made once per page.
template <class Share6>
[[gnu::always_inline]] inline void diffuse_row_either_way(const DiffusionRows &r, int width,
                                                          std::span<unsigned char> out,
                                                          bool forward) {
  if (forward)
    diffuse_row<1, Share6>(r, width, out);
  else
    diffuse_row<-1, Share6>(r, width, out);
}

void diffuse_row_divided(const DiffusionRows &r, int width, std::span<unsigned char> out,
                         bool forward) {
  diffuse_row_either_way<quorvane::DividedShare6>(r, width, out, forward);
}

// x86-64 has the fused multiply-add from Haswell and Piledriver on, so it is
// looked for at run time there; AArch64 always has it.
#if defined(__x86_64__) && defined(__GNUC__)
[[gnu::target("fma")]] void diffuse_row_fused(const DiffusionRows &r, int width,
                                              std::span<unsigned char> out, bool forward) {
  diffuse_row_either_way<quorvane::FusedShare6>(r, width, out, forward);
}
bool fused_multiply_add_available() { return __builtin_cpu_supports("fma"); }
#elif defined(__aarch64__)
void diffuse_row_fused(const DiffusionRows &r, int width, std::span<unsigned char> out,
                       bool forward) {
  diffuse_row_either_way<quorvane::FusedShare6>(r, width, out, forward);
}
bool fused_multiply_add_available() { return true; }
#else
void diffuse_row_fused(const DiffusionRows &r, int width, std::span<unsigned char> out,
                       bool forward) {
  diffuse_row_divided(r, width, out, forward);
}
bool fused_multiply_add_available() { return false; }
#endif

}  // namespace

namespace quorvane {

bool DiffusionStream::start(int width, std::span<unsigned char> mono, int row_bytes,
                            ShareDivision division) {
  width_ = width;
  mono_ = mono;
  row_bytes_ = row_bytes;
  loaded_ = done_ = 0;
  fused_ = division == ShareDivision::kFastest && fused_multiply_add_available();
  // The kernel reaches two rows ahead, so three rows of the plane are all
  // that is ever live; the margins take the shares that fall off the sides.
  row_values_ = static_cast<std::size_t>(width) + 2 * kMargin;
  window_.reset();
  if (width <= 0 || row_values_ > SIZE_MAX / sizeof(double) / kWindowRows) return false;
  window_.reset(static_cast<double *>(std::malloc(kWindowRows * row_values_ * sizeof(double))));
  return window_ != nullptr;
}

std::span<double> DiffusionStream::plane_row(int r) {
  // Row r of the plane lives in window row r % 3, from its margin on.
  return std::span<double>(window_.get(), kWindowRows * row_values_)
      .subspan(static_cast<std::size_t>(r % kWindowRows) * row_values_, row_values_);
}

void DiffusionStream::load(const unsigned char *gray) {
  // A row enters the window as its gray levels, with zeroed margins; rows
  // past the page (null) only collect shares that the whole plane drops.
  // It takes the slot of row loaded_ - 3, which is done.
  const std::span<double> dst = plane_row(loaded_++);
  std::fill(dst.begin(), dst.end(), 0.0);
  if (gray)
    std::transform(gray, gray + width_, dst.begin() + kMargin,
                   [](unsigned char v) { return static_cast<double>(v); });
}

void DiffusionStream::diffuse_next() {
  const int i = done_++;
  const std::span<unsigned char> out =
      mono_.subspan(static_cast<std::size_t>(i) * row_bytes_, static_cast<std::size_t>(row_bytes_));
  std::fill(out.begin(), out.end(), 0);
  const DiffusionRows r{plane_row(i).data() + kMargin, plane_row(i + 1).data() + kMargin,
                        plane_row(i + 2).data() + kMargin};
  if (fused_)
    diffuse_row_fused(r, width_, out, i % 2 == 0);
  else
    diffuse_row_divided(r, width_, out, i % 2 == 0);
}

void DiffusionStream::push(const unsigned char *gray) {
  load(gray);
  if (loaded_ >= kWindowRows) diffuse_next();  // its two rows below are in
}

void DiffusionStream::finish() {
  const int rows = loaded_;
  while (done_ < rows) {
    while (loaded_ < done_ + kWindowRows) load(nullptr);
    diffuse_next();
  }
}

unsigned char *error_diffusion_v2(const unsigned char *gray, int width, int height, int stride,
                                  int *size, int *width_stride, ShareDivision division) {
  const MonoLayout m = report_layout(gray, width, height, stride, size, width_stride);
  if (!m.usable) return nullptr;
  // Every row is cleared as it is diffused.
  MallocBuffer mono = allocate_large_buffer(static_cast<std::size_t>(m.total));
  // Without the window there is nothing to print: the page fails rather than
  // coming out blank.
  DiffusionStream stream;
  if (!mono ||
      !stream.start(width, std::span<unsigned char>(mono.get(), static_cast<std::size_t>(m.total)),
                    m.row_bytes, division))
    return nullptr;
  for (int i = 0; i < height; ++i) stream.push(gray + static_cast<std::ptrdiff_t>(stride) * i);
  stream.finish();
  return mono.release();
}

}  // namespace quorvane

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
  return quorvane::error_diffusion_v2(gray, width, height, stride, size, width_stride,
                                      quorvane::ShareDivision::kFastest);
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
