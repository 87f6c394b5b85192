// The preview decoder against the filter's own encoders: every conversion's
// command block decodes back to the raster it was made from, the hook
// commands are recognised, and damaged or hostile streams are survived.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <span>
#include <random>
#include <string>
#include <vector>

#include "img2esccmd.h"
#include "preview_decoder.h"

namespace {

using quorvane::preview::decode_stream;
using quorvane::preview::DecodeResult;
using quorvane::preview::Page;
using Bytes = std::vector<std::uint8_t>;

struct Mono {
  int width_stride = 0;
  int rows = 0;
  Bytes bits;
  bool dot(int x, int y) const {
    return (bits[static_cast<std::size_t>(y) * width_stride + x / 8] >> (7 - x % 8)) & 1;
  }
};

// A raster with texture everywhere, solid areas and blank rows, so that every
// encoder uses both its raw and its compressed forms.
Mono make_mono(int width_stride, int rows, unsigned seed) {
  Mono m{width_stride, rows, Bytes(static_cast<std::size_t>(width_stride) * rows)};
  std::mt19937 rng(seed);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < width_stride; ++x) {
      std::uint8_t v;
      if (y % 17 == 5) v = 0;                       // blank row
      else if (x < width_stride / 4) v = 0xFF;      // solid bar
      else if (x < width_stride / 2) v = static_cast<std::uint8_t>(rng());  // noise
      else v = (y / 3) % 2 ? 0xAA : 0x00;           // stripes
      m.bits[static_cast<std::size_t>(y) * width_stride + x] = v;
    }
  m.bits.back() = 0x01;  // the last dot of the page is printed
  return m;
}

// Takes over a buffer the TSPL or ORX encoder allocated.
template <typename F>
Bytes take_encoded(F encode) {
  int size = 0;
  unsigned char *p = encode(&size);
  Bytes b(p, p + (p ? size : 0));
  std::free(p);
  return b;
}

template <typename F>
Bytes two_call(F encode) {
  int size = 0;
  encode(nullptr, &size);
  Bytes b(static_cast<std::size_t>(size));
  encode(b.data(), &size);
  b.resize(static_cast<std::size_t>(size));
  return b;
}

