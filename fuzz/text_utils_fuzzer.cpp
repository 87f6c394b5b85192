// The text utilities on fuzzed bytes and text: hex listings and dumps into
// buffers of every capacity, replacement against a plain model, MAC and IP
// text from arbitrary characters and round trips of well-formed addresses.
//
// Input: an operation byte, then the operation's arguments and data.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "text_utils.h"

using quorvane::fuzz::Input;
using quorvane::fuzz::require;

namespace {

std::string hex_listing(const std::vector<unsigned char> &data) {
  std::string s;
  char b[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(b, sizeof b, "%02X", data[i]);
    s += b;
    s += i % 16 == 15 || i + 1 == data.size() ? '\n' : ' ';
  }
  return s;
}

std::string hex_ascii_dump(std::uint32_t base, const std::vector<unsigned char> &data) {
  std::string s;
  char b[16];
  for (std::size_t i = 0; i < data.size(); i += 16) {
    const std::uint32_t address = base + static_cast<std::uint32_t>(i);
    std::snprintf(b, sizeof b, "%04X-%04X  ", unsigned(address >> 16), unsigned(address & 0xFFFF));
    s += b;
    const std::size_t end = std::min(data.size(), i + 16);
    for (std::size_t k = i; k < end; ++k) {
      std::snprintf(b, sizeof b, "%02X", data[k]);
      s += b;
      if (k + 1 < end) s += ' ';
    }
    s += "  ";
    for (std::size_t k = i; k < end; ++k)
      s += data[k] >= 0x20 && data[k] <= 0x7F ? char(data[k]) : ' ';
    s += '\n';
  }
  return s;
}

// A text operation's output at a capacity: a NUL-terminated prefix of the
// whole text, and the characters written including the NUL.
void check_prefix(const std::string &want, const std::vector<char> &out, int capacity, int n) {
  if (capacity < 1) {
    require(n == 0, "no room, nothing written");
    return;
  }
  const std::size_t len = std::min<std::size_t>(want.size(), std::size_t(capacity) - 1);
  require(n == int(len) + 1, "characters written");
  require(out[len] == '\0' && std::memcmp(out.data(), want.data(), len) == 0, "text prefix");
}

void listing(Input &in, bool dump) {
  const std::uint32_t base = in.byte() << 24 | in.byte() << 16 | in.byte() << 8 | in.byte();
  const int length = in.range(0, 200);
  auto data = in.bytes(std::size_t(length));
  data.resize(std::size_t(length));
  const std::string want = dump ? hex_ascii_dump(base, data) : hex_listing(data);
  const int capacity = in.range(0, int(want.size()) + 3);
  std::vector<char> out(std::size_t(capacity ? capacity : 1), '\x7f');
  const int n = dump ? bytes_to_addr_hex_ascii_str(base, data.data(), length,
                                                    capacity ? out.data() : nullptr, capacity)
                     : bytes_to_hexstr(data.data(), length, capacity ? out.data() : nullptr,
                                       capacity);
  check_prefix(want, out, capacity, n);
}

void replace(Input &in) {
  const int source_length = in.range(0, 300);
  const int pattern_length = in.range(0, 4);
  const int replacement_length = in.range(0, 8);
  auto source = in.bytes(std::size_t(source_length));
  source.resize(std::size_t(source_length));
  for (auto &b : source) b &= 0x03;  // a small alphabet, so the pattern matches
  const auto pattern_bytes = in.bytes(std::size_t(pattern_length) + 16);
  std::vector<unsigned char> pattern(pattern_bytes.begin() + 16, pattern_bytes.end());
  for (auto &b : pattern) b &= 0x03;
  auto replacement = in.bytes(std::size_t(replacement_length));
  replacement.resize(std::size_t(replacement_length));

  // The model: left to right, non-overlapping.
  std::vector<unsigned char> want;
  std::size_t first_unfit = SIZE_MAX;
  const int capacity_hint = in.range(0, 700);
  for (std::size_t i = 0; i < source.size();) {
    if (!pattern.empty() && i + pattern.size() <= source.size() &&
        std::equal(pattern.begin(), pattern.end(), source.begin() + i)) {
      if (want.size() + replacement.size() > std::size_t(capacity_hint) && first_unfit == SIZE_MAX)
        first_unfit = want.size();
      want.insert(want.end(), replacement.begin(), replacement.end());
      i += pattern.size();
    } else {
      want.push_back(source[i++]);
    }
  }
  const int capacity = capacity_hint;
  std::vector<unsigned char> out(std::size_t(capacity ? capacity : 1), 0xEE);
  int length = -1;
  const bool fitted = bytes_replace(source.data(), source_length, pattern.data(), pattern_length,
                                    replacement.data(), replacement_length,
                                    capacity ? out.data() : nullptr, capacity, &length);
  require(length == int(want.size()), "result length");
  require(fitted == (want.size() <= std::size_t(capacity)), "fitted");
  const std::size_t good = std::min<std::size_t>({want.size(), std::size_t(capacity), first_unfit});
  require(std::equal(want.begin(), want.begin() + good, out.begin()), "replaced bytes");
}

std::string text_of(Input &in) {
  const std::size_t n = in.range(0, 120);
  const auto raw = in.bytes(n);
  std::string s(raw.begin(), raw.begin() + n);
  // Mostly address characters, so that the parsers get past the first group.
  const unsigned mode = in.byte() % 3;
  for (char &c : s) {
    if (mode == 1) c = "0123456789.:- +xAfF"[static_cast<unsigned char>(c) % 19];
    if (mode == 2) c = "0123456789abcdefABCDEF:"[static_cast<unsigned char>(c) % 23];
  }
  return s;
}

void addresses(Input &in) {
  const std::string text = text_of(in);
  unsigned char ip[4] = {1, 2, 3, 4}, mac[6] = {1, 2, 3, 4, 5, 6};
  ip_string_to_bytes_a(text.c_str(), ip);
  mac_string_to_bytes_a(text.c_str(), mac);
  str_to_mac_order(text.c_str(), mac);
  str_to_mac_reverse(text.c_str(), mac);
  char out[18];
  mac_to_str_order(out, mac);
  require(std::strlen(out) == 17, "MAC text length");
  mac_to_str_reverse(out, mac);
  require(std::strlen(out) == 17, "MAC text length");
}

void round_trips(Input &in) {
  unsigned char b[6];
  for (auto &x : b) x = static_cast<unsigned char>(in.byte());
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  unsigned char ip[4] = {};
  require(ip_string_to_bytes_a(text, ip) && std::memcmp(ip, b, 4) == 0, "IP round trip");

  char mac_text[18];
  mac_to_str_order(mac_text, b);
  unsigned char mac[6] = {};
  require(mac_string_to_bytes_a(mac_text, mac) && std::memcmp(mac, b, 6) == 0, "MAC round trip");
  unsigned char order[6] = {}, reverse[6] = {};
  str_to_mac_order(mac_text, order);
  str_to_mac_reverse(mac_text, reverse);
  for (int i = 0; i < 6; ++i)
    require(order[i] == b[i] && reverse[i] == b[5 - i], "MAC text order");
  char back[18];
  mac_to_str_reverse(back, reverse);
  require(std::strcmp(back, mac_text) == 0, "MAC reverse round trip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  Input in(data, size);
  switch (in.byte() % 5) {
    case 0: listing(in, false); break;
    case 1: listing(in, true); break;
    case 2: replace(in); break;
    case 3: addresses(in); break;
    default: round_trips(in); break;
  }
  return 0;
}
