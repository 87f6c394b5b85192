// The streamed road: paper saving, cutting, placing and binarising each row
// straight into the Mono raster.
#include <algorithm>
#include <cstring>
#include <optional>

#include "binarize/dither_row.h"
#include "binarize/error_diffusion_window.h"
#include "img2esccmd.h"
#include "page_road.h"
#include "prepare/blank_run_keeper.h"
#include "prepare/large_buffer.h"
#include "prepare/page_layout.h"

namespace quorvane {

bool takes_streamed_road(const PageGeometry &g, const PageSettings &s) {
  if (s.binarization == Binarization::kThresholding || s.upside_down || s.strip_left ||
      s.strip_right)
    return false;
  const CanvasPlacement at = canvas_placement(cut_width(static_cast<int>(g.width), s.placement),
                                              s.placement);
  return at.canvas_width > 0 &&
         static_cast<long long>(at.canvas_width) * g.height <= kMaxGrayPageBytes;
}

void to_gray_levels(std::span<unsigned char> row, Polarity polarity) {
  if (polarity == Polarity::kInk)
    std::transform(row.begin(), row.end(), row.begin(),
                   [](unsigned char v) { return static_cast<unsigned char>(~v); });
}

namespace {

class StreamedRoad final : public PageRoad {
 public:
  bool start(const PageGeometry &g, const PageSettings &s) override {
    polarity_ = g.polarity;
    page_width_ = static_cast<int>(g.width);
    line_bytes_ = g.bytes_per_line;
    // Cutting keeps the middle of each row, as TurncateGrayImageToDstWidth
    // does; placing puts it on the canvas.
    const int width = cut_width(page_width_, s.placement);
    cut_left_ = centre_cut_left(page_width_, width);
    const CanvasPlacement at = canvas_placement(width, s.placement);
    canvas_width_ = at.canvas_width;
    rp_ = row_placement(width, canvas_width_, at.x);
    row_is_canvas_ = rp_.count == width && rp_.count == canvas_width_;

    width_stride_ = (canvas_width_ + 7) / 8;
    const std::size_t mono_bytes =
        static_cast<std::size_t>(width_stride_) * static_cast<std::size_t>(g.height);
    // Sized for every row the page promises; only the rows kept are touched.
    raster_ = allocate_large_buffer(mono_bytes, false);
    line_ = allocate_buffer(line_bytes_);
    canvas_ = allocate_buffer(static_cast<std::size_t>(canvas_width_));
    if (!raster_ || !line_ || !canvas_) return false;
    rows_ = {raster_.get(), mono_bytes};
    keeper_.emplace(s.paper_saving.top, s.paper_saving.middle, s.paper_saving.bottom);
    if (s.binarization == Binarization::kErrorDiffusion) {
      diffusion_.emplace();
      if (!diffusion_->start(canvas_width_, rows_, width_stride_)) return false;
    }
    return true;
  }

  std::span<unsigned char> row_buffer() override { return {line_.get(), line_bytes_}; }

  void row_done() override {
    unsigned char *row = line_.get();
    // Past the width nothing is used.
    to_gray_levels({row, static_cast<std::size_t>(page_width_)}, polarity_);
    if (ScanLineEquals(row, page_width_, 255)) {
      keeper_->blank();
      return;
    }
    blank_rows(keeper_->before_ink().count);
    const unsigned char *image_row = row + cut_left_;
    if (row_is_canvas_) {
      binarize(image_row);
    } else {
      place_row(image_row, rp_, canvas_.get(), canvas_width_);
      binarize(canvas_.get());
    }
  }

  MonoRaster finish() override {
    blank_rows(keeper_->at_end().count);
    if (diffusion_) diffusion_->finish();
    if (kept_ == 0) return {};
    MonoRaster mono;
    mono.width_stride = width_stride_;
    mono.height = kept_;
    mono.data = std::move(raster_);
    return mono;
  }

 private:
  void binarize(const unsigned char *canvas_row) {
    if (diffusion_)
      diffusion_->push(canvas_row);
    else
      dither_row({canvas_row, static_cast<std::size_t>(canvas_width_)}, kept_,
                 rows_.subspan(static_cast<std::size_t>(kept_) * width_stride_,
                               static_cast<std::size_t>(width_stride_)));
    ++kept_;
  }

  // A blank row placed is a white canvas row.
  void blank_rows(int n) {
    if (n > 0) std::memset(canvas_.get(), 255, static_cast<std::size_t>(canvas_width_));
    for (int i = 0; i < n; ++i) binarize(canvas_.get());
  }

  Polarity polarity_ = Polarity::kInk;
  int page_width_ = 0;
  unsigned line_bytes_ = 0;
  int cut_left_ = 0;
  int canvas_width_ = 0;
  RowPlacement rp_;
  bool row_is_canvas_ = false;
  int width_stride_ = 0;
  MallocBuffer raster_, line_, canvas_;
  std::span<unsigned char> rows_;
  std::optional<BlankRunKeeper> keeper_;
  std::optional<DiffusionStream> diffusion_;
  int kept_ = 0;
};

}  // namespace

std::unique_ptr<PageRoad> make_streamed_road() { return std::make_unique<StreamedRoad>(); }

}  // namespace quorvane
