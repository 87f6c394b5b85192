// The socket:// scheme: a raw TCP connection to a network printer, port
// 9100 unless the address names another.
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "link.h"

namespace quorvane::app {

namespace {

constexpr auto kConnectWait = std::chrono::seconds(5);
constexpr int kTickMs = 250;
constexpr int kDefaultPort = 9100;

class SocketLink final : public Link {
 public:
  SocketLink(std::string host, std::string port) : host_(std::move(host)), port_(std::move(port)) {}

 private:
  std::string name() const override { return "the printer at " + host_ + ":" + port_; }

  // One attempt at a connection, as long as kConnectWait (a second for a
  // status query).
  int open_once(bool quick) override {
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
        const auto deadline =
            std::chrono::steady_clock::now() + (quick ? std::chrono::seconds(1) : kConnectWait);
        error = ETIMEDOUT;
        while (std::chrono::steady_clock::now() < deadline && !cancelled()) {
          pollfd p{fd, POLLOUT, 0};
          if (poll(&p, 1, kTickMs) > 0) {
            socklen_t size = sizeof(error);
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
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
    set_failure("The printer at " + host_ + ":" + port_ + " cannot be reached (" + std::strerror(error) + ").");
    return error;
  }

  const std::string host_, port_;
};

bool socket_open(pappl_device_t *device, const char *uri, const char *) {
  char scheme[32], userpass[256], host[256], resource[256];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof(scheme), userpass, sizeof(userpass), host,
                      sizeof(host), &port, resource, sizeof(resource)) < HTTP_URI_STATUS_OK ||
      !*host) {
    papplDeviceError(device, "The printer address \"%s\" names no host.", uri);
    return false;
  }
  // The connection is made when the first byte is due (link.cpp).
  adopt_link(device, std::make_unique<SocketLink>(host, std::to_string(port > 0 ? port : kDefaultPort)));
  return true;
}

}  // namespace

void register_socket_scheme() {
  papplDeviceAddScheme("socket", PAPPL_DEVTYPE_SOCKET, nullptr, socket_open, link_close, link_read, link_write,
                       link_status, nullptr);
}

}  // namespace quorvane::app
