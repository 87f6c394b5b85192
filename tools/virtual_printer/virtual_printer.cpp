// quorvane-virtual-printer: a thermal printer without the printer. It takes
// a job over TCP (one connection at a time, as a printer's port does) or a
// pseudo-terminal (a serial printer), prints it through the preview's
// decoder into pictures, answers status queries from a state that
// `quorvane-virtual-printer control` changes, and logs what happened.
//
// The receive buffer is the printer's: while the printer cannot print it
// stops reading once the buffer holds --buffer bytes, so the sender's TCP
// window closes (or, on a serial line, XOFF goes out) as with a real one.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "page_image.h"
#include "preview_decoder.h"
#include "printer_status.h"
#include "quorvane_version.h"

namespace {

namespace pv = quorvane::preview;
namespace vp = quorvane::vprinter;
using Clock = std::chrono::steady_clock;

volatile sig_atomic_t g_stop = 0;
void on_signal(int) { g_stop = 1; }

// A file descriptor that closes itself.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd &&o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  Fd &operator=(Fd &&o) noexcept {
    if (this != &o) {
      reset();
      fd_ = std::exchange(o.fd_, -1);
    }
    return *this;
  }
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;
  ~Fd() { reset(); }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

void usage() {
  std::fprintf(
      stderr,
      "usage: quorvane-virtual-printer [options] --out DIR\n"
      "       quorvane-virtual-printer control SOCKET STATE\n"
      "options:\n"
      "  --out DIR            pages (DIR/page-0001.png ...) and DIR/events.log\n"
      "  --listen HOST:PORT   TCP listener (default 127.0.0.1:9100; port 0 picks one)\n"
      "  --serial PATH        a pseudo-terminal instead, its slave linked at PATH\n"
      "  --baud N             serial line speed: reads N/10 bytes a second (default 115200)\n"
      "  --flow none|soft     serial flow control: soft sends XOFF/XON (default none)\n"
      "  --buffer N           receive buffer in bytes (default 4096)\n"
      "  --speed MM/S         print no faster than this\n"
      "  --dpi N              resolution (default 203)\n"
      "  --model escpos|tspl|orx  its command language: the status queries it answers\n"
      "                       (default escpos; orx answers none)\n"
      "  --mute               answer no status query\n"
      "  --control SOCKET     control socket (default DIR/control)\n"
      "  --version            print the version and exit\n"
      "STATE: %.*s\n",
      static_cast<int>(vp::control_words().size()), vp::control_words().data());
}

std::optional<long> parse_long(const char *text, long lo, long hi) {
  char *end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno || !end || *end || end == text || v < lo || v > hi) return std::nullopt;
  return v;
}

std::string hex(std::span<const std::uint8_t> bytes) {
  std::string s;
  char buf[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%s%02X", i ? " " : "", bytes[i]);
    s += buf;
  }
  return s;
}

bool unix_address(const std::string &path, sockaddr_un &addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  return true;
}

// Writes all of it, waiting for a slow reader at most timeout_ms in all.
bool write_all(int fd, std::span<const std::uint8_t> bytes, int timeout_ms = 2000) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK) {
      const ssize_t w = ::write(fd, bytes.data(), bytes.size());
      if (w > 0) {
        bytes = bytes.subspan(static_cast<std::size_t>(w));
        continue;
      }
      if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
    } else if (n > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(n));
      continue;
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return false;
    }
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, timeout_ms) <= 0) return false;
  }
  return true;
}

int control_client(const std::string &path, const std::string &word) {
  vp::PrinterState probe;
  if (word != "drop" && !vp::apply_control(probe, word)) {
    std::fprintf(stderr, "quorvane-virtual-printer: unknown state \"%s\" (known: %.*s)\n",
                 word.c_str(), static_cast<int>(vp::control_words().size()),
                 vp::control_words().data());
    return 2;
  }
  sockaddr_un addr;
  if (!unix_address(path, addr)) {
    std::fprintf(stderr, "quorvane-virtual-printer: control socket path too long: %s\n",
                 path.c_str());
    return 2;
  }
  Fd s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!s || ::connect(s.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    std::fprintf(stderr, "quorvane-virtual-printer: no virtual printer at %s: %s\n",
                 path.c_str(), std::strerror(errno));
    return 1;
  }
  const std::string line = word + "\n";
  if (!write_all(s.get(), std::span(reinterpret_cast<const std::uint8_t *>(line.data()),
                                    line.size()))) {
    std::fprintf(stderr, "quorvane-virtual-printer: cannot send to %s\n", path.c_str());
    return 1;
  }
  std::string reply;
  char buf[128];
  pollfd p{s.get(), POLLIN, 0};
  while (reply.find('\n') == std::string::npos && ::poll(&p, 1, 5000) > 0) {
    const ssize_t n = ::read(s.get(), buf, sizeof buf);
    if (n <= 0) break;
    reply.append(buf, static_cast<std::size_t>(n));
  }
  if (reply.rfind("ok", 0) == 0) return 0;
  std::fprintf(stderr, "quorvane-virtual-printer: %s\n",
               reply.empty() ? "no answer from the printer" : reply.c_str());
  return 1;
}

