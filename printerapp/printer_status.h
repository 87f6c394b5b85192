// What a printer says of itself: its paper, its cover, whether it is
// online, and any error, asked in its own command language. The questions
// and the reading of the answers are pure; status_watch.cpp asks them.
#ifndef QUORVANE_APP_PRINTER_STATUS_H
#define QUORVANE_APP_PRINTER_STATUS_H

#include <optional>
#include <span>
#include <string>

namespace quorvane::app {

// How a model is asked: receipt printers by ESC/POS real-time status
// (DLE EOT 1 to 4), label printers by TSPL's immediate status (ESC ! ?).
// ORX printers have no status to ask.
enum class StatusLanguage { kNone, kEscPos, kTspl };

struct PrinterStatus {
  enum class Paper { kUnknown, kOk, kLow, kOut };
  Paper paper = Paper::kUnknown;
  bool cover_open = false;
  bool offline = false;
  std::string error;  // "The cutter is jammed." and the like; empty when none

  // Whether a job can start: nothing stops the printer.
  bool ready() const { return paper != Paper::kOut && !cover_open && !offline && error.empty(); }
  // The printer's owner's words for what stops it; empty when ready.
  std::string what_stops() const;
  bool operator==(const PrinterStatus &) const = default;
};

// The bytes that ask.
std::span<const unsigned char> status_query(StatusLanguage language);

// The status in the bytes read so far; nullopt while the answer is not yet
// whole. Bytes that cannot be part of the answer (flow control, automatic
// status blocks) are passed over.
std::optional<PrinterStatus> read_status(StatusLanguage language, std::span<const unsigned char> answer);

}  // namespace quorvane::app

#endif
