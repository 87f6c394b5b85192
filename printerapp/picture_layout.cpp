#include "picture_layout.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace quorvane::app {

namespace {

// To the nearest dot: 80 mm less 2 x 3.97 mm of margins is 575.9 dots, and
// the printer's 576.
long long dots(long long hundredths_mm, int dpi) {
  return hundredths_mm > 0 ? (hundredths_mm * dpi + 1270) / 2540 : 0;
}

// `length` rounded to `num`/`den` of itself, at least 1.
long long scaled(long long length, long long num, long long den) {
  return std::max(1LL, (length * num + den / 2) / den);
}

// Where something `length` long starts when centred in a box; when it
// overflows the box the odd extra goes off the far side, as the engine cuts.
long long centred(long long box_start, long long box_length, long long length) {
  return box_length >= length ? box_start + (box_length - length) / 2 : box_start - (length - box_length) / 2;
}

}  // namespace

MediaDots media_dots(const MediaSize &m, int xdpi, int ydpi, bool roll) {
  const long long left = std::max(m.left, 0), right = std::max(m.right, 0);
  const long long top = std::max(m.top, 0), bottom = std::max(m.bottom, 0);
  MediaDots d;
  d.roll = roll;
  d.width = dots(m.width, xdpi);
  d.left = std::min(dots(left, xdpi), d.width);
  d.printable_width = std::min(dots(m.width - left - right, xdpi), d.width - d.left);
  d.top = dots(top, ydpi);
  d.bottom = dots(bottom, ydpi);
  if (!roll) {
    d.length = dots(m.length, ydpi);
    d.top = std::min(d.top, d.length);
    d.printable_length = std::min(dots(m.length - top - bottom, ydpi), d.length - d.top);
  }
  return d;
}

std::optional<PictureLayout> layout_picture(long long width, long long height, const MediaDots &media,
                                            Scaling scaling) {
  constexpr long long kMax = INT_MAX;
  if (width <= 0 || height <= 0 || width > kMax || height > kMax) return std::nullopt;
  if (media.printable_width <= 0 || media.width > kMax || media.top > kMax || media.bottom > kMax)
    return std::nullopt;
  if (!media.roll && (media.printable_length <= 0 || media.length > kMax)) return std::nullopt;

  const long long pw = media.printable_width, pl = media.printable_length;
  if (scaling == Scaling::kAuto || scaling == Scaling::kAutoFit) {
    const bool larger = width > pw || (!media.roll && height > pl);
    scaling = larger ? Scaling::kFit : Scaling::kNone;
  }

  PictureLayout l;
  long long sw = width, sh = height;
  if (media.roll) {
    // The length is free: fitting and filling come down to the width, the
    // printable one or the paper's. The page is the printable width, as the
    // engine would cut it from the paper's.
    if (scaling == Scaling::kFit || scaling == Scaling::kFill) {
      sw = scaling == Scaling::kFit ? pw : media.width;
      sh = scaled(height, sw, width);
    }
    l.page_width = pw;
    l.x = centred(0, pw, sw);
    l.y = media.top;
    l.page_height = media.top + sh + media.bottom;
  } else {
    const bool fill = scaling == Scaling::kFill;
    const long long bw = fill ? media.width : pw, bl = fill ? media.length : pl;
    if (scaling == Scaling::kFit || fill) {
      // Fitting, the side that reaches the box first decides; filling, the
      // one that reaches it last.
      const bool by_length = fill ? width * bl >= height * bw : width * bl <= height * bw;
      if (by_length) {
        sh = bl;
        sw = scaled(width, bl, height);
      } else {
        sw = bw;
        sh = scaled(height, bw, width);
      }
    }
    l.x = centred(fill ? 0 : media.left, bw, sw);
    l.y = centred(fill ? 0 : media.top, bl, sh);
    l.page_width = media.width;
    l.page_height = media.length;
  }
  l.scaled_width = sw;
  l.scaled_height = sh;
  l.visible.left = std::clamp(-l.x, 0LL, sw);
  l.visible.right = std::clamp(l.page_width - l.x, l.visible.left, sw);
  l.visible.top = std::clamp(-l.y, 0LL, sh);
  l.visible.bottom = std::clamp(l.page_height - l.y, l.visible.top, sh);
  return l;
}

bool PictureScaler::start(long long width, long long height, long long scaled_width, long long scaled_height,
                          const Window &window) {
  width_ = width;
  height_ = height;
  scaled_width_ = scaled_width;
  scaled_height_ = scaled_height;
  window_ = window;
  next_in_ = next_out_ = 0;
  const auto n = static_cast<std::size_t>(window.right - window.left);
  across_ = allocate_buffer(n);
  averaged_ = allocate_buffer(n);
  sums_.reset(static_cast<std::uint64_t *>(std::calloc(n ? n : 1, sizeof(std::uint64_t))));
  if (window.bottom <= window.top) next_out_ = window.bottom;  // nothing to hand out
  return across_ && averaged_ && sums_;
}

void PictureScaler::scale_across(std::span<const unsigned char> row) {
  unsigned char *out = across_.get();
  const long long left = window_.left, right = window_.right;
  if (scaled_width_ == width_) {
    std::memcpy(out, row.data() + left, static_cast<std::size_t>(right - left));
    return;
  }
  // Across the paper a picture pixel spans [i * scaled_width, (i + 1) *
  // scaled_width) and a scaled pixel [x * width, (x + 1) * width).
  long long pos = left * width_, i = pos / scaled_width_;
  for (long long x = left; x < right; ++x) {
    const long long end = (x + 1) * width_;
    std::uint64_t sum = 0;
    while (pos < end) {
      const long long pixel_end = (i + 1) * scaled_width_;
      const long long take = std::min(end, pixel_end) - pos;
      sum += static_cast<std::uint64_t>(take) * row[static_cast<std::size_t>(i)];
      pos += take;
      if (pos == pixel_end) ++i;
    }
    out[x - left] = static_cast<unsigned char>((sum + static_cast<std::uint64_t>(width_) / 2) /
                                               static_cast<std::uint64_t>(width_));
  }
}

std::span<const unsigned char> PictureScaler::take_sums() {
  const auto n = static_cast<std::size_t>(window_.right - window_.left);
  const auto h = static_cast<std::uint64_t>(height_);
  std::uint64_t *sums = sums_.get();
  unsigned char *out = averaged_.get();
  for (std::size_t x = 0; x < n; ++x) {
    out[x] = static_cast<unsigned char>((sums[x] + h / 2) / h);
    sums[x] = 0;
  }
  return {out, n};
}

void place_picture_row(std::span<const unsigned char> visible, long long x, std::span<unsigned char> page_row) {
  std::fill(page_row.begin(), page_row.end(), 255);
  const auto at = static_cast<std::size_t>(std::max(x, 0LL));
  if (at >= page_row.size()) return;
  const std::size_t n = std::min(visible.size(), page_row.size() - at);
  std::copy_n(visible.begin(), n, page_row.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace quorvane::app
