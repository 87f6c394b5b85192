// The state file, and what PAPPL 1.3.1 leaves out of it or gets wrong.
// - print-speed-default is not saved: it is kept beside the state, one
//   "ID SPEED" line a printer.
// - Saving while a printer refuses a streamed job as busy can deadlock:
//   the state is saved only while no printer has a job.
// - Its default spool folder is new with every process, and a job that was
//   printing at a stop is loaded as still printing and never started again,
//   nor any job loaded waiting until another arrives; its attributes file is
//   loaded over the attributes PAPPL has just given it. The state is loaded
//   with such jobs waiting, their files cleaned, the queues started once the
//   server runs, and job files no job owns (a killed server's) removed.
#ifndef QUORVANE_APP_PAPPL_STATE_H
#define QUORVANE_APP_PAPPL_STATE_H

#include <pappl/pappl.h>

#include <string>

namespace quorvane::app {

// How long a stop waits for the jobs printing to finish before it keeps
// them, as they are, for the next start.
inline constexpr int kStopGraceSeconds = 2;

// Loads the state file at `path` (the jobs' files are in `spool_directory`)
// and keeps it from then on.
void keep_state(pappl_system_t *system, const std::string &path, const std::string &spool_directory);

// Saves the state now, active jobs and all: the server is about to stop.
void save_state_now(pappl_system_t *system);

// The jobs still active on all printers.
int active_jobs(pappl_system_t *system);

}  // namespace quorvane::app

#endif
