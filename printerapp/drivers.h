// The printer drivers: one per model, their data read from the model table.
#ifndef QUORVANE_APP_DRIVERS_H
#define QUORVANE_APP_DRIVERS_H

#include <pappl/pappl.h>

#include <span>
#include <string>
#include <vector>

#include "device_id.h"
#include "model.h"
#include "printer_status.h"

namespace quorvane::app {

// The drivers' names and descriptions, for papplMainloop (valid for the life
// of the process).
std::vector<pappl_pr_driver_t> &model_drivers();

// PAPPL's driver callback: fills the driver data and attributes of a printer
// from its model description.
bool driver_callback(pappl_system_t *system, const char *driver_name, const char *device_uri,
                     const char *device_id, pappl_pr_driver_data_t *data, ipp_t **attrs, void *cbdata);

// How a model's printers are asked for their status: the command language
// its PPD's options speak (TSPL, ORX, else ESC/POS).
StatusLanguage model_status_language(std::string_view driver_name);

// Every model as device-ID recognition sees it.
const std::vector<ModelTraits> &model_traits();

// What makes a printer of this command language noticeable to a person at
// it (a beep, a short feed); empty when there is nothing.
std::span<const unsigned char> identify_command(models::CommandLanguage language);

// Why a set of defaults is refused (a vendor value the printer's model does
// not offer, with the values it does; a speed outside its range), or empty.
std::string vendor_defaults_problem(pappl_printer_t *printer, const pappl_pr_driver_data_t *data, int num_vendor,
                                    cups_option_t *vendor);

}  // namespace quorvane::app

#endif
