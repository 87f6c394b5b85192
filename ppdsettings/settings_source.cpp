#include "settings_source.h"

#include <cstdlib>
#include <cstring>

#include "hex_decode.h"
#include "order_cmds.h"

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

int setting(const SettingsSource &source, const char *keyword, int default_value) {
  const char *attribute = source.attribute(keyword);
  const int value = attribute ? std::atoi(attribute) : default_value;
  const char *choice = source.selected(keyword).name;
  return choice ? std::atoi(choice) : value;
}

std::vector<unsigned char> hex_command_bytes(const char *text) {
  if (text == nullptr || *text == '\0') return {};
  const std::size_t length = std::strlen(text);
  if (length > 0x7FFFFFFF) return {};
  const int n = static_cast<int>(length);
  std::vector<unsigned char> bytes(length);
  bytes.resize(static_cast<std::size_t>(hexstr_to_bytes(text, n, bytes.data(), n)));
  return bytes;
}

std::vector<unsigned char> hook_commands(const SettingsSource &source, JobBoundary at) {
  const Hook hook = hook_of(at);
  std::vector<unsigned char> out;
  append_hex(out, source.attribute(hook.attribute));
  // An option qualifies with its order in range and a selected choice that
  // has a command.
  std::vector<OrderCmd> cmds;
  source.for_each_option([&](const char *keyword, float order) {
    if (!(hook.lo <= order && order <= hook.hi)) return;
    const char *code = source.selected(keyword).code;
    if (code != nullptr && code[0] != '\0') cmds.push_back(OrderCmd{order, code});
  });
  bubble_sort_cmds(cmds.data(), static_cast<int>(cmds.size()));
  for (const OrderCmd &cmd : cmds) append_hex(out, cmd.code);
  return out;
}

PageSettings read_page_settings(const SettingsSource &source) {
  auto get = [&source](const char *keyword, int default_value) { return setting(source, keyword, default_value); };
  PageSettings s;
  s.paper_saving = {get("PaperSaveTop", -1), get("PaperSaveMiddle", -1), get("PaperSaveBottom", -1)};
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
