// The serial: scheme, in the form CUPS's serial backend made familiar:
//   serial:/dev/ttyUSB0?baud=115200+bits=8+parity=none+flow=soft+stop=1
// for USB-serial adapters, CDC-ACM printers (/dev/ttyACM*) and Bluetooth SPP
// printers bound with rfcomm (/dev/rfcomm*). Writes are paced to the line's
// speed: adapters and Bluetooth modules take bytes far faster than the
// printer does and drop what overflows. flow=soft honours the printer's
// XON/XOFF, flow=hard its CTS.
#include "serial_link.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

#include "link.h"

namespace quorvane::app {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::pair<int, speed_t> kSpeeds[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},
    {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800},
    {921600, B921600},
};

speed_t speed_of(int baud) {
  for (const auto &[rate, speed] : kSpeeds)
    if (rate == baud) return speed;
  return B0;
}

class SerialLink final : public Link {
 public:
  explicit SerialLink(SerialLine line) : line_(std::move(line)) {}

 private:
  std::string name() const override { return "the printer at " + line_.path; }

  int open_once(bool) override {
    const int fd = ::open(line_.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      const int error = errno;
      set_failure("The printer at " + line_.path + " cannot be reached (" + std::strerror(error) + ").");
      return error;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
      const int error = errno;
      close(fd);
      set_failure(line_.path + " is no serial line (" + std::strerror(error) + ").");
      return error;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= line_.bits == 7 ? CS7 : CS8;
    if (line_.parity != SerialLine::Parity::kNone) tio.c_cflag |= PARENB;
    if (line_.parity == SerialLine::Parity::kOdd) tio.c_cflag |= PARODD;
    if (line_.stop_bits == 2) tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (line_.flow == SerialLine::Flow::kSoft) tio.c_iflag |= IXON | IXOFF;
    if (line_.flow == SerialLine::Flow::kHard) tio.c_cflag |= CRTSCTS;
    cfsetispeed(&tio, speed_of(line_.baud));
    cfsetospeed(&tio, speed_of(line_.baud));
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
      const int error = errno;
      close(fd);
      set_failure("The line settings of " + line_.path + " cannot be set (" + std::strerror(error) + ").");
      return error;
    }
    fd_ = fd;
    paced_from_ = SteadyClock::now();
    paced_bytes_ = 0;
    return 0;
  }

  // No more than the line carries: a start bit, the data bits, parity and
  // stop bits a byte, counted from when the writing began.
  size_t allowance(size_t wanted) override {
    const int bits_a_byte = 1 + line_.bits + (line_.parity == SerialLine::Parity::kNone ? 0 : 1) + line_.stop_bits;
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - paced_from_).count();
    const auto carried = static_cast<size_t>(seconds * line_.baud / bits_a_byte) + line_chunk();
    if (carried <= paced_bytes_) return 0;
    return std::min({wanted, carried - paced_bytes_, line_chunk()});
  }

  void sent(size_t bytes) override {
    // A pause (the printer's XOFF, an idle line) does not earn a burst.
    const auto now = SteadyClock::now();
    const int bits_a_byte = 1 + line_.bits + (line_.parity == SerialLine::Parity::kNone ? 0 : 1) + line_.stop_bits;
    const double seconds = std::chrono::duration<double>(now - paced_from_).count();
    if (seconds * line_.baud / bits_a_byte > paced_bytes_ + 4 * line_chunk()) {
      paced_from_ = now;
      paced_bytes_ = 0;
    }
    paced_bytes_ += bytes;
  }

  // A hundredth of a second of the line.
  size_t line_chunk() const { return std::max<size_t>(1, static_cast<size_t>(line_.baud / 1000)); }

  const SerialLine line_;
  SteadyClock::time_point paced_from_ = SteadyClock::now();
  size_t paced_bytes_ = 0;
};

bool serial_open(pappl_device_t *device, const char *uri, const char *) {
  std::string why;
  const auto line = parse_serial_uri(uri, why);
  if (!line) {
    papplDeviceError(device, "%s", why.c_str());
    return false;
  }
  // The line is opened when the first byte is due (link.cpp).
  adopt_link(device, std::make_unique<SerialLink>(*line));
  return true;
}

