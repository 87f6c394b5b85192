#include "printer_status.h"

#include <array>
#include <vector>

namespace quorvane::app {

namespace {

// DLE EOT 1 (printer), 2 (offline cause), 3 (error cause), 4 (paper sensor).
constexpr unsigned char kEscPosQuery[] = {0x10, 0x04, 0x01, 0x10, 0x04, 0x02, 0x10, 0x04, 0x03, 0x10, 0x04, 0x04};
// ESC ! ?: one byte, answered at once even in error.
constexpr unsigned char kTsplQuery[] = {0x1B, 0x21, 0x3F};

// Every DLE EOT answer reads 0xx1xx10: bits 1 and 4 set, bits 0 and 7 clear.
bool is_dle_eot_answer(unsigned char b) { return (b & 0x93) == 0x12; }

std::optional<PrinterStatus> read_escpos(std::span<const unsigned char> answer) {
  std::vector<unsigned char> bytes;
  for (unsigned char b : answer)
    if (is_dle_eot_answer(b)) bytes.push_back(b);
  if (bytes.size() < 4) return std::nullopt;
  const unsigned char printer = bytes[0], offline = bytes[1], error = bytes[2], paper = bytes[3];
  PrinterStatus status;
  status.offline = (printer & 0x08) != 0;
  status.cover_open = (offline & 0x04) != 0;
  if (error & 0x08) status.error = "The cutter is jammed.";
  else if (error & 0x04) status.error = "The printer has a mechanical error.";
  else if (error & 0x20) status.error = "The printer has an error it cannot recover from: switch it off and on.";
  else if (error & 0x40) status.error = "The print head is too hot; the printer goes on once it has cooled.";
  if ((paper & 0x60) || (offline & 0x20)) status.paper = PrinterStatus::Paper::kOut;
  else if (paper & 0x0C) status.paper = PrinterStatus::Paper::kLow;
  else status.paper = PrinterStatus::Paper::kOk;
  return status;
}

std::optional<PrinterStatus> read_tspl(std::span<const unsigned char> answer) {
  if (answer.empty()) return std::nullopt;
  const unsigned char b = answer.back();  // the last answer is the news
  PrinterStatus status;
  status.cover_open = (b & 0x41) != 0;  // head or cover open
  status.paper = (b & 0x04) ? PrinterStatus::Paper::kOut : PrinterStatus::Paper::kOk;
  status.offline = (b & 0x10) != 0;  // paused
  if (b & 0x02) status.error = "The labels are jammed.";
  else if (b & 0x08) status.error = "The ribbon has run out.";
  else if (b & 0x80) status.error = "The print head is too hot or too cold.";
  return status;
}

}  // namespace

std::string PrinterStatus::what_stops() const {
  if (cover_open) return "The printer's cover is open.";
  if (paper == Paper::kOut) return "The printer is out of paper.";
  if (!error.empty()) return error;
  if (offline) return "The printer is offline.";
  return {};
}

std::span<const unsigned char> status_query(StatusLanguage language) {
  switch (language) {
    case StatusLanguage::kEscPos:
      return kEscPosQuery;
    case StatusLanguage::kTspl:
      return kTsplQuery;
    case StatusLanguage::kNone:
      break;
  }
  return {};
}

std::optional<PrinterStatus> read_status(StatusLanguage language, std::span<const unsigned char> answer) {
  switch (language) {
    case StatusLanguage::kEscPos:
      return read_escpos(answer);
    case StatusLanguage::kTspl:
      return read_tspl(answer);
    case StatusLanguage::kNone:
      break;
  }
  return std::nullopt;
}

}  // namespace quorvane::app
