/* Geometry of a Gray image between striping and binarisation. */
#ifndef QUORVANE_GRAY_GEOMETRY_H
#define QUORVANE_GRAY_GEOMETRY_H

#include "../c_linkage.h"

QV_BEGIN_C

/* Reverses the first length bytes of buffer: rows * stride bytes turn the
 * image by 180 degrees. */
void UpsideDownGrayImage(unsigned char *buffer, int length);

/* Blank columns counted from the left edge, and from the right edge. */
int GetGrayImageLeftPadding(const unsigned char *data, int width, int height, int stride,
                            unsigned char value);
int GetGrayImageRightPadding(const unsigned char *data, int width, int height, int stride,
                             unsigned char value);

/* Narrows the image in place by its blank margins; at least one column is
 * kept. The stride does not change; the new width goes to *out_width. */
void StripGrayImageLeftRightPadding(unsigned char *data, int width, int height, int stride,
                                    unsigned char value, int strip_left, int strip_right,
                                    int *out_width);

/* Keeps the middle target columns and repacks the rows at stride target, in
 * place. Returns true (also when there was nothing to do); the result is
 * kept so that callers can still tell a failed cut from a done one. */
bool TurncateGrayImageToDstWidth(unsigned char *buffer, int width, int height, int stride,
                                 int target);

/* A new white canvas of canvas_stride * canvas_height bytes with the source
 * placed at (x_offset, y_offset), clipped to the canvas; null when it cannot
 * be allocated. */
unsigned char *LayoutGrayImageToNewImage(const unsigned char *source, int source_width,
                                         int source_height, int source_stride,
                                         int canvas_width, int canvas_height,
                                         int canvas_stride, int x_offset, int y_offset);

QV_END_C

#endif
