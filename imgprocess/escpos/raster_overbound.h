/* Forcing the padding dots of a Mono raster to a known value. */
#ifndef QUORVANE_RASTER_OVERBOUND_H
#define QUORVANE_RASTER_OVERBOUND_H

#include "../c_linkage.h"

QV_BEGIN_C

/* In each of the height rows of row_length bytes, sets (value != 0) or
 * clears (value == 0) every dot from first_dot to the end of the row. With
 * first_dot = the image width this fixes the bits beyond the width. Negative
 * arguments or a raster above INT_MAX bytes change nothing. */
void RasterDataSetOverbound(int row_length, int first_dot, int height, unsigned char *raster,
                            int value);

QV_END_C

#endif
