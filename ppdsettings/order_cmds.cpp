#include "order_cmds.h"

void swap_cmd(OrderCmd *a, OrderCmd *b) {
  const OrderCmd t = *a;
  *a = *b;
  *b = t;
}

void bubble_sort_cmds(OrderCmd *cmds, int count) {
  for (int i = 0; i < count; ++i)
    for (int j = i; j < count; ++j)
      if (cmds[i].order > cmds[j].order) swap_cmd(&cmds[i], &cmds[j]);
}
