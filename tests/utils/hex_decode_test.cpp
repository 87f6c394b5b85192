#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hex_decode.h"
#include "trace_file.h"
#include "filter_job.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes decode(const std::string &text, int capacity = -1) {
  const int cap = capacity < 0 ? static_cast<int>(text.size()) : capacity;
  Bytes out(static_cast<std::size_t>(cap) + 1, 0xAB);  // one guard byte
  const int n = hexstr_to_bytes(text.c_str(), static_cast<int>(text.size()), out.data(), cap);
  EXPECT_EQ(out[static_cast<std::size_t>(cap)], 0xAB) << text;
  out.resize(static_cast<std::size_t>(n));
  return out;
}

TEST(HexDecode, PpdCommandTextDecodesLeniently) {
  EXPECT_EQ(decode("1B40"), (Bytes{0x1B, 0x40}));
  EXPECT_EQ(decode("1b 40"), (Bytes{0x1B, 0x40}));
  EXPECT_EQ(decode("1B,40"), (Bytes{0x1B, 0x40}));
  EXPECT_EQ(decode("ABC"), (Bytes{0xAB, 0x0C}));
  EXPECT_EQ(decode("1 B"), (Bytes{0x01, 0x0B}));
  EXPECT_EQ(decode("0x1B"), (Bytes{0x00, 0x1B}));
  EXPECT_EQ(decode("G1"), (Bytes{0x01}));
  EXPECT_EQ(decode("F"), (Bytes{0x0F}));
  EXPECT_EQ(decode(""), Bytes{});
  EXPECT_EQ(decode("zz\xff\x80"), Bytes{});
}

TEST(HexDecode, CapacityIsNeverExceeded) {
  EXPECT_EQ(decode("1B40AA", 2), (Bytes{0x1B, 0x40}));
  EXPECT_EQ(decode("1B4", 1), (Bytes{0x1B}));
  EXPECT_EQ(decode("1B", 0), Bytes{});
  EXPECT_EQ(hexchar_to_int_table['f'], 15);
  EXPECT_EQ(hexchar_to_int_table['G'], 0);
}

TEST(TraceFile, LinesAreAppendedAndCutAt4094Characters) {
  quorvane::test::TempDir dir;
  const std::string path = dir.path("trace");
  EXPECT_TRUE(append_formatstring_to_file(path.c_str(), "%s %d\r\n", "one", 1));
  EXPECT_TRUE(append_formatstring_to_file(path.c_str(), "%s\r\n", std::string(5000, 'x').c_str()));
  EXPECT_FALSE(append_string_to_file(dir.path("no/such/dir").c_str(), "lost"));
  std::FILE *f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::string text(10000, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), f));
  std::fclose(f);
  EXPECT_EQ(text, "one 1\r\n" + std::string(4094, 'x'));
}

}  // namespace
