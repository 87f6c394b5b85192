#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text_utils.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr char kFill = '#';

// Calls a text writer on a buffer of capacity characters followed by guard
// characters; returns its result and the text up to the NUL.
template <class Fn>
std::pair<int, std::string> write_text(int capacity, Fn fn) {
  std::string buf(static_cast<std::size_t>(capacity) + 8, kFill);
  const int result = fn(buf.data(), capacity);
  for (std::size_t i = static_cast<std::size_t>(capacity); i < buf.size(); ++i)
    EXPECT_EQ(buf[i], kFill) << "write past capacity at " << i;
  return {result, capacity > 0 ? std::string(buf.c_str()) : std::string()};
}

std::pair<int, std::string> hexstr(const Bytes &data, int capacity) {
  return write_text(capacity, [&](char *o, int c) {
    return bytes_to_hexstr(data.data(), static_cast<int>(data.size()), o, c);
  });
}

std::pair<int, std::string> dump(uint32_t base, const Bytes &data, int capacity) {
  return write_text(capacity, [&](char *o, int c) {
    return bytes_to_addr_hex_ascii_str(base, data.data(), static_cast<int>(data.size()), o, c);
  });
}

Bytes counting(int n, int first = 0) {
  Bytes b(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(first + i);
  return b;
}

TEST(BytesToHexstr, SixteenValuesALine) {
  EXPECT_EQ(hexstr({0x1B, 0x40}, 7), (std::pair{7, std::string("1B 40\n")}));
  EXPECT_EQ(hexstr({}, 1), (std::pair{1, std::string()}));
  EXPECT_EQ(hexstr(counting(17, 0xF0), 52),
            (std::pair{52, std::string("F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF\n00\n")}));
}

TEST(BytesToHexstr, NeverWritesPastTheCapacity) {
  EXPECT_EQ(hexstr({0x1B, 0x40}, 5), (std::pair{5, std::string("1B 4")}));
  EXPECT_EQ(hexstr({0x1B, 0x40}, 6), (std::pair{6, std::string("1B 40")}));
  EXPECT_EQ(hexstr({0x1B, 0x40}, 1), (std::pair{1, std::string()}));
  EXPECT_EQ(hexstr({0x1B, 0x40}, 0).first, 0);
  // 40 values need 121 characters: 99 fit before the NUL.
  EXPECT_EQ(hexstr(counting(40), 100).first, 100);
}

TEST(BytesToAddrHexAsciiStr, ShortLineFollowsItsValues) {
  EXPECT_EQ(dump(0x12340, {0x41, 0x42, 0x43}, 64),
            (std::pair{26, std::string("0001-2340  41 42 43  ABC\n")}));
}

TEST(BytesToAddrHexAsciiStr, FullLinesThenUnalignedLastLine) {
  const Bytes data = counting(20, 0x30);
  const auto [n, text] = dump(0x12340, data, 200);
  const std::string expected =
      "0001-2340  30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F  0123456789:;<=>?\n"
      "0001-2350  40 41 42 43  @ABC\n";
  EXPECT_EQ(text, expected);
  EXPECT_EQ(n, 77 + 4 * 4 + 13 + 1);
}

TEST(BytesToAddrHexAsciiStr, AddressCarriesIntoTheUpperHalf) {
  const auto [n, text] = dump(0x0001FFF8, counting(17, 0x61), 200);
  EXPECT_EQ(text.substr(0, 11), "0001-FFF8  ");
  EXPECT_EQ(text.substr(77, 11), "0002-0008  ");
}

TEST(BytesToAddrHexAsciiStr, OnlyPrintableBytesShowAsText) {
  const auto [n, text] = dump(0, {0x7F, 0x1F, 0x80, 0xFF, 0x20, 0x7E}, 64);
  EXPECT_EQ(text, std::string("0000-0000  7F 1F 80 FF 20 7E  \x7F    ~\n"));
}

TEST(BytesToAddrHexAsciiStr, NeverWritesPastTheCapacity) {
  const auto [n, text] = dump(0x12340, {0x41, 0x42, 0x43}, 12);
  EXPECT_EQ(text, "0001-2340  ");
  EXPECT_EQ(n, 12);
  EXPECT_EQ(dump(0, counting(40), 0).first, 0);
}

TEST(MacText, GroupsDecodedInOrderOrReversed) {
  unsigned char mac[6] = {};
  str_to_mac_order("00:11:22:33:44:55", mac);
  EXPECT_EQ(Bytes(mac, mac + 6), (Bytes{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}));
  str_to_mac_reverse("00:11:22:33:44:55", mac);
  EXPECT_EQ(Bytes(mac, mac + 6), (Bytes{0x55, 0x44, 0x33, 0x22, 0x11, 0x00}));
  str_to_mac_reverse("AA-BB-CC-DD-EE-ff", mac);
  EXPECT_EQ(Bytes(mac, mac + 6), (Bytes{0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}));
}

TEST(MacText, ShortTextLeavesTheMacUnchanged) {
  // Exactly sized, so reading past the text would show under the sanitizers.
  const std::string text = "00:11:22";
  std::vector<char> exact(text.begin(), text.end() + 1);
  unsigned char mac[6] = {9, 9, 9, 9, 9, 9};
  str_to_mac_order(exact.data(), mac);
  str_to_mac_reverse(exact.data(), mac);
  EXPECT_EQ(Bytes(mac, mac + 6), Bytes(6, 9));
}

TEST(MacText, BytesToText) {
  const unsigned char mac[6] = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
  char out[19];
  std::fill(std::begin(out), std::end(out), kFill);
  mac_to_str_order(out, mac);
  EXPECT_STREQ(out, "0A:0B:0C:0D:0E:0F");
  EXPECT_EQ(out[18], kFill);
  mac_to_str_reverse(out, mac);
  EXPECT_STREQ(out, "0F:0E:0D:0C:0B:0A");
}

struct Replaced {
  bool ok;
  int length;
  std::string text;
  bool operator==(const Replaced &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Replaced &r) {
  return os << r.ok << " " << r.length << " \"" << r.text << "\"";
}

Replaced replace(const std::string &src, const std::string &pat, const std::string &rep,
                 int capacity) {
  std::string out(static_cast<std::size_t>(capacity) + 8, kFill);
  int length = -1;
  const auto u = [](const std::string &s) {
    return reinterpret_cast<const unsigned char *>(s.data());
  };
  const bool ok = bytes_replace(u(src), static_cast<int>(src.size()), u(pat),
                                static_cast<int>(pat.size()), u(rep), static_cast<int>(rep.size()),
                                reinterpret_cast<unsigned char *>(out.data()), capacity, &length);
  for (std::size_t i = static_cast<std::size_t>(capacity); i < out.size(); ++i)
    EXPECT_EQ(out[i], kFill) << "write past capacity at " << i;
  const auto written = std::min(capacity, std::max(length, 0));
  std::string text = out.substr(0, static_cast<std::size_t>(written));
  text.erase(std::find(text.begin(), text.end(), kFill), text.end());
  return {ok, length, text};
}

TEST(BytesReplace, NonOverlappingLeftToRight) {
  EXPECT_EQ(replace("abcabc", "bc", "XYZ", 100), (Replaced{true, 8, "aXYZaXYZ"}));
  EXPECT_EQ(replace("aaa", "aa", "b", 100), (Replaced{true, 2, "ba"}));
  EXPECT_EQ(replace("a--b--", "--", "", 100), (Replaced{true, 2, "ab"}));
  EXPECT_EQ(replace("abcab", "abc", "Z", 5), (Replaced{true, 3, "Zab"}));
}

TEST(BytesReplace, OverflowKeepsTheFullLengthAndStopsAtADroppedReplacement) {
  EXPECT_EQ(replace("abcabc", "bc", "XYZ", 5), (Replaced{false, 8, "aXYZa"}));
  EXPECT_EQ(replace("abcabc", "bc", "XYZ", 3), (Replaced{false, 8, "a"}));
  EXPECT_EQ(replace("abcabc", "bc", "XYZ", 0), (Replaced{false, 8, ""}));
  EXPECT_EQ(replace("abcabc", "bc", "XYZ", 8), (Replaced{true, 8, "aXYZaXYZ"}));
}

TEST(BytesReplace, EmptyPatternMatchesNothing) {
  EXPECT_EQ(replace("abc", "", "X", 10), (Replaced{true, 3, "abc"}));
  EXPECT_EQ(replace("abc", "", "X", 2), (Replaced{false, 3, "ab"}));
}

TEST(BytesReplace, NegativeLengthsAreRefused) {
  int length = -1;
  const unsigned char s[] = "abc";
  unsigned char out[4];
  EXPECT_FALSE(bytes_replace(s, -1, s, 1, s, 1, out, 4, &length));
  EXPECT_EQ(length, 0);
  EXPECT_FALSE(bytes_replace(s, 3, s, 1, s, -2, out, 4, &length));
  EXPECT_FALSE(bytes_replace(s, 3, s, 1, s, 1, out, -4, &length));
}

struct Ip {
  bool ok;
  Bytes address;
};

Ip ip(const std::string &text) {
  // Exactly sized copy, so any read past the text shows under the sanitizers.
  std::vector<char> exact(text.begin(), text.end());
  exact.push_back('\0');
  unsigned char out[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  const bool ok = ip_string_to_bytes_a(exact.data(), out);
  EXPECT_EQ(out[4], 0xEE) << "fifth byte written for " << text;
  return {ok, Bytes(out, out + 4)};
}

TEST(IpStringToBytes, FourGroupsOfAtMostThreeCharacters) {
  EXPECT_TRUE(ip("192.168.1.100").ok);
  EXPECT_EQ(ip("192.168.1.100").address, (Bytes{0xC0, 0xA8, 0x01, 0x64}));
  EXPECT_FALSE(ip("1.2.3").ok);
  EXPECT_FALSE(ip("1.2.3.4.").ok);
  EXPECT_FALSE(ip("256.1.1.1").ok);
  EXPECT_FALSE(ip("0001.2.3.4").ok);
  EXPECT_FALSE(ip("1..2.3").ok);
  EXPECT_FALSE(ip("1.2.3.4.5").ok);
  EXPECT_FALSE(ip("-1.2.3.4").ok);
  EXPECT_FALSE(ip("").ok);
}

TEST(IpStringToBytes, GroupsFollowStrtol) {
  EXPECT_EQ(ip("+1.2.3.4").address, (Bytes{1, 2, 3, 4}));
  EXPECT_TRUE(ip("+1.2.3.4").ok);
  EXPECT_TRUE(ip("a.b.c.d").ok);
  EXPECT_EQ(ip("a.b.c.d").address, (Bytes{0, 0, 0, 0}));
  EXPECT_TRUE(ip(" 10.0x.1.2").ok);
  EXPECT_EQ(ip(" 10.0x.1.2").address, (Bytes{10, 0, 1, 2}));
}

TEST(IpStringToBytes, GroupsBeforeAFailureStayStored) {
  EXPECT_EQ(ip("7.8.300.1").address, (Bytes{7, 8, 0xEE, 0xEE}));
}

TEST(IpStringToBytes, OverlongTextIsRefused) {
  EXPECT_FALSE(ip(std::string(101, '1')).ok);
  EXPECT_FALSE(ip("1.2.3.4" + std::string(300, ' ')).ok);
  EXPECT_FALSE(ip(std::string(100, '.')).ok);
}

struct Mac {
  bool ok;
  Bytes mac;
};

Mac mac_checked(const std::string &text) {
  std::vector<char> exact(text.begin(), text.end());
  exact.push_back('\0');
  unsigned char out[6] = {};
  const bool ok = mac_string_to_bytes_a(exact.data(), out);
  return {ok, Bytes(out, out + 6)};
}

TEST(MacStringToBytes, SixHexGroups) {
  const Mac m = mac_checked("00:11:22:AA:bb:FF");
  EXPECT_TRUE(m.ok);
  EXPECT_EQ(m.mac, (Bytes{0x00, 0x11, 0x22, 0xAA, 0xBB, 0xFF}));
  EXPECT_TRUE(mac_checked("00-11-22-33-44-55").ok);
  EXPECT_FALSE(mac_checked("001122334455").ok);
  EXPECT_FALSE(mac_checked("00:11:22:33:44:-1").ok);
  EXPECT_TRUE(mac_checked("0x1:11:22:33:44:55").ok);
}

TEST(MacStringToBytes, HugeGroupDoesNotWrapIntoRange) {
  // 0x100000005 would be 5 if cut to 32 bits.
  EXPECT_FALSE(mac_checked("100000005:1:22:33:44:55").ok);
}

TEST(MacStringToBytes, ShortTextFailsWithoutReadingPastIt) {
  EXPECT_FALSE(mac_checked("00:11:22").ok);
  EXPECT_FALSE(mac_checked("").ok);
}

}  // namespace