Bytes banded(const Mono &m) {
  return two_call([&](unsigned char *out, int *size) {
    RasterDataToRasterCmdSpecifyBankHeight(m.width_stride, m.rows, m.bits.data(), 24, out, size);
  });
}
Bytes compressed(const Mono &m) {
  return two_call([&](unsigned char *out, int *size) {
    RasterDataToCompressCmd(m.width_stride * 8, m.rows, m.bits.data(), out, size);
  });
}
Bytes jbig(const Mono &m) {
  int size = 0;
  RasterDataToJBIG5Cmd(m.width_stride * 8, m.rows, m.bits.data(), nullptr, 0, &size, nullptr);
  Bytes b(static_cast<std::size_t>(size));
  RasterDataToJBIG5Cmd(m.width_stride * 8, m.rows, m.bits.data(), b.data(), size, &size, nullptr);
  return b;
}
Bytes label(const Mono &m) {
  return two_call([&](unsigned char *out, int *size) {
    RasterDataToLabelPrintCmd(0, 0, m.width_stride * 8, m.rows, m.bits.data(), out, size);
  });
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto &p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

DecodeResult decode(const Bytes &b) { return decode_stream(b.data(), b.size()); }

// The page shows exactly the raster at (0, top), and nothing else is printed
// in the raster's columns and rows.
void expect_raster_at(const Page &page, const Mono &m, int top) {
  ASSERT_GE(page.width(), m.width_stride * 8);
  ASSERT_GE(page.height(), top + m.rows);
  long mismatches = 0;
  for (int y = 0; y < m.rows; ++y)
    for (int x = 0; x < m.width_stride * 8; ++x)
      if (page.dot(x, top + y) != m.dot(x, y)) ++mismatches;
  EXPECT_EQ(mismatches, 0);
}

long printed_rows_between(const Page &page, int from, int to) {
  long printed = 0;
  for (int y = from; y < to; ++y)
    for (int x = 0; x < page.width(); ++x) printed += page.dot(x, y);
  return printed;
}

bool has_command(const DecodeResult &r, const std::string &name) {
  for (const auto &c : r.commands)
    if (c.name == name) return true;
  return false;
}

// --- round trips -----------------------------------------------------------

TEST(PreviewRoundTrip, EveryBinaryConversionDecodesToItsRaster) {
  // 73 bytes per row (an odd canvas of 577 dots) and 50 rows: two full bands
  // and a short one.
  const Mono m = make_mono(73, 50, 1);
  struct Case { const char *name; Bytes stream; const char *command; long commands; };
  const Case cases[] = {
      {"banded", banded(m), "GS v 0", 3},
      {"run-length", compressed(m), "US ( P", 50},
      {"jbig", jbig(m), "US ( J", 3},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = decode(c.stream);
    EXPECT_EQ(r.unknown_bytes, 0u);
    EXPECT_TRUE(r.problems.empty()) << quorvane::preview::format_summary(r);
    ASSERT_EQ(r.pages.size(), 1u);
    EXPECT_EQ(r.pages[0].height(), 50);
    EXPECT_EQ(r.pages[0].width(), 584);
    EXPECT_EQ(r.pages[0].ending, "end of stream");
    expect_raster_at(r.pages[0], m, 0);
    ASSERT_EQ(r.commands.size(), 1u);
    EXPECT_EQ(r.commands[0].name, c.command);
    EXPECT_EQ(r.commands[0].count, c.commands);
    EXPECT_EQ(r.commands[0].rows, 50);
  }
}

TEST(PreviewRoundTrip, SubLabelIsOnePrintedLabel) {
  const Mono m = make_mono(13, 30, 2);
  const auto r = decode(label(m));
  EXPECT_EQ(r.unknown_bytes, 0u);
  EXPECT_TRUE(r.problems.empty());
  ASSERT_EQ(r.pages.size(), 1u);
  EXPECT_EQ(r.pages[0].ending, "label printed (SUB O)");
  EXPECT_EQ(r.pages[0].width(), 104);
  EXPECT_EQ(r.pages[0].height(), 30);
  expect_raster_at(r.pages[0], m, 0);
  for (const char *name : {"SUB [", "SUB !", "SUB ]", "SUB O"}) EXPECT_TRUE(has_command(r, name)) << name;
}

TEST(PreviewRoundTrip, TsplJobPrintsItsBitmapOnTheLabelSize) {
  const Mono m = make_mono(72, 100, 3);
  TSPLPrintParam p{};
  p.hres = p.vres = 203;
  p.gap_enable = 1;
  p.gap_distance = 3.0;
  p.density_enable = 1;
  p.density = 8;
  const Bytes job = take_encoded([&](int *size) { return RasterDataToTSPLPrintCmd(p, 72, 100, m.bits.data(), size); });
  const auto r = decode(job);
  EXPECT_EQ(r.unknown_bytes, 0u);
  EXPECT_TRUE(r.problems.empty()) << quorvane::preview::format_summary(r);
  ASSERT_EQ(r.pages.size(), 1u);
  EXPECT_EQ(r.pages[0].ending, "label printed (TSPL PRINT)");
  expect_raster_at(r.pages[0], m, 0);
  // SIZE 72 mm,13 mm at 203 dpi: 575 x 104 dots; the bitmap is 576 x 100.
  EXPECT_EQ(r.pages[0].width(), 576);
  EXPECT_EQ(r.pages[0].height(), 104);
  EXPECT_EQ(printed_rows_between(r.pages[0], 100, 104), 0);
  for (const char *name : {"TSPL SIZE", "TSPL GAP", "TSPL DENSITY", "TSPL CLS", "TSPL BITMAP", "TSPL PRINT"})
    EXPECT_TRUE(has_command(r, name)) << name;
}

TEST(PreviewRoundTrip, OrxJobsInEveryCompressionWithFeedAndCut) {
  const Mono m = make_mono(48, 40, 4);
  for (int compression : {0, 1, 2}) {
    SCOPED_TRACE(compression);
    ORXPrintParam p{};
    p.hres = p.vres = 203;
    p.paper_type = 1;
    p.image_compression = compression;
    p.density_enable = 1;
    p.density = 8;
    p.speed_enable = 1;
    p.speed = 4;
    p.finish_print_feed = 32;  // 256 dots: ESC J 255 and ESC J 1
    p.finish_print_cut = 2;
    const Bytes job = take_encoded([&](int *size) { return RasterDataToORXPrintCmd(p, 48, 40, m.bits.data(), size); });
    const auto r = decode(cat({job, job}));
    EXPECT_EQ(r.unknown_bytes, 0u);
    EXPECT_TRUE(r.problems.empty()) << quorvane::preview::format_summary(r);
    ASSERT_EQ(r.pages.size(), 2u) << quorvane::preview::format_summary(r);
    for (const auto &page : r.pages) {
      EXPECT_EQ(page.ending, "full cut (ESC i)");
      EXPECT_EQ(page.height(), 40 + 256);
      expect_raster_at(page, m, 0);
      EXPECT_EQ(printed_rows_between(page, 40, page.height()), 0);
    }
    for (const char *name : {"ORX density", "ORX speed", "ORX label start", "ORX label end", "ESC J", "ESC i"})
      EXPECT_TRUE(has_command(r, name)) << name;
  }
}

// --- hook commands and pages -----------------------------------------------

TEST(PreviewHooks, ReceiptJobWithInitFeedCutAndDrawer) {
  const Mono a = make_mono(72, 30, 5), b = make_mono(72, 20, 6);
  const Bytes zeros(64, 0);
  const Bytes init{0x1B, 0x40};
  const Bytes cut{0x1B, 0x64, 0x04, 0x1D, 0x56, 0x00};
  const Bytes partial{0x1B, 0x64, 0x04, 0x1D, 0x56, 0x01};
  const Bytes drawer{0x1B, 0x70, 0x00, 0x19, 0x64};
  const auto r = decode(cat({zeros, init, banded(a), cut, compressed(b), partial, drawer}));
  EXPECT_EQ(r.unknown_bytes, 0u);
  EXPECT_TRUE(r.problems.empty());
  ASSERT_EQ(r.pages.size(), 2u);
  // ESC d 4 feeds four lines of 30 dots before each cut.
  EXPECT_EQ(r.pages[0].height(), 30 + 120);
  EXPECT_EQ(r.pages[0].ending, "full cut (GS V)");
  expect_raster_at(r.pages[0], a, 0);
  EXPECT_EQ(r.pages[1].height(), 20 + 120);
  EXPECT_EQ(r.pages[1].ending, "partial cut (GS V)");
  expect_raster_at(r.pages[1], b, 0);
  ASSERT_GE(r.commands.size(), 3u);
  EXPECT_EQ(r.commands[0].name, "NUL");
  EXPECT_EQ(r.commands[0].detail, "64 zero bytes");
  EXPECT_EQ(r.commands[1].name, "ESC @");
  EXPECT_TRUE(has_command(r, "ESC p"));
  const std::string summary = quorvane::preview::format_summary(r);
  EXPECT_NE(summary.find("cash drawer kick, pin 2"), std::string::npos) << summary;
  EXPECT_NE(summary.find("Pages: 2"), std::string::npos);
}

TEST(PreviewHooks, LineSpacingAndFeedWithCut) {
  // ESC 3 20, LF, ESC J 7, GS V 65 10: 20 + 7 + 10 rows of paper, one slip.
  const Bytes s{0x1B, 0x33, 20, 0x0A, 0x1B, 0x4A, 7, 0x1D, 0x56, 65, 10};
  const auto r = decode(s);
  EXPECT_EQ(r.unknown_bytes, 0u);
  ASSERT_EQ(r.pages.size(), 1u);
  EXPECT_EQ(r.pages[0].height(), 37);
  EXPECT_EQ(printed_rows_between(r.pages[0], 0, 37), 0);
}

TEST(PreviewHooks, CutWithoutPaperGivesNoPage) {
  const Bytes s{0x1D, 0x56, 0x00, 0x1B, 0x69, 0x1B, 0x6D};
  const auto r = decode(s);
  EXPECT_TRUE(r.pages.empty());
  EXPECT_EQ(r.commands.size(), 3u);
}

TEST(PreviewHooks, UnknownBytesAreListedWithTheirOffsets) {
  const Mono m = make_mono(2, 3, 7);
  const Bytes s = cat({Bytes{0x1B, 0x40, 0x07, 0x08, 0x1B, 0x7A}, banded(m), Bytes{'H', 'i'}});
  const auto r = decode(s);
  EXPECT_EQ(r.unknown_bytes, 6u);
  ASSERT_EQ(r.unknown.size(), 2u);
  EXPECT_EQ(r.unknown[0].offset, 2u);
  EXPECT_EQ(r.unknown[0].length, 4u);
  EXPECT_EQ(r.unknown[0].bytes, (Bytes{0x07, 0x08, 0x1B, 0x7A}));
  EXPECT_EQ(r.unknown[1].offset, s.size() - 2);
  ASSERT_EQ(r.pages.size(), 1u);
  expect_raster_at(r.pages[0], m, 0);
}

// --- incremental decoding ---------------------------------------------------

void expect_same(const DecodeResult &a, const DecodeResult &b) {
  ASSERT_EQ(a.pages.size(), b.pages.size());
  for (std::size_t i = 0; i < a.pages.size(); ++i) {
    const Page &p = a.pages[i], &q = b.pages[i];
    ASSERT_EQ(p.width(), q.width());
    ASSERT_EQ(p.height(), q.height());
    EXPECT_EQ(p.ending, q.ending);
    long differ = 0;
    for (int y = 0; y < p.height(); ++y)
      for (int x = 0; x < p.width(); ++x) differ += p.dot(x, y) != q.dot(x, y);
    EXPECT_EQ(differ, 0);
  }
  ASSERT_EQ(a.commands.size(), b.commands.size());
  for (std::size_t i = 0; i < a.commands.size(); ++i) {
    EXPECT_EQ(a.commands[i].offset, b.commands[i].offset);
    EXPECT_EQ(a.commands[i].name, b.commands[i].name);
    EXPECT_EQ(a.commands[i].detail, b.commands[i].detail);
    EXPECT_EQ(a.commands[i].count, b.commands[i].count);
    EXPECT_EQ(a.commands[i].rows, b.commands[i].rows);
  }
  EXPECT_EQ(a.problems, b.problems);
  ASSERT_EQ(a.unknown.size(), b.unknown.size());
  for (std::size_t i = 0; i < a.unknown.size(); ++i) {
    EXPECT_EQ(a.unknown[i].offset, b.unknown[i].offset);
    EXPECT_EQ(a.unknown[i].bytes, b.unknown[i].bytes);
    EXPECT_EQ(a.unknown[i].length, b.unknown[i].length);
  }
  EXPECT_EQ(a.unknown_bytes, b.unknown_bytes);
}

// Pieces of 1 to max_piece bytes.
DecodeResult decode_in_pieces(const Bytes &s, std::mt19937 &rng, std::size_t max_piece) {
  quorvane::preview::StreamDecoder decoder;
  for (std::size_t at = 0; at < s.size();) {
    const std::size_t n = std::min(s.size() - at, 1 + rng() % max_piece);
    decoder.feed(std::span(s.data() + at, n));
    at += n;
  }
  decoder.finish();
  return decoder.take_result();
}

TEST(PreviewIncremental, PiecesDecodeAsTheWholeStream) {
  const Mono m = make_mono(9, 30, 11);
  TSPLPrintParam tp{};
  tp.hres = tp.vres = 203;
  const Bytes tspl = take_encoded([&](int *size) { return RasterDataToTSPLPrintCmd(tp, 9, 30, m.bits.data(), size); });
  ORXPrintParam op{};
  op.vres = 203;
  op.image_compression = 2;
  op.finish_print_feed = 5;
  op.finish_print_cut = 1;
  const Bytes orx = take_encoded([&](int *size) { return RasterDataToORXPrintCmd(op, 9, 30, m.bits.data(), size); });
  const Bytes hooks{0x1B, 0x40, 0x00, 0x00, 0x00, 0x1B, 0x33, 0x18, 0x0A, 0x10, 0x04, 0x04,
                    0x1D, 0x72, 0x01, 0x1D, 0x61, 0x0F, 0x1B, 0x76, 0x07, 0x08, 0x1B, 0x70,
                    0x00, 0x19, 0x78, 0x1D, 0x56, 0x41, 0x10};
  const Bytes streams[] = {banded(m), compressed(m), jbig(m), label(m), tspl, orx, hooks,
                           cat({hooks, banded(m), tspl, label(m), orx, jbig(m)})};
  std::mt19937 rng(12);
  for (const auto &full : streams) {
    const DecodeResult whole = decode(full);
    for (std::size_t max_piece : {1u, 2u, 7u, 64u, 4096u}) {
      SCOPED_TRACE(max_piece);
      expect_same(decode_in_pieces(full, rng, max_piece), whole);
    }
    // Damaged streams, and streams cut short, too.
    for (int round = 0; round < 40; ++round) {
      Bytes s = full;
      for (int f = 0; f < 3; ++f) s[rng() % s.size()] = static_cast<std::uint8_t>(rng());
      s.resize(s.size() - rng() % 8);
      expect_same(decode_in_pieces(s, rng, 1 + rng() % 300), decode(s));
    }
  }
}

TEST(PreviewIncremental, StatusCommandsAreKnown) {
  const Bytes s{0x10, 0x04, 0x01, 0x1D, 0x72, 0x01, 0x1B, 0x76, 0x1D, 0x61, 0xFF, 0x1B, 0x21, 0x3F};
  const auto r = decode(s);
  EXPECT_EQ(r.unknown_bytes, 0u);
  std::vector<std::string> names;
  for (const auto &c : r.commands) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"DLE EOT", "GS r", "ESC v", "GS a", "ESC !"}));
}

