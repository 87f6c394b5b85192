#include "job_hooks.h"

#include <array>
#include <cstdio>

#include "ppd_settings.h"
#include "trace_file.h"
#include "trace_path.h"

volatile sig_atomic_t Canceled = 0;

namespace {

// One hook: its trace line, then its attribute's commands, then the marked
// option commands whose order number falls in its range.
bool run_hook(ppd_file_t *ppd, const char *name, const char *attribute, float lo, float hi) {
  append_formatstring_to_file(kTraceFilePath, "%s\r\n", name);
  const bool attribute_sent = translatePPDAttribute(ppd, attribute);
  const bool options_sent = translatePPDOptions(ppd, lo, hi);
  return attribute_sent && options_sent;
}

}  // namespace

bool StartJob(ppd_file_t *ppd) {
  append_formatstring_to_file(kTraceFilePath, "StartJob\r\n");
  // Zeros first: they flush whatever a printer may hold of an aborted job.
  static constexpr std::array<unsigned char, 64> kZeros{};
  std::fwrite(kZeros.data(), 1, kZeros.size(), stdout);
  const bool attribute_sent = translatePPDAttribute(ppd, "StartJobCmd");
  const bool options_sent = translatePPDOptions(ppd, 20.0f, 20.99f);
  return attribute_sent && options_sent;
}

bool StartDoc(ppd_file_t *ppd) { return run_hook(ppd, "StartDoc", "StartDocCmd", 21.0f, 21.99f); }
bool StartPage(ppd_file_t *ppd) {
  return run_hook(ppd, "StartPage", "StartPageCmd", 22.0f, 22.99f);
}
bool EndPage(ppd_file_t *ppd) { return run_hook(ppd, "EndPage", "EndPageCmd", 23.0f, 23.99f); }
bool EndDoc(ppd_file_t *ppd) { return run_hook(ppd, "EndDoc", "EndDocCmd", 24.0f, 24.99f); }
bool EndJob(ppd_file_t *ppd) { return run_hook(ppd, "EndJob", "EndJobCmd", 25.0f, 25.99f); }

void CancelJob(int) { Canceled = 1; }

void RegCancelSignal() {
  Canceled = 0;
  std::signal(SIGTERM, CancelJob);
}
