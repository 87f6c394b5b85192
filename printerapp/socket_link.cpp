#include "socket_link.h"

#include <linux/sockios.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <unordered_set>

namespace quorvane::app {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTick = std::chrono::milliseconds(250);
constexpr auto kConnectWait = std::chrono::seconds(5);
constexpr auto kRetryWait = std::chrono::seconds(2);
constexpr auto kStall = std::chrono::seconds(kStallSeconds);
constexpr int kReadWaitMs = 2000;
constexpr int kDefaultPort = 9100;

}  // namespace

class SocketLink {
 public:
  SocketLink(std::string host, std::string port) : host_(std::move(host)), port_(std::move(port)) {}
  ~SocketLink() {
    if (fd_ >= 0) close(fd_);
  }
  SocketLink(const SocketLink &) = delete;
  SocketLink &operator=(const SocketLink &) = delete;

  void attach(pappl_job_t *job) {
    job_ = job;
    told_ = false;
    last_progress_ = Clock::now();
  }

  void detach() {
    resumed();
    job_ = nullptr;
  }

  std::string failure() const {
    const std::lock_guard lock(mutex_);
    return failure_;
  }

  ssize_t write(std::span<const unsigned char> bytes) {
    size_t done = 0;
    last_progress_ = Clock::now();
    while (done < bytes.size()) {
      if (cancelled() || !connected()) break;
      if (output_frozen()) {
        std::this_thread::sleep_for(kTick);
        continue;
      }
      pollfd p{fd_, POLLOUT, 0};
      const int ready = poll(&p, 1, static_cast<int>(kTick.count()));
      if (ready > 0 && (p.revents & POLLOUT)) {
        const ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
          done += static_cast<size_t>(n);
          progressed();
          continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
          lost(errno);
          break;
        }
      } else if (ready > 0 && (p.revents & (POLLERR | POLLHUP))) {
        lost(pending_error());
        break;
      }
      if (stalled()) {
        // A write made for no job (a status query) does not wait forever.
        if (!job_) break;
        waiting(kNotTakingData);
      }
    }
    if (done == bytes.size()) return static_cast<ssize_t>(done);
    return done > 0 ? static_cast<ssize_t>(done) : -1;
  }

  ssize_t read(std::span<unsigned char> buffer) {
    if (!connected()) return -1;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, kReadWaitMs) <= 0) return 0;
    const ssize_t n = recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : n;
  }

  // The kernel holds every byte the printer has not yet acknowledged; the
  // job is handed over once it holds none.
  Handover wait_until_taken() {
    if (broken_) return Handover::kFailed;
    if (fd_ < 0) return Handover::kTaken;  // nothing was sent
    int last_queued = -1;
    last_progress_ = Clock::now();
    for (;;) {
      int queued = 0;
      if (ioctl(fd_, SIOCOUTQ, &queued) != 0) return Handover::kTaken;  // no send queue to ask
      if (queued == 0) {
        resumed();
        return Handover::kTaken;
      }
      if (last_queued >= 0 && queued < last_queued) progressed();
      last_queued = queued;
      if (const int error = pending_error(); error != 0) {
        lost(error);
        return Handover::kFailed;
      }
      if (cancelled()) return Handover::kCanceled;
      pollfd p{fd_, 0, 0};  // errors and hang-ups only: the printer may talk back
      if (poll(&p, 1, 100) > 0 && (p.revents & (POLLERR | POLLHUP))) {
        lost(pending_error() ? pending_error() : ECONNRESET);
        return Handover::kFailed;
      }
      if (stalled()) waiting(kNotTakingData);
    }
  }

 private:
  bool cancelled() const {
    pappl_job_t *job = job_;
    return job && papplJobIsCanceled(job);
  }

  bool stalled() const { return Clock::now() - last_progress_ >= kStall; }

  int pending_error() const {
    int error = 0;
    socklen_t size = sizeof(error);
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
  }

  std::string where() const { return host_ + ":" + port_; }

  void set_failure(std::string text) {
    const std::lock_guard lock(mutex_);
    failure_ = std::move(text);
  }

  // A connection lost in the middle of a job: the printer has part of it, so
  // the job fails rather than being sent again on a new connection.
  void lost(int error) {
    set_failure("The connection to the printer at " + where() + " was lost (" +
                std::strerror(error ? error : ECONNRESET) + ").");
    broken_ = true;
    close(fd_);
    fd_ = -1;
  }

  void progressed() {
    last_progress_ = Clock::now();
    resumed();
  }

  void waiting(const std::string &message) {
    if (told_ || !job_) return;
    told_ = true;
    printer_waits(job_, message);
  }

  void resumed() {
    if (!told_) return;
    told_ = false;
    if (pappl_job_t *job = job_) printer_resumed(job);
  }

  // One attempt at a connection, as long as kConnectWait; 0 or an errno.
  int connect_once() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (const int rc = getaddrinfo(host_.c_str(), port_.c_str(), &hints, &found); rc != 0) {
      set_failure("The printer's address " + host_ + " is unknown (" + gai_strerror(rc) + ").");
      return EHOSTUNREACH;
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owned(found, freeaddrinfo);
    int error = ECONNREFUSED;
    for (addrinfo *a = found; a; a = a->ai_next) {
      const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
      if (fd < 0) {
        error = errno;
        continue;
      }
      if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0 || errno == EINPROGRESS) {
        const auto deadline = Clock::now() + kConnectWait;
        error = ETIMEDOUT;
        while (Clock::now() < deadline && !cancelled()) {
          pollfd p{fd, POLLOUT, 0};
          if (poll(&p, 1, static_cast<int>(kTick.count())) > 0) {
            int so_error = 0;
            socklen_t size = sizeof(so_error);
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &so_error, &size);
            error = so_error;
            break;
          }
        }
      } else {
        error = errno;
      }
      if (error == 0) {
        fd_ = fd;
        return 0;
      }
      close(fd);
    }
    set_failure("The printer at " + where() + " cannot be reached (" + std::strerror(error) + ").");
    return error;
  }

  // Connects when the first byte is due. A printer that cannot be reached
  // is waited for, the job's message saying so, until the job is
  // cancelled; without a job, one attempt.
  bool connected() {
    if (fd_ >= 0) return true;
    if (broken_) return false;
    while (!cancelled()) {
      if (connect_once() == 0) {
        set_failure("");
        resumed();
        return true;
      }
      if (!job_) return false;
      waiting(failure() + " The job waits for it.");
      const auto retry = Clock::now() + kRetryWait;
      while (Clock::now() < retry && !cancelled()) std::this_thread::sleep_for(kTick);
    }
    return false;
  }

  const std::string host_, port_;
  int fd_ = -1;
  bool broken_ = false;  // lost in the middle of the job
  std::atomic<pappl_job_t *> job_{nullptr};
  bool told_ = false;  // the owner was told that the printer waits
  Clock::time_point last_progress_ = Clock::now();
  mutable std::mutex mutex_;
  std::string failure_;
};

