#include "model_ppd.h"

#include <cstdio>

#include "embedded_ppds.h"

namespace quorvane::app {

namespace {

std::string_view driver_name_of(const EmbeddedPpd &ppd) {
  std::string_view name = ppd.file_name;
  if (name.ends_with(".ppd")) name.remove_suffix(4);
  return name;
}

struct FileCloser {
  void operator()(FILE *file) const { std::fclose(file); }
};

}  // namespace

std::vector<std::string> model_driver_names() {
  std::vector<std::string> names;
  for (const EmbeddedPpd &ppd : embedded_ppds()) names.emplace_back(driver_name_of(ppd));
  return names;
}

PpdHandle open_model_ppd(std::string_view driver_name) {
  for (const EmbeddedPpd &ppd : embedded_ppds()) {
    if (driver_name_of(ppd) != driver_name) continue;
    // fmemopen in read mode never writes to the buffer.
    std::unique_ptr<FILE, FileCloser> file(
        fmemopen(const_cast<unsigned char *>(ppd.text.data()), ppd.text.size(), "r"));
    if (!file) return nullptr;
    PpdHandle parsed(ppdOpen(file.get()));
    if (parsed) ppdMarkDefaults(parsed.get());
    return parsed;
  }
  return nullptr;
}

}  // namespace quorvane::app
