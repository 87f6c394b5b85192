#include "trace_file.h"

#include <array>
#include <cstdarg>
#include <cstdio>

bool append_string_to_file(const char *path, const char *text) {
  if (path == nullptr || text == nullptr) return false;
  std::FILE *f = std::fopen(path, "a+");
  if (f == nullptr) return false;
  std::fputs(text, f);
  std::fclose(f);
  return true;
}

bool append_formatstring_to_file(const char *path, const char *format, ...) {
  std::array<char, 4096> line{};
  va_list args;
  va_start(args, format);
  // A limit of 4095 leaves at most 4094 characters and the terminator.
  std::vsnprintf(line.data(), line.size() - 1, format, args);
  va_end(args);
  return append_string_to_file(path, line.data());
}
