// Runs the built filter as CUPS does, for whole-job tests: six or seven
// arguments, PPD in the environment, standard output and error captured, the
// trace file read back.
#ifndef QUORVANE_TEST_FILTER_JOB_H
#define QUORVANE_TEST_FILTER_JOB_H

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "raster_writer.h"

namespace quorvane::test {

// A temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  std::string path(const std::string &name) const { return dir_ + "/" + name; }
  std::string write(const std::string &name, const std::string &contents) const;

 private:
  std::string dir_;
};

// A PPD libcups accepts, with the given lines added after its required ones.
std::string ppd_text(const std::string &extra_lines);

struct JobResult {
  int status = -1;      // exit status, or -1 when the filter did not exit
  int signal = 0;       // the signal that ended it, if any
  std::string out;      // standard output: the printer bytes
  std::string err;      // standard error
  std::vector<std::string> trace;  // trace lines without their CR LF
  // Standard error without the page-header dump.
  std::vector<std::string> status_lines() const;
};

struct JobSpec {
  std::vector<std::string> argv;           // full argv, argv[0] included
  std::optional<std::string> ppd;          // PPD path; unset when empty
  std::optional<std::string> stdin_path;   // standard input; /dev/null when empty
  std::optional<std::string> stdout_path;  // where standard output goes; captured when empty
  // Called with the filter's pid and the read end of its standard output
  // pipe while it runs; it may read some of the output and signal the
  // filter. The rest of the output is read after it returns.
  std::function<void(int pid, int out_fd, std::string &out)> while_running;
};

JobResult run_filter(const JobSpec &spec);

// The common case: options, a raster file as argv[6], and a PPD.
JobResult run_job(const std::string &ppd_path, const std::string &raster_path,
                  const std::string &options = "");

// Bytes as a string, for comparing against captured output.
std::string bytes(std::initializer_list<int> values);

}  // namespace quorvane::test

#endif
