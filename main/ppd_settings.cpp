#include "ppd_settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "hex_decode.h"

const char *retrivePPDAttributeValue(ppd_file_t *ppd, const char *keyword) {
  ppd_attr_t *attr = ppdFindAttr(ppd, keyword, "");
  return attr ? attr->value : nullptr;
}

int retrivePPDAttributeValueToInt(ppd_file_t *ppd, const char *keyword, int default_value) {
  const char *value = retrivePPDAttributeValue(ppd, keyword);
  return value ? std::atoi(value) : default_value;
}

const char *retrivePPDOptionChoice(ppd_file_t *ppd, const char *keyword) {
  ppd_choice_t *choice = ppdFindMarkedChoice(ppd, keyword);
  return choice ? choice->choice : nullptr;
}

int retrivePPDOptionChoiceToInt(ppd_file_t *ppd, const char *keyword, int default_value) {
  const char *choice = retrivePPDOptionChoice(ppd, keyword);
  return choice ? std::atoi(choice) : default_value;
}

int retrivePPDPrinterDataToInt(ppd_file_t *ppd, const char *keyword, int default_value) {
  const int attribute = retrivePPDAttributeValueToInt(ppd, keyword, default_value);
  return retrivePPDOptionChoiceToInt(ppd, keyword, attribute);
}

bool translatePPDAttribute(ppd_file_t *ppd, const char *keyword) {
  const char *value = retrivePPDAttributeValue(ppd, keyword);
  if (value == nullptr || *value == '\0') return true;
  return sendHexCmd(value);
}

namespace {

// The option's command when it qualifies for the range: a marked choice with
// a non-empty code.
const char *qualifying_code(ppd_file_t *ppd, const ppd_option_t *option, float lo, float hi) {
  if (!(lo <= option->order && option->order <= hi)) return nullptr;
  ppd_choice_t *choice = ppdFindMarkedChoice(ppd, option->keyword);
  if (choice == nullptr || choice->code == nullptr || choice->code[0] == '\0') return nullptr;
  return choice->code;
}

}  // namespace

int countOfPPDOptionWithCode(ppd_file_t *ppd, float lo, float hi) {
  int count = 0;
  for (ppd_option_t *o = ppdFirstOption(ppd); o != nullptr; o = ppdNextOption(ppd))
    if (qualifying_code(ppd, o, lo, hi)) ++count;
  return count;
}

void retrivePPDOptionsWithCode(ppd_file_t *ppd, float lo, float hi, OrderCmd *cmds) {
  int n = 0;
  for (ppd_option_t *o = ppdFirstOption(ppd); o != nullptr; o = ppdNextOption(ppd)) {
    if (const char *code = qualifying_code(ppd, o, lo, hi)) cmds[n++] = OrderCmd{o->order, code};
  }
}

void swap_cmd(OrderCmd *a, OrderCmd *b) {
  const OrderCmd t = *a;
  *a = *b;
  *b = t;
}

// An exchange sort; which of two equal order numbers goes first is what this
// procedure gives, and PPDs written for the printer rely on it.
void bubble_sort_cmds(OrderCmd *cmds, int count) {
  for (int i = 0; i < count; ++i)
    for (int j = i; j < count; ++j)
      if (cmds[i].order > cmds[j].order) swap_cmd(&cmds[i], &cmds[j]);
}

bool sendOrderCmds(const OrderCmd *cmds, int count) {
  int i = 0;
  while (i < count && sendHexCmd(cmds[i].code)) ++i;
  return i == count;
}

bool translatePPDOptions(ppd_file_t *ppd, float lo, float hi) {
  const int count = countOfPPDOptionWithCode(ppd, lo, hi);
  if (count <= 0) return true;
  std::vector<OrderCmd> cmds(static_cast<std::size_t>(count));
  retrivePPDOptionsWithCode(ppd, lo, hi, cmds.data());
  bubble_sort_cmds(cmds.data(), count);
  return sendOrderCmds(cmds.data(), count);
}

bool sendHexCmd(const char *text) {
  if (text == nullptr || *text == '\0') return true;
  const std::size_t length = std::strlen(text);
  if (length > 0x7FFFFFFF) return false;
  const int n = static_cast<int>(length);
  std::vector<unsigned char> bytes(length);
  const int decoded = hexstr_to_bytes(text, n, bytes.data(), n);
  if (decoded == 0) return true;
  return std::fwrite(bytes.data(), 1, static_cast<std::size_t>(decoded), stdout) ==
         static_cast<std::size_t>(decoded);
}