// --- hostile input -----------------------------------------------------------

TEST(PreviewRobustness, LengthFieldsBeyondTheStreamAreReported) {
  const Bytes cases[] = {
      {0x1D, 0x76, 0x30, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00},       // GS v 0, 4 GB of rows
      {0x1F, 0x28, 0x50, 0xFF, 0xFF, 0x00},                         // run-length row
      {0x1F, 0x28, 0x4A, 0x10, 0x00, 0x40, 0x02, 0x18},             // JBIG band
      {0x1A, 0x21, 0x01, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0},  // SUB bitmap
      {'B', 'I', 'T', 'M', 'A', 'P', ' ', '0', ',', '0', ',', '9', '9', ',', '9', '9', ',', '0', ','},
  };
  for (const auto &s : cases) {
    const auto r = decode(s);
    EXPECT_FALSE(r.problems.empty());
    EXPECT_TRUE(r.pages.empty());
  }
}

TEST(PreviewRobustness, CorruptJbigBandIsAProblemNotACrash) {
  const Mono m = make_mono(72, 24, 8);
  Bytes s = jbig(m);
  // Damage the BIE header's width (bytes 4..7 of the BIH, after 8 command bytes).
  s[8 + 5] = 0x7F;
  const auto r = decode(s);
  EXPECT_FALSE(r.problems.empty());
  Bytes cut = jbig(m);
  cut[3] = static_cast<std::uint8_t>(cut[3] - 10);  // BIE shorter than the coder wrote
  cut.resize(cut.size() - 10);
  EXPECT_FALSE(decode(cut).problems.empty());
}

