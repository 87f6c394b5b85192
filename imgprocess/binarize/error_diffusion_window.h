// The twelve-neighbour error diffusion behind
// Trellimo_ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusionV2, with a
// choice of how the share that feeds the next pixel is divided, so that both
// ways can be checked on any machine.
#ifndef QUORVANE_ERROR_DIFFUSION_WINDOW_H
#define QUORVANE_ERROR_DIFFUSION_WINDOW_H

namespace quorvane {

enum class ShareDivision {
  kFastest,  // multiplication proven exact where the CPU fuses multiply-add
  kDivided,  // a plain division for every share
};

// Same contract as the C function; both ways give the same bits.
unsigned char *error_diffusion_v2(const unsigned char *gray, int width, int height, int stride,
                                  int *size, int *width_stride, ShareDivision division);

}  // namespace quorvane

#endif
