#include "hex_decode.h"

#include <cctype>

namespace {

bool is_hex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

int value_of(char c) { return hexchar_to_int_table[static_cast<unsigned char>(c) & 0x7F]; }

}  // namespace

extern "C" {

// Rows of 16 character codes; '0'-'9' at 48, 'A'-'F' at 65, 'a'-'f' at 97.
const int hexchar_to_int_table[128] = {
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  0,  0,  0,  0,  0,  0,
     0, 10, 11, 12, 13, 14, 15,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0, 10, 11, 12, 13, 14, 15,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
};

int hexstr_to_bytes(const char *text, int length, unsigned char *out, int capacity) {
  if (text == nullptr || out == nullptr || length <= 0 || capacity <= 0) return 0;
  int count = 0;
  int pos = 0;
  while (length - pos > 1 && count < capacity) {
    const char first = text[pos];
    if (!is_hex(first)) {
      ++pos;
      continue;
    }
    const char second = text[pos + 1];
    if (is_hex(second)) {
      out[count++] = static_cast<unsigned char>((value_of(first) << 4) | value_of(second));
    } else {
      // A lone digit is a byte of its own; the separator goes with it.
      out[count++] = static_cast<unsigned char>(value_of(first));
    }
    pos += 2;
  }
  if (length - pos == 1 && count < capacity && is_hex(text[pos])) {
    out[count++] = static_cast<unsigned char>(value_of(text[pos]));
  }
  return count;
}

}  // extern "C"
