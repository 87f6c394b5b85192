// The page encoders whose size is only known by coding the page, called so
// that each page is coded once.
#ifndef QUORVANE_SINGLE_PASS_H
#define QUORVANE_SINGLE_PASS_H

#include "malloc_buffer.h"

namespace quorvane {

// The bytes RasterDataToCompressCmd(width, rows, raster, ...) gives in its
// two calls, coded in one pass into a buffer of the longest the page can
// need (a row is never longer than raw plus its framing). Falls back to the
// two calls when that bound is beyond an int. Empty with size 0 when the
// encoder refuses the page or memory is short.
MallocBuffer compressed_block_once(int width, int rows, const unsigned char *raster, int &size);

// The bytes RasterDataToJBIG5Cmd(width, rows, raster, ...) gives in its two
// calls. JBIG-KIT's coder costs tens of nanoseconds a dot and the size query
// is a full coding, so the page is coded once into a buffer of `room` bytes
// (by default half as much again as the raster, and a little per band,
// which a T.85 band does not exceed in practice); only when a band did not
// fit is it coded again the two-call way. The bytes are the same either way.
// Empty with size 0 when the encoder refuses the page, memory is short, or
// the filled buffer came out short of the size.
MallocBuffer jbig_block_once(int width, int rows, const unsigned char *raster, int &size,
                             long long room = -1);

}  // namespace quorvane

#endif
