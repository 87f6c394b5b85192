// A serial printer's line, as its serial: address gives it.
#ifndef QUORVANE_APP_SERIAL_LINK_H
#define QUORVANE_APP_SERIAL_LINK_H

#include <optional>
#include <string>
#include <string_view>

namespace quorvane::app {

struct SerialLine {
  enum class Parity { kNone, kEven, kOdd };
  enum class Flow { kNone, kSoft, kHard };
  std::string path;  // /dev/ttyUSB0, or a link to a terminal
  int baud = 115200;
  int bits = 8;
  int stop_bits = 1;
  Parity parity = Parity::kNone;
  Flow flow = Flow::kNone;
};

// serial:/dev/PORT?baud=N+bits=7|8+parity=none|even|odd+flow=none|soft|hard+stop=1|2
// (settings joined by + or &, each optional); nullopt with `why` set for an
// address the line cannot take.
std::optional<SerialLine> parse_serial_uri(std::string_view uri, std::string &why);

}  // namespace quorvane::app

#endif
