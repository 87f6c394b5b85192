// A page binarised: the Mono raster the encoders take.
#ifndef QUORVANE_ENGINE_MONO_RASTER_H
#define QUORVANE_ENGINE_MONO_RASTER_H

#include "malloc_buffer.h"

namespace quorvane {

struct MonoRaster {
  MallocBuffer data;  // width_stride * height bytes; empty when the page failed
  int width_stride = 0;
  int height = 0;
};

}  // namespace quorvane

#endif
