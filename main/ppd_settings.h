// Settings and printer commands from the marked PPD.
#ifndef QUORVANE_PPD_SETTINGS_H
#define QUORVANE_PPD_SETTINGS_H

#include <cups/ppd.h>

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

// Sends the attribute's hex text; true when there was nothing to send or all
// of it was written.
bool translatePPDAttribute(ppd_file_t *ppd, const char *keyword);

// Sends the marked choices' hex codes of the options whose order number lies
// in [lo, hi], in ascending order; true when all were written.
bool translatePPDOptions(ppd_file_t *ppd, float lo, float hi);

int countOfPPDOptionWithCode(ppd_file_t *ppd, float lo, float hi);
void retrivePPDOptionsWithCode(ppd_file_t *ppd, float lo, float hi, OrderCmd *cmds);
void bubble_sort_cmds(OrderCmd *cmds, int count);
void swap_cmd(OrderCmd *a, OrderCmd *b);
bool sendOrderCmds(const OrderCmd *cmds, int count);

// Decodes hex text and writes the bytes to standard output.
bool sendHexCmd(const char *text);

#endif
