#include "jbig_raster_cmd.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" {
#include <jbig85.h>
}

namespace {

constexpr int kBandRows = 24;
constexpr int kHeaderBytes = 8;          // 1F 28 4A, parameter length, width, rows
constexpr long long kMaxBie = 0xFFFF - 3;  // parameter length = BIE + 3 is 16 bits
constexpr int kMaxWidth = 0xFFFF;

// The coder's callback type; forwards to output_bie with the band's sink.
void deliver(unsigned char *start, std::size_t len, void *file) {
  output_bie(start, len, static_cast<BieSink *>(file));
}

void put16(unsigned char *p, long long v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

}  // namespace

extern "C" {

void output_bie(const unsigned char *data, size_t length, BieSink *sink) {
  if (sink == nullptr) return;
  // produced saturates rather than wrapping; such a band is refused anyway.
  const long long produced = static_cast<long long>(sink->produced) + static_cast<long long>(length);
  sink->produced = static_cast<int>(std::min<long long>(produced, INT_MAX));
  const long long end = static_cast<long long>(sink->stored) + static_cast<long long>(length);
  if (sink->output == nullptr || data == nullptr || end > sink->capacity) return;
  if (length) std::memcpy(sink->output + sink->stored, data, length);
  sink->stored = static_cast<int>(end);
}

bool RasterDataCompressToJBIG85Data(int width, int rows, const unsigned char *band,
                                    unsigned char *output, int capacity, int *bie_length) {
  if (width <= 0 || rows <= 0 || band == nullptr) {
    if (bie_length) *bie_length = 0;
    return false;
  }
  // Without a place to put it, nothing can be stored.
  BieSink sink{output, output ? capacity : 0, 0, 0};
  const std::size_t row_bytes = (static_cast<std::size_t>(width) + 7) / 8;

  // A fresh coder per band: each band is an image of its own.
  jbg85_enc_state coder;
  jbg85_enc_init(&coder, static_cast<unsigned long>(width), static_cast<unsigned long>(rows),
                 deliver, &sink);
  jbg85_enc_options(&coder, 0, 0, -1);
  // The coder takes non-const rows but only reads them.
  auto *rows_base = const_cast<unsigned char *>(band);
  for (int r = 0; r < rows; ++r) {
    unsigned char *line = rows_base + static_cast<std::size_t>(r) * row_bytes;
    unsigned char *prev = r >= 1 ? line - row_bytes : nullptr;
    unsigned char *prevprev = r >= 2 ? line - 2 * row_bytes : nullptr;
    jbg85_enc_lineout(&coder, line, prev, prevprev);
  }
  if (bie_length) *bie_length = sink.produced;
  return sink.produced == sink.stored;
}

void RasterDataToJBIG5Cmd(int width, int height, const unsigned char *raster,
                          unsigned char *output, int capacity, int *size, int *written) {
  auto report = [&](long long total, long long placed) {
    if (size) *size = static_cast<int>(total);
    if (written) *written = static_cast<int>(placed);
  };
  if (width <= 0 || width > kMaxWidth || height <= 0 || raster == nullptr) return report(0, 0);
  if (output == nullptr) capacity = 0;

  const std::size_t row_bytes = (static_cast<std::size_t>(width) + 7) / 8;
  long long total = 0;
  long long position = 0;
  for (int start = 0; start < height; start += kBandRows) {
    const int rows = std::min(kBandRows, height - start);
    const long long room = static_cast<long long>(capacity) - position - kHeaderBytes;
    unsigned char *bie_at = room > 0 ? output + position + kHeaderBytes : nullptr;
    int bie = 0;
    const bool stored = RasterDataCompressToJBIG85Data(
        width, rows, raster + static_cast<std::size_t>(start) * row_bytes, bie_at,
        static_cast<int>(std::max(room, 0LL)), &bie);
    // A BIE the 16-bit parameter length cannot describe would be a malformed
    // command: the page fails instead.
    if (bie <= 0 || bie > kMaxBie) return report(0, 0);
    total += bie + kHeaderBytes;
    if (total > INT32_MAX) return report(0, 0);
    if (stored && bie_at != nullptr) {
      unsigned char *cmd = output + position;
      cmd[0] = 0x1F;
      cmd[1] = 0x28;
      cmd[2] = 0x4A;
      put16(cmd + 3, bie + 3);
      put16(cmd + 5, width);
      cmd[7] = static_cast<unsigned char>(rows);
      position += bie + kHeaderBytes;
    }
  }
  report(total, position);
}

}  // extern "C"