struct Options {
  std::string out;
  std::string host = "127.0.0.1";
  int port = 9100;
  std::string serial;
  long baud = 115200;
  bool soft_flow = false;
  std::size_t buffer = 4096;
  double speed = 0;  // mm/s, 0: as fast as it decodes
  int dpi = 203;
  bool tspl = false;
  bool mute = false;
  std::string control;
};

class VirtualPrinter {
 public:
  explicit VirtualPrinter(Options o)
      : o_(std::move(o)), scanner_(o_.tspl), decoder_(decode_options()) {}

  ~VirtualPrinter() {
    if (!o_.serial.empty() && link_made_) ::unlink(o_.serial.c_str());
    if (control_) ::unlink(o_.control.c_str());
  }

  bool start() {
    const std::string log_path = o_.out + "/events.log";
    log_.reset(std::fopen(log_path.c_str(), "a"));
    if (!log_) return fail("cannot open " + log_path);
    if (!open_control()) return false;
    return o_.serial.empty() ? open_listener() : open_serial();
  }

  int run() {
    while (!g_stop) {
      accept_connection();
      const auto now = Clock::now();
      read_input(now);
      print_some(now);
      end_job_when_done();
      flow_control();
      wait_for_events(Clock::now());
    }
    event("stopped");
    return 0;
  }

 private:
  pv::DecodeOptions decode_options() const {
    pv::DecodeOptions d;
    d.tspl_dpi = o_.dpi;
    return d;
  }

  bool fail(const std::string &what) {
    std::fprintf(stderr, "quorvane-virtual-printer: %s\n", what.c_str());
    return false;
  }

  void event(const std::string &line) {
    if (!log_) return;
    std::fprintf(log_.get(), "%s\n", line.c_str());
    std::fflush(log_.get());
  }

