// Buffers of a whole page: the gray page, the mono raster, the command block.
#ifndef QUORVANE_LARGE_BUFFER_H
#define QUORVANE_LARGE_BUFFER_H

#include <cstddef>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "malloc_buffer.h"

namespace quorvane {

// An uninitialised buffer of n bytes, like allocate_buffer. A buffer of
// megabytes starts on a 2 MiB boundary and its whole 2 MiB stretches are
// offered to the kernel for huge pages (where it grants them on request);
// one that the caller is about to fill (`will_fill`) is also mapped in one
// go. First touching a long receipt's page then costs a few faults instead
// of one per 4 KiB, which is otherwise most of what the filter spends beyond
// reading its input. Nothing is mapped beyond n bytes, so the memory held is
// what is used. Freed with free() like any other buffer.
inline MallocBuffer allocate_large_buffer(std::size_t n, bool will_fill = true) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  if (n >= kHuge) {
    void *p = nullptr;
    if (posix_memalign(&p, kHuge, n) == 0) {
      // Hints only: a kernel that refuses them leaves ordinary pages.
      (void)madvise(p, n / kHuge * kHuge, MADV_HUGEPAGE);
#if defined(MADV_POPULATE_WRITE)
      if (will_fill) (void)madvise(p, n, MADV_POPULATE_WRITE);
#endif
      return MallocBuffer(static_cast<unsigned char *>(p));
    }
  }
#else
  (void)will_fill;
#endif
  return allocate_buffer(n);
}

// The same, zero-filled.
inline MallocBuffer allocate_large_zeroed_buffer(std::size_t n) {
  MallocBuffer b = allocate_large_buffer(n);
  if (b && n) std::memset(b.get(), 0, n);
  return b;
}

}  // namespace quorvane

#endif
