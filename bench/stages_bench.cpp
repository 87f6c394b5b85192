// Microbenchmarks of the page's stages on the benchmark pages, in pixels
// per second of the page: reading (with and without the inversion into a
// Gray image, and the whole streamed road), blank-line striping, the geometry operations, each
// binarisation and each encoder (on the page's dithered mono raster).
//
//   quorvane-microbench [--benchmark_filter=REGEX] ...
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_pages.h"
#include "img2esccmd.h"
#include "prepare/page_layout.h"
#include "page_engine.h"
#include "raster_input.h"

namespace {

using quorvane::MallocBuffer;

struct Page {
  std::string name;
  std::string raster_file;      // the page as a CUPS raster stream
  int width = 0, height = 0;    // stride = width
  std::vector<unsigned char> gray;  // 255 = white
  std::vector<unsigned char> mono;  // the dithered page
  int width_stride = 0;
  double pixels() const { return static_cast<double>(width) * height; }
};

void count_pixels(benchmark::State &state, const Page &p) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(p.pixels()));
}

// Reading the stream the way the floor does, line by line, nothing else.
void BM_read_only(benchmark::State &state, const Page *p) {
  std::vector<unsigned char> line(static_cast<std::size_t>(p->width));
  for (auto _ : state) {
    const int fd = open(p->raster_file.c_str(), O_RDONLY);
    cups_raster_t *r = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t h;
    cupsRasterReadHeader2(r, &h);
    for (unsigned y = 0; y < h.cupsHeight; ++y) cupsRasterReadPixels(r, line.data(), h.cupsBytesPerLine);
    benchmark::DoNotOptimize(line.data());
    cupsRasterClose(r);
    close(fd);
  }
  count_pixels(state, *p);
}

// Reading into the Gray page, inverted (the header dump goes to stderr,
// which main() points at /dev/null).
void BM_read_gray(benchmark::State &state, const Page *p) {
  for (auto _ : state) {
    const int fd = open(p->raster_file.c_str(), O_RDONLY);
    cups_raster_t *r = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t h;
    cupsRasterReadHeader2(r, &h);
    int w = 0, ht = 0, s = 0;
    MallocBuffer img(cupsRasterToGrayImage(r, &h, &w, &ht, &s));
    benchmark::DoNotOptimize(img.get());
    cupsRasterClose(r);
    close(fd);
  }
  count_pixels(state, *p);
}

// The streamed road: reading the stream and taking each row through paper
// saving, placement and binarisation into the mono raster, with the
// benchmark's settings (blank runs kept to 24/96/24 rows, the page centred on
// a canvas of its own width). `binarization` 0 dithers, 2 diffuses errors.
void BM_streamed(benchmark::State &state, const Page *p, int binarization) {
  quorvane::PageSettings s;
  s.paper_saving = {24, 96, 24};
  s.binarization = quorvane::binarization_from_setting(binarization);
  s.placement.max_printable_width = p->width;
  s.placement.adjust = true;
  s.placement.alignment = quorvane::Alignment::kCentre;
  for (auto _ : state) {
    const int fd = open(p->raster_file.c_str(), O_RDONLY);
    cups_raster_t *r = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t h;
    cupsRasterReadHeader2(r, &h);
    quorvane::PageEngine engine;
    engine.start_page(page_geometry(h), s);
    read_page_rows(r, engine);
    const quorvane::MonoRaster mono = engine.finish_raster();
    benchmark::DoNotOptimize(mono.data.get());
    cupsRasterClose(r);
    close(fd);
  }
  count_pixels(state, *p);
}

void BM_strip(benchmark::State &state, const Page *p) {
  std::vector<unsigned char> out(p->gray.size());
  for (auto _ : state) {
    int rows = 0;
    GetStripedBitmap(p->gray.data(), p->width, p->height, p->width, 255, 24, 96, 24, out.data(),
                     &rows);
    benchmark::DoNotOptimize(rows);
  }
  count_pixels(state, *p);
}

void BM_upside_down(benchmark::State &state, const Page *p) {
  std::vector<unsigned char> img = p->gray;
  for (auto _ : state) {
    UpsideDownGrayImage(img.data(), static_cast<int>(img.size()));
    benchmark::ClobberMemory();
  }
  count_pixels(state, *p);
}

