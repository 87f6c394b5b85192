/* Run-length compressed raster rows: one US ( P command per row. */
#ifndef QUORVANE_COMPRESSED_RASTER_CMD_H
#define QUORVANE_COMPRESSED_RASTER_CMD_H

#include "../c_linkage.h"

QV_BEGIN_C

/* Codes one row into a payload: a body-kind byte (0 = raw, else the length
 * of the run-length body that follows as value/count pairs) and the body.
 * Stores the payload length L, or 0 for a row that cannot be coded (null,
 * empty, or longer than the command's 16-bit L allows). With a null output
 * only L is stored. */
void CompressDataBuf(const unsigned char *row, int row_length, unsigned char *output,
                     int *produced_length);

/* The whole page, rows of (width + 7) / 8 bytes, each as 1F 28 50 L(16) and
 * its payload. Two-call size protocol. Size 0 (nothing written) for a page
 * the command cannot carry or whose size does not fit an int. */
void RasterDataToCompressCmd(int width, int rows, const unsigned char *raster,
                             unsigned char *output, int *size);

QV_END_C

#endif
