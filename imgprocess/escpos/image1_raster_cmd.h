/* Image1 to Mono raster and to ESC/POS print-raster-bit-image (GS v 0)
 * commands.
 *
 * Rows are packed (width + 7) / 8 bytes each, most significant bit
 * leftmost, a set bit a printed dot; any non-zero Image1 byte is a dot.
 * Two-call size protocol: the size is always stored; with a buffer all of it
 * is cleared and then written. Negative dimensions, images of more than
 * INT_MAX pixels and sizes above INT_MAX report size 0 and write nothing, as
 * do commands whose row length or row count exceeds the 16-bit fields
 * (65535). */
#ifndef QUORVANE_IMAGE1_RASTER_CMD_H
#define QUORVANE_IMAGE1_RASTER_CMD_H

#include "../c_linkage.h"

QV_BEGIN_C

/* The Mono raster alone: ((width + 7) / 8) * height bytes. */
void Image1ToRasterData(int width, int height, const unsigned char *src, unsigned char *output,
                        int *size);

/* One GS v 0 command whose row count is the height rounded up to 8; the rows
 * below the image are blank. */
void Image1ToRasterCmd(int width, int height, const unsigned char *src, unsigned char *output,
                       int *size);

/* One single-row GS v 0 command per image row. The size counts the height
 * rounded up to 8 commands; those after the last row are zero bytes. */
void Image1ToEachLineRasterCmd(int width, int height, const unsigned char *src,
                               unsigned char *output, int *size);

QV_END_C

#endif
