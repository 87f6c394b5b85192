/* JBIG (T.85) compressed raster bands: one US ( J command per 24 rows. */
#ifndef QUORVANE_JBIG_RASTER_CMD_H
#define QUORVANE_JBIG_RASTER_CMD_H

#include <stddef.h>

#include "../c_linkage.h"

QV_BEGIN_C

/* Collects the coder's output for one band. Pieces that do not fit the
 * capacity are counted in produced but not stored. */
typedef struct BieSink {
  unsigned char *output; /* where the band's BIE goes; unused when capacity <= 0 */
  int capacity;          /* bytes available at output */
  int stored;            /* bytes copied so far */
  int produced;          /* bytes the coder has delivered so far */
} BieSink;

/* The coder's output callback: counts the piece and stores it when it fits
 * whole after what is already stored. */
void output_bie(const unsigned char *data, size_t length, BieSink *sink);

/* Codes one band of rows of (width + 7) / 8 bytes into one BIE at output.
 * True when the whole BIE was stored; *bie_length receives the BIE's length
 * in every case (0 when the band cannot be coded). */
bool RasterDataCompressToJBIG85Data(int width, int rows, const unsigned char *band,
                                    unsigned char *output, int capacity, int *bie_length);

/* The whole page in bands of 24 rows. Size query: null output, capacity 0.
 * *size gets the bytes the page needs, *written the bytes placed in output
 * (bands that do not fit the capacity are left out). A page the command
 * cannot carry (width above 65535 dots, a BIE above 65532 bytes, a size
 * beyond int) reports size 0 and written 0. */
void RasterDataToJBIG5Cmd(int width, int height, const unsigned char *raster,
                          unsigned char *output, int capacity, int *size, int *written);

QV_END_C

#endif
