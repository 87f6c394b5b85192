// The serial: addresses users type, and those the line cannot take.
#include <gtest/gtest.h>

#include "serial_link.h"

namespace quorvane::app {
namespace {

using Flow = SerialLine::Flow;
using Parity = SerialLine::Parity;

TEST(SerialUri, TakesTheSettingsGiven) {
  struct Case {
    const char *uri;
    const char *path;
    int baud, bits, stop;
    Parity parity;
    Flow flow;
  } cases[] = {
      {"serial:/dev/ttyUSB0", "/dev/ttyUSB0", 115200, 8, 1, Parity::kNone, Flow::kNone},
      {"serial:/dev/ttyUSB0?baud=9600+bits=7+parity=even+flow=soft+stop=2", "/dev/ttyUSB0", 9600, 7, 2,
       Parity::kEven, Flow::kSoft},
      {"serial:/dev/rfcomm0?baud=57600&flow=hard&parity=odd", "/dev/rfcomm0", 57600, 8, 1, Parity::kOdd, Flow::kHard},
      {"serial:///dev/ttyACM1?flow=rtscts", "/dev/ttyACM1", 115200, 8, 1, Parity::kNone, Flow::kHard},
  };
  for (const Case &c : cases) {
    std::string why;
    const auto line = parse_serial_uri(c.uri, why);
    ASSERT_TRUE(line) << c.uri << ": " << why;
    EXPECT_EQ(line->path, c.path) << c.uri;
    EXPECT_EQ(line->baud, c.baud) << c.uri;
    EXPECT_EQ(line->bits, c.bits) << c.uri;
    EXPECT_EQ(line->stop_bits, c.stop) << c.uri;
    EXPECT_EQ(line->parity, c.parity) << c.uri;
    EXPECT_EQ(line->flow, c.flow) << c.uri;
  }
}

TEST(SerialUri, RefusesWhatTheLineCannotTake) {
  struct Case {
    const char *uri;
    const char *named;  // what the message names
  } cases[] = {
      {"socket://host", "serial:"},
      {"serial:ttyUSB0", "full path"},
      {"serial:/", "full path"},
      {"serial:/dev/ttyUSB0?baud=115201", "115201"},
      {"serial:/dev/ttyUSB0?baud=fast", "fast"},
      {"serial:/dev/ttyUSB0?bits=9", "bits=9"},
      {"serial:/dev/ttyUSB0?parity=mark", "parity=mark"},
      {"serial:/dev/ttyUSB0?flow=dtrdsr", "flow=dtrdsr"},
      {"serial:/dev/ttyUSB0?stop=3", "stop=3"},
      {"serial:/dev/ttyUSB0?speed=9600", "speed"},
  };
  for (const Case &c : cases) {
    std::string why;
    EXPECT_FALSE(parse_serial_uri(c.uri, why)) << c.uri;
    EXPECT_NE(why.find(c.named), std::string::npos) << c.uri << ": " << why;
  }
}

}  // namespace
}  // namespace quorvane::app
