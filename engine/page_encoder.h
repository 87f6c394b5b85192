// A page's Mono raster as one block of printer commands.
#ifndef QUORVANE_ENGINE_PAGE_ENCODER_H
#define QUORVANE_ENGINE_PAGE_ENCODER_H

#include <functional>
#include <span>

#include "malloc_buffer.h"
#include "mono_raster.h"
#include "page_geometry.h"
#include "page_settings.h"

namespace quorvane {

struct CommandBlock {
  MallocBuffer data;
  int size = 0;

  std::span<const unsigned char> bytes() const {
    return {data.get(), data ? static_cast<std::size_t>(size) : 0};
  }
  explicit operator bool() const { return static_cast<bool>(data); }
};

// One line of the engine's trace, without its line end.
using TraceSink = std::function<void(const char *line)>;

// Encodes the raster in the settings' command form; the resolution is the
// page's. Empty when the form makes no block or the encoder refuses the
// page. The ORX settings go to the trace as read.
CommandBlock encode_page(const MonoRaster &mono, const PageSettings &settings,
                         const PageGeometry &geometry, const TraceSink &trace);

}  // namespace quorvane

#endif
