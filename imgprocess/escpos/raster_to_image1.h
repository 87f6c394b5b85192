/* Unpacking a Mono raster into an Image1. */
#ifndef QUORVANE_RASTER_TO_IMAGE1_H
#define QUORVANE_RASTER_TO_IMAGE1_H

#include "../c_linkage.h"

QV_BEGIN_C

/* Output byte y * width + x is 1 where bit 7 - (x % 8) of raster byte
 * y * row_length + x / 8 is set, else 0; bits beyond the width are ignored.
 * A row_length below (width + 7) / 8, negative dimensions or an image of
 * more than INT_MAX pixels write nothing. */
void ConvertHorizontalRasterImageToImage1(int row_length, int width, int height,
                                          const unsigned char *raster, unsigned char *output);

QV_END_C

#endif
