#include "printer_status.h"

namespace quorvane::vprinter {

namespace {
bool has_error(const PrinterState &s) {
  return s.mechanical_error || s.cutter_error || s.overheat;
}
}  // namespace

bool prints(const PrinterState &s) {
  return s.paper != Paper::out && !s.cover_open && !s.offline && !has_error(s);
}

bool apply_control(PrinterState &s, std::string_view w) {
  if (w == "ready") s = PrinterState{};
  else if (w == "paper-ok") s.paper = Paper::ok;
  else if (w == "paper-low" || w == "paper-near-end") s.paper = Paper::near_end;
  else if (w == "paper-out") s.paper = Paper::out;
  else if (w == "cover-open") s.cover_open = true;
  else if (w == "cover-closed") s.cover_open = false;
  else if (w == "offline") s.offline = true;
  else if (w == "online") s.offline = false;
  else if (w == "mechanical-error") s.mechanical_error = true;
  else if (w == "cutter-error") s.cutter_error = true;
  else if (w == "overheat") s.overheat = true;
  else if (w == "clear" || w == "errors-cleared") s.mechanical_error = s.cutter_error = s.overheat = false;
  else return false;
  return true;
}

std::string_view control_words() {
  return "paper-ok paper-low paper-out cover-open cover-closed cutter-error mechanical-error overheat clear "
         "offline online ready drop";
}

std::optional<std::uint8_t> dle_eot(const PrinterState &s, int n) {
  std::uint8_t b = 0x12;  // bits 1 and 4 are always set
  switch (n) {
    case 1:
      if (s.drawer_pin_high) b |= 0x04;
      if (!prints(s)) b |= 0x08;
      return b;
    case 2:
      if (s.cover_open) b |= 0x04;
      if (s.paper == Paper::out) b |= 0x20;
      if (has_error(s)) b |= 0x40;
      return b;
    case 3:
      if (s.mechanical_error) b |= 0x04;
      if (s.cutter_error) b |= 0x08;
      if (s.overheat) b |= 0x40;
      return b;
    case 4:
      if (s.paper != Paper::ok) b |= 0x0C;
      if (s.paper == Paper::out) b |= 0x60;
      return b;
    default:
      return std::nullopt;
  }
}

std::uint8_t paper_sensor(const PrinterState &s) {
  if (s.paper == Paper::out) return 0x0F;  // an ended roll is past its near end too
  return s.paper == Paper::near_end ? 0x03 : 0x00;
}

std::uint8_t drawer_status(const PrinterState &s) { return s.drawer_pin_high ? 0x01 : 0x00; }

std::array<std::uint8_t, 4> asb_block(const PrinterState &s) {
  std::uint8_t first = 0x10;
  if (s.drawer_pin_high) first |= 0x04;
  if (!prints(s)) first |= 0x08;
  if (s.cover_open) first |= 0x20;
  std::uint8_t error = 0;
  if (s.mechanical_error) error |= 0x04;
  if (s.cutter_error) error |= 0x08;
  if (s.overheat) error |= 0x40;
  return {first, error, paper_sensor(s), 0x00};
}

std::uint8_t tspl_status(const PrinterState &s, bool printing) {
  std::uint8_t b = 0;
  if (s.cover_open) b |= 0x01;
  if (s.mechanical_error || s.cutter_error) b |= 0x02;
  if (s.paper == Paper::out) b |= 0x04;
  if (s.offline) b |= 0x10;
  if (printing && prints(s)) b |= 0x20;
  if (s.overheat) b |= 0x80;
  return b;
}

std::array<std::uint8_t, 8> tspl_extended_status(const PrinterState &s, bool printing,
                                                 bool buffer_full) {
  std::uint8_t state = 0x40;
  if (s.cover_open) state |= 0x01;
  if (!prints(s) && !s.offline) state |= 0x04;  // an error stops it
  if (printing && prints(s)) state |= 0x10;
  if (s.offline) state |= 0x20;
  const std::uint8_t warning = buffer_full ? 0x48 : 0x40;
  std::uint8_t error = 0x40;
  if (s.overheat) error |= 0x01;
  if (s.mechanical_error) error |= 0x02;
  if (s.cutter_error) error |= 0x08;
  const std::uint8_t paper = s.paper == Paper::out ? 0x41 : 0x40;
  return {0x02, state, warning, error, paper, 0x03, 0x0D, 0x0A};
}

Query RealTimeScanner::push(std::uint8_t b) {
  const std::uint8_t p2 = prev_[0], p1 = prev_[1];
  prev_[0] = p1;
  prev_[1] = b;
  Query q = Query::none;
  if (!tspl_ && p2 == 0x10 && p1 == 0x04 && b >= 1 && b <= 4)
    q = static_cast<Query>(static_cast<int>(Query::dle_eot_1) + b - 1);
  else if (tspl_ && p2 == 0x1B && p1 == '!' && b == '?')
    q = Query::tspl_status;
  else if (tspl_ && p2 == 0x1B && p1 == '!' && b == 'S')
    q = Query::tspl_extended;
  if (q != Query::none) reset();  // its last byte starts nothing
  return q;
}

}  // namespace quorvane::vprinter
