#include "tspl_print_cmd.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <string_view>

#include "malloc_buffer.h"
#include "prepare/large_buffer.h"

namespace {

constexpr long long kTextAllowance = 4096;

// Text lines are formatted without the C locale's help so that the decimal
// separator is always a point, whatever locale the process runs in.
class TextBuilder {
 public:
  TextBuilder &operator<<(std::string_view s) {
    text_.append(s);
    return *this;
  }
  TextBuilder &integer(long long v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    text_.append(buf, r.ptr);
    return *this;
  }
  // Same digits as printf's %.2f.
  TextBuilder &fixed2(double v) {
    char buf[400];  // %.2f of the largest double needs 312 characters
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
    text_.append(buf, r.ptr);
    return *this;
  }
  const std::string &str() const { return text_; }

 private:
  std::string text_;
};

// mm = integer part of (dots / dpi * 25.4 + 0.5). The division is done in
// single precision: that decides the rounding of sizes near a half millimetre.
long long dots_to_mm(long long dots, int dpi) {
  const float quotient = static_cast<float>(dots) / static_cast<float>(dpi);
  return static_cast<long long>(static_cast<double>(quotient) * 25.4 + 0.5);
}

const char *on_off(int flag) { return flag ? "ON" : "OFF"; }

std::string job_head(const TSPLPrintParam &p, int row_length, int rows) {
  TextBuilder t;
  if (p.hres > 0 && p.vres > 0) {
    t << "SIZE ";
    t.integer(dots_to_mm(static_cast<long long>(row_length) * 8, p.hres)) << " mm,";
    t.integer(dots_to_mm(rows, p.vres)) << " mm\r\n";
  }
  if (p.reference_enable) {
    t << "REFERENCE ";
    t.integer(p.reference_x) << ",";
    t.integer(p.reference_y) << "\r\n";
  }
  if (p.bline_enable) {
    t << "BLINE ";
    t.fixed2(p.bline_height) << " mm,";
    t.fixed2(p.bline_offset) << " mm\r\n";
  }
  if (p.gap_enable) {
    t << "GAP ";
    t.fixed2(p.gap_distance) << " mm,";
    t.fixed2(p.gap_offset) << " mm\r\n";
  }
  if (p.offset_enable) {
    t << "OFFSET ";
    t.fixed2(p.offset) << " mm\r\n";
  }
  if (p.density_enable) {
    t << "DENSITY ";
    t.integer(p.density) << "\r\n";
  }
  if (p.speed_enable) {
    t << "SPEED ";
    t.integer(p.speed) << "\r\n";
  }
  if (p.tear_enable) t << "SET TEAR " << on_off(p.tear_on) << "\r\n";
  if (p.peel_enable) t << "SET PEEL " << on_off(p.peel_on) << "\r\n";
  t << "CLS\r\n";
  // BITMAP x, y, width in bytes, height, mode 1 (overwrite).
  t << "BITMAP 0,0,";
  t.integer(row_length) << ",";
  t.integer(rows) << ",1,";
  return t.str();
}

constexpr std::string_view kJobTail = "\r\nPRINT 1,1\r\n";

}  // namespace

extern "C" {

unsigned char *RasterDataToTSPLPrintCmd(TSPLPrintParam param, int row_length, int rows,
                                        const unsigned char *raster, int *size) {
  if (size) *size = 0;
  if (row_length < 0 || rows < 0) return nullptr;
  const long long data = static_cast<long long>(row_length) * rows;
  if (raster == nullptr && data > 0) return nullptr;
  if (data > INT32_MAX) return nullptr;

  std::string head;
  try {
    head = job_head(param, row_length, rows);
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
  const long long used = static_cast<long long>(head.size()) + data +
                         static_cast<long long>(kJobTail.size());
  const long long capacity = std::max(data + kTextAllowance, used);
  if (capacity > INT32_MAX) return nullptr;

  quorvane::MallocBuffer job = quorvane::allocate_large_zeroed_buffer(static_cast<std::size_t>(capacity));
  if (!job) return nullptr;
  const std::span<unsigned char> out(job.get(), static_cast<std::size_t>(capacity));
  auto at = out.begin();
  at = std::copy(head.begin(), head.end(), at);
  // The printer prints 0 bits: each byte goes inverted.
  if (data > 0) {
    const std::span<const unsigned char> bits(raster, static_cast<std::size_t>(data));
    at = std::transform(bits.begin(), bits.end(), at,
                        [](unsigned char b) { return static_cast<unsigned char>(~b); });
  }
  std::copy(kJobTail.begin(), kJobTail.end(), at);
  if (size) *size = static_cast<int>(used);
  return job.release();
}

}  // extern "C"
