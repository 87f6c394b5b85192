/* A Mono raster cut into bands of GS v 0 commands, optionally without its
 * blank rows at the top and bottom. */
#ifndef QUORVANE_MULTI_LINE_RASTER_CMD_H
#define QUORVANE_MULTI_LINE_RASTER_CMD_H

#include "../c_linkage.h"

QV_BEGIN_C

/* Bands of at most rows_per_cmd rows, each one GS v 0 command, end to end:
 * 8 bytes per band plus the raster. Fills the output only when both the
 * raster and the output are given, without clearing it first. A
 * rows_per_cmd of 0, a size above INT_MAX, or a row length or band height
 * above the command's 16-bit fields (65535) reports size 0 and writes
 * nothing; so the result equals RasterDataToRasterCmdSpecifyBankHeight's. */
void RasterDataToMultiLineRasterCmd(unsigned row_length, unsigned height,
                                    const unsigned char *raster, unsigned rows_per_cmd,
                                    unsigned char *output, unsigned *size);

/* As above over the rows left after dropping the all-zero rows at the top
 * (strip_top) and bottom (strip_bottom). Padding bits count: a row is blank
 * only when all row_length bytes are 0. Without a raster nothing can be
 * scanned and the size is that of all rows. A negative height reports 0. */
void RasterDataToMultiLineRasterCmdWithStrip(unsigned row_length, int height,
                                             const unsigned char *raster, unsigned rows_per_cmd,
                                             unsigned char *output, unsigned *size,
                                             bool strip_top, bool strip_bottom);

QV_END_C

#endif