namespace {

std::mutex links_mutex;
std::unordered_set<const void *> links;  // the devices' data that are links

SocketLink *link_data(pappl_device_t *device) { return static_cast<SocketLink *>(papplDeviceGetData(device)); }

bool link_open(pappl_device_t *device, const char *uri, const char *) {
  char scheme[32], userpass[256], host[256], resource[256];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof(scheme), userpass, sizeof(userpass), host,
                      sizeof(host), &port, resource, sizeof(resource)) < HTTP_URI_STATUS_OK ||
      !*host) {
    papplDeviceError(device, "The printer address \"%s\" names no host.", uri);
    return false;
  }
  auto link = std::make_unique<SocketLink>(host, std::to_string(port > 0 ? port : kDefaultPort));
  {
    const std::lock_guard lock(links_mutex);
    links.insert(link.get());
  }
  papplDeviceSetData(device, link.release());
  return true;
}

void link_close(pappl_device_t *device) {
  std::unique_ptr<SocketLink> link(link_data(device));
  const std::lock_guard lock(links_mutex);
  links.erase(link.get());
}

ssize_t link_read(pappl_device_t *device, void *buffer, size_t bytes) {
  return link_data(device)->read(std::span(static_cast<unsigned char *>(buffer), bytes));
}

ssize_t link_write(pappl_device_t *device, const void *buffer, size_t bytes) {
  return link_data(device)->write(std::span(static_cast<const unsigned char *>(buffer), bytes));
}

pappl_preason_t link_status(pappl_device_t *) { return PAPPL_PREASON_NONE; }

}  // namespace

void register_socket_scheme() {
  papplDeviceAddScheme("socket", PAPPL_DEVTYPE_SOCKET, nullptr, link_open, link_close, link_read, link_write,
                       link_status, nullptr);
}

SocketLink *socket_link_of(pappl_device_t *device) {
  void *data = papplDeviceGetData(device);
  const std::lock_guard lock(links_mutex);
  return links.contains(data) ? static_cast<SocketLink *>(data) : nullptr;
}

void socket_attach_job(SocketLink &link, pappl_job_t *job) { link.attach(job); }
void socket_detach_job(SocketLink &link) { link.detach(); }
Handover socket_wait_until_taken(SocketLink &link) { return link.wait_until_taken(); }
std::string socket_failure(SocketLink &link) { return link.failure(); }

}  // namespace quorvane::app
