// What printers answer to status queries, read as the application reads
// them: the bits their manuals define.
#include <gtest/gtest.h>

#include <vector>

#include "printer_status.h"

namespace quorvane::app {
namespace {

using Paper = PrinterStatus::Paper;

PrinterStatus status(Paper paper, bool cover = false, bool offline = false, std::string error = {}) {
  PrinterStatus s;
  s.paper = paper;
  s.cover_open = cover;
  s.offline = offline;
  s.error = std::move(error);
  return s;
}

TEST(PrinterStatus, EscPosAnswers) {
  struct Case {
    const char *what;
    std::vector<unsigned char> answer;  // DLE EOT 1, 2, 3, 4
    PrinterStatus expected;
  } cases[] = {
      {"idle", {0x16, 0x12, 0x12, 0x12}, status(Paper::kOk)},
      {"near end", {0x16, 0x12, 0x12, 0x1E}, status(Paper::kLow)},
      {"paper out", {0x1E, 0x32, 0x12, 0x72}, status(Paper::kOut, false, true)},
      {"cover open", {0x1E, 0x16, 0x12, 0x12}, status(Paper::kOk, true, true)},
      {"cutter jammed", {0x1E, 0x52, 0x1A, 0x12}, status(Paper::kOk, false, true, "The cutter is jammed.")},
      {"XON and an automatic status block passed over", {0x11, 0x16, 0x14, 0x00, 0x00, 0x0F, 0x12, 0x12, 0x12},
       status(Paper::kOk)},
  };
  for (const Case &c : cases) {
    const auto got = read_status(StatusLanguage::kEscPos, c.answer);
    ASSERT_TRUE(got) << c.what;
    EXPECT_EQ(*got, c.expected) << c.what;
  }
  const std::vector<unsigned char> three = {0x16, 0x12, 0x12};
  EXPECT_FALSE(read_status(StatusLanguage::kEscPos, three)) << "an answer not yet whole";
}

TEST(PrinterStatus, TsplAnswers) {
  struct Case {
    unsigned char answer;
    PrinterStatus expected;
  } cases[] = {
      {0x00, status(Paper::kOk)},
      {0x01, status(Paper::kOk, true)},
      {0x04, status(Paper::kOut)},
      {0x05, status(Paper::kOut, true)},
      {0x10, status(Paper::kOk, false, true)},
      {0x02, status(Paper::kOk, false, false, "The labels are jammed.")},
      {0x40, status(Paper::kOk, true)},
  };
  for (const Case &c : cases) {
    const std::vector<unsigned char> answer = {c.answer};
    const auto got = read_status(StatusLanguage::kTspl, answer);
    ASSERT_TRUE(got) << int(c.answer);
    EXPECT_EQ(*got, c.expected) << int(c.answer);
  }
  EXPECT_FALSE(read_status(StatusLanguage::kTspl, {}));
  EXPECT_FALSE(read_status(StatusLanguage::kNone, std::vector<unsigned char>{0x12}));
}

TEST(PrinterStatus, WhatStopsThePrinter) {
  EXPECT_EQ(status(Paper::kOut).what_stops(), "The printer is out of paper.");
  EXPECT_EQ(status(Paper::kOk, true).what_stops(), "The printer's cover is open.");
  EXPECT_TRUE(status(Paper::kLow).ready());
  EXPECT_FALSE(status(Paper::kOk, false, false, "The cutter is jammed.").ready());
}

}  // namespace
}  // namespace quorvane::app
