// Fields typed as enums that hold whatever a stream or a client put there
// (a raster header's colour space, a printer default PAPPL stored): their
// bits are read as an int, never loaded as an out-of-range enum, which
// would be undefined.
#ifndef QUORVANE_UTILS_FIELD_BITS_H
#define QUORVANE_UTILS_FIELD_BITS_H

#include <cstring>

namespace quorvane {

template <typename Field>
int field_bits(const Field &field) {
  static_assert(sizeof(Field) == sizeof(int));
  int bits;
  std::memcpy(&bits, &field, sizeof bits);
  return bits;
}

}  // namespace quorvane

#endif
