// The twelve-neighbour error diffusion behind
// Trellimo_ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusionV2, row by
// row: its kernel reaches two rows ahead, so three rows of the plane are all
// that is ever live, and a page can be diffused as its rows arrive.
#ifndef QUORVANE_ERROR_DIFFUSION_WINDOW_H
#define QUORVANE_ERROR_DIFFUSION_WINDOW_H

#include <cstddef>
#include <memory>
#include <span>

#include "malloc_buffer.h"

namespace quorvane {

enum class ShareDivision {
  kFastest,  // multiplication proven exact where the CPU fuses multiply-add
  kDivided,  // a plain division for every share
};

// Diffuses rows of `width` gray levels into the Mono rows of `mono`
// (row_bytes each), exactly as diffusing the whole plane would. Row i is
// written once row i + 2 has arrived, and the last two by finish().
class DiffusionStream {
 public:
  static constexpr int kMargin = 2;      // the kernel reaches two columns to each side
  static constexpr int kWindowRows = 3;  // the current row and the two below

  // False when the window cannot be had or the width is not positive.
  bool start(int width, std::span<unsigned char> mono, int row_bytes,
             ShareDivision division = ShareDivision::kFastest);
  // The next row's `width` gray levels; `mono` must have room for every row
  // pushed.
  void push(const unsigned char *gray);
  void finish();

 private:
  std::span<double> plane_row(int r);
  void load(const unsigned char *gray);
  void diffuse_next();

  int width_ = 0;
  std::span<unsigned char> mono_;
  int row_bytes_ = 0;
  bool fused_ = false;
  std::size_t row_values_ = 0;
  std::unique_ptr<double[], FreeDeleter> window_;
  int loaded_ = 0;  // rows of the plane loaded, past-the-page rows included
  int done_ = 0;    // rows diffused
};

// The whole-image conversion with a choice of division, so that both ways
// can be checked on any machine. Same contract as the C function.
unsigned char *error_diffusion_v2(const unsigned char *gray, int width, int height, int stride,
                                  int *size, int *width_stride, ShareDivision division);

}  // namespace quorvane

#endif
