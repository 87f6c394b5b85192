// Writes the benchmark pages (bench_pages.h) as CUPS raster streams with
// libcups' own writer: each page once as 8-bit ink amounts (what the filter
// reads) and once as 1 bit per pixel (what a label filter whose PPD asks for
// 1 bit reads; the same page, printed where the ink is at least half).
//
//   quorvane-bench-pages OUTPUT_DIR
#include <cstdio>
#include <string>

#include "bench_pages.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  for (const auto &p : quorvane::bench::bench_pages()) {
    const std::string gray = dir + "/" + p.name + ".ras";
    const std::string mono = dir + "/" + p.name + "-1bit.ras";
    if (!quorvane::write_raster_file(gray, {p.page}) ||
        !quorvane::write_raster_file(mono, {quorvane::bench::to_one_bit(p.page)})) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], gray.c_str());
      return 1;
    }
  }
  return 0;
}
