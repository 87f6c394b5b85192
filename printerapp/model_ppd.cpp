#include "model_ppd.h"

#include <sys/mman.h>
#include <unistd.h>

#include "embedded_ppds.h"

namespace quorvane::app {

namespace {

std::string_view driver_name_of(const EmbeddedPpd &ppd) {
  std::string_view name = ppd.file_name;
  if (name.ends_with(".ppd")) name.remove_suffix(4);
  return name;
}

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

bool write_all(int fd, std::span<const unsigned char> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n <= 0) return false;
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

std::vector<std::string> model_driver_names() {
  std::vector<std::string> names;
  for (const EmbeddedPpd &ppd : embedded_ppds()) names.emplace_back(driver_name_of(ppd));
  return names;
}

PpdHandle open_model_ppd(std::string_view driver_name) {
  for (const EmbeddedPpd &ppd : embedded_ppds()) {
    if (driver_name_of(ppd) != driver_name) continue;
    // libcups reads a PPD through a file descriptor (ppdOpen on an fmemopen
    // stream finds none), so the text goes into an anonymous memory file.
    Fd file{memfd_create("quorvane-ppd", MFD_CLOEXEC)};
    if (file.fd < 0 || !write_all(file.fd, ppd.text) || lseek(file.fd, 0, SEEK_SET) != 0) return nullptr;
    PpdHandle parsed(ppdOpenFd(file.fd));
    if (parsed) ppdMarkDefaults(parsed.get());
    return parsed;
  }
  return nullptr;
}

}  // namespace quorvane::app
