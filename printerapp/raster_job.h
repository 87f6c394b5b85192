// PAPPL's raster callbacks: a job's pages through the page engine, framed by
// the commands the model's PPD gives.
#ifndef QUORVANE_APP_RASTER_JOB_H
#define QUORVANE_APP_RASTER_JOB_H

#include <pappl/pappl.h>

namespace quorvane::app {

bool raster_start_job(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device);
bool raster_start_page(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device, unsigned page);
bool raster_write_line(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device, unsigned y,
                       const unsigned char *line);
bool raster_end_page(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device, unsigned page);
bool raster_end_job(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device);

}  // namespace quorvane::app

#endif
