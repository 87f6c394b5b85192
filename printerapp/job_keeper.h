// Jobs that outlive the server. PAPPL keeps its active jobs in the state
// file, each with its document and attributes in the spool folder; but
// PAPPL 1.3.1 loads a job that was printing as still printing, and never
// starts it again, nor any job loaded waiting until another job arrives.
// The keeper marks such jobs waiting before the state is loaded, starts the
// printers' queues once the server runs, and removes job files that no job
// owns (left by a server that was killed).
#ifndef QUORVANE_APP_JOB_KEEPER_H
#define QUORVANE_APP_JOB_KEEPER_H

#include <pappl/pappl.h>

#include <string>

namespace quorvane::app {

// How long a stop waits for the jobs printing to finish before it keeps
// them, as they are, for the next start.
inline constexpr int kStopGraceSeconds = 3;

// Loads the state file at `path`, jobs that were printing marked waiting so
// that they print again from their start, their files in `spool_directory`.
// False when there is none to load.
bool load_state_keeping_jobs(pappl_system_t *system, const std::string &path, const std::string &spool_directory);

// Once the server runs: removes the job files in `spool_directory` that no
// job owns and starts the queues of the printers with waiting jobs.
void resume_kept_jobs(pappl_system_t *system, const std::string &spool_directory);

// The jobs still active on all printers.
int active_jobs(pappl_system_t *system);

}  // namespace quorvane::app

#endif