void BM_margins(benchmark::State &state, const Page *p) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetGrayImageLeftPadding(p->gray.data(), p->width, p->height,
                                                     p->width, 255));
    benchmark::DoNotOptimize(GetGrayImageRightPadding(p->gray.data(), p->width, p->height,
                                                      p->width, 255));
  }
  count_pixels(state, *p);
}

// Cut 16 columns off (a copy of the page is restored each time, and timed).
void BM_truncate(benchmark::State &state, const Page *p) {
  std::vector<unsigned char> img(p->gray.size());
  for (auto _ : state) {
    std::memcpy(img.data(), p->gray.data(), img.size());
    TurncateGrayImageToDstWidth(img.data(), p->width, p->height, p->width, p->width - 16);
    benchmark::ClobberMemory();
  }
  count_pixels(state, *p);
}

// Placed 32 dots to the right on a canvas 64 dots wider.
void BM_layout_new_canvas(benchmark::State &state, const Page *p) {
  for (auto _ : state) {
    MallocBuffer canvas(LayoutGrayImageToNewImage(p->gray.data(), p->width, p->height, p->width,
                                                  p->width + 64, p->height, p->width + 64, 32, 0));
    benchmark::DoNotOptimize(canvas.get());
  }
  count_pixels(state, *p);
}

void BM_layout_in_place(benchmark::State &state, const Page *p) {
  for (auto _ : state) {
    MallocBuffer img = quorvane::allocate_buffer(p->gray.size());
    std::memcpy(img.get(), p->gray.data(), p->gray.size());
    std::size_t capacity = p->gray.size();
    quorvane::layout_in_place(img, capacity, p->width, p->height, p->width, p->width + 64, 32);
    benchmark::DoNotOptimize(img.get());
  }
  count_pixels(state, *p);
}

template <void (*Binarize)(const unsigned char *, int, int, int, unsigned char *, int *, int *)>
void BM_two_call_binarize(benchmark::State &state, const Page *p) {
  int size = 0, ws = 0;
  Binarize(p->gray.data(), p->width, p->height, p->width, nullptr, &size, &ws);
  std::vector<unsigned char> out(static_cast<std::size_t>(size));
  for (auto _ : state) {
    Binarize(p->gray.data(), p->width, p->height, p->width, out.data(), &size, &ws);
    benchmark::ClobberMemory();
  }
  count_pixels(state, *p);
}

void BM_error_diffusion(benchmark::State &state, const Page *p) {
  for (auto _ : state) {
    int size = 0, ws = 0;
    MallocBuffer mono(Trellimo_ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusionV2(
        p->gray.data(), p->width, p->height, p->width, &size, &ws));
    benchmark::DoNotOptimize(mono.get());
  }
  count_pixels(state, *p);
}

void BM_banded(benchmark::State &state, const Page *p) {
  int size = 0;
  RasterDataToRasterCmdSpecifyBankHeight(p->width_stride, p->height, p->mono.data(), 24, nullptr,
                                         &size);
  std::vector<unsigned char> out(static_cast<std::size_t>(size));
  for (auto _ : state) {
    RasterDataToRasterCmdSpecifyBankHeight(p->width_stride, p->height, p->mono.data(), 24,
                                           out.data(), &size);
    benchmark::ClobberMemory();
  }
  count_pixels(state, *p);
}

// One coding pass into a buffer of the bound the page path uses.
void BM_compressed(benchmark::State &state, const Page *p) {
  std::vector<unsigned char> out(static_cast<std::size_t>(p->height) * (p->width_stride + 6));
  for (auto _ : state) {
    int size = 0;
    RasterDataToCompressCmd(p->width_stride * 8, p->height, p->mono.data(), out.data(), &size);
    benchmark::DoNotOptimize(size);
  }
  count_pixels(state, *p);
}

// One JBIG coding pass of the page (the page path codes each page once).
void BM_jbig(benchmark::State &state, const Page *p) {
  const std::size_t room = p->mono.size() * 3 / 2 + static_cast<std::size_t>(p->height) * 8;
  std::vector<unsigned char> out(room);
  for (auto _ : state) {
    int size = 0, written = 0;
    RasterDataToJBIG5Cmd(p->width_stride * 8, p->height, p->mono.data(), out.data(),
                         static_cast<int>(room), &size, &written);
    benchmark::DoNotOptimize(written);
  }
  count_pixels(state, *p);
}

