// A job's settings: its printer's model with the job's IPP attributes and the
// printer's defaults selected, as CUPS marks the filter's PPD.
#ifndef QUORVANE_APP_JOB_SETTINGS_H
#define QUORVANE_APP_JOB_SETTINGS_H

#include <pappl/pappl.h>

#include <optional>

#include "model_selection.h"

namespace quorvane::app {

// The printer's model with the job's choices; nothing (with the reason
// logged and set as the job's message) when the model is unknown or the job
// names a vendor value the printer does not offer.
std::optional<models::ModelSelection> selection_for_job(pappl_job_t *job, const pappl_pr_options_t &options);

}  // namespace quorvane::app

#endif
