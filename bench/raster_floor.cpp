// The floor of the benchmarks: opens a CUPS raster stream with libcups and
// reads every page's pixels with cupsRasterReadPixels, nothing else. A
// filter can cost no less than this.
//
//   quorvane-raster-floor [FILE]   (standard input without FILE)
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

int main(int argc, char **argv) {
  int fd = 0;
  if (argc > 1 && (fd = open(argv[1], O_RDONLY)) < 0) {
    std::perror(argv[1]);
    return 1;
  }
  cups_raster_t *stream = cupsRasterOpen(fd, CUPS_RASTER_READ);
  if (stream == nullptr) return 1;
  cups_page_header2_t header;
  unsigned long long sum = 0;
  std::vector<unsigned char> line;
  while (cupsRasterReadHeader2(stream, &header)) {
    // One line at a time: the least memory any reader of the stream needs.
    line.resize(header.cupsBytesPerLine);
    for (unsigned y = 0; y < header.cupsHeight; ++y) {
      if (cupsRasterReadPixels(stream, line.data(), header.cupsBytesPerLine) == 0) break;
      sum += line[0];
    }
  }
  cupsRasterClose(stream);
  if (fd) close(fd);
  return sum == 1 ? 3 : 0;  // keeps the reads observable
}
