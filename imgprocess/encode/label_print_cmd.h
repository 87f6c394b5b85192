/* SUB label command sequence carrying a whole raster page uncompressed. */
#ifndef QUORVANE_LABEL_PRINT_CMD_H
#define QUORVANE_LABEL_PRINT_CMD_H

#include "../c_linkage.h"

QV_BEGIN_C

/* Opening block (position x, y), bitmap block with the rows of
 * (width + 7) / 8 bytes, closing and print blocks: 32 + row length * height
 * bytes. Two-call size protocol. The command's x, y, width and height fields
 * are 16 bits: values that do not fit (or are negative), a null raster with
 * rows to send, or a size beyond int report size 0 and write nothing. */
void RasterDataToLabelPrintCmd(int x, int y, int width, int height, const unsigned char *raster,
                               unsigned char *output, int *size);

/* The same block at position 0, 0 for a width of row_length * 8 dots. */
void RasterDataToLabelCmd(int row_length, int height, const unsigned char *raster,
                          unsigned char *output, int *size);

QV_END_C

#endif
