// Writes an example CUPS raster stream of receipt-like pages with libcups'
// own raster writer.
//
//   quorvane-make-raster OUTPUT [WIDTH [HEIGHT [PAGES [COPIES]]]]
//   quorvane-make-raster --version
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "quorvane_version.h"
#include "raster_writer.h"

int main(int argc, char **argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("quorvane-make-raster %s\n", QUORVANE_VERSION);
    return 0;
  }
  if (argc < 2 || argc > 6) {
    std::fprintf(stderr, "usage: %s OUTPUT [WIDTH [HEIGHT [PAGES [COPIES]]]]\n", argv[0]);
    return 2;
  }
  const long width = argc > 2 ? std::atol(argv[2]) : 576;
  const long height = argc > 3 ? std::atol(argv[3]) : 1200;
  const long pages = argc > 4 ? std::atol(argv[4]) : 1;
  const long copies = argc > 5 ? std::atol(argv[5]) : 1;
  if (width < 32 || width > 65535 || height < 64 || height > 1000000 || pages < 1 ||
      pages > 100 || copies < 0 || copies > 1000) {
    std::fprintf(stderr, "%s: sizes out of range\n", argv[0]);
    return 2;
  }
  std::vector<quorvane::RasterPage> out;
  for (long p = 0; p < pages; ++p) {
    out.push_back(quorvane::make_receipt_page(static_cast<unsigned>(width),
                                              static_cast<unsigned>(height)));
    out.back().num_copies = static_cast<unsigned>(copies);
  }
  if (!quorvane::write_raster_file(argv[1], out)) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  std::printf("wrote %ld page(s) of %ld x %ld dots to %s\n", pages, width, height, argv[1]);
  return 0;
}
