// The page engine on pages and settings from the input: it never reads or
// writes outside its buffers, its two roads give the same raster wherever
// both can go, gray rows print as the ink rows they mirror, and a page whose
// rows stop coming gives no block.
//
// Input: geometry (width, height, padding, bits), settings, how many rows
// arrive, then the rows' bytes (repeated as needed).
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "page_engine.h"
#include "page_road.h"

namespace {

using quorvane::fuzz::Input;
using quorvane::fuzz::require;

std::string raster_of(quorvane::PageRoad &road, const quorvane::PageGeometry &g,
                      const quorvane::PageSettings &s, const std::vector<unsigned char> &rows) {
  if (!road.start(g, s)) return "(no start)";
  for (unsigned y = 0; y < g.height; ++y) {
    const std::span<unsigned char> row = road.row_buffer();
    require(row.size() == g.bytes_per_line, "row buffer size");
    for (std::size_t x = 0; x < row.size(); ++x) {
      const unsigned char v = rows[y * g.bytes_per_line + x];
      row[x] = g.polarity == quorvane::Polarity::kInk ? v : static_cast<unsigned char>(~v);
    }
    road.row_done();
  }
  const quorvane::MonoRaster m = road.finish();
  if (!m.data) return "(none)";
  return std::to_string(m.width_stride) + ":" +
         std::string(reinterpret_cast<const char *>(m.data.get()),
                     static_cast<std::size_t>(m.width_stride) * static_cast<std::size_t>(m.height));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  Input in(data, size);
  quorvane::PageGeometry g;
  g.width = static_cast<unsigned>(in.range(0, 80));
  g.height = static_cast<unsigned>(in.range(0, 80));
  g.bytes_per_line = g.width + static_cast<unsigned>(in.range(0, 3));
  g.bits_per_pixel = in.range(0, 15) == 0 ? 1 : 8;
  g.hres = g.vres = 203;
  quorvane::PageSettings s;
  s.paper_saving = {in.range(-1, 6), in.range(-1, 6), in.range(-1, 6)};
  s.binarization = quorvane::binarization_from_setting(in.range(0, 3));
  s.command = quorvane::command_form_from_setting(in.range(0, 7));
  s.upside_down = in.range(0, 3) == 0;
  s.strip_left = in.range(0, 3) == 0;
  s.strip_right = in.range(0, 3) == 0;
  s.placement.max_printable_width = in.range(-2, 120);
  s.placement.adjust = in.flag();
  s.placement.alignment = quorvane::alignment_from_setting(in.range(0, 3));
  s.placement.offset = in.range(-200, 200);
  s.orx.image_compression = in.range(0, 2);
  s.orx.finish_cut = in.range(0, 2);
  const unsigned arriving = static_cast<unsigned>(in.range(0, 3)) == 0
                                ? static_cast<unsigned>(in.range(0, 80))
                                : g.height;
  const std::vector<unsigned char> rows =
      in.bytes(static_cast<std::size_t>(g.bytes_per_line) * g.height);

  quorvane::PageEngine engine;
  const bool started = engine.start_page(g, s);
  require(started == quorvane::gray_page_usable(g), "start_page refuses exactly unusable pages");
  if (!started) return 0;
  unsigned pushed = 0;
  for (; pushed < arriving && pushed < g.height; ++pushed)
    require(engine.push_row({rows.data() + pushed * g.bytes_per_line, g.bytes_per_line}),
            "a row of the page's size is taken");
  if (pushed == g.height)
    require(!engine.push_row({rows.data(), g.bytes_per_line}), "no row beyond the page");
  const quorvane::CommandBlock block = engine.finish_page();
  if (pushed < g.height) {
    require(!block, "a page cut short gives no block");
    return 0;
  }
  quorvane::fuzz::touch(block.bytes().data(), block.bytes().size());

  const std::string whole = raster_of(*quorvane::make_whole_page_road(), g, s, rows);
  quorvane::PageGeometry gray = g;
  gray.polarity = quorvane::Polarity::kGray;
  require(raster_of(*quorvane::make_whole_page_road(), gray, s, rows) == whole,
          "gray rows print as the ink rows they mirror");
  if (quorvane::takes_streamed_road(g, s))
    require(raster_of(*quorvane::make_streamed_road(), g, s, rows) == whole,
            "the streamed road gives the whole-page raster");
  return 0;
}
