#include "job_keeper.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace quorvane::app {

namespace {

namespace fs = std::filesystem;

// A "Job" line of PAPPL's state file names its state as ' state="N"' after
// the job's name, user, format and file; the last such word is the state.
std::string waiting_again(const std::string &line) {
  if (!line.starts_with("Job ")) return line;
  static const std::regex state(" state=\"([0-9]+)\"");
  std::smatch last;
  for (auto it = std::sregex_iterator(line.begin(), line.end(), state); it != std::sregex_iterator(); ++it) last = *it;
  if (last.empty() || std::stoi(last[1].str()) != IPP_JSTATE_PROCESSING) return line;
  return line.substr(0, static_cast<size_t>(last.position(0))) + " state=\"" +
         std::to_string(IPP_JSTATE_PENDING) + "\"" + line.substr(static_cast<size_t>(last.position(0) + last.length(0)));
}

// PAPPL names a job's files "pNNNNNjNNNNNNNNN-NAME.EXT": its document, and
// its attributes with the extension "ipp".
bool is_job_file(const fs::path &path) {
  const std::string name = path.filename().string();
  return name.size() > 17 && name[0] == 'p' && name[6] == 'j' && name[16] == '-';
}

// PAPPL 1.3.1 loads a waiting job's attributes file over the attributes it
// has just given the job (its number, URIs, name and user), so each would
// be reported twice: they are taken out of the files first.
void drop_given_attributes(const fs::path &file) {
  static constexpr const char *kGiven[] = {"job-id", "job-uri", "job-uuid", "job-printer-uri", "job-name",
                                           "job-originating-user-name"};
  const int in = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return;
  ipp_t *attrs = ippNew();
  const bool read = ippReadFile(in, attrs) == IPP_STATE_DATA;
  close(in);
  bool changed = false;
  for (const char *name : kGiven) {
    while (ipp_attribute_t *attr = ippFindAttribute(attrs, name, IPP_TAG_ZERO)) {
      ippDeleteAttribute(attrs, attr);
      changed = true;
    }
  }
  if (read && changed) {
    const std::string temp = file.string() + ".new";
    const int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out >= 0) {
      const bool written = ippWriteFile(out, attrs) == IPP_STATE_DATA;
      if (close(out) == 0 && written) std::rename(temp.c_str(), file.c_str());
      else unlink(temp.c_str());
    }
  }
  ippDelete(attrs);
}

struct Owned {
  std::set<fs::path> files;
};

void own_job_files(pappl_job_t *job, void *data) {
  auto &owned = static_cast<Owned *>(data)->files;
  if (const char *file = papplJobGetFilename(job)) owned.insert(fs::path(file).lexically_normal());
  char attributes[1024];
  papplJobOpenFile(job, attributes, sizeof(attributes), nullptr, "ipp", "");
  owned.insert(fs::path(attributes).lexically_normal());
}

void own_printer_jobs(pappl_printer_t *printer, void *data) {
  papplPrinterIterateActiveJobs(printer, own_job_files, data, 1, 0);
}

void resume_printer(pappl_printer_t *printer, void *) {
  if (papplPrinterGetNumberOfActiveJobs(printer) > 0 && papplPrinterGetState(printer) != IPP_PSTATE_STOPPED)
    papplPrinterResume(printer);
}

void count_printer_jobs(pappl_printer_t *printer, void *data) {
  *static_cast<int *>(data) += papplPrinterGetNumberOfActiveJobs(printer);
}

std::string &spool() {
  static std::string directory;
  return directory;
}

bool resume_tick(pappl_system_t *system, void *) {
  Owned owned;
  papplSystemIteratePrinters(system, own_printer_jobs, &owned);
  std::error_code error;
  std::set<fs::path> unowned;
  for (const fs::directory_entry &entry : fs::directory_iterator(spool(), error))
    if (is_job_file(entry.path()) && !owned.files.contains(entry.path().lexically_normal()))
      unowned.insert(entry.path());
  for (const fs::path &file : unowned) {
    papplLog(system, PAPPL_LOGLEVEL_INFO, "Removing \"%s\", which no job owns.", file.c_str());
    fs::remove(file, error);
  }
  papplSystemIteratePrinters(system, resume_printer, nullptr);
  return false;  // once
}

}  // namespace

bool load_state_keeping_jobs(pappl_system_t *system, const std::string &path, const std::string &spool_directory) {
  std::ifstream in(path);
  if (!in) return false;
  std::error_code error;
  for (const fs::directory_entry &entry : fs::directory_iterator(spool_directory, error))
    if (is_job_file(entry.path()) && entry.path().extension() == ".ipp") drop_given_attributes(entry.path());
  std::ostringstream text;
  for (std::string line; std::getline(in, line);) text << waiting_again(line) << '\n';
  const std::string marked = path + ".load";
  {
    std::ofstream out(marked, std::ios::trunc);
    out << text.str();
    if (!out) return papplSystemLoadState(system, path.c_str());
  }
  const bool loaded = papplSystemLoadState(system, marked.c_str());
  unlink(marked.c_str());
  return loaded;
}

void resume_kept_jobs(pappl_system_t *system, const std::string &spool_directory) {
  // PAPPL's job thread gives up on a system that is not running yet: the
  // queues start on the main loop's first turn.
  spool() = spool_directory;
  papplSystemAddTimerCallback(system, 0, 0, resume_tick, nullptr);
}

int active_jobs(pappl_system_t *system) {
  int count = 0;
  papplSystemIteratePrinters(system, count_printer_jobs, &count);
  return count;
}

}  // namespace quorvane::app
