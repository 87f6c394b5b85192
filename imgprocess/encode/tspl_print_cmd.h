/* TSPL label job in text form: settings, CLS, one BITMAP, PRINT 1,1. */
#ifndef QUORVANE_TSPL_PRINT_CMD_H
#define QUORVANE_TSPL_PRINT_CMD_H

#include "../c_linkage.h"

QV_BEGIN_C

/* Which setting lines the job carries and their values; a flag is on when
 * nonzero. Distances are in millimetres, resolutions in dots per inch. */
typedef struct TSPLPrintParam {
  int hres;
  int vres;
  int reference_enable;
  int reference_x;
  int reference_y;
  int bline_enable;
  double bline_height;
  double bline_offset;
  int gap_enable;
  double gap_distance;
  double gap_offset;
  int offset_enable;
  double offset;
  int density_enable;
  int density;
  int speed_enable;
  int speed;
  int tear_enable;
  int tear_on;
  int peel_enable;
  int peel_on;
} TSPLPrintParam;

/* Returns a zero-filled buffer (release with free) of at least
 * row_length * rows + 4096 bytes holding the job, and stores the job's
 * length in *size. Null and size 0 when the buffer cannot be had, for
 * negative sizes, a null raster with rows to send, or a job beyond int. */
unsigned char *RasterDataToTSPLPrintCmd(TSPLPrintParam param, int row_length, int rows,
                                        const unsigned char *raster, int *size);

QV_END_C

#endif
