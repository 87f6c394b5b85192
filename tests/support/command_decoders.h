// Decoders for the page command blocks, so tests can turn what an encoder
// produced back into the Mono raster it came from.
#ifndef QUORVANE_TEST_COMMAND_DECODERS_H
#define QUORVANE_TEST_COMMAND_DECODERS_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quorvane::test {

using Bytes = std::vector<unsigned char>;

// Rows of row_bytes bytes from a run of 1F 28 50 commands; nullopt when the
// block is malformed (bad command bytes, a body that does not add up to the
// row length, a length that runs past the end).
std::optional<Bytes> decode_run_length_rows(std::span<const unsigned char> block, int row_bytes);

struct JbigBand {
  int width = 0;        // width field of the command
  int rows = 0;         // row byte of the command
  Bytes bie;            // the BIE as carried
  Bytes raster;         // the BIE decoded by JBIG-KIT, (width + 7) / 8 bytes per row
  unsigned long bih_width = 0, bih_height = 0, bih_l0 = 0;
  int bih_mx = -1, bih_options = -1;
};

// Splits a run of 1F 28 4A commands and decodes each BIE with JBIG-KIT's
// T.85 decoder; nullopt when a command or a BIE is malformed.
std::optional<std::vector<JbigBand>> decode_jbig_bands(std::span<const unsigned char> block);

// The rows of all bands, top to bottom.
Bytes join_band_rasters(const std::vector<JbigBand> &bands);

// A deterministic pseudo-random raster: each bit set with probability
// density/256.
Bytes noisy_raster(std::size_t bytes, unsigned seed, unsigned density = 128);

// A raster that mixes blank rows, solid runs and noise, so that run-length
// rows go both ways.
Bytes mixed_raster(int row_bytes, int rows, unsigned seed);

}  // namespace quorvane::test

#endif
