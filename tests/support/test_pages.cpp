#include "test_pages.h"

namespace quorvane::test {

const char kHookMarkerPpdLines[] =
    "*StartJobCmd: \"A0\"\n*StartDocCmd: \"A1\"\n*StartPageCmd: \"A2\"\n"
    "*EndPageCmd: \"A3\"\n*EndDocCmd: \"A4\"\n*EndJobCmd: \"A5\"\n";

RasterPage uniform_page(unsigned width, unsigned height, unsigned char ink, unsigned copies) {
  RasterPage page;
  page.width = width;
  page.height = height;
  page.num_copies = copies;
  page.samples.assign(static_cast<std::size_t>(width) * height, ink);
  return page;
}

RasterPage page_of_depth(unsigned width, unsigned height, unsigned bits_per_pixel) {
  RasterPage page;
  page.width = width;
  page.height = height;
  page.bits_per_pixel = bits_per_pixel;
  page.bytes_per_line = (width * bits_per_pixel + 7) / 8;
  page.samples.assign(static_cast<std::size_t>(page.bytes_per_line) * height, 0);
  return page;
}

std::string ppd_option(const std::string &keyword, const std::string &order,
                       const std::string &default_choice,
                       const std::vector<std::string> &choices) {
  std::string s = "*OpenUI *" + keyword + "/" + keyword + ": PickOne\n";
  if (!order.empty()) s += "*OrderDependency: " + order + " AnySetup *" + keyword + "\n";
  s += "*Default" + keyword + ": " + default_choice + "\n";
  for (const std::string &c : choices) {
    const std::size_t colon = c.find(':');
    const std::string name = c.substr(0, colon);
    const std::string code = colon == std::string::npos ? "" : c.substr(colon + 1);
    s += "*" + keyword + " " + name + "/" + name + ": \"" + code + "\"\n";
  }
  s += "*CloseUI: *" + keyword + "\n";
  return s;
}

std::string gs_v_0_bands(const std::string &mono, int row_bytes) {
  std::string out;
  const int rows = static_cast<int>(mono.size()) / row_bytes;
  for (int r = 0; r < rows; r += 24) {
    const int n = rows - r < 24 ? rows - r : 24;
    out += std::string{'\x1d', 'v', '0', '\0', static_cast<char>(row_bytes & 0xFF),
                       static_cast<char>(row_bytes >> 8), static_cast<char>(n & 0xFF),
                       static_cast<char>(n >> 8)};
    out += mono.substr(static_cast<std::size_t>(r) * row_bytes,
                       static_cast<std::size_t>(n) * row_bytes);
  }
  return out;
}

}  // namespace quorvane::test
