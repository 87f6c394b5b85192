// Where a picture goes on the paper and at what size, and the scaler that
// makes its rows at that size as they are decoded. Pure: the picture's size,
// the media and print-scaling in, a page and a placement out.
#ifndef QUORVANE_APP_PICTURE_LAYOUT_H
#define QUORVANE_APP_PICTURE_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "malloc_buffer.h"

namespace quorvane::app {

// IPP print-scaling (PWG 5100.13).
enum class Scaling { kAuto, kAutoFit, kFill, kFit, kNone };

// The media in hundredths of millimetres, as IPP's media-col gives it.
struct MediaSize {
  int width = 0;
  int length = 0;
  int left = 0, right = 0, top = 0, bottom = 0;  // margins
};

// The media in dots: the whole width and length, and the printable box
// within them. On a roll the length is the picture's to choose.
struct MediaDots {
  long long width = 0, length = 0;
  long long left = 0, top = 0;  // the printable box's corner
  long long printable_width = 0, printable_length = 0;
  long long bottom = 0;  // the margin below the printable box
  bool roll = false;
};

MediaDots media_dots(const MediaSize &media, int xdpi, int ydpi, bool roll);

// A part of the scaled picture: columns [left, right), rows [top, bottom).
struct Window {
  long long left = 0, right = 0, top = 0, bottom = 0;
};

struct PictureLayout {
  long long page_width = 0, page_height = 0;      // the page the engine is given
  long long scaled_width = 0, scaled_height = 0;  // the picture as printed
  long long x = 0, y = 0;  // its top-left corner on the page; off the page it is cropped
  Window visible;          // the part of the scaled picture on the page
};

// The page for a picture of width x height pixels, one pixel a dot unless
// scaled. On labels the page is the label and the picture is centred in
// its printable box; on a roll the page is the printable width and as long
// as the picture, so scaling concerns only the width. auto and auto-fit shrink
// a picture larger than the printable box to fit it and leave a smaller one
// as it is: a label printer's zero margins are its hardware's, not a
// request for borderless printing, so auto never fills (crops) either. fit
// scales to the printable box, fill covers the whole media and crops what
// overflows, none crops what does not fit. Empty when the media leaves no
// printable box or a side is 0 or above 2^31.
std::optional<PictureLayout> layout_picture(long long width, long long height, const MediaDots &media,
                                            Scaling scaling);

// Scales a picture row by row, area-averaging: each output pixel is the
// mean of the source area it covers, so shrinking keeps thin lines as gray
// and enlarging repeats pixels with blended seams (crisp barcodes). Only the
// window's part is computed; it holds two scaled rows and one row of sums.
class PictureScaler {
 public:
  // False when memory is short. Sizes are at least 1 and below 2^31; the
  // window lies within the scaled picture.
  bool start(long long width, long long height, long long scaled_width, long long scaled_height,
             const Window &window);

  // Takes the picture's next row (width pixels) and hands `emit` each window
  // row it completes (window width pixels), top to bottom.
  template <typename Emit>
  void push(std::span<const unsigned char> row, Emit &&emit);

  // Every window row has been handed out: the rest of the picture is not
  // needed.
  bool done() const { return next_out_ >= window_.bottom; }

 private:
  void scale_across(std::span<const unsigned char> row);
  std::span<const unsigned char> take_sums();

  long long width_ = 0, height_ = 0, scaled_width_ = 0, scaled_height_ = 0;
  Window window_;
  long long next_in_ = 0;   // the picture row pushed next
  long long next_out_ = 0;  // the scaled row completed next
  MallocBuffer across_;     // the current row scaled across, window columns only
  MallocBuffer averaged_;   // a scaled row averaged from several picture rows
  std::unique_ptr<std::uint64_t, FreeDeleter> sums_;  // weighted sums of a row being averaged down
};

template <typename Emit>
void PictureScaler::push(std::span<const unsigned char> row, Emit &&emit) {
  if (done() || next_in_ >= height_) return;
  // Along the paper a picture row spans [i * scaled_height, (i + 1) *
  // scaled_height) and a scaled row [o * height, (o + 1) * height).
  const long long begin = next_in_ * scaled_height_, end = begin + scaled_height_;
  ++next_in_;
  const long long first = begin / height_, last = (end - 1) / height_;
  if (last < window_.top) return;  // above the window: not even scaled across
  scale_across(row);
  const std::size_t n = static_cast<std::size_t>(window_.right - window_.left);
  const std::span<const unsigned char> across(across_.get(), n);
  for (long long o = std::max(first, window_.top); o <= last && o < window_.bottom; ++o) {
    const long long from = std::max(begin, o * height_), to = std::min(end, (o + 1) * height_);
    if (to - from == height_) {  // the whole scaled row lies within this picture row
      emit(across);
      next_out_ = o + 1;
      continue;
    }
    std::uint64_t *sums = sums_.get();
    const auto weight = static_cast<std::uint64_t>(to - from);
    for (std::size_t x = 0; x < n; ++x) sums[x] += weight * across[x];
    if (to == (o + 1) * height_) {
      emit(take_sums());
      next_out_ = o + 1;
    }
  }
}

// A page row: white, with `visible` (a window row) from column max(x, 0).
void place_picture_row(std::span<const unsigned char> visible, long long x, std::span<unsigned char> page_row);

}  // namespace quorvane::app

#endif
