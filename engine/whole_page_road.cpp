// The whole-page road: the page is held once, whatever the settings, and
// striped, shaped and placed in the buffer it arrived in.
#include "img2esccmd.h"
#include "page_road.h"
#include "prepare/large_buffer.h"
#include "prepare/page_layout.h"
#include "two_call.h"

namespace quorvane {
namespace {

class WholePageRoad final : public PageRoad {
 public:
  bool start(const PageGeometry &g, const PageSettings &s) override {
    settings_ = s;
    polarity_ = g.polarity;
    width_ = static_cast<int>(g.width);
    height_ = static_cast<int>(g.height);
    stride_ = static_cast<int>(g.bytes_per_line);
    const unsigned long long size = static_cast<unsigned long long>(g.bytes_per_line) * g.height;
    // A canvas wider than the page is laid out in the page's buffer too, so
    // the buffer gets room for it from the start.
    unsigned long long room = size;
    const Placement &p = s.placement;
    if (p.adjust && p.max_printable_width > stride_) {
      const unsigned long long wider = static_cast<unsigned long long>(p.max_printable_width) * g.height;
      if (wider <= static_cast<unsigned long long>(kMaxGrayPageBytes)) room = wider;
    }
    // Not mapped ahead: a page may promise more rows than arrive, and memory
    // is taken only as rows do.
    data_ = allocate_large_buffer(room, false);
    capacity_ = data_ ? static_cast<std::size_t>(room) : 0;
    return static_cast<bool>(data_);
  }

  std::span<unsigned char> row_buffer() override {
    return {data_.get() + static_cast<std::size_t>(stride_) * next_row_,
            static_cast<std::size_t>(stride_)};
  }

  // Each row is made gray levels while it is still in the cache; the bytes
  // past the width go with it, as the page is turned as one block.
  void row_done() override {
    to_gray_levels(row_buffer(), polarity_);
    ++next_row_;
  }

  MonoRaster finish() override {
    strip_blank_lines();
    shape();
    if (!place()) return {};
    return binarize();
  }

 private:
  // Strip: the page's kept rows, moved up in its own buffer.
  void strip_blank_lines() {
    const PaperSaving &p = settings_.paper_saving;
    int lines = 0;
    GetStripedBitmap(data_.get(), width_, height_, stride_, 255, p.top, p.middle, p.bottom,
                     data_.get(), &lines);
    height_ = lines;
  }

  // Shape in place: turn, strip margins, cut to the printable width.
  void shape() {
    const PageSettings &s = settings_;
    if (s.upside_down) UpsideDownGrayImage(data_.get(), height_ * stride_);
    if (s.strip_left || s.strip_right)
      StripGrayImageLeftRightPadding(data_.get(), width_, height_, stride_, 255, s.strip_left,
                                     s.strip_right, &width_);
    const int width = cut_width(width_, s.placement);
    if (width < width_) {
      TurncateGrayImageToDstWidth(data_.get(), width_, height_, stride_, width);
      width_ = stride_ = width;
    }
  }

  // Place: the image becomes the canvas it is binarised from, in its own
  // buffer; when the canvas is the image itself nothing moves.
  bool place() {
    const CanvasPlacement at = canvas_placement(width_, settings_.placement);
    const long long bytes = static_cast<long long>(at.canvas_width) * height_;
    if (at.canvas_width <= 0 || bytes > kMaxGrayPageBytes) return false;
    if (!layout_in_place(data_, capacity_, width_, height_, stride_, at.canvas_width, at.x))
      return false;
    width_ = stride_ = at.canvas_width;
    return true;
  }

  MonoRaster binarize() const {
    using TwoCallBinarization = void (*)(const unsigned char *, int, int, int, unsigned char *,
                                         int *, int *);
    MonoRaster mono;
    mono.height = height_;
    int size = 0;
    const unsigned char *gray = data_.get();
    if (settings_.binarization == Binarization::kErrorDiffusion) {
      mono.data.reset(Trellimo_ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusionV2(
          gray, width_, height_, stride_, &size, &mono.width_stride));
      return mono;
    }
    const TwoCallBinarization convert =
        settings_.binarization == Binarization::kThresholding
            ? ConvertGrayImageToMonoFormatUseThresholding
            : ConvertGrayImageToMonoFormatUseDithering;
    mono.data = two_call(
        [&](unsigned char *out, int *sz) {
          convert(gray, width_, height_, stride_, out, sz, &mono.width_stride);
        },
        size);
    return mono;
  }

  PageSettings settings_;
  Polarity polarity_ = Polarity::kInk;
  MallocBuffer data_;
  std::size_t capacity_ = 0;  // bytes the buffer holds
  int width_ = 0, height_ = 0, stride_ = 0;
  int next_row_ = 0;
};

}  // namespace

std::unique_ptr<PageRoad> make_whole_page_road() { return std::make_unique<WholePageRoad>(); }

}  // namespace quorvane
