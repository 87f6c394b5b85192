// Calling an operation of the two-call size protocol from C++.
#ifndef QUORVANE_ENGINE_TWO_CALL_H
#define QUORVANE_ENGINE_TWO_CALL_H

#include <cstddef>

#include "malloc_buffer.h"
#include "prepare/large_buffer.h"

namespace quorvane {

// Once for the size, once into a buffer of it; empty when the size is 0 or
// memory is short.
template <typename Fill>
MallocBuffer two_call(Fill fill, int &size) {
  size = 0;
  fill(nullptr, &size);
  if (size <= 0) return {};
  MallocBuffer out = allocate_large_buffer(static_cast<std::size_t>(size));
  if (out) fill(out.get(), &size);
  return out;
}

}  // namespace quorvane

#endif
