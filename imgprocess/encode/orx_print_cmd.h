/* Page job of the ORX label command language. */
#ifndef QUORVANE_ORX_PRINT_CMD_H
#define QUORVANE_ORX_PRINT_CMD_H

#include "../c_linkage.h"

QV_BEGIN_C

typedef struct ORXPrintParam {
  int hres;              /* dots per inch across; not used by the job */
  int vres;              /* dots per inch along the paper; converts the feed */
  int paper_type;        /* 1: bracket the image with 1A 0C FF / 1A 0C 00 */
  int image_compression; /* 1: run-length rows, 2: JBIG bands, else GS v 0 bands */
  int density_enable;
  int density;           /* 0 ... 15 */
  int speed_enable;
  int speed;             /* the command carries speed * 25 */
  int finish_print_feed; /* mm fed after the image; 0 or less: none */
  int finish_print_cut;  /* 1: ESC m, 2: ESC i, else none */
} ORXPrintParam;

/* Returns a zero-filled buffer (release with free) of at least
 * row_length * rows + 4096 bytes, larger when the job needs it, and stores
 * the job's length in *size. Null and size 0 when the buffer cannot be had,
 * when a size does not fit an int, or when the image encoder refuses a page
 * that has rows to print. */
unsigned char *RasterDataToORXPrintCmd(ORXPrintParam param, int row_length, int rows,
                                       const unsigned char *raster, int *size);

QV_END_C

#endif