  bool open_control() {
    sockaddr_un addr;
    if (!unix_address(o_.control, addr)) return fail("control socket path too long: " + o_.control);
    struct stat st;
    if (::lstat(o_.control.c_str(), &st) == 0) {
      if (!S_ISSOCK(st.st_mode)) return fail(o_.control + " exists and is not a socket");
      ::unlink(o_.control.c_str());  // left by a printer that was killed
    }
    control_ = Fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!control_ || ::bind(control_.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) ||
        ::listen(control_.get(), 4))
      return fail("cannot listen on " + o_.control + ": " + std::strerror(errno));
    return true;
  }

  bool open_listener() {
    listener_ = Fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener_) return fail(std::string("socket: ") + std::strerror(errno));
    const int one = 1;
    ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Small, so that the kernel does not take megabytes the printer has not
    // read: the sender must feel the printer's own buffer fill.
    const int rcvbuf = 4096;
    ::setsockopt(listener_.get(), SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(o_.port));
    if (::inet_pton(AF_INET, o_.host.c_str(), &addr.sin_addr) != 1)
      return fail("not an IPv4 address: " + o_.host);
    if (::bind(listener_.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) ||
        ::listen(listener_.get(), 8))
      return fail("cannot listen on " + o_.host + ":" + std::to_string(o_.port) + ": " +
                  std::strerror(errno));
    socklen_t len = sizeof addr;
    ::getsockname(listener_.get(), reinterpret_cast<sockaddr *>(&addr), &len);
    event("listening " + o_.host + ":" + std::to_string(ntohs(addr.sin_port)));
    return true;
  }

  bool open_serial() {
    Fd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master || ::grantpt(master.get()) || ::unlockpt(master.get()))
      return fail(std::string("pseudo-terminal: ") + std::strerror(errno));
    const char *slave = ::ptsname(master.get());
    if (!slave) return fail("pseudo-terminal without a slave");
    {
      // Raw, at the line's speed, as a serial port set up for a printer.
      Fd s(::open(slave, O_RDWR | O_NOCTTY | O_CLOEXEC));
      termios t{};
      if (!s || ::tcgetattr(s.get(), &t)) return fail(std::string(slave) + ": " + std::strerror(errno));
      ::cfmakeraw(&t);
      speed_t sp = B115200;
      for (auto [baud, code] : {std::pair{9600L, B9600}, {19200L, B19200}, {38400L, B38400},
                                {57600L, B57600}, {115200L, B115200}, {230400L, B230400}})
        if (baud == o_.baud) sp = code;
      ::cfsetispeed(&t, sp);
      ::cfsetospeed(&t, sp);
      ::tcsetattr(s.get(), TCSANOW, &t);
    }
    termios mt{};
    ::tcgetattr(master.get(), &mt);
    ::cfmakeraw(&mt);
    ::tcsetattr(master.get(), TCSANOW, &mt);
    ::fcntl(master.get(), F_SETFL, ::fcntl(master.get(), F_GETFL) | O_NONBLOCK);
    struct stat st;
    if (::lstat(o_.serial.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) return fail(o_.serial + " exists and is not a symbolic link");
      ::unlink(o_.serial.c_str());
    }
    if (::symlink(slave, o_.serial.c_str()))
      return fail("cannot link " + o_.serial + ": " + std::strerror(errno));
    link_made_ = true;
    serial_ = std::move(master);
    event("serial " + o_.serial + " -> " + slave + " " + std::to_string(o_.baud) + " baud" +
          (o_.soft_flow ? " xon/xoff" : ""));
    budget_at_ = Clock::now();
    return true;
  }

  // The connection bytes come in through: a client socket or the pty.
  int input_fd() const { return serial_ ? serial_.get() : client_.get(); }

  bool job_open() const { return serial_ ? serial_job_ : static_cast<bool>(client_); }

  // As a TCP connection is accepted only once the last job is printed, a
  // new writer on the line is read only then: its job is a job of its own.
  bool next_serial_job_waits() const { return !serial_job_ && job_pending_; }

  void accept_connection() {
    if (!listener_ || client_ || !rx_.empty() || job_pending_) return;
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    Fd c(::accept4(listener_.get(), reinterpret_cast<sockaddr *>(&peer), &len,
                   SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!c) return;
    char ip[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
    peer_ = std::string(ip) + ":" + std::to_string(ntohs(peer.sin_port));
    client_ = std::move(c);
    job_pending_ = true;
    received_ = 0;
    scanner_.reset();
    event("connection " + peer_);
  }

  // Reads what the buffer has room for (and, on a serial line, what the
  // line's speed has delivered by now).
  void read_input(Clock::time_point now) {
    const int fd = input_fd();
    if (fd < 0 || (serial_ && (serial_hung_up_ || next_serial_job_waits()))) return;
    std::size_t room = o_.buffer > rx_.size() ? o_.buffer - rx_.size() : 0;
    if (serial_) {
      const double per_second = static_cast<double>(o_.baud) / 10.0;
      budget_ += std::chrono::duration<double>(now - budget_at_).count() * per_second;
      budget_ = std::min(budget_, std::max(1.0, per_second / 50));  // 20 ms of line at most
      budget_at_ = now;
      room = std::min(room, static_cast<std::size_t>(budget_));
    }
    // Logged when it stops reading because it cannot print, the stall a
    // sender sees.
    if (rx_.size() >= o_.buffer && !buffer_full_ && !vp::prints(state_)) {
      buffer_full_ = true;
      event("buffer full " + std::to_string(rx_.size()) + " bytes held");
    } else if (rx_.size() < o_.buffer) {
      buffer_full_ = false;
    }
    if (room == 0) return;
    std::uint8_t buf[4096];
    const std::size_t want = std::min(room, sizeof buf);
    const ssize_t n = ::read(fd, buf, want);
    // A line that had less to bring was idle: that time is not made up later.
    if (serial_ && (n < 0 || static_cast<std::size_t>(n) < want)) budget_ = 0;
    if (n > 0) {
      if (serial_) {
        budget_ = std::max(0.0, budget_ - static_cast<double>(n));
        if (!serial_job_) {
          serial_job_ = job_pending_ = true;
          received_ = 0;
          scanner_.reset();
          event("connection serial " + o_.serial);
        }
      }
      received_ += static_cast<std::size_t>(n);
      const std::span got(buf, static_cast<std::size_t>(n));
      std::size_t query_bytes = 0;
      for (std::uint8_t b : got) query_bytes += real_time(b) ? 3 : 0;
      // A read of status queries alone (a host asking between jobs) is done
      // with once answered: it holds no connection up, even out of paper.
      if (query_bytes != got.size()) rx_.insert(rx_.end(), got.begin(), got.end());
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      // The sender closed (on a pty: the last writer let go of the slave).
      if (serial_) {
        serial_hung_up_ = true;
        if (serial_job_) event("closed serial " + std::to_string(received_) + " bytes");
        serial_job_ = false;
      } else {
        event("closed " + peer_ + " " + std::to_string(received_) + " bytes");
        client_.reset();
      }
    }
  }

  // Real-time commands are acted on as they are received, whatever the
  // printer is doing; among other data they stay in the buffer, where the
  // decoder passes them. True when a three-byte query ends with `b`.
  bool real_time(std::uint8_t b) {
    const vp::Query q = scanner_.push(b);
    if (q == vp::Query::none) return false;
    if (o_.mute) return true;
    if (q <= vp::Query::dle_eot_4) {
      const int n = static_cast<int>(q) - static_cast<int>(vp::Query::dle_eot_1) + 1;
      const std::uint8_t answer = *vp::dle_eot(state_, n);
      send_byte(answer);
      event("status DLE EOT " + std::to_string(n) + " -> " + hex0x(answer));
    } else if (q == vp::Query::tspl_status) {
      const std::uint8_t answer = vp::tspl_status(state_, !rx_.empty());
      send_byte(answer);
      event("status ESC !? -> " + hex0x(answer));
    } else {
      const auto answer = vp::tspl_extended_status(state_, !rx_.empty(), rx_.size() >= o_.buffer);
      send_answer(answer);
      event("status ESC !S -> " + hex(answer));
    }
    return true;
  }

  static std::string hex0x(std::uint8_t b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", b);
    return buf;
  }

  void send_byte(std::uint8_t b) { send_answer(std::span(&b, 1)); }

  // Never waits: a sender that does not read its answers must not stop the
  // printer; what does not fit is dropped, as a printer's would be.
  void send_answer(std::span<const std::uint8_t> bytes) {
    const int fd = input_fd();
    if (fd >= 0 && !write_all(fd, bytes, 0)) event("answer dropped " + hex(bytes));
  }

  // Takes bytes from the buffer into the mechanism while it can print, no
  // faster than --speed: what a piece printed (pages, cuts, answers in
  // buffer order) comes out once the mechanism has had the time to print it.
  void print_some(Clock::time_point now) {
    if (now < print_ready_at_) return;
    if (undrained_) {
      drain_decoder(false);
      undrained_ = false;
    }
    if (rx_.empty() || !vp::prints(state_)) return;
    const std::size_t chunk = std::min<std::size_t>(rx_.size(), o_.speed > 0 ? 256 : 65536);
    std::vector<std::uint8_t> bytes(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(chunk));
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(chunk));
    const long roll_before = decoder_.roll_rows();
    decoder_.feed(bytes);
    const auto &fed = decoder_.result();
    long rows = decoder_.roll_rows() - roll_before;
    for (const auto &page : fed.pages) rows += page.height();
    if (o_.speed > 0 && rows > 0) {
      const double rows_per_second = o_.speed * o_.dpi / 25.4;
      print_ready_at_ = std::max(print_ready_at_, now) +
                        std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(rows / rows_per_second));
      undrained_ = true;
    } else {
      drain_decoder(false);
    }
  }

  // A job ends when its sender has gone and its bytes are printed.
  void end_job_when_done() {
    if (!job_pending_ || job_open() || !rx_.empty() || undrained_) return;
    decoder_.finish();
    drain_decoder(true);
    decoder_ = pv::StreamDecoder(decode_options());
    job_pending_ = false;
  }

  void drain_decoder(bool all) {
    for (const auto &c : decoder_.take_commands()) on_command(c);
    for (auto &page : decoder_.take_pages()) {
      ++page_number_;
      char name[32];
      std::snprintf(name, sizeof name, "page-%04ld.png", page_number_);
      if (!pv::write_png(page, o_.out + "/" + name))
        event(std::string("error cannot write ") + name);
      std::snprintf(name, sizeof name, "page %04ld %dx%d", page_number_, page.width(),
                    page.height());
      event(name);
    }
    for (const auto &p : decoder_.take_problems()) event("problem " + p);
    for (const auto &u : decoder_.take_unknown(all))
      event("unknown " + std::to_string(u.length) + " bytes " + hex(u.bytes) +
            (u.length > u.bytes.size() ? " ..." : ""));
  }

  void on_command(const pv::CommandEntry &c) {
    if (c.name == "GS V" || c.name == "ESC i" || c.name == "ESC m") {
      event(c.detail.rfind("full cut", 0) == 0 ? "cut full" : "cut partial");
    } else if (c.name == "ESC p") {
      event(c.detail.find("pin 5") != std::string::npos ? "drawer 2" : "drawer 1");
    } else if (c.name == "GS r" || c.name == "ESC v") {
      // In buffer order: answered when the printer gets to it.
      if (o_.mute || o_.tspl) return;
      const bool drawer = c.detail == "status 2" || c.detail == "status 50";
      const std::uint8_t answer = drawer ? vp::drawer_status(state_) : vp::paper_sensor(state_);
      send_byte(answer);
      event("status " + c.name + (c.name == "GS r" ? " " + c.detail.substr(7) : "") + " -> " +
            hex0x(answer));
    } else if (c.name == "GS a") {
      asb_mask_ = static_cast<std::uint8_t>(std::strtoul(c.detail.c_str() + c.detail.size() - 2,
                                                         nullptr, 16));
      event("asb " + hex0x(asb_mask_));
      last_asb_.reset();
      send_asb();
    }
  }

  void send_asb() {
    if (o_.mute || o_.tspl || asb_mask_ == 0) return;
    const auto block = vp::asb_block(state_);
    if (last_asb_ == block) return;
    last_asb_ = block;
    send_answer(block);
    event("status ASB -> " + hex(block));
  }

  void flow_control() {
    if (!serial_ || !o_.soft_flow || serial_hung_up_) return;
    // Room enough above the mark for what is on the line when XOFF arrives.
    const std::size_t headroom = std::min<std::size_t>(o_.buffer / 4, 256);
    if (!xoff_sent_ && rx_.size() + headroom >= o_.buffer) {
      const std::uint8_t xoff = 0x13;
      send_byte(xoff);
      xoff_sent_ = true;
      event("xoff " + std::to_string(rx_.size()) + " bytes held");
    } else if (xoff_sent_ && rx_.size() <= o_.buffer / 2) {
      const std::uint8_t xon = 0x11;
      send_byte(xon);
      xoff_sent_ = false;
      event("xon " + std::to_string(rx_.size()) + " bytes held");
    }
  }

  void serve_control() {
    Fd c(::accept4(control_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!c) return;
    // One line, within a second in all: a silent client must not hold the
    // printer up.
    std::string line;
    char buf[64];
    pollfd p{c.get(), POLLIN, 0};
    const auto deadline = Clock::now() + std::chrono::seconds(1);
    while (line.find('\n') == std::string::npos && line.size() < 64) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      const ssize_t n = ::read(c.get(), buf, sizeof buf);
      if (n <= 0) break;
      line.append(buf, static_cast<std::size_t>(n));
    }
    line = line.substr(0, line.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto was = state_;
    std::string reply;
    if (line == "drop") {
      // The printer goes away in the middle of whatever it was taking.
      reply = "ok drop\n";
      if (client_) {
        event("dropped " + peer_ + " " + std::to_string(received_) + " bytes");
        client_.reset();
      }
    } else if (vp::apply_control(state_, line)) {
      reply = "ok " + line + "\n";
      event("state " + line);
      if (!(was == state_)) send_asb();
    } else {
      reply = "error unknown state: " + line.substr(0, 32) + "\n";
    }
    write_all(c.get(), std::span(reinterpret_cast<const std::uint8_t *>(reply.data()),
                                 reply.size()));
  }

  void wait_for_events(Clock::time_point now) {
    std::vector<pollfd> fds;
    fds.push_back({control_.get(), POLLIN, 0});
    if (listener_ && !client_ && rx_.empty() && !job_pending_)
      fds.push_back({listener_.get(), POLLIN, 0});
    const bool room = rx_.size() < o_.buffer;
    int timeout = 500;
    if (serial_) {
      if (serial_hung_up_) {
        // A pty without a writer reads as hung up until one opens it again.
        pollfd p{serial_.get(), POLLIN, 0};
        // Bytes a writer left before it closed are still read.
        if (::poll(&p, 1, 0) == 1 && (p.revents & POLLIN || !(p.revents & POLLHUP)))
          serial_hung_up_ = false;
        else timeout = 50;
      } else if (next_serial_job_waits()) {
        // Polled again once the job before is printed.
      } else if (room && budget_ >= 1) {
        fds.push_back({serial_.get(), POLLIN, 0});
      } else if (room) {
        timeout = 10;  // the line brings the next bytes
      }
    } else if (client_ && room) {
      fds.push_back({client_.get(), POLLIN, 0});
    }
    if (undrained_ || (!rx_.empty() && vp::prints(state_))) {
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(print_ready_at_ - now);
      timeout = std::clamp<int>(static_cast<int>(wait.count()), 0, timeout);
    }
    if (job_pending_ && !job_open() && rx_.empty() && !undrained_) timeout = 0;
    if (::poll(fds.data(), fds.size(), timeout) > 0 && (fds[0].revents & POLLIN)) serve_control();
  }

  Options o_;
  struct CloseFile {
    void operator()(std::FILE *f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, CloseFile> log_;
  Fd control_, listener_, client_, serial_;
  bool link_made_ = false;
  bool serial_hung_up_ = false;
  bool serial_job_ = false;
  bool job_pending_ = false;
  std::string peer_;
  std::size_t received_ = 0;
  std::deque<std::uint8_t> rx_;
  vp::RealTimeScanner scanner_{false};
  vp::PrinterState state_;
  pv::StreamDecoder decoder_;
  long page_number_ = 0;
  Clock::time_point print_ready_at_{};
  bool undrained_ = false;
  bool buffer_full_ = false;
  double budget_ = 0;
  Clock::time_point budget_at_{};
  bool xoff_sent_ = false;
  std::uint8_t asb_mask_ = 0;
  std::optional<std::array<std::uint8_t, 4>> last_asb_;
};

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 2 && std::string_view(argv[1]) == "control") {
    if (argc != 4) {
      usage();
      return 2;
    }
    return control_client(argv[2], argv[3]);
  }
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    auto value = [&]() -> const char * { return i + 1 < argc ? argv[++i] : nullptr; };
    const char *v = nullptr;
    if (a == "--version") {
      std::printf("quorvane-virtual-printer %s\n", QUORVANE_VERSION);
      return 0;
    } else if (a == "--mute") {
      o.mute = true;
      continue;
    } else if (a == "--help" || a == "-h") {
      usage();
      return 0;
    }
    v = value();
    if (!v) {
      usage();
      return 2;
    }
    bool ok = true;
    if (a == "--out") o.out = v;
    else if (a == "--serial") o.serial = v;
    else if (a == "--control") o.control = v;
    else if (a == "--listen") {
      const std::string s = v;
      const auto colon = s.rfind(':');
      const auto port = colon == std::string::npos ? std::nullopt
                                                   : parse_long(s.c_str() + colon + 1, 0, 65535);
      ok = port.has_value();
      if (ok) {
        o.host = s.substr(0, colon);
        o.port = static_cast<int>(*port);
      }
    } else if (a == "--baud") {
      const auto n = parse_long(v, 300, 4000000);
      ok = n.has_value();
      if (ok) o.baud = *n;
    } else if (a == "--flow") {
      ok = std::string_view(v) == "soft" || std::string_view(v) == "none";
      o.soft_flow = std::string_view(v) == "soft";
    } else if (a == "--buffer") {
      const auto n = parse_long(v, 16, 64L << 20);
      ok = n.has_value();
      if (ok) o.buffer = static_cast<std::size_t>(*n);
    } else if (a == "--speed") {
      const auto n = parse_long(v, 1, 10000);
      ok = n.has_value();
      if (ok) o.speed = static_cast<double>(*n);
    } else if (a == "--dpi") {
      const auto n = parse_long(v, 50, 2400);
      ok = n.has_value();
      if (ok) o.dpi = static_cast<int>(*n);
    } else if (a == "--model") {
      const std::string_view model = v;
      ok = model == "escpos" || model == "tspl" || model == "orx";
      o.tspl = model == "tspl";
      if (model == "orx") o.mute = true;  // ORX printers have no status to ask
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "quorvane-virtual-printer: bad option %s %s\n", argv[i - 1], v);
      return 2;
    }
  }
  if (o.out.empty()) {
    usage();
    return 2;
  }
  if (o.control.empty()) o.control = o.out + "/control";
  ::mkdir(o.out.c_str(), 0755);
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  VirtualPrinter printer(std::move(o));
  if (!printer.start()) return 1;
  return printer.run();
}
