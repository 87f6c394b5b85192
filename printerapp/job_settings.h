// A job's settings: the model's PPD marked with the job's IPP attributes and
// the printer's defaults, as the filter's PPD would be marked by CUPS.
#ifndef QUORVANE_APP_JOB_SETTINGS_H
#define QUORVANE_APP_JOB_SETTINGS_H

#include <pappl/pappl.h>

#include "model_ppd.h"

namespace quorvane::app {

// The printer's model PPD, marked for the job; null (with the reason logged
// and set as the job's message) when the model is unknown or the job names a
// vendor value the printer does not offer.
PpdHandle marked_ppd_for_job(pappl_job_t *job, const pappl_pr_options_t &options);

}  // namespace quorvane::app

#endif
