// The virtual printer's answers: each state against each query, as bytes.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "printer_status.h"

namespace {

using namespace quorvane::vprinter;

PrinterState after(std::initializer_list<const char *> words) {
  PrinterState s;
  for (const char *w : words) EXPECT_TRUE(apply_control(s, w)) << w;
  return s;
}

struct Row {
  std::vector<const char *> words;
  bool prints;
  std::array<std::uint8_t, 4> dle_eot;  // n = 1, 2, 3, 4
  std::uint8_t paper;                   // GS r 1, ESC v
  std::array<std::uint8_t, 4> asb;
  std::uint8_t tspl;                    // <ESC>!? while data waits
  std::string tspl_s;                   // <ESC>!S's four status letters
};

TEST(VirtualPrinterStatus, EveryStateAgainstEveryQuery) {
  const Row rows[] = {
      {{}, true, {0x16, 0x12, 0x12, 0x12}, 0x00, {0x14, 0, 0, 0}, 0x20, "P@@@"},
      {{"paper-low"}, true, {0x16, 0x12, 0x12, 0x1E}, 0x03, {0x14, 0, 0x03, 0}, 0x20, "P@@@"},
      {{"paper-out"}, false, {0x1E, 0x32, 0x12, 0x7E}, 0x0F, {0x1C, 0, 0x0F, 0}, 0x04, "D@@A"},
      {{"cover-open"}, false, {0x1E, 0x16, 0x12, 0x12}, 0x00, {0x3C, 0, 0, 0}, 0x01, "E@@@"},
      {{"offline"}, false, {0x1E, 0x12, 0x12, 0x12}, 0x00, {0x1C, 0, 0, 0}, 0x10, "`@@@"},
      {{"mechanical-error"}, false, {0x1E, 0x52, 0x16, 0x12}, 0x00, {0x1C, 0x04, 0, 0}, 0x02, "D@B@"},
      {{"cutter-error"}, false, {0x1E, 0x52, 0x1A, 0x12}, 0x00, {0x1C, 0x08, 0, 0}, 0x02, "D@H@"},
      {{"overheat"}, false, {0x1E, 0x52, 0x52, 0x12}, 0x00, {0x1C, 0x40, 0, 0}, 0x80, "D@A@"},
      {{"paper-out", "cover-open"}, false, {0x1E, 0x36, 0x12, 0x7E}, 0x0F, {0x3C, 0, 0x0F, 0}, 0x05, "E@@A"},
      {{"paper-out", "paper-ok"}, true, {0x16, 0x12, 0x12, 0x12}, 0x00, {0x14, 0, 0, 0}, 0x20, "P@@@"},
      {{"cover-open", "cover-closed", "offline", "online"}, true, {0x16, 0x12, 0x12, 0x12}, 0x00, {0x14, 0, 0, 0}, 0x20, "P@@@"},
      {{"overheat", "cutter-error", "clear"}, true, {0x16, 0x12, 0x12, 0x12}, 0x00, {0x14, 0, 0, 0}, 0x20, "P@@@"},
      {{"paper-out", "cover-open", "overheat", "ready"}, true, {0x16, 0x12, 0x12, 0x12}, 0x00, {0x14, 0, 0, 0}, 0x20, "P@@@"},
  };
  for (const Row &r : rows) {
    std::string name;
    for (const char *w : r.words) name += std::string(w) + " ";
    SCOPED_TRACE(name);
    PrinterState s;
    for (const char *w : r.words) ASSERT_TRUE(apply_control(s, w));
    EXPECT_EQ(prints(s), r.prints);
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(dle_eot(s, n), r.dle_eot[n - 1]) << "DLE EOT " << n;
    EXPECT_EQ(paper_sensor(s), r.paper);
    EXPECT_EQ(asb_block(s), r.asb);
    EXPECT_EQ(tspl_status(s, true), r.tspl);
    const auto ext = tspl_extended_status(s, true, false);
    EXPECT_EQ(std::string(ext.begin() + 1, ext.begin() + 5), r.tspl_s);
    EXPECT_EQ(ext[0], 0x02);
    EXPECT_EQ(ext[5], 0x03);
  }
}

TEST(VirtualPrinterStatus, AnswersKeepTheirFixedBits) {
  // DLE EOT answers are 0xx1xx10, automatic status back's first byte 0xx1xx00.
  for (const char *w : {"ready", "paper-out", "cover-open", "offline", "overheat"}) {
    const PrinterState s = after({w});
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(*dle_eot(s, n) & 0x93, 0x12) << w << " " << n;
    EXPECT_EQ(asb_block(s)[0] & 0x93, 0x10) << w;
  }
}

TEST(VirtualPrinterStatus, UnknownQueriesAndWordsAreRefused) {
  PrinterState s;
  EXPECT_FALSE(dle_eot(s, 0).has_value());
  EXPECT_FALSE(dle_eot(s, 5).has_value());
  EXPECT_FALSE(apply_control(s, "paper"));
  EXPECT_FALSE(apply_control(s, ""));
  EXPECT_EQ(s, PrinterState{});
  EXPECT_EQ(tspl_status(s, false), 0x00);
  const auto full = tspl_extended_status(s, false, true);
  EXPECT_EQ(std::string(full.begin() + 1, full.begin() + 5), "@H@@");
  EXPECT_EQ(full[6], 0x0D);
  EXPECT_EQ(full[7], 0x0A);
}

TEST(VirtualPrinterStatus, RealTimeQueriesAreFoundInTheBytes) {
  using Bytes = std::vector<std::uint8_t>;
  struct Case {
    bool tspl;
    Bytes bytes;
    std::vector<Query> found;
  };
  const Case cases[] = {
      {false, {0x10, 0x04, 0x01, 0x10, 0x04, 0x04}, {Query::dle_eot_1, Query::dle_eot_4}},
      {false, {0x10, 0x04, 0x00, 0x10, 0x04, 0x05, 0x10, 0x10, 0x04, 0x02}, {Query::dle_eot_2}},
      // The query's last byte starts no other: 10 04 10 then 04 03 is one query.
      {false, {0x10, 0x04, 0x03, 0x04, 0x03}, {Query::dle_eot_3}},
      {false, {0x1B, 0x21, 0x3F}, {}},
      {true, {0x1B, 0x21, 0x3F, 0x1B, 0x21, 0x53, 0x1B, 0x21, 0x52}, {Query::tspl_status, Query::tspl_extended}},
      {true, {0x10, 0x04, 0x01}, {}},
  };
  for (const Case &c : cases) {
    RealTimeScanner scanner(c.tspl);
    std::vector<Query> found;
    for (std::uint8_t b : c.bytes)
      if (const Query q = scanner.push(b); q != Query::none) found.push_back(q);
    EXPECT_EQ(found, c.found);
  }
  RealTimeScanner scanner(false);
  scanner.push(0x10);
  scanner.push(0x04);
  scanner.reset();  // a new connection
  EXPECT_EQ(scanner.push(0x01), Query::none);
}

}  // namespace
