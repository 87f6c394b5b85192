// The image preparation and binarisation operations on fuzzed geometry and
// pixels, within their contracts: buffers of exactly the size the contract
// asks for, each result checked against a plain model of the operation or
// at least against its sizes and padding bits.
//
// Input: an operation byte, the geometry, then pixel data.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "img2esccmd.h"

using quorvane::fuzz::exact_buffer;
using quorvane::fuzz::Input;
using quorvane::fuzz::require;
using quorvane::fuzz::touch;

namespace {

struct Gray {
  int width, height, stride;
  std::vector<unsigned char> pixels;
  const unsigned char *row(int i) const { return pixels.data() + std::size_t(i) * stride; }
};

Gray gray_image(Input &in, int max_width = 300, int max_height = 48) {
  Gray g;
  g.width = in.range(0, max_width);
  g.height = in.range(0, max_height);
  g.stride = g.width + in.range(0, 9);
  // Mostly white or mostly dark pages give long blank runs and margins.
  const unsigned mode = in.byte() % 4;
  g.pixels = in.bytes(std::size_t(g.stride) * g.height);
  for (auto &p : g.pixels) {
    if (mode == 1) p = p & 0x80 ? p : 255;
    if (mode == 2) p = p < 200 ? 255 : 0;
  }
  return g;
}

// Byte ranges compare equal; empty ones (perhaps without a buffer) always do.
bool same(const unsigned char *a, const unsigned char *b, std::size_t n) {
  return n == 0 || std::memcmp(a, b, n) == 0;
}

bool blank_row(const unsigned char *row, int width, unsigned char value) {
  return std::all_of(row, row + std::max(width, 0), [&](unsigned char p) { return p == value; });
}

// Consecutive blank rows from `from` downwards, at most `limit`.
int blank_run(const Gray &g, int from, int limit, unsigned char value) {
  int n = 0;
  while (n < limit && blank_row(g.row(from + n), g.width, value)) ++n;
  return n;
}

void striping(Input &in) {
  const Gray g = gray_image(in);
  const unsigned char blank = in.flag() ? 255 : static_cast<unsigned char>(in.byte());
  const int top = in.range(-2, 20), middle = in.range(-2, 20), bottom = in.range(-2, 20);
  auto dst = exact_buffer(std::size_t(g.stride) * g.height);
  int rows = -1;
  GetStripedBitmap(g.pixels.data(), g.width, g.height, g.stride, blank, top, middle, bottom,
                   dst.data(), &rows);

  // The kept rows, as the paper-saving rules give them.
  std::vector<int> kept;
  int start = 0, end = g.height;
  if (top > 0) {
    const int lead = blank_run(g, 0, g.height, blank);
    if (lead > top) start = lead - top;
  }
  if (bottom > 0) {
    int trail = 0;
    while (trail < end - start && blank_row(g.row(end - 1 - trail), g.width, blank)) ++trail;
    if (trail > bottom) end = g.height - (trail - bottom);
  }
  for (int r = start; r < end;) {
    const int run = middle > 0 ? blank_run(g, r, end - r, blank) : 0;
    if (middle <= 0 || run == 0) {
      kept.push_back(r++);
    } else {
      for (int k = 0; k < std::min(run, middle); ++k) kept.push_back(r + k);
      r += run;
    }
  }
  require(rows == static_cast<int>(kept.size()), "striped row count");
  for (std::size_t k = 0; k < kept.size(); ++k)
    require(same(dst.data() + k * g.stride, g.row(kept[k]), g.stride),
            "striped row");
}

void upside_down(Input &in) {
  Gray g = gray_image(in);
  const int length = in.range(0, g.stride * g.height);
  std::vector<unsigned char> want = g.pixels;
  std::reverse(want.begin(), want.begin() + length);
  UpsideDownGrayImage(g.pixels.data(), length);
  require(g.pixels == want, "upside down");
}

void margins(Input &in) {
  Gray g = gray_image(in);
  const unsigned char value = in.flag() ? 255 : static_cast<unsigned char>(in.byte());
  const int strip_left = in.range(0, 2), strip_right = in.range(0, 2);
  auto blank_column = [&](int j) {
    for (int i = 0; i < g.height; ++i)
      if (g.row(i)[j] != value) return false;
    return true;
  };
  int left = 0;
  while (left < g.width && blank_column(left)) ++left;
  int right = 0;
  while (right < g.width && blank_column(g.width - 1 - right)) ++right;
  require(GetGrayImageLeftPadding(g.pixels.data(), g.width, g.height, g.stride, value) == left,
          "left padding");
  require(GetGrayImageRightPadding(g.pixels.data(), g.width, g.height, g.stride, value) == right,
          "right padding");

  // Model: right first (nothing moves), then left over the reduced width.
  std::vector<unsigned char> want = g.pixels;
  int w = g.width;
  if (strip_right && w > 0) w -= std::min(right, w - 1);
  if (strip_left && w > 0) {
    int l = 0;
    while (l < w && blank_column(l)) ++l;
    l = std::min(l, w - 1);
    w -= l;
    if (l > 0)
      for (int i = 0; i < g.height; ++i) {
        unsigned char *row = want.data() + std::size_t(i) * g.stride;
        std::memmove(row, row + l, w);
      }
  }
  int out_width = -1;
  StripGrayImageLeftRightPadding(g.pixels.data(), g.width, g.height, g.stride, value, strip_left,
                                 strip_right, &out_width);
  require(out_width == w, "stripped width");
  for (int i = 0; i < g.height; ++i)
    require(same(g.row(i), want.data() + std::size_t(i) * g.stride, w),
            "stripped row");
}

void truncation(Input &in) {
  Gray g = gray_image(in);
  if (g.width < 2 || g.height < 1) return;
  const int target = in.range(1, g.width - 1);
  const Gray before = g;
  require(TurncateGrayImageToDstWidth(g.pixels.data(), g.width, g.height, g.stride, target),
          "truncation result");
  const int from = (g.width - target) / 2;
  for (int i = 0; i < g.height; ++i)
    require(same(g.pixels.data() + std::size_t(i) * target, before.row(i) + from,
                        target),
            "truncated row");
}

void layout(Input &in) {
  const Gray g = gray_image(in);
  const int cw = in.range(0, 320), ch = in.range(0, 60), cs = cw + in.range(0, 5);
  const int x = in.range(-400, 400), y = in.range(-70, 70);
  unsigned char *canvas = LayoutGrayImageToNewImage(g.pixels.data(), g.width, g.height, g.stride,
                                                    cw, ch, cs, x, y);
  require(canvas != nullptr || std::size_t(cs) * ch == 0, "canvas");
  if (!canvas) return;
  for (int i = 0; i < ch; ++i)
    for (int j = 0; j < cs; ++j) {
      const int si = i - y, sj = j - x;
      const bool covered = j < cw && si >= 0 && si < g.height && sj >= 0 && sj < g.width;
      require(canvas[std::size_t(i) * cs + j] == (covered ? g.row(si)[sj] : 255),
              "canvas pixel");
    }
  std::free(canvas);
}

// A mono raster of the image's size whose bits past the width are clear.
void check_mono(const unsigned char *mono, int size, int width_stride, int width, int height) {
  require(width_stride == (width + 7) / 8, "width_stride");
  require(size == width_stride * height, "mono size");
  touch(mono, std::size_t(size));
  if (width % 8)
    for (int i = 0; i < height; ++i)
      require((mono[std::size_t(i) * width_stride + width_stride - 1] & (0xFF >> (width % 8))) ==
                  0,
              "padding bits");
}

void two_call_binarisation(Input &in, bool dithering) {
  const Gray g = gray_image(in);
  auto convert = dithering ? ConvertGrayImageToMonoFormatUseDithering
                           : ConvertGrayImageToMonoFormatUseThresholding;
  int size = -1, width_stride = -1;
  convert(g.pixels.data(), g.width, g.height, g.stride, nullptr, &size, &width_stride);
  require(size >= 0, "size");
  if (size == 0) return;
  auto mono = exact_buffer(std::size_t(size));
  int size2 = -1, width_stride2 = -1;
  convert(g.pixels.data(), g.width, g.height, g.stride, mono.data(), &size2, &width_stride2);
  require(size2 == size && width_stride2 == width_stride, "second call sizes");
  check_mono(mono.data(), size, width_stride, g.width, g.height);
  if (dithering)
    for (int i = 0; i < g.height; ++i)
      for (int j = 0; j < g.width; ++j) {
        const bool dot = mono[std::size_t(i) * width_stride + j / 8] & (0x80 >> (j % 8));
        require(dot == (g.row(i)[j] <= Floyd16x16[i % 16][j % 16]), "dithered dot");
      }
}

void error_diffusion(Input &in, bool classic) {
  const Gray g = gray_image(in, 200, 40);
  int size = -1, width_stride = -1;
  unsigned char *mono =
      classic ? ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusion(
                    g.pixels.data(), g.width, g.height, g.stride, &size, &width_stride)
              : Trellimo_ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusionV2(
                    g.pixels.data(), g.width, g.height, g.stride, &size, &width_stride);
  require((mono != nullptr) == (g.width > 0 && g.height > 0), "diffusion result");
  if (!mono) return;
  check_mono(mono, size, width_stride, g.width, g.height);
  // Pure white never prints, pure black always does.
  for (int i = 0; i < g.height; ++i)
    for (int j = 0; j < g.width; ++j) {
      const bool dot = mono[std::size_t(i) * width_stride + j / 8] & (0x80 >> (j % 8));
      if (g.row(i)[j] == 0 && !classic) require(dot, "black pixel printed");
    }
  std::free(mono);
}

void diffusion_plane(Input &in) {
  const int width = in.range(0, 64), height = in.range(0, 32);
  const auto levels = in.bytes(std::size_t(width) * height);
  std::vector<double> src(levels.begin(), levels.begin() + std::ptrdiff_t(width) * height);
  std::vector<double> dst(src.size());
  const bool in_place = in.flag();
  Trellimo_ImgUtils_dither_image_5x5(width, height, src.data(), in_place ? src.data() : dst.data());
  for (double v : in_place ? src : dst) require(v == 0.0 || v == 255.0, "plane value");
}

int bytes_per_row(int format, int width) {
  switch (format) {
    case 1:
    case 2:
      return (width + 7) / 8;
    case 3:
      return width;
    case 4:
    case 5:
      return 3 * width;
    case 6:
    case 7:
    case 8:
    case 9:
      return 4 * width;
    default:
      return width;
  }
}

void pixel_formats(Input &in, bool to_mono) {
  const int format = in.range(0, 10);
  const int width = in.range(0, 200), height = in.range(0, 40);
  const int stride = bytes_per_row(format, width) + in.range(0, 6);
  const auto data = in.bytes(std::size_t(stride) * height);
  auto convert = to_mono ? ConvertImageToMonoFormat : ConvertImageToGrayFormat;
  int size = -1, out_stride = -1;
  convert(data.data(), width, height, stride, format, nullptr, &size, &out_stride);
  require(size >= 0, "size");
  if (size == 0) return;
  auto out = exact_buffer(std::size_t(size));
  int size2 = -1, out_stride2 = -1;
  convert(data.data(), width, height, stride, format, out.data(), &size2, &out_stride2);
  require(size2 == size && out_stride2 == out_stride, "second call sizes");
  if (to_mono && format >= 3)
    check_mono(out.data(), size, out_stride, width, height);
  else if (to_mono)  // 1-bit sources are copied as they stand, padding bits included
    require(out_stride == (width + 7) / 8 && size == out_stride * height, "mono size");
  else
    require(out_stride == width && size == width * height, "gray size");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  Input in(data, size);
  switch (in.byte() % 12) {
    case 0: striping(in); break;
    case 1: upside_down(in); break;
    case 2: margins(in); break;
    case 3: truncation(in); break;
    case 4: layout(in); break;
    case 5: two_call_binarisation(in, true); break;
    case 6: two_call_binarisation(in, false); break;
    case 7: error_diffusion(in, false); break;
    case 8: error_diffusion(in, true); break;
    case 9: diffusion_plane(in); break;
    case 10: pixel_formats(in, false); break;
    default: pixel_formats(in, true); break;
  }
  return 0;
}
