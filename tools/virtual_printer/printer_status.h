// The virtual printer's state and the bytes it answers status queries with,
// as pure functions of that state.
#ifndef QUORVANE_VIRTUAL_PRINTER_STATUS_H
#define QUORVANE_VIRTUAL_PRINTER_STATUS_H

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvane::vprinter {

enum class Paper { ok, near_end, out };

struct PrinterState {
  Paper paper = Paper::ok;
  bool cover_open = false;
  bool offline = false;           // put offline by hand (the panel's button)
  bool mechanical_error = false;
  bool cutter_error = false;
  bool overheat = false;          // recovers by itself once cooled
  bool drawer_pin_high = true;    // an idle printer answers 0x16 to DLE EOT 1
  bool operator==(const PrinterState &) const = default;
};

// Whether the printer takes data from its buffer and prints it.
bool prints(const PrinterState &s);

// Applies a control word ("paper-out", "cover-open", ..., "ready"); false
// when the word is unknown.
bool apply_control(PrinterState &s, std::string_view word);
// The control words, for usage text.
std::string_view control_words();

// ESC/POS real-time status (DLE EOT n, n = 1..4); nothing for another n.
std::optional<std::uint8_t> dle_eot(const PrinterState &s, int n);
// The paper sensors as GS r 1 and ESC v answer them.
std::uint8_t paper_sensor(const PrinterState &s);
// GS r 2: the drawer connector.
std::uint8_t drawer_status(const PrinterState &s);
// The 4-byte automatic status back block.
std::array<std::uint8_t, 4> asb_block(const PrinterState &s);
// TSPL <ESC>!? (one byte) and <ESC>!S (STX, 4 bytes, ETX CR LF).
std::uint8_t tspl_status(const PrinterState &s, bool printing);
std::array<std::uint8_t, 8> tspl_extended_status(const PrinterState &s, bool printing,
                                                 bool buffer_full);

// Real-time queries, found in the bytes as they are received (a printer acts
// on them before the data ahead of them is printed, even inside image data).
enum class Query { none, dle_eot_1, dle_eot_2, dle_eot_3, dle_eot_4, tspl_status, tspl_extended };

class RealTimeScanner {
 public:
  explicit RealTimeScanner(bool tspl) : tspl_(tspl) {}
  // The query the byte completes, if any.
  Query push(std::uint8_t b);
  void reset() { prev_[0] = prev_[1] = 0; }

 private:
  bool tspl_;
  std::uint8_t prev_[2] = {0, 0};
};

}  // namespace quorvane::vprinter

#endif