TEST(PreviewRobustness, EndlessFeedsAndPagesStayWithinLimits) {
  Bytes feeds;
  for (int i = 0; i < 20000; ++i) feeds.insert(feeds.end(), {0x1B, 0x64, 0xFF});
  auto r = decode(feeds);
  ASSERT_EQ(r.pages.size(), 1u);
  EXPECT_EQ(r.pages[0].height(), quorvane::preview::kMaxPageHeight);
  EXPECT_FALSE(r.problems.empty());
  // Then a band of the widest rows on that tallest page: 2^31 dots, which
  // overflows a 32-bit long: the band is clipped, the page stays in its limit.
  Bytes wide = feeds;
  wide.insert(wide.end(), {0x1D, 0x76, 0x30, 0x00, 0x00, 0x08, 0x01, 0x00});
  wide.insert(wide.end(), 2048, 0xFF);
  r = decode(wide);
  ASSERT_EQ(r.pages.size(), 1u);
  EXPECT_LE(static_cast<long long>(r.pages[0].width()) * r.pages[0].height(),
            quorvane::preview::kMaxPageDots);
  EXPECT_TRUE(r.pages[0].clipped());

  Bytes slips;
  for (int i = 0; i < 3000; ++i) slips.insert(slips.end(), {0x0A, 0x1B, 0x69});
  r = decode(slips);
  EXPECT_EQ(r.pages.size(), static_cast<std::size_t>(quorvane::preview::kMaxPages));
  EXPECT_FALSE(r.problems.empty());
}

