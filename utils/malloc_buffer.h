// Ownership of malloc'ed buffers inside C++ code. Buffers cross the C API as
// malloc'ed memory; on this side of it they are held by MallocBuffer at once,
// so every return path releases them.
#ifndef QUORVANE_MALLOC_BUFFER_H
#define QUORVANE_MALLOC_BUFFER_H

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace quorvane {

struct FreeDeleter {
  void operator()(void *p) const noexcept { std::free(p); }
};

using MallocBuffer = std::unique_ptr<unsigned char, FreeDeleter>;

// An uninitialised buffer of n bytes (at least one byte is requested so that
// n == 0 still gives a unique pointer); empty when malloc fails.
inline MallocBuffer allocate_buffer(std::size_t n) {
  return MallocBuffer(static_cast<unsigned char *>(std::malloc(n ? n : 1)));
}

// A zero-filled buffer of n bytes; empty when calloc fails.
inline MallocBuffer allocate_zeroed_buffer(std::size_t n) {
  return MallocBuffer(static_cast<unsigned char *>(std::calloc(n ? n : 1, 1)));
}

}  // namespace quorvane

#endif
