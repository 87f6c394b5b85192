/* Ordered dithering and mean thresholding of Gray images into Mono rasters. */
#ifndef QUORVANE_ORDERED_DITHERING_H
#define QUORVANE_ORDERED_DITHERING_H

#include "../c_linkage.h"

QV_BEGIN_C

/* The 16 x 16 threshold table: the order-16 Bayer matrix, except that entry
 * [15][0] holds 254 so that white never prints. */
extern const unsigned char Floyd16x16[16][16];

/* A dot is printed where pixel <= Floyd16x16[row % 16][column % 16].
 * Two-call size protocol; width_stride = (width + 7) / 8. */
void ConvertGrayImageToMonoFormatUseDithering(const unsigned char *gray, int width, int height,
                                              int stride, unsigned char *mono, int *size,
                                              int *width_stride);

/* A dot is printed where pixel < the page's mean level (128 for a uniform
 * buffer). Two-call size protocol. */
void ConvertGrayImageToMonoFormatUseThresholding(const unsigned char *gray, int width, int height,
                                                 int stride, unsigned char *mono, int *size,
                                                 int *width_stride);

QV_END_C

#endif