TEST(PreviewRobustness, EveryPrefixAndRandomDamageOfRealStreams) {
  const Mono m = make_mono(9, 30, 9);
  TSPLPrintParam tp{};
  tp.hres = tp.vres = 203;
  const Bytes tspl = take_encoded([&](int *size) { return RasterDataToTSPLPrintCmd(tp, 9, 30, m.bits.data(), size); });
  ORXPrintParam op{};
  op.vres = 203;
  op.image_compression = 2;
  op.finish_print_feed = 5;
  op.finish_print_cut = 1;
  const Bytes orx = take_encoded([&](int *size) { return RasterDataToORXPrintCmd(op, 9, 30, m.bits.data(), size); });
  const Bytes streams[] = {banded(m), compressed(m), jbig(m), label(m), tspl, orx};
  std::mt19937 rng(10);
  for (const auto &full : streams) {
    for (std::size_t n = 0; n <= full.size(); ++n) {
      const auto r = decode_stream(full.data(), n);
      for (const auto &p : r.pages) {
        EXPECT_LE(p.width(), quorvane::preview::kMaxPageWidth);
        EXPECT_LE(p.height(), quorvane::preview::kMaxPageHeight);
      }
    }
    for (int round = 0; round < 300; ++round) {
      Bytes s = full;
      const int flips = 1 + static_cast<int>(rng() % 8);
      for (int f = 0; f < flips; ++f) s[rng() % s.size()] = static_cast<std::uint8_t>(rng());
      const auto r = decode(s);
      for (const auto &p : r.pages) EXPECT_LE(static_cast<long long>(p.width()) * p.height(),
                                              quorvane::preview::kMaxPageDots);
    }
  }
  Bytes noise(1 << 16);
  for (auto &b : noise) b = static_cast<std::uint8_t>(rng());
  const auto r = decode(noise);
  expect_same(decode_in_pieces(noise, rng, 500), r);
  EXPECT_GT(r.unknown_bytes + r.problems.size(), 0u);
  EXPECT_EQ(decode_stream(nullptr, 5).pages.size(), 0u);
}

}  // namespace
