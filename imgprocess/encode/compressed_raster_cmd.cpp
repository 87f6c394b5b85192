#include "compressed_raster_cmd.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace {

constexpr int kCommandBytes = 5;       // 1F 28 50 and the 16-bit L
constexpr long long kMaxRowBytes = 65534;  // L = row length + 1 must fit 16 bits
constexpr int kMaxRun = 255;
constexpr int kMaxBody = 255;

struct RowCode {
  int runs = 0;
  bool compress = false;
  int payload = 0;  // L
};

// Decides between the run-length and the raw body in one pass, so no
// scratch copy of the body is needed.
RowCode plan_row(std::span<const unsigned char> row) {
  RowCode c;
  int run = 0;
  bool run_too_long = false;
  for (std::size_t k = 0; k < row.size(); ++k) {
    if (k > 0 && row[k] == row[k - 1]) {
      ++run;
    } else {
      ++c.runs;
      run = 1;
    }
    if (run > kMaxRun) run_too_long = true;
  }
  const long long body = 2LL * c.runs;
  c.compress = !run_too_long && body < static_cast<long long>(row.size()) && body <= kMaxBody;
  c.payload = 1 + (c.compress ? static_cast<int>(body) : static_cast<int>(row.size()));
  return c;
}

void write_payload(std::span<const unsigned char> row, const RowCode &c, unsigned char *out) {
  if (!c.compress) {
    out[0] = 0;
    std::memcpy(out + 1, row.data(), row.size());
    return;
  }
  out[0] = static_cast<unsigned char>(2 * c.runs);
  std::size_t at = 1;
  std::size_t start = 0;
  for (std::size_t k = 1; k <= row.size(); ++k) {
    if (k == row.size() || row[k] != row[start]) {
      out[at++] = row[start];
      out[at++] = static_cast<unsigned char>(k - start);
      start = k;
    }
  }
}

}  // namespace

extern "C" {

void CompressDataBuf(const unsigned char *row, int row_length, unsigned char *output,
                     int *produced_length) {
  if (row == nullptr || row_length < 1 || row_length > kMaxRowBytes) {
    if (produced_length) *produced_length = 0;
    return;
  }
  const std::span<const unsigned char> bytes(row, static_cast<std::size_t>(row_length));
  const RowCode c = plan_row(bytes);
  if (produced_length) *produced_length = c.payload;
  if (output) write_payload(bytes, c, output);
}

void RasterDataToCompressCmd(int width, int rows, const unsigned char *raster,
                             unsigned char *output, int *size) {
  const long long row_bytes = width > 0 ? (static_cast<long long>(width) + 7) / 8 : 0;
  auto fail = [&] {
    if (size) *size = 0;
  };
  if (rows <= 0 || raster == nullptr || row_bytes < 1 || row_bytes > kMaxRowBytes) return fail();

  const auto stride = static_cast<std::size_t>(row_bytes);
  auto row_at = [&](int i) {
    return std::span<const unsigned char>(raster + static_cast<std::size_t>(i) * stride, stride);
  };
  // The total is only known after coding every row; when even the worst case
  // might not fit an int, size the page before writing anything.
  long long total = 0;
  const bool may_overflow = rows * (row_bytes + 1 + kCommandBytes) > INT32_MAX;
  if (output == nullptr || may_overflow) {
    for (int i = 0; i < rows && total <= INT32_MAX; ++i)
      total += kCommandBytes + plan_row(row_at(i)).payload;
    if (total > INT32_MAX) return fail();
    if (size) *size = static_cast<int>(total);
    if (output == nullptr) return;
  }

  total = 0;
  for (int i = 0; i < rows; ++i) {
    const auto row = row_at(i);
    const RowCode c = plan_row(row);
    unsigned char *cmd = output + total;
    cmd[0] = 0x1F;
    cmd[1] = 0x28;
    cmd[2] = 0x50;
    cmd[3] = static_cast<unsigned char>(c.payload & 0xFF);
    cmd[4] = static_cast<unsigned char>((c.payload >> 8) & 0xFF);
    write_payload(row, c, cmd + kCommandBytes);
    total += kCommandBytes + c.payload;
  }
  if (size) *size = static_cast<int>(total);
}

}  // extern "C"
