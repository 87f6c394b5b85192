/* The ESC/POS image library's in-memory images and their depth conversions.
 *
 * All images are unpadded and row-major: pixel (x, y) is element
 * y * width + x.
 *  - Image32: uint32_t words, bits 16-23 red, 8-15 green, 0-7 blue, 24-31
 *    ignored.
 *  - Image8: gray bytes, 0 black ... 255 white.
 *  - Image1: one byte per dot, 0 white, 1 black.
 * The caller sizes every buffer (width * height elements). A width or height
 * of 0 or less, or an image of more than INT_MAX pixels, writes nothing. */
#ifndef QUORVANE_IMAGE_DEPTH_H
#define QUORVANE_IMAGE_DEPTH_H

#include <stdint.h>

#include "../c_linkage.h"

QV_BEGIN_C

/* Black (1) where a pixel is <= the integer mean of the image, so a uniform
 * image of any level comes out all black. */
void Image8ToImage1(int width, int height, const unsigned char *src, unsigned char *dst);

/* BT.601 luma, truncated: (R * 0.299 + G * 0.587) + B * 0.114. */
void Image32ToImage8(int width, int height, const uint32_t *src, unsigned char *dst);

/* Luma as above, then black where it is <= Floyd16x16[x % 16][y % 16]
 * (column index first). */
void Image32ToImage1(int width, int height, const uint32_t *src, unsigned char *dst);

QV_END_C

#endif
