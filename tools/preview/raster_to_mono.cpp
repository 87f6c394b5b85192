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
// The options mirror the PPD settings of the same meaning; the geometry is
// done by the image module's own functions, as in the filter.
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "img2esccmd.h"
#include "malloc_buffer.h"

namespace {

struct RasterCloser {
  void operator()(cups_raster_t *r) const { cupsRasterClose(r); }
};

bool write_pbm(const std::string &path, const unsigned char *mono, int width_stride, int rows) {
  std::unique_ptr<std::FILE, int (*)(std::FILE *)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!f) return false;
  std::fprintf(f.get(), "P4\n%d %d\n", width_stride * 8, rows);
  const std::size_t n = static_cast<std::size_t>(width_stride) * static_cast<std::size_t>(rows);
  return std::fwrite(mono, 1, n, f.get()) == n;
}

}  // namespace

int main(int argc, char **argv) {
  int algorithm = 0, top = -1, middle = -1, bottom = -1;
  int max_width = 0, place = 0, align = 0, offset = 0;
  int i = 1;
  for (; i + 1 < argc && argv[i][0] == '-' && argv[i][1] == '-'; i += 2) {
    const std::string a = argv[i];
    const int v = std::atoi(argv[i + 1]);
    if (a == "--algorithm") algorithm = v;
    else if (a == "--save-top") top = v;
    else if (a == "--save-middle") middle = v;
    else if (a == "--save-bottom") bottom = v;
    else if (a == "--max-width") max_width = v;
    else if (a == "--place") place = v;
    else if (a == "--align") align = v;
    else if (a == "--offset") offset = v;
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
  while (status == 0 && cupsRasterReadHeader2(ras.get(), &h)) {
    ++page;
    const unsigned long long size = static_cast<unsigned long long>(h.cupsBytesPerLine) * h.cupsHeight;
    if (h.cupsBitsPerPixel != 8 || h.cupsWidth == 0 || size == 0 || size > (1ull << 30)) {
      std::fprintf(stderr, "page %d: not an 8-bit page this tool handles\n", page);
      status = 1;
      break;
    }
    std::vector<unsigned char> gray(size);
    if (cupsRasterReadPixels(ras.get(), gray.data(), static_cast<unsigned>(size)) != size) {
      std::fprintf(stderr, "page %d: short\n", page);
      status = 1;
      break;
    }
    // 8-bit K: 0 is white paper; the Gray image has 255 for white.
    for (auto &v : gray) v = static_cast<unsigned char>(~v);
    std::vector<unsigned char> striped(size);
    int lines = 0;
    GetStripedBitmap(gray.data(), static_cast<int>(h.cupsWidth), static_cast<int>(h.cupsHeight),
                     static_cast<int>(h.cupsBytesPerLine), 255, top, middle, bottom,
                     striped.data(), &lines);
    int w = static_cast<int>(h.cupsWidth), s = static_cast<int>(h.cupsBytesPerLine);
    if (max_width > 0 && max_width < w) {
      TurncateGrayImageToDstWidth(striped.data(), w, lines, s, max_width);
      w = s = max_width;
    }
    int x = 0, cw = w;
    if (place && max_width > 0) {
      const int d = max_width - w;
      x = align == 1 ? d / 2 : align == 2 ? d : 0;
      x += offset;
      cw = max_width;
    }
    // The canvas as the filter makes it: stride equal to its width.
    quorvane::MallocBuffer canvas_buffer(
        LayoutGrayImageToNewImage(striped.data(), w, lines, s, cw, lines, cw, x, 0));
    if (!canvas_buffer) {
      std::fprintf(stderr, "page %d: no canvas\n", page);
      status = 1;
      break;
    }
    const unsigned char *canvas = canvas_buffer.get();
    int mono_size = 0, width_stride = 0;
    quorvane::MallocBuffer mono;
    if (algorithm == 2) {
      mono.reset(Trellimo_ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusionV2(
          canvas, cw, lines, cw, &mono_size, &width_stride));
    } else {
      auto convert = algorithm == 1 ? ConvertGrayImageToMonoFormatUseThresholding
                                    : ConvertGrayImageToMonoFormatUseDithering;
      convert(canvas, cw, lines, cw, nullptr, &mono_size, &width_stride);
      mono = quorvane::allocate_buffer(static_cast<std::size_t>(mono_size));
      if (mono) convert(canvas, cw, lines, cw, mono.get(), &mono_size, &width_stride);
    }
    char name[32];
    std::snprintf(name, sizeof name, "-%03d.pbm", page);
    if (!mono || !write_pbm(argv[i + 1] + std::string(name), mono.get(), width_stride, lines)) {
      std::fprintf(stderr, "page %d: cannot binarise or write\n", page);
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
