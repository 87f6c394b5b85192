#include "filter_job.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quorvane::test {

TempDir::TempDir() {
  std::string tmpl = std::filesystem::temp_directory_path() / "quorvane-test-XXXXXX";
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::string TempDir::write(const std::string &name, const std::string &contents) const {
  const std::string p = path(name);
  std::ofstream(p, std::ios::binary) << contents;
  return p;
}

std::string ppd_text(const std::string &extra_lines) {
  return "*PPD-Adobe: \"4.3\"\n"
         "*FormatVersion: \"4.3\"\n"
         "*FileVersion: \"1.0\"\n"
         "*LanguageVersion: English\n"
         "*LanguageEncoding: ISOLatin1\n"
         "*PCFileName: \"QVTEST.PPD\"\n"
         "*Manufacturer: \"quorvane\"\n"
         "*Product: \"(Test)\"\n"
         "*ModelName: \"quorvane test\"\n"
         "*ShortNickName: \"quorvane test\"\n"
         "*NickName: \"quorvane test\"\n"
         "*PSVersion: \"(3010.000) 0\"\n"
         "*ColorDevice: False\n"
         "*cupsFilter2: \"application/vnd.cups-raster application/vnd.cups-raw 0 quorvane\"\n" +
         extra_lines;
}

namespace {

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> split_lines(const std::string &text, const std::string &end) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t next = text.find(end, at);
    if (next == std::string::npos) {
      lines.push_back(text.substr(at));
      break;
    }
    lines.push_back(text.substr(at, next - at));
    at = next + end.size();
  }
  return lines;
}

void read_all(int fd, std::string &into) {
  char buf[65536];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      into.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
}

}  // namespace

std::vector<std::string> JobResult::status_lines() const {
  std::vector<std::string> lines;
  for (const std::string &l : split_lines(err, "\n"))
    if (l.rfind("DEBUG: ", 0) != 0) lines.push_back(l);
  return lines;
}

JobResult run_filter(const JobSpec &spec) {
  const std::string trace_path = QUORVANE_TEST_TRACE_FILE;
  std::filesystem::create_directories(std::filesystem::path(trace_path).parent_path());
  std::filesystem::remove(trace_path);

  TempDir tmp;
  const std::string err_path = tmp.path("stderr");
  int out_pipe[2] = {-1, -1};
  if (!spec.stdout_path && pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int in = open(spec.stdin_path.value_or("/dev/null").c_str(), O_RDONLY);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int out = spec.stdout_path
                        ? open(spec.stdout_path->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
                        : out_pipe[1];
    if (in < 0 || err < 0 || out < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (out_pipe[0] >= 0) close(out_pipe[0]);
    std::vector<std::string> env = {"LANG=C", "PATH=/usr/bin:/bin"};
    if (spec.ppd) env.push_back("PPD=" + *spec.ppd);
    std::vector<char *> envp;
    for (auto &e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
#ifdef QUORVANE_TEST_EMULATOR
    // qemu-user runs the filter; "-0" hands it the argv[0] it would have had.
    const char *program = QUORVANE_TEST_EMULATOR;
    std::vector<std::string> args = {program, "-0", spec.argv.empty() ? "" : spec.argv[0],
                                     QUORVANE_TEST_FILTER};
    if (!spec.argv.empty()) args.insert(args.end(), spec.argv.begin() + 1, spec.argv.end());
#else
    const char *program = QUORVANE_TEST_FILTER;
    std::vector<std::string> args = spec.argv;
#endif
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execve(program, argv.data(), envp.data());
    _exit(127);
  }

  JobResult result;
  if (out_pipe[1] >= 0) {
    close(out_pipe[1]);
    if (spec.while_running) spec.while_running(pid, out_pipe[0], result.out);
    read_all(out_pipe[0], result.out);
    close(out_pipe[0]);
  }
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) result.signal = WTERMSIG(wstatus);
  // A device such as /dev/full is not read back.
  if (spec.stdout_path && std::filesystem::is_regular_file(*spec.stdout_path))
    result.out = read_file(*spec.stdout_path);
  result.err = read_file(err_path);
  std::string trace = read_file(trace_path);
  result.trace = split_lines(trace, "\r\n");
  return result;
}

JobResult run_job(const std::string &ppd_path, const std::string &raster_path,
                  const std::string &options) {
  JobSpec spec;
  spec.argv = {"quorvane", "42", "alice", "receipt", "1", options, raster_path};
  spec.ppd = ppd_path;
  return run_filter(spec);
}

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

}  // namespace quorvane::test
