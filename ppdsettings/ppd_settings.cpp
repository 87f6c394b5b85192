#include "ppd_settings.h"

#include <cstdlib>
#include <cstring>

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

namespace quorvane {
namespace {

void append_hex(std::vector<unsigned char> &out, const char *text) {
  const std::vector<unsigned char> bytes = hex_command_bytes(text);
  out.insert(out.end(), bytes.begin(), bytes.end());
}

struct Hook {
  const char *attribute;
  float lo, hi;
};

Hook hook_of(JobBoundary at) {
  switch (at) {
    case JobBoundary::kStartJob:
      return {"StartJobCmd", 20.0f, 20.99f};
    case JobBoundary::kStartDoc:
      return {"StartDocCmd", 21.0f, 21.99f};
    case JobBoundary::kStartPage:
      return {"StartPageCmd", 22.0f, 22.99f};
    case JobBoundary::kEndPage:
      return {"EndPageCmd", 23.0f, 23.99f};
    case JobBoundary::kEndDoc:
      return {"EndDocCmd", 24.0f, 24.99f};
    case JobBoundary::kEndJob:
      break;
  }
  return {"EndJobCmd", 25.0f, 25.99f};
}

}  // namespace

std::vector<unsigned char> hex_command_bytes(const char *text) {
  if (text == nullptr || *text == '\0') return {};
  const std::size_t length = std::strlen(text);
  if (length > 0x7FFFFFFF) return {};
  const int n = static_cast<int>(length);
  std::vector<unsigned char> bytes(length);
  bytes.resize(static_cast<std::size_t>(hexstr_to_bytes(text, n, bytes.data(), n)));
  return bytes;
}

std::vector<unsigned char> hook_commands(ppd_file_t *ppd, JobBoundary at) {
  const Hook hook = hook_of(at);
  std::vector<unsigned char> out;
  append_hex(out, retrivePPDAttributeValue(ppd, hook.attribute));
  const int count = countOfPPDOptionWithCode(ppd, hook.lo, hook.hi);
  if (count <= 0) return out;
  std::vector<OrderCmd> cmds(static_cast<std::size_t>(count));
  retrivePPDOptionsWithCode(ppd, hook.lo, hook.hi, cmds.data());
  bubble_sort_cmds(cmds.data(), count);
  for (const OrderCmd &cmd : cmds) append_hex(out, cmd.code);
  return out;
}

PageSettings read_page_settings(ppd_file_t *ppd) {
  auto get = [ppd](const char *keyword, int default_value) {
    return retrivePPDPrinterDataToInt(ppd, keyword, default_value);
  };
  PageSettings s;
  s.paper_saving = {get("PaperSaveTop", -1), get("PaperSaveMiddle", -1),
                    get("PaperSaveBottom", -1)};
  s.strip_left = get("StripLeftPadding", 0) != 0;
  s.strip_right = get("StripRightPadding", 0) != 0;
  s.binarization = binarization_from_setting(get("ImageBinarizationAlgorithm", 0));
  s.command = command_form_from_setting(get("ImageCmdConversionAlgorithm", 0));
  s.upside_down = get("ImageUpsideDownPrint", 0) != 0;
  s.placement.max_printable_width = get("MaxPrintableWidth", 0);
  s.placement.adjust = get("HorizontalPrintPositionAdjustment", 0) != 0;
  s.placement.alignment = alignment_from_setting(get("HorizontalPrintAlignment", 0));
  s.placement.offset = get("HorizontalPrintOffset", 0);
  s.tspl = {get("TSPL.SPEED", 0), get("TSPL.DENSITY", -1), get("TSPL.PAPERTYPE", 1)};
  s.orx.paper_type = get("ORX.PAPERTYPE", 0);
  s.orx.image_compression = get("ORX.IMAGECOMPRESSION", 0);
  s.orx.speed = get("ORX.SPEED", 0);
  s.orx.density = get("ORX.DENSITY", -1);
  s.orx.finish_feed = get("ORX.FINISHPRINTFEED", 0);
  s.orx.finish_cut = get("ORX.FINISHPRINTCUT", 0);
  return s;
}

}  // namespace quorvane
