#include "job_hooks.h"

#include <cstdio>
#include <span>

#include "job_commands.h"
#include "ppd_settings.h"
#include "trace_file.h"
#include "trace_path.h"

volatile sig_atomic_t Canceled = 0;

namespace {

bool send(std::span<const unsigned char> bytes) {
  // No commands is no write (an empty vector has no data to point at).
  return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
}

// One hook: its trace line, then its commands.
bool run_hook(ppd_file_t *ppd, const char *name, quorvane::JobBoundary at) {
  append_formatstring_to_file(kTraceFilePath, "%s\r\n", name);
  return send(quorvane::hook_commands(ppd, at));
}

}  // namespace

bool StartJob(ppd_file_t *ppd) {
  append_formatstring_to_file(kTraceFilePath, "StartJob\r\n");
  const bool zeros_sent = send(quorvane::job_lead_in());
  return send(quorvane::hook_commands(ppd, quorvane::JobBoundary::kStartJob)) && zeros_sent;
}

bool StartDoc(ppd_file_t *ppd) { return run_hook(ppd, "StartDoc", quorvane::JobBoundary::kStartDoc); }
bool StartPage(ppd_file_t *ppd) {
  return run_hook(ppd, "StartPage", quorvane::JobBoundary::kStartPage);
}
bool EndPage(ppd_file_t *ppd) { return run_hook(ppd, "EndPage", quorvane::JobBoundary::kEndPage); }
bool EndDoc(ppd_file_t *ppd) { return run_hook(ppd, "EndDoc", quorvane::JobBoundary::kEndDoc); }
bool EndJob(ppd_file_t *ppd) { return run_hook(ppd, "EndJob", quorvane::JobBoundary::kEndJob); }

void CancelJob(int) { Canceled = 1; }

void RegCancelSignal() {
  Canceled = 0;
  std::signal(SIGTERM, CancelJob);
}
