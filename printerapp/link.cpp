#include "link.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <thread>
#include <unordered_set>

namespace quorvane::app {

namespace {

constexpr auto kTick = std::chrono::milliseconds(250);
constexpr auto kRetryWait = std::chrono::seconds(2);
constexpr auto kStall = std::chrono::seconds(kStallSeconds);
constexpr int kReadWaitMs = 2000;

int pending_error(int fd) {
  int error = 0;
  socklen_t size = sizeof(error);
  // Not a socket (a serial line): no error is pending there.
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno == ENOTSOCK ? 0 : errno;
  return error;
}

}  // namespace

Link::~Link() {
  if (fd_ >= 0) close(fd_);
}

void Link::attach(pappl_job_t *job) {
  job_ = job;
  told_ = false;
  last_progress_ = Clock::now();
}

void Link::detach() {
  resumed();
  job_ = nullptr;
}

std::string Link::failure() const {
  const std::lock_guard lock(mutex_);
  return failure_;
}

void Link::set_failure(std::string text) {
  const std::lock_guard lock(mutex_);
  failure_ = std::move(text);
}

bool Link::cancelled() const {
  pappl_job_t *job = job_;
  return job && papplJobIsCanceled(job);
}

bool Link::stalled() const { return Clock::now() - last_progress_ >= kStall; }

void Link::progressed() {
  last_progress_ = Clock::now();
  resumed();
}

void Link::waiting(const std::string &message) {
  if (told_ || !job_) return;
  told_ = true;
  printer_waits(job_, message);
}

void Link::resumed() {
  if (!told_) return;
  told_ = false;
  if (pappl_job_t *job = job_) printer_resumed(job);
}

void Link::lost(int error) {
  set_failure("The connection to " + name() + " was lost (" + std::strerror(error ? error : ECONNRESET) + ").");
  broken_ = true;
  close(fd_);
  fd_ = -1;
}

// Opens when the first byte is due. A printer that cannot be reached is
// waited for, the job's message saying so, until the job is cancelled;
// without a job, one attempt.
bool Link::ready() {
  if (fd_ >= 0) return true;
  if (broken_) return false;
  while (!cancelled()) {
    if (open_once(false) == 0) {
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

ssize_t Link::write(std::span<const unsigned char> bytes) {
  size_t done = 0;
  last_progress_ = Clock::now();
  while (done < bytes.size()) {
    if (cancelled() || !ready()) break;
    if (output_frozen()) {
      std::this_thread::sleep_for(kTick);
      continue;
    }
    pollfd p{fd_, POLLOUT, 0};
    const int polled = poll(&p, 1, static_cast<int>(kTick.count()));
    if (polled > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
      lost(pending_error(fd_));
      break;
    }
    if (polled > 0 && (p.revents & POLLOUT)) {
      const size_t now = allowance(bytes.size() - done);
      if (now == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
      const ssize_t n = ::send(fd_, bytes.data() + done, now, MSG_NOSIGNAL | MSG_DONTWAIT);
      const ssize_t m = n < 0 && errno == ENOTSOCK ? ::write(fd_, bytes.data() + done, now) : n;
      if (m > 0) {
        done += static_cast<size_t>(m);
        sent(static_cast<size_t>(m));
        progressed();
        continue;
      }
      if (m < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        lost(errno);
        break;
      }
    }
    if (stalled()) {
      if (!job_) break;  // a write for no job (a status query) does not wait forever
      waiting(kNotTakingData);
    }
  }
  if (done == bytes.size()) return static_cast<ssize_t>(done);
  return done > 0 ? static_cast<ssize_t>(done) : -1;
}

ssize_t Link::read(std::span<unsigned char> buffer, int wait_ms) {
  if (!ready()) return -1;
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, wait_ms) <= 0 || !(p.revents & POLLIN)) return 0;
  const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
  return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : n;
}

// The kernel holds every byte the printer has not yet taken (a socket's
// unacknowledged bytes, a serial line's unsent ones); the job is handed over
// once it holds none.
Handover Link::wait_until_taken() {
  if (broken_) return Handover::kFailed;
  if (fd_ < 0) return Handover::kTaken;  // nothing was sent
  int last_queued = -1;
  last_progress_ = Clock::now();
  for (;;) {
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) != 0) return Handover::kTaken;  // no queue to ask
    if (queued == 0) {
      resumed();
      return Handover::kTaken;
    }
    if (last_queued >= 0 && queued < last_queued) progressed();
    last_queued = queued;
    if (const int error = pending_error(fd_); error != 0) {
      lost(error);
      return Handover::kFailed;
    }
    if (cancelled()) return Handover::kCanceled;
    pollfd p{fd_, 0, 0};  // errors and hang-ups only: the printer may talk back
    if (poll(&p, 1, 100) > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
      const int error = pending_error(fd_);
      lost(error ? error : ECONNRESET);
      return Handover::kFailed;
    }
    if (stalled()) waiting(kNotTakingData);
  }
}

std::vector<unsigned char> Link::ask(std::span<const unsigned char> query,
                                     const std::function<bool(std::span<const unsigned char>)> &whole,
                                     int wait_ms) {
  std::vector<unsigned char> answer;
  if (fd_ < 0 && (broken_ || open_once(true) != 0)) return answer;
  const ssize_t n = ::send(fd_, query.data(), query.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  const ssize_t m = n < 0 && errno == ENOTSOCK ? ::write(fd_, query.data(), query.size()) : n;
  if (m != static_cast<ssize_t>(query.size())) return answer;  // a printer that takes no data hears nothing
  const auto deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  while (!whole(answer)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return {};
    std::array<unsigned char, 64> buffer;
    const ssize_t got = read(buffer, static_cast<int>(left));
    if (got < 0) return {};
    answer.insert(answer.end(), buffer.begin(), buffer.begin() + got);
  }
  return answer;
}

namespace {

std::mutex links_mutex;
std::unordered_set<const void *> links;  // the devices' data that are links

}  // namespace

void adopt_link(pappl_device_t *device, std::unique_ptr<Link> link) {
  {
    const std::lock_guard lock(links_mutex);
    links.insert(link.get());
  }
  papplDeviceSetData(device, link.release());
}

void release_link(pappl_device_t *device) {
  std::unique_ptr<Link> link(static_cast<Link *>(papplDeviceGetData(device)));
  const std::lock_guard lock(links_mutex);
  links.erase(link.get());
}

Link *link_of(pappl_device_t *device) {
  void *data = papplDeviceGetData(device);
  const std::lock_guard lock(links_mutex);
  return links.contains(data) ? static_cast<Link *>(data) : nullptr;
}

void link_close(pappl_device_t *device) { release_link(device); }

ssize_t link_read(pappl_device_t *device, void *buffer, size_t bytes) {
  return link_of(device)->read(std::span(static_cast<unsigned char *>(buffer), bytes), kReadWaitMs);
}

ssize_t link_write(pappl_device_t *device, const void *buffer, size_t bytes) {
  return link_of(device)->write(std::span(static_cast<const unsigned char *>(buffer), bytes));
}

pappl_preason_t link_status(pappl_device_t *) { return PAPPL_PREASON_NONE; }


}  // namespace quorvane::app
