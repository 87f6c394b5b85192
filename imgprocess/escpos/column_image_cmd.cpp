#include "column_image_cmd.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include "image1_layout.hpp"
#include "malloc_buffer.h"
#include "raster_to_image1.h"

namespace qe = quorvane::escpos;

namespace {

enum class Header { NV, GSStar, None };

constexpr std::int64_t header_bytes(Header h) { return h == Header::None ? 0 : 4; }

struct Geometry {
  std::int64_t xb, yb;
  int total;
};

std::optional<Geometry> geometry(int width, int height, Header h) {
  if (!qe::image_fits(width, height)) return std::nullopt;
  const std::int64_t xb = qe::bytes_for_dots(width);
  const std::int64_t yb = qe::bytes_for_dots(height);
  const std::int64_t field_max = h == Header::GSStar ? 0xFF : qe::kField16Max;
  if (h != Header::None && (xb > field_max || yb > field_max)) return std::nullopt;
  const auto total = qe::as_size(header_bytes(h) + xb * yb * 8);
  if (!total) return std::nullopt;
  return Geometry{xb, yb, *total};
}

// Stores the size (0 when refused); returns the cleared output with its
// header written, or nothing when there is no output to fill.
std::optional<std::span<unsigned char>> begin(const std::optional<Geometry> &g, Header h,
                                              unsigned char *output, int *size) {
  if (size != nullptr) *size = g ? g->total : 0;
  if (!g || output == nullptr) return std::nullopt;
  std::span<unsigned char> out(output, static_cast<std::size_t>(g->total));
  std::memset(out.data(), 0, out.size());
  if (h == Header::NV) {
    qe::put_le16(out, g->xb);
    qe::put_le16(out.subspan(2), g->yb);
  } else if (h == Header::GSStar) {
    out[0] = 0x1D;
    out[1] = 0x2A;
    out[2] = static_cast<unsigned char>(g->xb & 0xFF);
    out[3] = static_cast<unsigned char>(g->yb & 0xFF);
  }
  return out.subspan(header_bytes(h));
}

void from_image1(int width, int height, const unsigned char *src, Header h,
                 unsigned char *output, int *size) {
  const auto g = geometry(width, height, h);
  const auto data = begin(g, h, output, size);
  if (!data || src == nullptr) return;
  qe::write_columns({src, static_cast<std::size_t>(width) * height}, width, height, width,
                    g->yb, *data);
}

void from_raster(int row_length, int width, int height, const unsigned char *raster, Header h,
                 unsigned char *output, int *size) {
  auto g = geometry(width, height, h);
  // Shorter rows than the width needs would be read past their end.
  if (height > 0 && row_length < qe::bytes_for_dots(width)) g.reset();
  const auto data = begin(g, h, output, size);
  if (!data || raster == nullptr || width == 0 || height == 0) return;
  const auto pixels = static_cast<std::size_t>(width) * height;
  auto image1 = quorvane::allocate_buffer(pixels);
  if (!image1) return;  // leaves a blank image of the right size
  ConvertHorizontalRasterImageToImage1(row_length, width, height, raster, image1.get());
  qe::write_columns({image1.get(), pixels}, width, height, width, g->yb, *data);
}

}  // namespace

extern "C" {

void Image1ToNVData(int width, int height, const unsigned char *src, unsigned char *output,
                    int *size) {
  from_image1(width, height, src, Header::NV, output, size);
}

void Image1ToGSCmd(int width, int height, const unsigned char *src, unsigned char *output,
                   int *size) {
  from_image1(width, height, src, Header::GSStar, output, size);
}

void ConvertHorizontalRasterImageToNVData(int row_length, int width, int height,
                                          const unsigned char *raster, unsigned char *output,
                                          int *size) {
  from_raster(row_length, width, height, raster, Header::NV, output, size);
}

void ConvertHorizontalRasterImageToDownloadImageCmd(int row_length, int width, int height,
                                                    const unsigned char *raster,
                                                    unsigned char *output, int *size) {
  from_raster(row_length, width, height, raster, Header::GSStar, output, size);
}

void ConvertHorizontalRasterImageToDownloadImageData(int row_length, int width, int height,
                                                     const unsigned char *raster,
                                                     unsigned char *output, int *size) {
  from_raster(row_length, width, height, raster, Header::None, output, size);
}

}  // extern "C"
