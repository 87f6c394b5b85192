#include "command_decoders.h"

extern "C" {
#include <jbig85.h>
}

namespace quorvane::test {

std::optional<Bytes> decode_run_length_rows(std::span<const unsigned char> block, int row_bytes) {
  Bytes rows;
  std::size_t at = 0;
  while (at < block.size()) {
    if (block.size() - at < 6 || block[at] != 0x1F || block[at + 1] != 0x28 || block[at + 2] != 0x50)
      return std::nullopt;
    const std::size_t payload = block[at + 3] | (block[at + 4] << 8);
    if (payload < 1 || block.size() - at - 5 < payload) return std::nullopt;
    const auto body = block.subspan(at + 6, payload - 1);
    const unsigned kind = block[at + 5];
    Bytes row;
    if (kind == 0) {
      row.assign(body.begin(), body.end());
    } else {
      if (kind != body.size() || kind % 2) return std::nullopt;
      for (std::size_t k = 0; k < body.size(); k += 2) {
        if (body[k + 1] == 0) return std::nullopt;
        row.insert(row.end(), body[k + 1], body[k]);
      }
    }
    if (row.size() != static_cast<std::size_t>(row_bytes)) return std::nullopt;
    rows.insert(rows.end(), row.begin(), row.end());
    at += 5 + payload;
  }
  return rows;
}

namespace {

struct DecodedImage {
  Bytes *raster;
  std::size_t row_bytes;
};

int collect_line(const jbg85_dec_state *, unsigned char *start, std::size_t len, unsigned long,
                 void *file) {
  auto *img = static_cast<DecodedImage *>(file);
  img->raster->insert(img->raster->end(), start, start + len);
  return 0;
}

bool decode_bie(JbigBand &band) {
  if (band.bie.size() < 20) return false;
  const auto *h = band.bie.data();
  auto be32 = [&](int o) {
    return (static_cast<unsigned long>(h[o]) << 24) | (h[o + 1] << 16) | (h[o + 2] << 8) | h[o + 3];
  };
  band.bih_width = be32(4);
  band.bih_height = be32(8);
  band.bih_l0 = be32(12);
  band.bih_mx = h[16];
  band.bih_options = h[19];

  const std::size_t row_bytes = (static_cast<std::size_t>(band.width) + 7) / 8;
  Bytes linebuf(3 * row_bytes);
  DecodedImage img{&band.raster, row_bytes};
  jbg85_dec_state dec;
  jbg85_dec_init(&dec, linebuf.data(), linebuf.size(), collect_line, &img);
  std::size_t used = 0;
  int r = jbg85_dec_in(&dec, band.bie.data(), band.bie.size(), &used);
  if (r == JBG_EAGAIN) r = jbg85_dec_end(&dec);
  return r == JBG_EOK && used == band.bie.size();
}

}  // namespace

std::optional<std::vector<JbigBand>> decode_jbig_bands(std::span<const unsigned char> block) {
  std::vector<JbigBand> bands;
  std::size_t at = 0;
  while (at < block.size()) {
    if (block.size() - at < 8 || block[at] != 0x1F || block[at + 1] != 0x28 || block[at + 2] != 0x4A)
      return std::nullopt;
    const std::size_t param = block[at + 3] | (block[at + 4] << 8);
    if (param < 3 || block.size() - at - 5 < param) return std::nullopt;
    JbigBand band;
    band.width = block[at + 5] | (block[at + 6] << 8);
    band.rows = block[at + 7];
    band.bie.assign(block.begin() + at + 8, block.begin() + at + 5 + param);
    if (!decode_bie(band)) return std::nullopt;
    bands.push_back(std::move(band));
    at += 5 + param;
  }
  return bands;
}

Bytes join_band_rasters(const std::vector<JbigBand> &bands) {
  Bytes all;
  for (const auto &b : bands) all.insert(all.end(), b.raster.begin(), b.raster.end());
  return all;
}

Bytes noisy_raster(std::size_t bytes, unsigned seed, unsigned density) {
  Bytes out(bytes);
  std::uint32_t s = seed * 2654435761u + 1;
  for (auto &b : out) {
    unsigned char v = 0;
    for (int bit = 0; bit < 8; ++bit) {
      s = s * 1664525u + 1013904223u;
      if ((s >> 24) < density) v |= static_cast<unsigned char>(0x80 >> bit);
    }
    b = v;
  }
  return out;
}

Bytes mixed_raster(int row_bytes, int rows, unsigned seed) {
  Bytes out;
  const auto rb = static_cast<std::size_t>(row_bytes);
  for (int i = 0; i < rows; ++i) {
    Bytes row(rb, 0);
    switch (i % 4) {
      case 0: break;  // blank
      case 1: std::fill(row.begin() + rb / 3, row.end(), 0xFF); break;
      case 2: row = noisy_raster(rb, seed + i); break;
      case 3:
        for (std::size_t k = 0; k < rb; ++k) row[k] = (k / 5) % 2 ? 0x3C : 0x00;
        break;
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace quorvane::test