void BM_label(benchmark::State &state, const Page *p) {
  int size = 0;
  RasterDataToLabelPrintCmd(0, 0, p->width_stride * 8, p->height, p->mono.data(), nullptr, &size);
  std::vector<unsigned char> out(static_cast<std::size_t>(size));
  for (auto _ : state) {
    RasterDataToLabelPrintCmd(0, 0, p->width_stride * 8, p->height, p->mono.data(), out.data(),
                              &size);
    benchmark::ClobberMemory();
  }
  count_pixels(state, *p);
}

void BM_tspl(benchmark::State &state, const Page *p) {
  TSPLPrintParam param{};
  param.hres = param.vres = 203;
  param.reference_enable = 1;
  param.gap_enable = 1;
  param.gap_distance = 3.0;
  for (auto _ : state) {
    int size = 0;
    MallocBuffer job(RasterDataToTSPLPrintCmd(param, p->width_stride, p->height, p->mono.data(),
                                              &size));
    benchmark::DoNotOptimize(job.get());
  }
  count_pixels(state, *p);
}

void BM_orx(benchmark::State &state, const Page *p) {
  ORXPrintParam param{};
  param.hres = param.vres = 203;
  param.image_compression = static_cast<int>(state.range(0));
  for (auto _ : state) {
    int size = 0;
    MallocBuffer job(RasterDataToORXPrintCmd(param, p->width_stride, p->height, p->mono.data(),
                                             &size));
    benchmark::DoNotOptimize(job.get());
  }
  count_pixels(state, *p);
}

std::vector<Page> make_pages() {
  std::vector<Page> pages;
  const char *tmp = std::getenv("TMPDIR");
  for (auto &bp : quorvane::bench::bench_pages()) {
    Page p;
    p.name = bp.name;
    p.width = static_cast<int>(bp.page.width);
    p.height = static_cast<int>(bp.page.height);
    p.raster_file = std::string(tmp ? tmp : "/tmp") + "/quorvane-microbench-" + p.name + "-" +
                    std::to_string(getpid()) + ".ras";
    if (!quorvane::write_raster_file(p.raster_file, {bp.page})) std::exit(1);
    p.gray.resize(bp.page.samples.size());
    for (std::size_t k = 0; k < p.gray.size(); ++k)
      p.gray[k] = static_cast<unsigned char>(255 - bp.page.samples[k]);
    int size = 0;
    ConvertGrayImageToMonoFormatUseDithering(p.gray.data(), p.width, p.height, p.width, nullptr,
                                             &size, &p.width_stride);
    p.mono.resize(static_cast<std::size_t>(size));
    ConvertGrayImageToMonoFormatUseDithering(p.gray.data(), p.width, p.height, p.width,
                                             p.mono.data(), &size, &p.width_stride);
    pages.push_back(std::move(p));
  }
  return pages;
}

}  // namespace

int main(int argc, char **argv) {
  static std::vector<Page> pages = make_pages();
  // The Gray reader dumps every page header to stderr.
  const int null_fd = open("/dev/null", O_WRONLY);
  if (null_fd >= 0) dup2(null_fd, STDERR_FILENO);
  for (const Page &p : pages) {
    const Page *pp = &p;
    auto reg = [&](const char *stage, auto fn) {
      return benchmark::RegisterBenchmark((std::string(stage) + "/" + p.name).c_str(), fn, pp)
          ->Unit(benchmark::kMillisecond);
    };
    reg("read_only", BM_read_only);
    reg("read_gray", BM_read_gray);
    reg("streamed_dithering", [](benchmark::State &st, const Page *pg) { BM_streamed(st, pg, 0); });
    reg("streamed_diffusion", [](benchmark::State &st, const Page *pg) { BM_streamed(st, pg, 2); });
    reg("strip", BM_strip);
    reg("upside_down", BM_upside_down);
    reg("margins", BM_margins);
    reg("truncate", BM_truncate);
    reg("layout_new_canvas", BM_layout_new_canvas);
    reg("layout_in_place", BM_layout_in_place);
    reg("dithering", BM_two_call_binarize<ConvertGrayImageToMonoFormatUseDithering>);
    reg("thresholding", BM_two_call_binarize<ConvertGrayImageToMonoFormatUseThresholding>);
    reg("error_diffusion", BM_error_diffusion);
    reg("banded", BM_banded);
    reg("compressed", BM_compressed);
    reg("jbig", BM_jbig);
    reg("label", BM_label);
    reg("tspl", BM_tspl);
    reg("orx", BM_orx)->Arg(0)->Arg(1)->Arg(2);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const Page &p : pages) std::remove(p.raster_file.c_str());
  return 0;
}
