// Settings and printer commands from a marked PPD: how every front-end reads
// a model's settings and the commands sent around its pages, so that all of
// them print a job alike.
#ifndef QUORVANE_PPD_SETTINGS_H
#define QUORVANE_PPD_SETTINGS_H

#include <cups/ppd.h>

#include <vector>

#include "job_commands.h"
#include "page_settings.h"

// One option command of a hook: its order number and hex text (owned by the
// PPD).
struct OrderCmd {
  float order;
  const char *code;
};

// The attribute's value (empty specifier), or null.
const char *retrivePPDAttributeValue(ppd_file_t *ppd, const char *keyword);
int retrivePPDAttributeValueToInt(ppd_file_t *ppd, const char *keyword, int default_value);

// The name of the option's marked choice, or null.
const char *retrivePPDOptionChoice(ppd_file_t *ppd, const char *keyword);
int retrivePPDOptionChoiceToInt(ppd_file_t *ppd, const char *keyword, int default_value);

// A setting: the option's marked choice, else the attribute, else the
// default; text converted with atoi.
int retrivePPDPrinterDataToInt(ppd_file_t *ppd, const char *keyword, int default_value);

// The marked options with a command whose order number lies in [lo, hi].
int countOfPPDOptionWithCode(ppd_file_t *ppd, float lo, float hi);
void retrivePPDOptionsWithCode(ppd_file_t *ppd, float lo, float hi, OrderCmd *cmds);
void bubble_sort_cmds(OrderCmd *cmds, int count);
void swap_cmd(OrderCmd *a, OrderCmd *b);

namespace quorvane {

// The bytes of hex command text; empty for none or for text beyond int.
std::vector<unsigned char> hex_command_bytes(const char *text);

// The commands sent at a job boundary: the boundary's attribute
// (StartJobCmd ... EndJobCmd), then the marked choices' codes of the options
// ordered into its range (20 ... 25.99), in ascending order.
std::vector<unsigned char> hook_commands(ppd_file_t *ppd, JobBoundary at);

// The settings that shape, binarise and encode a page.
PageSettings read_page_settings(ppd_file_t *ppd);

}  // namespace quorvane

#endif
