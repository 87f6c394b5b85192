#include "page_geometry.h"

#include <cstdint>

namespace quorvane {

bool gray_page_usable(const PageGeometry &g) {
  if (g.bits_per_pixel != 8) return false;
  const unsigned long long size = static_cast<unsigned long long>(g.bytes_per_line) * g.height;
  return size != 0 && g.width != 0 && g.bytes_per_line >= g.width &&
         g.bytes_per_line <= INT32_MAX && g.height <= INT32_MAX &&
         size <= static_cast<unsigned long long>(kMaxGrayPageBytes);
}

}  // namespace quorvane
