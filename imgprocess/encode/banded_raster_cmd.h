/* ESC/POS print-raster-bit-image (GS v 0) commands. */
#ifndef QUORVANE_BANDED_RASTER_CMD_H
#define QUORVANE_BANDED_RASTER_CMD_H

#include "../c_linkage.h"

QV_BEGIN_C

/* One GS v 0 block for the whole raster: 8 + row_length * rows bytes.
 * The printer's command takes 16-bit sizes: a row length or a row count
 * above 65535 reports size 0 and writes nothing. */
void RasterDataToRasterCmd(int row_length, int rows, const unsigned char *raster,
                           unsigned char *output, int *size);

/* GS v 0 blocks of at most band_height rows each, end to end. A band height
 * below 1, or sizes the command cannot carry, report size 0. */
void RasterDataToRasterCmdSpecifyBankHeight(int row_length, int rows,
                                            const unsigned char *raster, int band_height,
                                            unsigned char *output, int *size);

QV_END_C

#endif
