/* Graphics job for the Epson TM-T88IV: GS 8 L function 112 (store a raster
 * image in the print buffer) followed by GS 8 L function 50 (print it).
 *
 * W and H are width and height rounded up to multiples of 8 dots and
 * k = (W / 8) * H; the job is k + 26 bytes:
 *   1D 38 4C p1..p4 (k + 10, little-endian) 30 70 30 01 01 31 xL xH yL yH,
 *   k bytes of rows (most significant bit leftmost, rows below the image 0),
 *   1D 38 4C 02 00 00 00 30 02.
 * Two-call size protocol with a required size out-parameter; with a buffer
 * all k + 26 bytes are cleared and then written. Negative dimensions, a
 * raster row_length below (width + 7) / 8, W or H above 65535 and sizes
 * above INT_MAX report size 0 and write nothing. */
#ifndef QUORVANE_TM88IV_CMD_H
#define QUORVANE_TM88IV_CMD_H

#include "../c_linkage.h"

QV_BEGIN_C

/* Any non-zero Image1 byte is a dot. */
void Image1ToTM88IVRasterCmd(int width, int height, const unsigned char *src,
                             unsigned char *output, int *size);

/* Sends the first (width + 7) / 8 bytes of each raster row as they stand,
 * padding bits included; clear them first (RasterDataSetOverbound) for
 * output identical to the Image1 form. */
void ConvertHorizontalRasterImageToEpsonTM88IVGS8Cmd(int row_length, int width, int height,
                                                     const unsigned char *raster,
                                                     unsigned char *output, int *size);

QV_END_C

#endif
