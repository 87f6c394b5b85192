/* NV bit image blocks and downloaded bit images (GS *) in column format.
 *
 * With xb = (width + 7) / 8 and yb = (height + 7) / 8 the image data are
 * 8 * xb columns of yb bytes, left to right, the top dot of each byte in its
 * most significant bit; columns and rows outside the image are 0.
 *  - NV bit image block (what FS q carries per image, without FS q and the
 *    count): xL xH yL yH (xb and yb, little-endian), then the data.
 *  - GS * command: 1D 2A xb yb (single bytes: at most 2040 dots each way),
 *    then the data.
 * Sizes the header cannot carry (xb or yb above 65535 for NV, above 255 for
 * GS *) are refused.
 * Two-call size protocol: the size is stored first (where given); with a
 * buffer it is cleared and written. Negative dimensions, a raster
 * row_length below (width + 7) / 8 and sizes above INT_MAX report size 0 and
 * write nothing. The Image1 and raster routes give identical bytes. */
#ifndef QUORVANE_COLUMN_IMAGE_CMD_H
#define QUORVANE_COLUMN_IMAGE_CMD_H

#include "../c_linkage.h"

QV_BEGIN_C

void Image1ToNVData(int width, int height, const unsigned char *src, unsigned char *output,
                    int *size);

void Image1ToGSCmd(int width, int height, const unsigned char *src, unsigned char *output,
                   int *size);

/* The raster forms unpack into a temporary Image1; without memory for it the
 * output is a blank image of the right size. */
void ConvertHorizontalRasterImageToNVData(int row_length, int width, int height,
                                          const unsigned char *raster, unsigned char *output,
                                          int *size);

void ConvertHorizontalRasterImageToDownloadImageCmd(int row_length, int width, int height,
                                                    const unsigned char *raster,
                                                    unsigned char *output, int *size);

/* The GS * column data alone, without its 4-byte header. */
void ConvertHorizontalRasterImageToDownloadImageData(int row_length, int width, int height,
                                                     const unsigned char *raster,
                                                     unsigned char *output, int *size);

QV_END_C

#endif
