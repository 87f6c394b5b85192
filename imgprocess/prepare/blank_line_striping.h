/* Paper saving: shortening runs of blank rows in a Gray image. */
#ifndef QUORVANE_BLANK_LINE_STRIPING_H
#define QUORVANE_BLANK_LINE_STRIPING_H

#include "../c_linkage.h"

QV_BEGIN_C

/* True when each of the first width bytes of row equals value (also when
 * width <= 0). */
bool ScanLineEquals(const unsigned char *row, int width, unsigned char value);

/* Consecutive blank rows counted from row 0 downwards (0..rows). */
int GetScalLineEqualsHeightForward(const unsigned char *data, int width, int rows,
                                   int stride, unsigned char value);

/* Consecutive blank rows counted from row rows - 1 upwards (0..rows). */
int GetScalLineEqualsHeightBackward(const unsigned char *data, int width, int rows,
                                    int stride, unsigned char value);

/* Copies the rows of source that survive the three limits into destination
 * (stride * height bytes at least, same stride) and stores their number in
 * *out_rows. A limit of 0 or less switches its kind of shortening off.
 * destination may be source itself: kept rows only move up, so the page can
 * be striped in place. */
void GetStripedBitmap(const unsigned char *source, int width, int height, int stride,
                      unsigned char blank, int top, int middle, int bottom,
                      unsigned char *destination, int *out_rows);

QV_END_C

#endif
