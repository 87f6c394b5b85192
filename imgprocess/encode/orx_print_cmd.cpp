#include "orx_print_cmd.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "banded_raster_cmd.h"
#include "malloc_buffer.h"
#include "prepare/large_buffer.h"
#include "single_pass.h"

namespace {

constexpr long long kCommandAllowance = 4096;
constexpr int kBandRows = 24;
constexpr int kFeedStep = 255;  // ESC J takes one byte, and the job feeds in steps of 255

// A short run of command bytes built before the buffer exists.
struct Commands {
  std::array<unsigned char, 16> bytes{};
  std::size_t length = 0;
  void add(std::initializer_list<unsigned char> b) {
    for (unsigned char c : b) bytes[length++] = c;
  }
  std::span<const unsigned char> view() const { return {bytes.data(), length}; }
};

Commands settings_and_open(const ORXPrintParam &p) {
  Commands c;
  if (p.density_enable && p.density >= 0 && p.density <= 15)
    c.add({0x12, 0x23, static_cast<unsigned char>(p.density)});
  // The speed command's value is 16 bits; a speed it cannot carry is not sent
  // rather than sent wrapped.
  const long long v = static_cast<long long>(p.speed) * 25;
  if (p.speed_enable && v > 0 && v <= 0xFFFF)
    c.add({0x1F, 0x28, 0x73, 0x02, 0x00, static_cast<unsigned char>(v & 0xFF),
           static_cast<unsigned char>((v >> 8) & 0xFF)});
  if (p.paper_type == 1) c.add({0x1A, 0x0C, 0xFF});
  return c;
}

// dots = integer part of (mm / 25.4 * vres + 0.5); -1 for a feed no int holds.
long long feed_dots(const ORXPrintParam &p) {
  if (p.finish_print_feed <= 0) return 0;
  const double dots = static_cast<double>(p.finish_print_feed) / 25.4 * p.vres + 0.5;
  if (!(dots < static_cast<double>(INT32_MAX) + 1.0)) return -1;
  return dots > 0 ? static_cast<long long>(dots) : 0;
}

long long feed_bytes(long long dots) {
  return 3 * (dots / kFeedStep + (dots % kFeedStep ? 1 : 0));
}

// The GS v 0 bands of the image, in the two-call size protocol.
int banded_block(int row_length, int rows, const unsigned char *raster, unsigned char *output) {
  int size = 0;
  RasterDataToRasterCmdSpecifyBankHeight(row_length, rows, raster, kBandRows, output, &size);
  return size;
}

}  // namespace

extern "C" {

unsigned char *RasterDataToORXPrintCmd(ORXPrintParam param, int row_length, int rows,
                                       const unsigned char *raster, int *size) {
  if (size) *size = 0;
  const bool has_image = row_length > 0 && rows > 0 && raster != nullptr;
  const long long raster_bytes = has_image ? static_cast<long long>(row_length) * rows : 0;

  const Commands head = settings_and_open(param);
  long long block = 0;
  quorvane::MallocBuffer coded;
  if (has_image) {
    // The run-length and JBIG blocks are sized only by coding the page: they
    // are coded once and copied into the job. Their width in dots is an int.
    const long long dots = static_cast<long long>(row_length) * 8;
    int coded_size = 0;
    if (param.image_compression == 1 || param.image_compression == 2) {
      if (dots <= INT32_MAX)
        coded = param.image_compression == 1
                    ? quorvane::compressed_block_once(static_cast<int>(dots), rows, raster, coded_size)
                    : quorvane::jbig_block_once(static_cast<int>(dots), rows, raster, coded_size);
      block = coded_size;
    } else {
      block = banded_block(row_length, rows, raster, nullptr);
    }
  }
  // A page with rows the encoder cannot carry fails instead of feeding and
  // cutting blank paper.
  if (has_image && block <= 0) return nullptr;
  const long long dots = feed_dots(param);
  if (dots < 0) return nullptr;
  const bool cut = param.finish_print_cut == 1 || param.finish_print_cut == 2;
  const long long tail = (param.paper_type == 1 ? 3 : 0) + feed_bytes(dots) + (cut ? 2 : 0);

  const long long used = static_cast<long long>(head.length) + block + tail;
  const long long capacity = std::max(raster_bytes + kCommandAllowance, used);
  if (capacity > INT32_MAX) return nullptr;
  quorvane::MallocBuffer job = quorvane::allocate_large_zeroed_buffer(static_cast<std::size_t>(capacity));
  if (!job) return nullptr;

  const std::span<unsigned char> out(job.get(), static_cast<std::size_t>(capacity));
  std::size_t at = 0;
  auto put = [&](std::span<const unsigned char> bytes) {
    std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
    at += bytes.size();
  };

  put(head.view());
  if (coded) {
    put({coded.get(), static_cast<std::size_t>(block)});
    coded.reset();
  } else if (block > 0) {
    banded_block(row_length, rows, raster, out.data() + at);
    at += static_cast<std::size_t>(block);
  }
  if (param.paper_type == 1) put(std::array<unsigned char, 3>{0x1A, 0x0C, 0x00});
  for (long long left = dots; left > 0; left -= kFeedStep)
    put(std::array<unsigned char, 3>{0x1B, 0x4A,
                                     static_cast<unsigned char>(std::min<long long>(left, kFeedStep))});
  if (param.finish_print_cut == 1) put(std::array<unsigned char, 2>{0x1B, 0x6D});
  if (param.finish_print_cut == 2) put(std::array<unsigned char, 2>{0x1B, 0x69});

  if (size) *size = static_cast<int>(used);
  return job.release();
}

}  // extern "C"
