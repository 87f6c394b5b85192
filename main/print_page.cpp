#include "print_page.h"

#include <cstdio>

#include "job_hooks.h"
#include "page_engine.h"
#include "ppd_settings.h"
#include "raster_input.h"
#include "trace_file.h"
#include "trace_path.h"

namespace {

void trace_line(const char *line) { append_formatstring_to_file(kTraceFilePath, "%s\r\n", line); }

// Writes the block once per copy with the scheduler's page, copy and
// progress lines. True when every copy was written whole.
bool write_copies(const quorvane::CommandBlock &block, unsigned num_copies, int page_number) {
  std::fprintf(stderr, "PAGE: %d %d\n", page_number, static_cast<int>(num_copies));
  unsigned i = 0;
  for (; i < num_copies; ++i) {
    if (Canceled) break;
    std::fprintf(stderr, "INFO: Sending Page %d Copies %d of %d\n", page_number,
                 static_cast<int>(i + 1), static_cast<int>(num_copies));
    const std::size_t written =
        std::fwrite(block.data.get(), 1, static_cast<std::size_t>(block.size), stdout);
    // A copy counts only once it has left our buffer for the backend.
    const bool flushed = std::fflush(stdout) == 0;
    std::fprintf(stderr, "INFO: BytesToWrite:%d BytesWritted:%d\n", block.size,
                 static_cast<int>(written));
    // 64-bit so that large blocks and many copies do not wrap.
    long long progress = static_cast<long long>(written) * 100;
    progress /= block.size;
    progress *= static_cast<long long>(i) + 1;
    progress /= num_copies;
    std::fprintf(stderr, "ATTR: job-media-progress=%u\n", static_cast<unsigned>(progress));
    if (written != static_cast<std::size_t>(block.size) || !flushed) return false;
  }
  const bool done = i == num_copies;
  if (done) std::fprintf(stderr, "INFO: Finished page %d\n", page_number);
  return done;
}

}  // namespace

bool PrintPage(ppd_file_t *ppd, cups_raster_t *stream, cups_page_header2_t *header,
               int page_number) {
  const quorvane::PageSettings settings = quorvane::read_page_settings(ppd);
  dump_cups_page_header(header);
  quorvane::PageEngine engine(trace_line);
  if (!engine.start_page(page_geometry(*header), settings)) return false;
  if (!read_page_rows(stream, engine)) return false;
  const quorvane::CommandBlock block = engine.finish_page();
  if (!block) return false;
  return write_copies(block, header->NumCopies, page_number);
}
