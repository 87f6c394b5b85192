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

#include "job_hooks.h"
#include "print_page.h"
#include "trace_file.h"
#include "trace_path.h"

namespace {

template <typename... Args>
void trace(const char *format, Args... args) {
  append_formatstring_to_file(kTraceFilePath, format, args...);
}

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
  trace("quorvane 1.0.0-20200520\r\n");
  trace("argc:%d\r\n", argc);
  for (int i = 0; i < argc; ++i) trace("%d: %s\r\n", i, argv[i]);
  trace("check arguments\r\n");
  setbuf(stderr, nullptr);

  if (argc < 6 || argc > 7) {
    trace("%s job-id user title copies options [file]\r\n", argc > 0 ? argv[0] : "quorvane");
    return 1;
  }

  trace("open raster\r\n");
  int fd = 0;
  if (argc == 7) {
    fd = open(argv[6], O_RDONLY);
    if (fd == -1) {
      trace("Unable to open raster file %s\r\n", argv[6]);
      return 1;
    }
  }
  cups_raster_t *stream = cupsRasterOpen(fd, CUPS_RASTER_READ);
  if (stream == nullptr) {
    trace("cupsRasterOpen Failed\r\n");
    return 1;
  }

  trace("reg signal\r\n");
  RegCancelSignal();
  // A backend that goes away must end the job with a failed write, not kill
  // the filter halfway through a command.
  std::signal(SIGPIPE, SIG_IGN);

  trace("init with ppd\r\n");
  cups_option_t *options = nullptr;
  const int num_options = cupsParseOptions(argv[5], 0, &options);
  ppd_file_t *ppd = ppdOpenFile(getenv("PPD"));
  if (ppd == nullptr) {
    int line = 0;
    const ppd_status_t status = ppdLastError(&line);
    trace("%s on line %d\r\n", ppdErrorString(status), line);
    return 1;
  }
  ppdMarkDefaults(ppd);
  cupsMarkOptions(ppd, num_options, options);

  StartJob(ppd);
  StartDoc(ppd);
  const bool last_page_result = run_pages(ppd, stream);
  EndDoc(ppd);
  EndJob(ppd);

  ppdClose(ppd);
  cupsFreeOptions(num_options, options);
  cupsRasterClose(stream);
  if (fd != 0) close(fd);

  // Bytes still buffered must reach the backend for the job to count.
  const bool flushed = std::fflush(stdout) == 0;
  return last_page_result && flushed ? 0 : 1;
}
