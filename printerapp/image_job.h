// Pictures (PNG, JPEG) decoded by the application and streamed row by row
// into the page engine, sized for the roll or the label; and the printers'
// own raw format, passed through as it is.
#ifndef QUORVANE_APP_IMAGE_JOB_H
#define QUORVANE_APP_IMAGE_JOB_H

#include <pappl/pappl.h>

namespace quorvane::app {

// Raw printer commands: what point-of-sale software sends a receipt printer.
constexpr char kRawFormat[] = "application/vnd.quorvane-raw";

// PAPPL's own picture filters lead to its raster interface; a filter to the
// driver's format is looked for first, so the drivers get a format of their
// own and the pictures a filter to it.
void use_own_formats(pappl_pr_driver_data_t *data);
void add_picture_filters(pappl_system_t *system);

}  // namespace quorvane::app

#endif
