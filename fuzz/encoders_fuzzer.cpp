// The page command encoders on fuzzed mono rasters and parameters: the
// two-call encoders into buffers of exactly the reported size, the
// allocating ones read back over their whole reported length. The banded and
// run-length commands are decoded again and must give back the raster.
//
// Input: an encoder byte, the geometry and parameters, then raster data.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "img2esccmd.h"

using quorvane::fuzz::exact_buffer;
using quorvane::fuzz::two_call;
using quorvane::fuzz::Input;
using quorvane::fuzz::require;
using quorvane::fuzz::touch;

namespace {

struct Mono {
  int row_length, rows;
  std::vector<unsigned char> raster;
};

Mono mono_raster(Input &in) {
  Mono m;
  m.row_length = in.range(0, 90);
  m.rows = in.range(0, 120);
  const unsigned mode = in.byte() % 3;
  m.raster = in.bytes(std::size_t(m.row_length) * m.rows);
  // The encoders are given a raster even when it has no bytes.
  if (m.raster.empty()) m.raster.resize(1);
  // Long runs as well as noise, so both row codings are taken.
  if (mode == 1)
    for (auto &b : m.raster) b = b & 0x10 ? 0xFF : 0x00;
  if (mode == 2)
    for (auto &b : m.raster) b = b & 0x03;
  return m;
}

unsigned get16(const unsigned char *p) { return p[0] | p[1] << 8; }

// GS v 0 blocks back to rows; false when the bytes are not whole blocks.
bool decode_bands(const std::vector<unsigned char> &cmd, int row_length, std::string &rows) {
  std::size_t at = 0;
  while (at < cmd.size()) {
    if (cmd.size() - at < 8 || cmd[at] != 0x1D || cmd[at + 1] != 0x76 || cmd[at + 2] != 0x30 ||
        cmd[at + 3] != 0)
      return false;
    const unsigned width = get16(&cmd[at + 4]), height = get16(&cmd[at + 6]);
    if (width != unsigned(row_length)) return false;
    const std::size_t n = std::size_t(width) * height;
    if (cmd.size() - at - 8 < n) return false;
    rows.append(reinterpret_cast<const char *>(&cmd[at + 8]), n);
    at += 8 + n;
  }
  return true;
}

void banded(Input &in, bool one_block) {
  const Mono m = mono_raster(in);
  const int band = in.range(-1, 40);
  const auto cmd = two_call([&](unsigned char *out, int *size) {
    if (one_block)
      RasterDataToRasterCmd(m.row_length, m.rows, m.raster.data(), out, size);
    else
      RasterDataToRasterCmdSpecifyBankHeight(m.row_length, m.rows, m.raster.data(), band, out,
                                             size);
  });
  if (cmd.empty()) {
    require(!one_block && (band < 1 || m.rows == 0), "banded size 0");
    return;
  }
  std::string rows;
  require(decode_bands(cmd, m.row_length, rows), "band structure");
  require(rows == std::string(m.raster.begin(),
                             m.raster.begin() + std::size_t(m.row_length) * m.rows),
          "band rows");
}

void compressed(Input &in) {
  const Mono m = mono_raster(in);
  const int width = m.row_length * 8 - in.range(0, 7);
  const auto cmd = two_call([&](unsigned char *out, int *size) {
    RasterDataToCompressCmd(width, m.rows, m.raster.data(), out, size);
  });
  const int row_bytes = width > 0 ? (width + 7) / 8 : 0;
  if (cmd.empty()) {
    require(m.rows == 0 || row_bytes == 0, "compressed size 0");
    return;
  }
  // Back to rows: 1F 28 50 L, then a raw row (kind 0) or value/count pairs.
  std::string rows;
  std::size_t at = 0;
  while (at < cmd.size()) {
    require(cmd.size() - at >= 6 && cmd[at] == 0x1F && cmd[at + 1] == 0x28 && cmd[at + 2] == 0x50,
            "row command");
    const std::size_t length = get16(&cmd[at + 3]);
    require(length >= 1 && cmd.size() - at - 5 >= length, "row length");
    const unsigned char *payload = &cmd[at + 5];
    std::string row;
    if (payload[0] == 0) {
      row.assign(reinterpret_cast<const char *>(payload + 1), length - 1);
    } else {
      require(payload[0] == length - 1 && length % 2 == 1, "run body length");
      for (std::size_t k = 1; k < length; k += 2)
        row.append(payload[k + 1], static_cast<char>(payload[k]));
    }
    require(row.size() == std::size_t(row_bytes), "decoded row size");
    rows += row;
    at += 5 + length;
  }
  require(rows == std::string(m.raster.begin(), m.raster.begin() + std::size_t(row_bytes) * m.rows),
          "decoded rows");
}

void jbig(Input &in) {
  Mono m = mono_raster(in);
  m.rows = std::min(m.rows, 60);
  const int width = m.row_length * 8;
  int size = -1, written = -1;
  RasterDataToJBIG5Cmd(width, m.rows, m.raster.data(), nullptr, 0, &size, &written);
  require(size >= 0 && written == 0, "size query");
  if (size == 0) return;
  // A capacity short of the size leaves bands out, never writes past it.
  const int capacity = in.flag() ? size : in.range(0, size);
  auto out = exact_buffer(std::size_t(capacity));
  int size2 = -1;
  RasterDataToJBIG5Cmd(width, m.rows, m.raster.data(), out.data(), capacity, &size2, &written);
  require(size2 == size, "second call size");
  require(written >= 0 && written <= capacity, "written within capacity");
  if (capacity == size) require(written == size, "all bands written");
  touch(out.data(), std::size_t(written));
}

void label(Input &in) {
  const Mono m = mono_raster(in);
  const int x = in.range(-2, 70000), y = in.range(-2, 70000);
  const int width = m.row_length * 8 - in.range(0, 7);
  const int row_bytes = width > 0 ? (width + 7) / 8 : 0;
  const auto cmd = two_call([&](unsigned char *out, int *size) {
    RasterDataToLabelPrintCmd(x, y, width, m.rows, m.raster.data(), out, size);
  });
  if (!cmd.empty()) require(cmd.size() == 32 + std::size_t(row_bytes) * m.rows, "label size");
}

double dimension(Input &in) { return in.range(-100, 1000) / 10.0; }

void tspl(Input &in) {
  const Mono m = mono_raster(in);
  TSPLPrintParam p{};
  p.hres = in.range(-1, 1200);
  p.vres = in.range(-1, 1200);
  p.reference_enable = in.flag();
  p.reference_x = in.range(-10, 1000);
  p.reference_y = in.range(-10, 1000);
  p.bline_enable = in.flag();
  p.bline_height = dimension(in);
  p.bline_offset = dimension(in);
  p.gap_enable = in.flag();
  p.gap_distance = dimension(in);
  p.gap_offset = dimension(in);
  p.offset_enable = in.flag();
  p.offset = dimension(in);
  p.density_enable = in.flag();
  p.density = in.range(-5, 20);
  p.speed_enable = in.flag();
  p.speed = in.range(-5, 20);
  p.tear_enable = in.flag();
  p.tear_on = in.flag();
  p.peel_enable = in.flag();
  p.peel_on = in.flag();
  int size = -1;
  unsigned char *job = RasterDataToTSPLPrintCmd(p, m.row_length, m.rows, m.raster.data(), &size);
  require((job != nullptr && size > 0) || m.row_length == 0, "TSPL job");
  touch(job, std::size_t(size));
  std::free(job);
}

void orx(Input &in) {
  Mono m = mono_raster(in);
  ORXPrintParam p{};
  p.hres = in.range(-1, 1200);
  p.vres = in.range(-1, 1200);
  p.paper_type = in.range(-1, 3);
  p.image_compression = in.range(-1, 3);
  if (p.image_compression == 2) m.rows = std::min(m.rows, 60);
  p.density_enable = in.flag();
  p.density = in.range(-5, 20);
  p.speed_enable = in.flag();
  p.speed = in.range(-5, 20);
  p.finish_print_feed = in.range(-5, 3000);
  p.finish_print_cut = in.range(-1, 3);
  int size = -1;
  unsigned char *job = RasterDataToORXPrintCmd(p, m.row_length, m.rows, m.raster.data(), &size);
  require(size >= 0 && (job != nullptr || size == 0), "ORX result and size");
  if (job) touch(job, std::size_t(size));
  std::free(job);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  Input in(data, size);
  switch (in.byte() % 8) {
    case 0: banded(in, true); break;
    case 1: banded(in, false); break;
    case 2: compressed(in); break;
    case 3: jbig(in); break;
    case 4: label(in); break;
    case 5: tspl(in); break;
    case 6: orx(in); break;
    default: {
      // One row through the row coder alone.
      const int length = in.range(0, 300);
      const auto row = in.bytes(std::size_t(length));
      int produced = -1;
      CompressDataBuf(row.data(), length, nullptr, &produced);
      require(produced >= 0 && produced <= length + 1, "row payload length");
      if (produced == 0) break;
      auto out = exact_buffer(std::size_t(produced));
      CompressDataBuf(row.data(), length, out.data(), &produced);
      break;
    }
  }
  return 0;
}
