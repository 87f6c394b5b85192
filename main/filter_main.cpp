// quorvane: CUPS raster filter for thermal receipt and label printers.
//
//   quorvane job-id user title copies options [file]
//
// Reads 8-bit CUPS raster pages (from the file, or standard input), takes its
// settings from the PPD named by $PPD and the job's options, and writes
// printer commands to standard output.
#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "job_hooks.h"
#include "print_page.h"
#include "trace_file.h"
#include "trace_path.h"

namespace {

// The job's CUPS handles, released on every way out of main, early exits
// included.
struct RasterStream {
  cups_raster_t *stream = nullptr;
  int fd = 0;
  ~RasterStream() {
    if (stream) cupsRasterClose(stream);
    if (fd > 0) close(fd);
  }
};

struct JobOptions {
  cups_option_t *options = nullptr;
  int count = 0;
  ~JobOptions() { cupsFreeOptions(count, options); }
};

struct PpdCloser {
  void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};
using Ppd = std::unique_ptr<ppd_file_t, PpdCloser>;

// Runs the pages between the document hooks; the result of the last page.
bool run_pages(ppd_file_t *ppd, cups_raster_t *stream) {
  bool last_page_result = false;
  int page = 0;
  cups_page_header2_t header;
  while (cupsRasterReadHeader2(stream, &header)) {
    if (Canceled) break;
    StartPage(ppd);
    ++page;
    last_page_result = PrintPage(ppd, stream, &header, page);
    EndPage(ppd);
    if (!last_page_result) break;
  }
  return last_page_result;
}

}  // namespace

int main(int argc, char *argv[]) {
  const char *trace = kTraceFilePath;
  append_formatstring_to_file(trace, "quorvane 1.0.0-20200520\r\n");
  append_formatstring_to_file(trace, "argc:%d\r\n", argc);
  for (int i = 0; i < argc; ++i) append_formatstring_to_file(trace, "%d: %s\r\n", i, argv[i]);
  append_formatstring_to_file(trace, "check arguments\r\n");
  setbuf(stderr, nullptr);

  if (argc < 6 || argc > 7) {
    append_formatstring_to_file(trace, "%s job-id user title copies options [file]\r\n",
                                argc > 0 ? argv[0] : "quorvane");
    return 1;
  }

  append_formatstring_to_file(trace, "open raster\r\n");
  RasterStream raster;
  if (argc == 7) {
    raster.fd = open(argv[6], O_RDONLY);
    if (raster.fd == -1) {
      append_formatstring_to_file(trace, "Unable to open raster file %s\r\n", argv[6]);
      return 1;
    }
  }
  raster.stream = cupsRasterOpen(raster.fd, CUPS_RASTER_READ);
  if (raster.stream == nullptr) {
    append_formatstring_to_file(trace, "cupsRasterOpen Failed\r\n");
    return 1;
  }

  append_formatstring_to_file(trace, "reg signal\r\n");
  RegCancelSignal();
  // A backend that goes away must end the job with a failed write, not kill
  // the filter halfway through a command.
  std::signal(SIGPIPE, SIG_IGN);

  append_formatstring_to_file(trace, "init with ppd\r\n");
  JobOptions options;
  options.count = cupsParseOptions(argv[5], 0, &options.options);
  Ppd ppd(ppdOpenFile(getenv("PPD")));
  if (!ppd) {
    int line = 0;
    const ppd_status_t status = ppdLastError(&line);
    append_formatstring_to_file(trace, "%s on line %d\r\n", ppdErrorString(status), line);
    return 1;
  }
  ppdMarkDefaults(ppd.get());
  cupsMarkOptions(ppd.get(), options.count, options.options);

  StartJob(ppd.get());
  StartDoc(ppd.get());
  const bool last_page_result = run_pages(ppd.get(), raster.stream);
  EndDoc(ppd.get());
  EndJob(ppd.get());

  // Bytes still buffered must reach the backend for the job to count.
  const bool flushed = std::fflush(stdout) == 0;
  return last_page_result && flushed ? 0 : 1;
}
