// The option commands of one job boundary, ordered as the printer's PPDs
// expect.
#ifndef QUORVANE_ORDER_CMDS_H
#define QUORVANE_ORDER_CMDS_H

// One option command of a hook: its order number and hex text (owned by the
// PPD or the model description).
struct OrderCmd {
  float order;
  const char *code;
};

// An exchange sort; which of two equal order numbers goes first is what this
// procedure gives, and PPDs written for the printer rely on it.
void bubble_sort_cmds(OrderCmd *cmds, int count);
void swap_cmd(OrderCmd *a, OrderCmd *b);

#endif
