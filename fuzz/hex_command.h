// The reading of printer commands written as hex text in a PPD, as a plain
// model for the fuzz targets to check the filter against: pairs of digits
// are bytes, anything else is skipped, a digit followed by a non-digit is a
// byte of its own and takes that character with it, a final lone digit is a
// byte.
#ifndef QUORVANE_FUZZ_HEX_COMMAND_H
#define QUORVANE_FUZZ_HEX_COMMAND_H

#include <string>
#include <string_view>

namespace quorvane::fuzz {

inline int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

inline std::string decode_hex_text(std::string_view text) {
  std::string out;
  std::size_t i = 0;
  while (text.size() - i > 1) {
    const int hi = hex_value(text[i]);
    if (hi < 0) {
      ++i;
      continue;
    }
    const int lo = hex_value(text[i + 1]);
    out.push_back(static_cast<char>(lo < 0 ? hi : hi << 4 | lo));
    i += 2;
  }
  if (text.size() - i == 1 && hex_value(text[i]) >= 0)
    out.push_back(static_cast<char>(hex_value(text[i])));
  return out;
}

}  // namespace quorvane::fuzz

#endif
