/* Image1 to column format ("vertical raster"): columns left to right, each
 * height_stride bytes from the top; dot (x, y) is bit 7 - (y % 8) of byte
 * x * height_stride + y / 8, so the top dot of each byte is its most
 * significant bit. Any non-zero Image1 byte is a dot; dots outside the image
 * are 0.
 *
 * Two-call size protocol with an optional size out-parameter: sizes are
 * stored first; with a buffer it is cleared and then written. Negative
 * dimensions or strides, alignments below 1 and sizes above INT_MAX report
 * size 0 and write nothing. */
#ifndef QUORVANE_VERTICAL_RASTER_IMAGE_H
#define QUORVANE_VERTICAL_RASTER_IMAGE_H

#include "../c_linkage.h"

QV_BEGIN_C

/* Column height (height + 7) / 8 bytes, also stored in *height_stride;
 * width * that bytes. */
void ConvertImage1ToVerticalRasterImage(int width, int height, const unsigned char *src,
                                        int *height_stride, unsigned char *output, int *size);

/* Columns of the given height in bytes; rows from height_stride * 8 on are
 * dropped. width * height_stride bytes. */
void ConvertImage1ToVerticalRasterImageSpecifyHeightStride(int width, int height,
                                                           const unsigned char *src,
                                                           int height_stride,
                                                           unsigned char *output, int *size);

/* Width rounded up to a multiple of 8 * width_alignment columns, column
 * height rounded up to a multiple of height_alignment bytes (of 8 dots). */
void ConvertImage1ToVerticalRasterImageSpecifyByteAlignment(int width, int height,
                                                            const unsigned char *src,
                                                            int width_alignment,
                                                            int height_alignment,
                                                            unsigned char *output, int *size);

/* Exactly dst_columns columns of height_stride bytes, which the caller
 * sizes; columns and rows beyond them are dropped. Nothing at all happens
 * with a null output. */
void ConvertImage1ToVerticalRasterImageSpecifyDstWidthAndHeight(int width, int height,
                                                                const unsigned char *src,
                                                                int dst_columns,
                                                                int height_stride,
                                                                unsigned char *output);

QV_END_C

#endif
