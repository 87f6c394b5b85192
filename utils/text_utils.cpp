#include "text_utils.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

namespace {

// Appends characters while room remains for the terminating NUL, so no text
// ever runs past the caller's capacity.
class BoundedWriter {
 public:
  BoundedWriter(char *output, int capacity)
      : out_(output, output != nullptr && capacity > 0 ? static_cast<std::size_t>(capacity) : 0) {}

  void put(char c) {
    if (pos_ + 1 < out_.size()) out_[pos_++] = c;
  }
  void put(std::string_view s) {
    for (char c : s) put(c);
  }
  void put_hex(unsigned char b) {
    put(int_to_hexchar_table[b >> 4]);
    put(int_to_hexchar_table[b & 0x0F]);
  }
  // Terminates the text; returns the characters written including the NUL.
  int finish() {
    if (out_.empty()) return 0;
    out_[pos_] = '\0';
    return static_cast<int>(pos_ + 1);
  }

 private:
  std::span<char> out_;
  std::size_t pos_ = 0;
};

std::span<const unsigned char> bytes(const unsigned char *data, int length) {
  if (data == nullptr || length <= 0) return {};
  return {data, static_cast<std::size_t>(length)};
}

void mac_text_to_bytes(const char *text, unsigned char mac[6], bool reverse) {
  if (text == nullptr || mac == nullptr || strnlen(text, 17) < 17) return;
  char digits[12];
  for (int i = 0; i < 6; ++i) {
    const int slot = reverse ? 5 - i : i;
    digits[2 * slot] = text[3 * i];
    digits[2 * slot + 1] = text[3 * i + 1];
  }
  hexstr_to_bytes(digits, 12, mac, 6);
}

void mac_bytes_to_text(char *output, const unsigned char mac[6], bool reverse) {
  if (output == nullptr || mac == nullptr) return;
  unsigned char b[6];
  for (int i = 0; i < 6; ++i) b[i] = mac[reverse ? 5 - i : i];
  std::snprintf(output, 18, "%02X:%02X:%02X:%02X:%02X:%02X", b[0], b[1], b[2], b[3], b[4], b[5]);
}

}  // namespace

extern "C" {

const char int_to_hexchar_table[16] = {'0', '1', '2', '3', '4', '5', '6', '7',
                                       '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};

int bytes_to_hexstr(const unsigned char *data, int length, char *output, int capacity) {
  BoundedWriter w(output, capacity);
  const auto in = bytes(data, length);
  for (std::size_t i = 0; i < in.size(); ++i) {
    w.put_hex(in[i]);
    w.put(i % 16 == 15 || i + 1 == in.size() ? '\n' : ' ');
  }
  return w.finish();
}

int bytes_to_addr_hex_ascii_str(uint32_t base_address, const unsigned char *data, int length,
                                char *output, int capacity) {
  if (output != nullptr && capacity > 0) std::memset(output, 0, static_cast<std::size_t>(capacity));
  BoundedWriter w(output, capacity);
  const auto in = bytes(data, length);
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (i % 16 == 0) {
      line_start = i;
      const uint32_t address = base_address + static_cast<uint32_t>(i);
      char prefix[16];
      std::snprintf(prefix, sizeof prefix, "%04X-%04X  ", static_cast<unsigned>(address >> 16),
                    static_cast<unsigned>(address & 0xFFFF));
      w.put(prefix);
    }
    w.put_hex(in[i]);
    if (i % 16 == 15 || i + 1 == in.size()) {
      w.put("  ");
      for (std::size_t k = line_start; k <= i; ++k)
        w.put(in[k] >= 0x20 && in[k] <= 0x7F ? static_cast<char>(in[k]) : ' ');
      w.put('\n');
    } else {
      w.put(' ');
    }
  }
  return w.finish();
}

void str_to_mac_order(const char *text, unsigned char mac[6]) {
  mac_text_to_bytes(text, mac, false);
}

void str_to_mac_reverse(const char *text, unsigned char mac[6]) {
  mac_text_to_bytes(text, mac, true);
}

void mac_to_str_order(char *output, const unsigned char mac[6]) {
  mac_bytes_to_text(output, mac, false);
}

void mac_to_str_reverse(char *output, const unsigned char mac[6]) {
  mac_bytes_to_text(output, mac, true);
}

bool bytes_replace(const unsigned char *source, int source_length, const unsigned char *pattern,
                   int pattern_length, const unsigned char *replacement, int replacement_length,
                   unsigned char *output, int capacity, int *result_length) {
  const auto refuse = [&] {
    if (result_length != nullptr) *result_length = 0;
    return false;
  };
  if (source_length < 0 || pattern_length < 0 || replacement_length < 0 || capacity < 0)
    return refuse();
  const auto src = bytes(source, source_length);
  const auto pat = bytes(pattern, pattern_length);
  const auto rep = bytes(replacement, replacement_length);
  if (rep.size() != static_cast<std::size_t>(replacement_length) ||
      src.size() != static_cast<std::size_t>(source_length))
    return refuse();  // a length without its bytes
  const std::span<unsigned char> out(output, output != nullptr ? static_cast<std::size_t>(capacity) : 0);

  std::size_t i = 0;
  std::int64_t o = 0;
  const auto room = static_cast<std::int64_t>(out.size());
  while (i < src.size()) {
    // An empty pattern would match everywhere without advancing: it matches
    // nothing instead.
    if (!pat.empty() && i + pat.size() <= src.size() &&
        std::memcmp(src.data() + i, pat.data(), pat.size()) == 0) {
      if (o + static_cast<std::int64_t>(rep.size()) <= room && !rep.empty())
        std::memcpy(out.data() + o, rep.data(), rep.size());
      i += pat.size();
      o += static_cast<std::int64_t>(rep.size());
    } else {
      if (o < room) out[o] = src[i];
      ++i;
      ++o;
    }
  }
  if (o > INT_MAX) return refuse();
  if (result_length != nullptr) *result_length = static_cast<int>(o);
  return capacity >= o;
}

bool ip_string_to_bytes_a(const char *text, unsigned char address[4]) {
  if (text == nullptr || address == nullptr) return false;
  // The working copy holds 100 characters, the appended dot and the NUL.
  char work[102];
  if (strnlen(text, 101) > 100) return false;
  std::snprintf(work, sizeof work, "%s.", text);
  int stored = 0;
  std::size_t start = 0;
  for (std::size_t pos = 0; work[pos] != '\0'; ++pos) {
    if (work[pos] != '.') continue;
    const std::size_t len = pos - start;
    if (len == 0 || len > 3) return false;
    char group[4] = {};
    std::memcpy(group, work + start, len);
    const long value = std::strtol(group, nullptr, 10);
    if (value < 0 || value > 255) return false;
    if (stored == 4) return false;  // a fifth group: no room, and not an address
    address[stored++] = static_cast<unsigned char>(value);
    start = pos + 1;
  }
  return stored == 4;
}

bool mac_string_to_bytes_a(const char *text, unsigned char mac[6]) {
  if (text == nullptr || mac == nullptr) return false;
  const std::size_t len = strnlen(text, 16);
  for (int i = 0; i < 6; ++i) {
    const std::size_t pos = 3 * static_cast<std::size_t>(i);
    if (pos > len) return false;  // the text ends before this group
    // Range-checked as a long, so a huge group cannot wrap into 0..255.
    const long value = std::strtol(text + pos, nullptr, 16);
    if (value < 0 || value > 255) return false;
    mac[i] = static_cast<unsigned char>(value);
  }
  return true;
}

}  // extern "C"
