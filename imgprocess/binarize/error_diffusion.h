/* Error-diffusion binarisation of Gray images into Mono rasters. Both
 * functions allocate the raster they return (release it with free) and store
 * the total size and width_stride = (width + 7) / 8 on every path. */
#ifndef QUORVANE_ERROR_DIFFUSION_H
#define QUORVANE_ERROR_DIFFUSION_H

#include "../c_linkage.h"

QV_BEGIN_C

/* Serpentine diffusion over a 12-neighbour kernel in double precision.
 * Returns null when the raster or its working plane cannot be had, or for an
 * empty image, a null image, a stride below the width or sizes beyond int. */
unsigned char *Trellimo_ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusionV2(
    const unsigned char *gray, int width, int height, int stride, int *size, int *width_stride);

/* Copies src (width * height doubles) to dst, then diffuses dst in place so
 * that every element ends as 0.0 or 255.0. src and dst may be the same plane. */
void Trellimo_ImgUtils_dither_image_5x5(int width, int height, const double *src, double *dst);

/* plane[y * width + x] += value when (x, y) lies inside the plane; shares
 * falling outside the image are dropped. */
void Trellimo_ImgUtils_AddValueToImagePixel(int width, int height, double *plane, int x, int y,
                                            double value);

/* Classic four-neighbour diffusion with integer shares, clamped to 0..255,
 * every row left to right. Same results and failures as the variant above. */
unsigned char *ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusion(
    const unsigned char *gray, int width, int height, int stride, int *size, int *width_stride);

QV_END_C

#endif
