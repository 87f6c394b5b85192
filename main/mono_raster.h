// A page binarised: the Mono raster the encoders take.
#ifndef QUORVANE_MONO_RASTER_H
#define QUORVANE_MONO_RASTER_H

#include "malloc_buffer.h"

struct MonoRaster {
  quorvane::MallocBuffer data;  // width_stride * height bytes; empty when the page failed
  int width_stride = 0;
  int height = 0;
};

#endif
