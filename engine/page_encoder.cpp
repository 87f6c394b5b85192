#include "page_encoder.h"

#include <cstdio>

#include "encode/single_pass.h"
#include "img2esccmd.h"
#include "two_call.h"

namespace quorvane {
namespace {

// A printer setting is sent only when it was set.
void enable_setting(bool is_set, int value, int &enable, int &field) {
  enable = is_set ? 1 : 0;
  field = is_set ? value : 0;
}

TSPLPrintParam tspl_params(const TsplSettings &t, const PageGeometry &g) {
  TSPLPrintParam p{};
  p.hres = static_cast<int>(g.hres);
  p.vres = static_cast<int>(g.vres);
  p.reference_enable = 1;
  switch (t.paper_type) {
    case 0:  // continuous media: a gap of 0 mm
      p.gap_enable = 1;
      break;
    case 1:  // labels with a 3 mm gap
      p.gap_enable = 1;
      p.gap_distance = 3.0;
      break;
    case 2:  // a 3 mm black mark
      p.bline_enable = 1;
      p.bline_height = 3.0;
      break;
    default:
      break;
  }
  enable_setting(t.density >= 0, t.density, p.density_enable, p.density);
  enable_setting(t.speed > 0, t.speed, p.speed_enable, p.speed);
  return p;
}

ORXPrintParam orx_params(const OrxSettings &o, const PageGeometry &g, const TraceSink &trace) {
  ORXPrintParam p{};
  p.hres = static_cast<int>(g.hres);
  p.vres = static_cast<int>(g.vres);
  p.paper_type = o.paper_type;
  p.image_compression = o.image_compression;
  p.finish_print_feed = o.finish_feed;
  p.finish_print_cut = o.finish_cut;
  if (trace) {
    // The settings as read, before the enables are applied.
    char line[320];
    std::snprintf(line, sizeof line,
                  "PrintPage: ORXPrintParam: hres:%d vres:%d paper_type:%d image_compression:%d "
                  "density:%d speed:%d finish_print_feed:%d finish_print_cut:%d",
                  p.hres, p.vres, p.paper_type, p.image_compression, o.density, o.speed,
                  p.finish_print_feed, p.finish_print_cut);
    trace(line);
  }
  enable_setting(o.density >= 0, o.density, p.density_enable, p.density);
  enable_setting(o.speed > 0, o.speed, p.speed_enable, p.speed);
  return p;
}

}  // namespace

CommandBlock encode_page(const MonoRaster &mono, const PageSettings &settings,
                         const PageGeometry &geometry, const TraceSink &trace) {
  CommandBlock block;
  const unsigned char *raster = mono.data.get();
  // Encoders that take a width in dots get whole bytes' worth.
  const int dots = mono.width_stride * 8;
  switch (settings.command) {
    case CommandForm::kBandedRaster:
      block.data = two_call(
          [&](unsigned char *out, int *sz) {
            RasterDataToRasterCmdSpecifyBankHeight(mono.width_stride, mono.height, raster, 24,
                                                   out, sz);
          },
          block.size);
      break;
    case CommandForm::kCompressedRaster:
      block.data = compressed_block_once(dots, mono.height, raster, block.size);
      break;
    case CommandForm::kJbigBands:
      // Coded once; a band left out would shift every later one, so a block
      // that came out short is no block.
      block.data = jbig_block_once(dots, mono.height, raster, block.size);
      break;
    case CommandForm::kLabelSequence:
      block.data = two_call(
          [&](unsigned char *out, int *sz) {
            RasterDataToLabelPrintCmd(0, 0, dots, mono.height, raster, out, sz);
          },
          block.size);
      break;
    case CommandForm::kTspl:
      block.data.reset(RasterDataToTSPLPrintCmd(tspl_params(settings.tspl, geometry),
                                                 mono.width_stride, mono.height, raster,
                                                 &block.size));
      break;
    case CommandForm::kOrx:
      block.data.reset(RasterDataToORXPrintCmd(orx_params(settings.orx, geometry, trace),
                                                mono.width_stride, mono.height, raster,
                                                &block.size));
      break;
    case CommandForm::kNone:
      break;
  }
  if (!block.data || block.size <= 0) {
    block.data.reset();
    block.size = 0;
  }
  return block;
}

}  // namespace quorvane
