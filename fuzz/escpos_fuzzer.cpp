// The ESC/POS image command library on fuzzed images: every two-call
// operation into buffers of exactly the reported size, and the routes that
// must agree checked against each other (an Image1 and the Mono raster made
// from it give the same NV, GS * and GS 8 L bytes; multi-line bands equal
// the banded raster command; a raster unpacks back to its Image1).
//
// Input: an operation byte, the geometry, then image data.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "img2esccmd.h"

using quorvane::fuzz::exact_buffer;
using quorvane::fuzz::two_call;
using quorvane::fuzz::Input;
using quorvane::fuzz::require;
using quorvane::fuzz::touch;

namespace {

struct Image1 {
  int width, height;
  std::vector<unsigned char> dots;  // any non-zero byte is a dot
};

Image1 image1(Input &in, int max_width, int max_height) {
  Image1 img;
  img.width = in.range(0, max_width);
  img.height = in.range(0, max_height);
  img.dots = in.bytes(std::size_t(img.width) * img.height);
  const unsigned mode = in.byte() % 3;
  for (auto &d : img.dots) {
    if (mode == 1) d &= 1;
    if (mode == 2) d = d < 0x20;
  }
  if (img.dots.empty()) img.dots.resize(1);
  return img;
}

// The Image1 as a Mono raster, and that raster unpacked again.
std::vector<unsigned char> raster_of(const Image1 &img) {
  auto raster = two_call([&](unsigned char *out, int *size) {
    Image1ToRasterData(img.width, img.height, img.dots.data(), out, size);
  });
  const int row_length = (img.width + 7) / 8;
  require(raster.size() == std::size_t(row_length) * img.height, "raster size");
  if (raster.empty()) return raster;
  auto back = exact_buffer(std::size_t(img.width) * img.height);
  ConvertHorizontalRasterImageToImage1(row_length, img.width, img.height, raster.data(),
                                       back.data());
  for (std::size_t k = 0; k < std::size_t(img.width) * img.height; ++k)
    require(back[k] == (img.dots[k] != 0), "raster unpacks to the image");
  return raster;
}

void depth(Input &in) {
  const int width = in.range(0, 120), height = in.range(0, 40);
  const std::size_t n = std::size_t(width) * height;
  const auto bytes = in.bytes(n * 4);
  std::vector<std::uint32_t> rgb(std::max<std::size_t>(n, 1));
  std::memcpy(rgb.data(), bytes.data(), n * 4);
  auto gray = exact_buffer(n), dots = exact_buffer(n), dots8 = exact_buffer(n);
  Image32ToImage8(width, height, rgb.data(), gray.data());
  Image32ToImage1(width, height, rgb.data(), dots.data());
  Image8ToImage1(width, height, gray.data(), dots8.data());
  if (width > 0 && height > 0)
    for (std::size_t k = 0; k < n; ++k)
      require(dots[k] <= 1 && dots8[k] <= 1, "Image1 dots are 0 or 1");
}

void raster_commands(Input &in) {
  const Image1 img = image1(in, 200, 60);
  raster_of(img);
  const auto cmd = two_call([&](unsigned char *out, int *size) {
    Image1ToRasterCmd(img.width, img.height, img.dots.data(), out, size);
  });
  const auto lines = two_call([&](unsigned char *out, int *size) {
    Image1ToEachLineRasterCmd(img.width, img.height, img.dots.data(), out, size);
  });
  const std::size_t row_length = (img.width + 7) / 8, rows = (img.height + 7) / 8 * 8;
  if (!cmd.empty()) require(cmd.size() == 8 + row_length * rows, "GS v 0 size");
  if (!lines.empty()) require(lines.size() == (8 + row_length) * rows, "line commands size");
}

void multi_line(Input &in) {
  const unsigned row_length = in.range(0, 80), height = in.range(0, 100);
  const unsigned rows_per_cmd = in.range(0, 30);
  auto raster = in.bytes(std::size_t(row_length) * height);
  for (auto &b : raster) b = b & 0x40 ? b : 0;  // blank rows now and then
  if (raster.empty()) raster.resize(1);
  unsigned size = 1234;
  RasterDataToMultiLineRasterCmd(row_length, height, raster.data(), rows_per_cmd, nullptr, &size);
  int banded = -1;
  RasterDataToRasterCmdSpecifyBankHeight(int(row_length), int(height), raster.data(),
                                         int(rows_per_cmd), nullptr, &banded);
  require(size == unsigned(banded), "multi-line size equals banded size");
  if (size) {
    auto a = exact_buffer(size, 0), b = exact_buffer(size, 0);
    RasterDataToMultiLineRasterCmd(row_length, height, raster.data(), rows_per_cmd, a.data(),
                                   &size);
    RasterDataToRasterCmdSpecifyBankHeight(int(row_length), int(height), raster.data(),
                                           int(rows_per_cmd), b.data(), &banded);
    require(a == b, "multi-line bytes equal banded bytes");
  }
  const bool top = in.flag(), bottom = in.flag();
  unsigned stripped = 1234;
  RasterDataToMultiLineRasterCmdWithStrip(row_length, int(height), raster.data(), rows_per_cmd,
                                          nullptr, &stripped, top, bottom);
  require(stripped <= size || size == 0, "stripping never grows the job");
  if (stripped) {
    auto out = exact_buffer(stripped);
    RasterDataToMultiLineRasterCmdWithStrip(row_length, int(height), raster.data(),
                                            rows_per_cmd, out.data(), &stripped, top, bottom);
  }
}

void overbound(Input &in) {
  const int row_length = in.range(0, 40), height = in.range(0, 30);
  const int first_dot = in.range(-3, row_length * 8 + 10);
  auto raster = in.bytes(std::size_t(row_length) * height);
  const auto before = raster;
  const int value = in.range(0, 2);
  if (raster.empty()) raster.resize(1);
  RasterDataSetOverbound(row_length, first_dot, height, raster.data(), value);
  if (first_dot < 0) return;
  for (int i = 0; i < height; ++i)
    for (int j = 0; j < row_length * 8; ++j) {
      const std::size_t k = std::size_t(i) * row_length + j / 8;
      const unsigned char bit = 0x80 >> (j % 8);
      const bool want = j >= first_dot ? value != 0 : (before[k] & bit) != 0;
      require(((raster[k] & bit) != 0) == want, "overbound dot");
    }
}

void column_images(Input &in) {
  const Image1 img = image1(in, 300, 300);
  const auto raster = raster_of(img);
  const int row_length = (img.width + 7) / 8;
  const unsigned char *r = raster.empty() ? img.dots.data() : raster.data();
  const auto nv1 = two_call([&](unsigned char *out, int *size) {
    Image1ToNVData(img.width, img.height, img.dots.data(), out, size);
  });
  const auto nv2 = two_call([&](unsigned char *out, int *size) {
    ConvertHorizontalRasterImageToNVData(row_length, img.width, img.height, r, out, size);
  });
  require(nv1 == nv2, "NV data by both routes");
  const auto gs1 = two_call([&](unsigned char *out, int *size) {
    Image1ToGSCmd(img.width, img.height, img.dots.data(), out, size);
  });
  const auto gs2 = two_call([&](unsigned char *out, int *size) {
    ConvertHorizontalRasterImageToDownloadImageCmd(row_length, img.width, img.height, r, out,
                                                   size);
  });
  require(gs1 == gs2, "GS * by both routes");
  const auto data = two_call([&](unsigned char *out, int *size) {
    ConvertHorizontalRasterImageToDownloadImageData(row_length, img.width, img.height, r, out,
                                                    size);
  });
  if (!gs1.empty())
    require(gs1.size() == data.size() + 4 && std::equal(data.begin(), data.end(), gs1.begin() + 4),
            "GS * data after its header");
  // A row length beyond the image's is a valid raster too.
  const int wider = row_length + in.range(0, 3);
  auto padded = exact_buffer(std::size_t(wider) * img.height, 0);
  for (int i = 0; i < img.height; ++i)
    if (row_length)
      std::memcpy(padded.data() + std::size_t(i) * wider, r + std::size_t(i) * row_length,
                  row_length);
  const auto nv3 = two_call([&](unsigned char *out, int *size) {
    ConvertHorizontalRasterImageToNVData(wider, img.width, img.height, padded.data(), out, size);
  });
  require(nv3 == nv1, "NV data from a padded raster");
}

void tm88iv(Input &in) {
  const Image1 img = image1(in, 200, 100);
  const auto raster = raster_of(img);
  const int row_length = (img.width + 7) / 8;
  const unsigned char *r = raster.empty() ? img.dots.data() : raster.data();
  const auto a = two_call([&](unsigned char *out, int *size) {
    Image1ToTM88IVRasterCmd(img.width, img.height, img.dots.data(), out, size);
  });
  const auto b = two_call([&](unsigned char *out, int *size) {
    ConvertHorizontalRasterImageToEpsonTM88IVGS8Cmd(row_length, img.width, img.height, r, out,
                                                    size);
  });
  require(a == b, "TM88IV by both routes");
  if (!a.empty()) {
    const std::size_t k = std::size_t(row_length) * ((img.height + 7) / 8 * 8);
    require(a.size() == k + 26, "TM88IV size");
  }
}

void vertical(Input &in) {
  const Image1 img = image1(in, 200, 100);
  int height_stride = -1;
  const auto v = two_call([&](unsigned char *out, int *size) {
    ConvertImage1ToVerticalRasterImage(img.width, img.height, img.dots.data(), &height_stride,
                                       out, size);
  });
  if (!v.empty()) {
    require(height_stride == (img.height + 7) / 8, "height stride");
    for (int x = 0; x < img.width; ++x)
      for (int y = 0; y < img.height; ++y) {
        const bool dot = v[std::size_t(x) * height_stride + y / 8] & (0x80 >> (y % 8));
        require(dot == (img.dots[std::size_t(y) * img.width + x] != 0), "column dot");
      }
  }
  const int hs = in.range(-1, 20);
  two_call([&](unsigned char *out, int *size) {
    ConvertImage1ToVerticalRasterImageSpecifyHeightStride(img.width, img.height, img.dots.data(),
                                                          hs, out, size);
  });
  const int wa = in.range(-1, 8), ha = in.range(-1, 8);
  two_call([&](unsigned char *out, int *size) {
    ConvertImage1ToVerticalRasterImageSpecifyByteAlignment(img.width, img.height,
                                                           img.dots.data(), wa, ha, out, size);
  });
  const int columns = in.range(0, 250), column_bytes = in.range(0, 20);
  auto out = exact_buffer(std::size_t(columns) * column_bytes);
  ConvertImage1ToVerticalRasterImageSpecifyDstWidthAndHeight(img.width, img.height,
                                                             img.dots.data(), columns,
                                                             column_bytes, out.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  Input in(data, size);
  switch (in.byte() % 7) {
    case 0: depth(in); break;
    case 1: raster_commands(in); break;
    case 2: multi_line(in); break;
    case 3: overbound(in); break;
    case 4: column_images(in); break;
    case 5: tm88iv(in); break;
    default: vertical(in); break;
  }
  return 0;
}