// Serial ports present: adapters, CDC-ACM printers and bound Bluetooth
// ports always; built-in ttyS ports only where a driver claims one.
bool serial_list(pappl_device_cb_t cb, void *data, pappl_deverror_cb_t, void *) {
  namespace fs = std::filesystem;
  std::error_code error;
  std::vector<std::string> ports;
  for (const fs::directory_entry &entry : fs::directory_iterator("/dev", error)) {
    const std::string name = entry.path().filename().string();
    const bool builtin = name.starts_with("ttyS");
    if (!(builtin || name.starts_with("ttyUSB") || name.starts_with("ttyACM") || name.starts_with("rfcomm")))
      continue;
    if (builtin && !fs::exists("/sys/class/tty/" + name + "/device/driver", error)) continue;
    ports.push_back(name);
  }
  std::sort(ports.begin(), ports.end());
  for (const std::string &name : ports) {
    const std::string info = "Serial port " + name, uri = "serial:/dev/" + name + "?baud=115200";
    if (cb(info.c_str(), uri.c_str(), "", data)) return true;
  }
  return false;
}

}  // namespace

std::optional<SerialLine> parse_serial_uri(std::string_view uri, std::string &why) {
  const std::string text(uri);
  auto bad = [&](const std::string &what) {
    why = "The serial printer address \"" + text + "\" " + what + ".";
    return std::nullopt;
  };
  if (!uri.starts_with("serial:")) return bad("does not begin with serial:");
  uri.remove_prefix(7);
  if (uri.starts_with("//")) uri.remove_prefix(2);
  const size_t query = uri.find('?');
  SerialLine line;
  line.path = std::string(uri.substr(0, query));
  // Any path to a terminal: /dev/ttyUSB0, or a link to one (a virtual
  // printer's). What is no terminal is refused when opened, unwritten.
  if (!line.path.starts_with("/") || line.path.size() < 2) return bad("names no device by its full path");
  std::string_view options = query == std::string_view::npos ? std::string_view() : uri.substr(query + 1);
  while (!options.empty()) {
    const size_t end = options.find_first_of("+&");
    const std::string_view option = options.substr(0, end);
    options = end == std::string_view::npos ? std::string_view() : options.substr(end + 1);
    const size_t equals = option.find('=');
    const std::string_view key = option.substr(0, equals);
    const std::string value(equals == std::string_view::npos ? std::string_view() : option.substr(equals + 1));
    auto number = [&](int &out) {
      char *rest = nullptr;
      const long n = std::strtol(value.c_str(), &rest, 10);
      if (value.empty() || *rest || n <= 0 || n > 4000000) return false;
      out = static_cast<int>(n);
      return true;
    };
    if (key == "baud") {
      if (!number(line.baud) || speed_of(line.baud) == B0) return bad("has a speed the line cannot take: " + value);
    } else if (key == "bits") {
      if (!number(line.bits) || (line.bits != 7 && line.bits != 8)) return bad("has bits=" + value + " (7 or 8)");
    } else if (key == "stop") {
      if (!number(line.stop_bits) || line.stop_bits > 2) return bad("has stop=" + value + " (1 or 2)");
    } else if (key == "parity") {
      if (value == "none") line.parity = SerialLine::Parity::kNone;
      else if (value == "even") line.parity = SerialLine::Parity::kEven;
      else if (value == "odd") line.parity = SerialLine::Parity::kOdd;
      else return bad("has parity=" + value + " (none, even or odd)");
    } else if (key == "flow") {
      if (value == "none") line.flow = SerialLine::Flow::kNone;
      else if (value == "soft") line.flow = SerialLine::Flow::kSoft;
      else if (value == "hard" || value == "rtscts") line.flow = SerialLine::Flow::kHard;
      else return bad("has flow=" + value + " (none, soft or hard)");
    } else {
      return bad("has an unknown setting \"" + std::string(key) + "\"");
    }
  }
  return line;
}

void register_serial_scheme() {
  papplDeviceAddScheme("serial", PAPPL_DEVTYPE_CUSTOM_LOCAL, serial_list, serial_open, link_close, link_read,
                       link_write, link_status, nullptr);
}

}  // namespace quorvane::app
