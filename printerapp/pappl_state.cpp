#include "pappl_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
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

// PAPPL 1.3.1 leaves print-speed-default out of its state file, so a
// printer's speed default would fall back to the driver's after a restart:
// the application keeps it beside the state, one "ID SPEED" line a printer.
std::string &state_file() {
  static std::string path;
  return path;
}

std::string speed_file() { return state_file() + ".speed"; }

void save_speed(pappl_printer_t *printer, void *data) {
  pappl_pr_driver_data_t driver;
  papplPrinterGetDriverData(printer, &driver);
  std::fprintf(static_cast<FILE *>(data), "%d %d\n", papplPrinterGetID(printer), driver.speed_default);
}

// PAPPL 1.3.1 can deadlock when it saves its state while it refuses a
// streamed job as busy (the save holds the system lock and waits for the
// printer's; the refusal holds the printer's and waits for the system's).
// So the state is saved only while no printer has a job; a change made
// meanwhile is saved by the timer once they are idle.
std::atomic<bool> state_dirty{false};

bool printers_idle(pappl_system_t *system) { return active_jobs(system) == 0; }

bool write_state(pappl_system_t *system) {
  if (!papplSystemSaveState(system, state_file().c_str())) return false;
  const std::string temp = speed_file() + ".new";
  FILE *file = std::fopen(temp.c_str(), "w");
  if (!file) return false;
  papplSystemIteratePrinters(system, save_speed, file);
  const bool written = std::fclose(file) == 0;
  return written && std::rename(temp.c_str(), speed_file().c_str()) == 0;
}

bool save_state(pappl_system_t *system, void *) {
  if (!printers_idle(system)) {
    state_dirty = true;
    return true;
  }
  state_dirty = false;
  return write_state(system);
}

bool save_when_idle(pappl_system_t *system, void *) {
  if (state_dirty && printers_idle(system)) {
    state_dirty = false;
    write_state(system);
  }
  return true;  // keep the timer
}

void load_speeds(pappl_system_t *system) {
  FILE *file = std::fopen(speed_file().c_str(), "r");
  if (!file) return;
  int id = 0, speed = 0;
  while (std::fscanf(file, "%d %d", &id, &speed) == 2) {
    pappl_printer_t *printer = papplSystemFindPrinter(system, nullptr, id, nullptr);
    if (!printer) continue;
    pappl_pr_driver_data_t driver;
    papplPrinterGetDriverData(printer, &driver);
    if (speed != 0 && (speed < driver.speed_supported[0] || speed > driver.speed_supported[1])) continue;
    driver.speed_default = speed;
    papplPrinterSetDriverDefaults(printer, &driver, 0, nullptr);
  }
  std::fclose(file);
}

// Loads the state, jobs that were printing marked waiting so that they
// print again from their start.
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

}  // namespace

void keep_state(pappl_system_t *system, const std::string &path, const std::string &spool_directory) {
  state_file() = path;
  spool() = spool_directory;
  if (load_state_keeping_jobs(system, path, spool_directory)) load_speeds(system);
  papplSystemSetSaveCallback(system, save_state, nullptr);
  papplSystemAddTimerCallback(system, 0, 2, save_when_idle, nullptr);
  // PAPPL's job thread gives up on a system that is not running yet: the
  // queues start on the main loop's first turn.
  papplSystemAddTimerCallback(system, 0, 0, resume_tick, nullptr);
}

void save_state_now(pappl_system_t *system) {
  state_dirty = false;
  write_state(system);
}

int active_jobs(pappl_system_t *system) {
  int count = 0;
  papplSystemIteratePrinters(system, count_printer_jobs, &count);
  return count;
}

}  // namespace quorvane::app
