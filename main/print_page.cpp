#include "print_page.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "img2esccmd.h"
#include "job_hooks.h"
#include "malloc_buffer.h"
#include "prepare/large_buffer.h"
#include "prepare/page_layout.h"
#include "encode/single_pass.h"
#include "mono_raster.h"
#include "page_settings.h"
#include "ppd_settings.h"
#include "streamed_page.h"
#include "raster_input.h"
#include "trace_file.h"
#include "trace_path.h"

using quorvane::MallocBuffer;

namespace {

// A Gray image being prepared: its buffer and geometry.
struct GrayImage {
  MallocBuffer data;
  std::size_t capacity = 0;  // bytes the buffer holds
  int width = 0;
  int height = 0;
  int stride = 0;
};

struct CommandBlock {
  MallocBuffer data;
  int size = 0;
};

// Calls a two-call operation: once for the size, once into a buffer of it.
template <typename Fill>
MallocBuffer two_call(Fill fill, int &size) {
  size = 0;
  fill(nullptr, &size);
  if (size <= 0) return {};
  MallocBuffer out = quorvane::allocate_large_buffer(static_cast<std::size_t>(size));
  if (out) fill(out.get(), &size);
  return out;
}

// Strip: the page's kept rows, moved up in the page's own buffer; the
// height becomes the number of rows kept.
void strip_blank_lines(GrayImage &page, const PageSettings &s) {
  int lines = 0;
  GetStripedBitmap(page.data.get(), page.width, page.height, page.stride, 255, s.paper_save_top,
                   s.paper_save_middle, s.paper_save_bottom, page.data.get(), &lines);
  page.height = lines;
}

// Shape in place: turn, strip margins, cut to the printable width.
bool shape(GrayImage &img, const PageSettings &s) {
  if (s.upside_down) UpsideDownGrayImage(img.data.get(), img.height * img.stride);
  if (s.strip_left || s.strip_right)
    StripGrayImageLeftRightPadding(img.data.get(), img.width, img.height, img.stride, 255,
                                   s.strip_left, s.strip_right, &img.width);
  const int width = cut_width(img.width, s);
  if (width < img.width) {
    // A failed cut would leave rows the later steps misread: the page fails.
    if (!TurncateGrayImageToDstWidth(img.data.get(), img.width, img.height, img.stride, width))
      return false;
    img.width = img.stride = width;
  }
  return true;
}

// Place: turns the image into the canvas it is binarised from, printable
// width wide when horizontal placement is on. The canvas takes the image's
// place in its buffer; when it is the image itself nothing moves.
bool place(GrayImage &img, const PageSettings &s) {
  const CanvasPlacement at = canvas_placement(img.width, s);
  const long long bytes = static_cast<long long>(at.canvas_width) * img.height;
  if (at.canvas_width <= 0 || bytes > kMaxGrayPageBytes) return false;
  if (!quorvane::layout_in_place(img.data, img.capacity, img.width, img.height, img.stride,
                                 at.canvas_width, at.x))
    return false;
  img.width = img.stride = at.canvas_width;
  return true;
}

MonoRaster binarize(const GrayImage &canvas, int algorithm) {
  MonoRaster mono;
  mono.height = canvas.height;
  int size = 0;
  const unsigned char *gray = canvas.data.get();
  switch (algorithm) {
    case 1:
      mono.data = two_call(
          [&](unsigned char *out, int *sz) {
            ConvertGrayImageToMonoFormatUseThresholding(gray, canvas.width, canvas.height,
                                                        canvas.stride, out, sz,
                                                        &mono.width_stride);
          },
          size);
      break;
    case 2:
      mono.data.reset(Trellimo_ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusionV2(
          gray, canvas.width, canvas.height, canvas.stride, &size, &mono.width_stride));
      break;
    default:
      mono.data = two_call(
          [&](unsigned char *out, int *sz) {
            ConvertGrayImageToMonoFormatUseDithering(gray, canvas.width, canvas.height,
                                                     canvas.stride, out, sz, &mono.width_stride);
          },
          size);
      break;
  }
  return mono;
}

// A printer setting is sent only when it was set: an unset darkness reads as
// -1 and an unset speed as 0.
void enable_setting(bool is_set, int value, int &enable, int &field) {
  enable = is_set ? 1 : 0;
  field = is_set ? value : 0;
}

TSPLPrintParam tspl_params(ppd_file_t *ppd, const cups_page_header2_t &header) {
  const int speed = retrivePPDPrinterDataToInt(ppd, "TSPL.SPEED", 0);
  const int density = retrivePPDPrinterDataToInt(ppd, "TSPL.DENSITY", -1);
  const int paper_type = retrivePPDPrinterDataToInt(ppd, "TSPL.PAPERTYPE", 1);
  TSPLPrintParam p{};
  p.hres = static_cast<int>(header.HWResolution[0]);
  p.vres = static_cast<int>(header.HWResolution[1]);
  p.reference_enable = 1;
  switch (paper_type) {
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
  enable_setting(density >= 0, density, p.density_enable, p.density);
  enable_setting(speed > 0, speed, p.speed_enable, p.speed);
  return p;
}

ORXPrintParam orx_params(ppd_file_t *ppd, const cups_page_header2_t &header) {
  ORXPrintParam p{};
  p.hres = static_cast<int>(header.HWResolution[0]);
  p.vres = static_cast<int>(header.HWResolution[1]);
  p.paper_type = retrivePPDPrinterDataToInt(ppd, "ORX.PAPERTYPE", 0);
  p.image_compression = retrivePPDPrinterDataToInt(ppd, "ORX.IMAGECOMPRESSION", 0);
  const int speed = retrivePPDPrinterDataToInt(ppd, "ORX.SPEED", 0);
  const int density = retrivePPDPrinterDataToInt(ppd, "ORX.DENSITY", -1);
  p.finish_print_feed = retrivePPDPrinterDataToInt(ppd, "ORX.FINISHPRINTFEED", 0);
  p.finish_print_cut = retrivePPDPrinterDataToInt(ppd, "ORX.FINISHPRINTCUT", 0);
  // The trace shows the settings as read, before the enables are applied.
  append_formatstring_to_file(kTraceFilePath,
                              "PrintPage: ORXPrintParam: hres:%d vres:%d paper_type:%d "
                              "image_compression:%d density:%d speed:%d finish_print_feed:%d "
                              "finish_print_cut:%d\r\n",
                              p.hres, p.vres, p.paper_type, p.image_compression, density, speed,
                              p.finish_print_feed, p.finish_print_cut);
  enable_setting(density >= 0, density, p.density_enable, p.density);
  enable_setting(speed > 0, speed, p.speed_enable, p.speed);
  return p;
}

// Encode: the mono raster as the printer's commands. Encoders that take a
// width in dots get whole bytes' worth.
CommandBlock encode(const MonoRaster &mono, int conversion, ppd_file_t *ppd,
                    const cups_page_header2_t &header) {
  CommandBlock block;
  const unsigned char *raster = mono.data.get();
  const int dots = mono.width_stride * 8;
  switch (conversion) {
    case 0:
      block.data = two_call(
          [&](unsigned char *out, int *sz) {
            RasterDataToRasterCmdSpecifyBankHeight(mono.width_stride, mono.height, raster, 24,
                                                   out, sz);
          },
          block.size);
      break;
    case 1:
      block.data = quorvane::compressed_block_once(dots, mono.height, raster, block.size);
      break;
    case 2:
      // Coded once; a band left out would shift every later one, so a block
      // that came out short is no block.
      block.data = quorvane::jbig_block_once(dots, mono.height, raster, block.size);
      break;
    case 3:
      block.data = two_call(
          [&](unsigned char *out, int *sz) {
            RasterDataToLabelPrintCmd(0, 0, dots, mono.height, raster, out, sz);
          },
          block.size);
      break;
    case 4:
      block.data.reset(RasterDataToTSPLPrintCmd(tspl_params(ppd, header), mono.width_stride,
                                                 mono.height, raster, &block.size));
      break;
    case 6:
      block.data.reset(RasterDataToORXPrintCmd(orx_params(ppd, header), mono.width_stride,
                                                mono.height, raster, &block.size));
      break;
    default:
      // Conversion 5 and unknown values have no command block.
      break;
  }
  if (!block.data || block.size <= 0) {
    block.data.reset();
    block.size = 0;
  }
  return block;
}

// Writes the block once per copy with the scheduler's page, copy and
// progress lines. True when every copy was written whole.
bool write_copies(const CommandBlock &block, unsigned num_copies, int page_number) {
  std::fprintf(stderr, "PAGE: %d %d\n", page_number, static_cast<int>(num_copies));
  unsigned i = 0;
  for (; i < num_copies; ++i) {
    if (Canceled) break;
    if (block.size > 0) {
      std::fprintf(stderr, "INFO: Sending Page %d Copies %d of %d\n", page_number,
                   static_cast<int>(i + 1), static_cast<int>(num_copies));
      const std::size_t written =
          std::fwrite(block.data.get(), 1, static_cast<std::size_t>(block.size), stdout);
      // A copy counts only once it has left our buffer for the backend.
      const bool flushed = std::fflush(stdout) == 0;
      std::fprintf(stderr, "INFO: BytesToWrite:%d BytesWritted:%d\n", block.size,
                   static_cast<int>(written));
      // 64-bit so that large blocks and many copies do not wrap.
      long long progress = static_cast<long long>(written) * 100;
      progress /= block.size;
      progress *= static_cast<long long>(i) + 1;
      progress /= num_copies;
      std::fprintf(stderr, "ATTR: job-media-progress=%u\n", static_cast<unsigned>(progress));
      if (written != static_cast<std::size_t>(block.size) || !flushed) return false;
    }
  }
  const bool done = i == num_copies;
  if (done) std::fprintf(stderr, "INFO: Finished page %d\n", page_number);
  return done;
}

}  // namespace

// The page is held once, whatever the settings: striped, shaped and placed
// in the buffer it was read into.
MonoRaster read_and_binarize_whole(cups_raster_t *stream, cups_page_header2_t *header,
                                   const PageSettings &settings) {
  GrayImage img;
  // A canvas wider than the page is laid out in the page's buffer too, so
  // the buffer gets room for it from the start.
  const bool placed = settings.position_adjustment && settings.max_printable_width > 0;
  const long long canvas_room = placed ? settings.max_printable_width : 0;
  img.data.reset(read_gray_page(stream, header, canvas_room, &img.capacity, &img.width,
                                &img.height, &img.stride));
  if (!img.data) return {};

  strip_blank_lines(img, settings);
  if (!shape(img, settings)) return {};
  if (!place(img, settings)) return {};
  return binarize(img, settings.binarization);
}

bool PrintPage(ppd_file_t *ppd, cups_raster_t *stream, cups_page_header2_t *header,
               int page_number) {
  const PageSettings settings = read_page_settings(ppd);

  // Most pages are binarised as their rows arrive; the whole page is held
  // only when a step needs all of it.
  const MonoRaster mono = can_stream_page(*header, settings)
                              ? read_and_binarize_streamed(stream, *header, settings)
                              : read_and_binarize_whole(stream, header, settings);
  if (!mono.data) return false;

  append_formatstring_to_file(kTraceFilePath,
                              "PrintPage: monoimg_width_stride:%d monoimg_height:%d\r\n",
                              mono.width_stride, mono.height);

  const CommandBlock block = encode(mono, settings.conversion, ppd, *header);
  if (!block.data) return false;

  return write_copies(block, header->NumCopies, page_number);
}
