#include "tm88iv_cmd.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include "image1_layout.hpp"

namespace qe = quorvane::escpos;

namespace {

constexpr std::int64_t kHeaderBytes = 17;
constexpr std::array<unsigned char, 9> kPrintBuffer = {0x1D, 0x38, 0x4C, 0x02, 0x00,
                                                       0x00, 0x00, 0x30, 0x02};

struct Geometry {
  std::int64_t row_bytes;  // W / 8
  std::int64_t rows;       // H
  int total;
};

std::optional<Geometry> geometry(int width, int height) {
  if (!qe::image_fits(width, height)) return std::nullopt;
  const std::int64_t row_bytes = qe::bytes_for_dots(width);
  const std::int64_t rows = qe::round_up8(height);
  if (row_bytes * 8 > qe::kField16Max || rows > qe::kField16Max) return std::nullopt;
  const auto total = qe::as_size(row_bytes * rows + kHeaderBytes + kPrintBuffer.size());
  if (!total) return std::nullopt;
  return Geometry{row_bytes, rows, *total};
}

// Stores the size; returns the cleared job with header and trailer written
// and the data area still blank.
std::optional<std::span<unsigned char>> begin(const std::optional<Geometry> &g,
                                              unsigned char *output, int *size) {
  if (size != nullptr) *size = g ? g->total : 0;
  if (!g || output == nullptr) return std::nullopt;
  std::span<unsigned char> out(output, static_cast<std::size_t>(g->total));
  std::memset(out.data(), 0, out.size());
  const std::int64_t k = g->row_bytes * g->rows;
  const std::array<unsigned char, 7> fn112 = {0x1D, 0x38, 0x4C, 0, 0, 0, 0};
  std::copy(fn112.begin(), fn112.end(), out.begin());
  qe::put_le32(out.subspan(3), static_cast<std::uint32_t>(k + 10));
  const std::array<unsigned char, 6> params = {0x30, 0x70, 0x30, 0x01, 0x01, 0x31};
  std::copy(params.begin(), params.end(), out.begin() + 7);
  qe::put_le16(out.subspan(13), g->row_bytes * 8);
  qe::put_le16(out.subspan(15), g->rows);
  std::copy(kPrintBuffer.begin(), kPrintBuffer.end(), out.end() - kPrintBuffer.size());
  return out.subspan(kHeaderBytes, k);
}

}  // namespace

extern "C" {

void Image1ToTM88IVRasterCmd(int width, int height, const unsigned char *src,
                             unsigned char *output, int *size) {
  const auto g = geometry(width, height);
  const auto data = begin(g, output, size);
  if (!data || src == nullptr) return;
  const std::span<const unsigned char> image(src, static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    qe::pack_image1_row(image, width, y, data->subspan(y * g->row_bytes, g->row_bytes));
}

void ConvertHorizontalRasterImageToEpsonTM88IVGS8Cmd(int row_length, int width, int height,
                                                     const unsigned char *raster,
                                                     unsigned char *output, int *size) {
  auto g = geometry(width, height);
  // Shorter rows than the width needs would be read past their end.
  if (g && height > 0 && row_length < g->row_bytes) g.reset();
  const auto data = begin(g, output, size);
  if (!data || raster == nullptr) return;
  const std::span<const unsigned char> in(raster, static_cast<std::size_t>(row_length) * height);
  for (int y = 0; y < height; ++y) {
    const auto row = in.subspan(static_cast<std::size_t>(y) * row_length, g->row_bytes);
    std::copy(row.begin(), row.end(), data->begin() + y * g->row_bytes);
  }
}

}  // extern "C"
