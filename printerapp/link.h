// A link to a printer that the application owns (socket://, serial:): one
// file descriptor, written without blocking so that a printer that takes no
// data can be waited for, told of, and given up on when its job is
// cancelled; a job is handed over once the descriptor's output queue is
// empty. Each scheme says how the descriptor is opened and how fast it may
// be written.
#ifndef QUORVANE_APP_LINK_H
#define QUORVANE_APP_LINK_H

#include <pappl/pappl.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "delivery.h"

namespace quorvane::app {

class Link {
 public:
  virtual ~Link();
  Link(const Link &) = delete;
  Link &operator=(const Link &) = delete;

  void attach(pappl_job_t *job);
  void detach();
  std::string failure() const;

  ssize_t write(std::span<const unsigned char> bytes);
  // What the printer sent, waiting at most `wait_ms`; 0 when it sent nothing.
  ssize_t read(std::span<unsigned char> buffer, int wait_ms);
  Handover wait_until_taken();
  // Sends `query` and reads until `whole` says the answer is complete or
  // `wait_ms` pass; the bytes read (empty: no answer). It opens the link
  // once if need be, briefly, and never waits for a printer that takes no
  // data.
  std::vector<unsigned char> ask(std::span<const unsigned char> query,
                                 const std::function<bool(std::span<const unsigned char>)> &whole, int wait_ms);

 protected:
  Link() = default;

  // Opens the descriptor (fd_) once, a `quick` attempt for a status query;
  // 0 or an errno, failure set to say why.
  virtual int open_once(bool quick) = 0;
  // How the printer is named in messages ("the printer at HOST:PORT").
  virtual std::string name() const = 0;
  // Bytes the link may send now without outrunning the line (serial links
  // pace their writes); 0 to wait a moment.
  virtual size_t allowance(size_t wanted) { return wanted; }
  virtual void sent(size_t) {}
  // A link lost in the middle of a job cannot be written again.
  void lost(int error);
  void set_failure(std::string text);
  bool cancelled() const;

  int fd_ = -1;

 private:
  bool ready();
  void progressed();
  bool stalled() const;
  void waiting(const std::string &message);
  void resumed();

  using Clock = std::chrono::steady_clock;
  bool broken_ = false;
  std::atomic<pappl_job_t *> job_{nullptr};
  bool told_ = false;  // the owner was told that the printer waits
  Clock::time_point last_progress_ = Clock::now();
  mutable std::mutex mutex_;
  std::string failure_;
};

// Registers a link as the data of a PAPPL device, and finds it again.
void adopt_link(pappl_device_t *device, std::unique_ptr<Link> link);
void release_link(pappl_device_t *device);
Link *link_of(pappl_device_t *device);

// The device callbacks every link scheme shares.
void link_close(pappl_device_t *device);
ssize_t link_read(pappl_device_t *device, void *buffer, size_t bytes);
ssize_t link_write(pappl_device_t *device, const void *buffer, size_t bytes);
pappl_preason_t link_status(pappl_device_t *device);

// The schemes. They must be registered before PAPPL adds its own: the first
// registration of a scheme name wins.
void register_socket_scheme();
void register_serial_scheme();

}  // namespace quorvane::app

#endif
