// quorvane-raster-to-mono: the pages of a CUPS raster stream as the filter
// would binarise them, written as PBM pictures (1 = printed dot, rows padded
// to whole bytes as the encoders receive them). The round-trip tests compare
// these with what quorvane-preview decodes from the filter's output.
//
//   quorvane-raster-to-mono [--algorithm 0|1|2] [--save-top N]
//                           [--save-middle N] [--save-bottom N]
//                           [--max-width N] [--place 0|1] [--align 0|1|2]
//                           [--offset N] RASTER PREFIX
//
// The options mirror the PPD settings of the same meaning; the page goes
// through the filter's own page engine.
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "page_engine.h"

namespace {

struct RasterCloser {
  void operator()(cups_raster_t *r) const { cupsRasterClose(r); }
};

bool write_pbm(const std::string &path, const quorvane::MonoRaster &mono) {
  std::unique_ptr<std::FILE, int (*)(std::FILE *)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!f) return false;
  std::fprintf(f.get(), "P4\n%d %d\n", mono.width_stride * 8, mono.height);
  const std::size_t n = static_cast<std::size_t>(mono.width_stride) * static_cast<std::size_t>(mono.height);
  return std::fwrite(mono.data.get(), 1, n, f.get()) == n;
}

}  // namespace

int main(int argc, char **argv) {
  quorvane::PageSettings s;
  int i = 1;
  for (; i + 1 < argc && argv[i][0] == '-' && argv[i][1] == '-'; i += 2) {
    const std::string a = argv[i];
    const int v = std::atoi(argv[i + 1]);
    if (a == "--algorithm") s.binarization = quorvane::binarization_from_setting(v);
    else if (a == "--save-top") s.paper_saving.top = v;
    else if (a == "--save-middle") s.paper_saving.middle = v;
    else if (a == "--save-bottom") s.paper_saving.bottom = v;
    else if (a == "--max-width") s.placement.max_printable_width = v;
    else if (a == "--place") s.placement.adjust = v != 0;
    else if (a == "--align") s.placement.alignment = quorvane::alignment_from_setting(v);
    else if (a == "--offset") s.placement.offset = v;
    else {
      std::fprintf(stderr, "quorvane-raster-to-mono: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if (argc - i != 2) {
    std::fputs("usage: quorvane-raster-to-mono [--algorithm N] [--save-top N] [--save-middle N]"
               " [--save-bottom N] [--max-width N] [--place 0|1] [--align N] [--offset N]"
               " RASTER PREFIX\n", stderr);
    return 2;
  }
  const int fd = open(argv[i], O_RDONLY);
  if (fd < 0) {
    std::perror(argv[i]);
    return 2;
  }
  std::unique_ptr<cups_raster_t, RasterCloser> ras(cupsRasterOpen(fd, CUPS_RASTER_READ));
  if (!ras) {
    close(fd);
    std::fputs("quorvane-raster-to-mono: not a raster stream\n", stderr);
    return 2;
  }
  cups_page_header2_t h;
  int page = 0, status = 0;
  quorvane::PageEngine engine;
  while (status == 0 && cupsRasterReadHeader2(ras.get(), &h)) {
    ++page;
    quorvane::PageGeometry g;
    g.width = h.cupsWidth;
    g.height = h.cupsHeight;
    g.bytes_per_line = h.cupsBytesPerLine;
    g.bits_per_pixel = h.cupsBitsPerPixel;
    if (!engine.start_page(g, s)) {
      std::fprintf(stderr, "page %d: %s\n", page, engine.error());
      status = 1;
      break;
    }
    while (engine.rows_left() > 0) {
      const std::span<unsigned char> row = engine.row_buffer();
      if (cupsRasterReadPixels(ras.get(), row.data(), static_cast<unsigned>(row.size())) != row.size())
        break;
      engine.row_done();
    }
    const quorvane::MonoRaster mono = engine.finish_raster();
    char name[32];
    std::snprintf(name, sizeof name, "-%03d.pbm", page);
    if (!mono.data) {
      std::fprintf(stderr, "page %d: %s\n", page, engine.error());
      status = 1;
    } else if (!write_pbm(argv[i + 1] + std::string(name), mono)) {
      std::fprintf(stderr, "page %d: cannot write\n", page);
      status = 1;
    }
  }
  close(fd);
  if (page == 0) {
    std::fputs("quorvane-raster-to-mono: no page\n", stderr);
    return 1;
  }
  return status;
}
