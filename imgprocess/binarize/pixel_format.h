/* Conversion of images in nine pixel formats to Gray images and Mono
 * rasters.
 *
 * Format codes: 1 = 1 bit per pixel, MSB first; 2 = 1 bit per pixel, LSB
 * first; 3 = 8-bit gray; 4 = R,G,B; 5 = B,G,R; 6 = x,R,G,B; 7 = R,G,B,x;
 * 8 = x,B,G,R; 9 = B,G,R,x (x ignored). Pixel j of row i starts at byte
 * i * stride + j * bytes-per-pixel. */
#ifndef QUORVANE_PIXEL_FORMAT_H
#define QUORVANE_PIXEL_FORMAT_H

#include "../c_linkage.h"

QV_BEGIN_C

/* Entry k is k with its eight bits in reverse order. */
extern const unsigned char BitReverseTable256[256];

unsigned char ReverseBit(unsigned char byte);

/* Gray image of width * height bytes, gray stride = width. Codes 3 to 9 are
 * converted; any other code leaves the output all 0. Two-call size protocol.
 * A geometry that is negative, too large for int, or whose stride is shorter
 * than a row of the format reports sizes 0 and writes nothing. */
void ConvertImageToGrayFormat(const unsigned char *data, int width, int height, int stride,
                              int format, unsigned char *gray, int *size, int *gray_stride);

/* Ordered dithering; the same function as
 * ConvertGrayImageToMonoFormatUseDithering. */
void ConvertGrayImageToMonoFormat(const unsigned char *gray, int width, int height, int stride,
                                  unsigned char *mono, int *size, int *width_stride);

/* Mono raster of (width + 7) / 8 bytes per row. Codes 1 and 2 are copied (2
 * with its bits reversed), 3 to 9 dithered; any other code leaves the output
 * all 0 (white). Two-call size protocol; invalid geometry as above. */
void ConvertImageToMonoFormat(const unsigned char *data, int width, int height, int stride,
                              int format, unsigned char *mono, int *size, int *width_stride);

QV_END_C

#endif
