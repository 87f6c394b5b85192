/*
 * quorvane image module: preparation of Gray images, their binarisation into
 * Mono rasters, the page command encoders and the ESC/POS image command
 * library. Every function has C linkage.
 *
 * Conventions shared by all of them:
 *  - Gray image: 8 bits per pixel, 0 black, 255 white, pixel (i, j) at
 *    i * stride + j.
 *  - Mono raster: 1 bit per dot, most significant bit leftmost, a set bit is
 *    a printed dot, (width + 7) / 8 bytes per row, rows back to back.
 *  - Two-call size protocol: with a null output buffer a function only stores
 *    the sizes it would produce; with a buffer of that size it fills it.
 *  - Buffers a function returns are allocated with malloc; release them
 *    with free.
 */
#ifndef IMG2ESCCMD_H
#define IMG2ESCCMD_H

#include "prepare/blank_line_striping.h"
#include "prepare/gray_geometry.h"
#include "binarize/ordered_dithering.h"
#include "binarize/error_diffusion.h"
#include "binarize/pixel_format.h"
#include "encode/banded_raster_cmd.h"
#include "encode/compressed_raster_cmd.h"
#include "encode/jbig_raster_cmd.h"
#include "encode/label_print_cmd.h"
#include "encode/tspl_print_cmd.h"
#include "encode/orx_print_cmd.h"
#include "escpos/image_depth.h"
#include "escpos/image1_raster_cmd.h"
#include "escpos/multi_line_raster_cmd.h"
#include "escpos/raster_overbound.h"
#include "escpos/vertical_raster_image.h"
#include "escpos/raster_to_image1.h"
#include "escpos/column_image_cmd.h"
#include "escpos/tm88iv_cmd.h"
#include "text_utils.h"

#endif
