#include "preview_decoder.h"

extern "C" {
#include <jbig85.h>
}

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

namespace quorvane::preview {

// ---------------------------------------------------------------------------
// Page

bool Page::dot(int x, int y) const {
  if (x < 0 || y < 0 || y >= height()) return false;
  const auto &row = rows_[static_cast<std::size_t>(y)];
  const std::size_t byte = static_cast<std::size_t>(x) / 8;
  if (byte >= row.size()) return false;
  return (row[byte] >> (7 - x % 8)) & 1;
}

void Page::extend(int w, int h) {
  w = std::min(w, kMaxPageWidth);
  h = std::min(h, kMaxPageHeight);
  if (w > width_) {
    // In 64 bits: where long is 32 bits the largest width times the
    // largest height overflows it.
    if (static_cast<long long>(w) * std::max(height(), 1) > kMaxPageDots) clipped_ = true;
    else width_ = w;
  }
  if (h > height()) {
    if (static_cast<long long>(std::max(width_, 1)) * h > kMaxPageDots) {
      clipped_ = true;
      h = static_cast<int>(kMaxPageDots / std::max(width_, 1));
    }
    if (h > height()) rows_.resize(static_cast<std::size_t>(h));
  }
}

bool Page::reach(int x, int y) {
  if (x < 0 || y < 0) return false;
  if (x >= width_ || y >= height()) extend(std::max(width_, x + 1), std::max(height(), y + 1));
  if (x >= width_ || y >= height()) {
    clipped_ = true;
    return false;
  }
  auto &row = rows_[static_cast<std::size_t>(y)];
  const std::size_t need = static_cast<std::size_t>(x) / 8 + 1;
  if (row.size() < need) row.resize(need, 0);
  return true;
}

void Page::set_dot(int x, int y, bool exclusive_or) {
  if (!reach(x, y)) return;
  auto &b = rows_[static_cast<std::size_t>(y)][static_cast<std::size_t>(x) / 8];
  const std::uint8_t mask = static_cast<std::uint8_t>(0x80u >> (x % 8));
  b = exclusive_or ? static_cast<std::uint8_t>(b ^ mask) : static_cast<std::uint8_t>(b | mask);
}

void Page::clear_dot(int x, int y) {
  if (x < 0 || y < 0 || y >= height()) return;
  auto &row = rows_[static_cast<std::size_t>(y)];
  const std::size_t byte = static_cast<std::size_t>(x) / 8;
  if (byte < row.size()) row[byte] = static_cast<std::uint8_t>(row[byte] & ~(0x80u >> (x % 8)));
}

void Page::feed(long rows) {
  if (rows <= 0) return;
  const long target = std::min<long>(static_cast<long>(height()) + rows, kMaxPageHeight);
  if (target < static_cast<long>(height()) + rows) clipped_ = true;
  extend(width_, static_cast<int>(target));
}

// ---------------------------------------------------------------------------
// Decoder

namespace {

std::string hex_bytes(const std::uint8_t *p, std::size_t n) {
  std::string s;
  char buf[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%s%02X", i ? " " : "", p[i]);
    s += buf;
  }
  return s;
}

unsigned le16(const std::uint8_t *p) { return p[0] | (static_cast<unsigned>(p[1]) << 8); }

// The TSPL commands the decoder recognises as the start of a text line.
constexpr std::string_view kTsplKeywords[] = {
    "SIZE", "GAP", "BLINE", "REFERENCE", "OFFSET", "DENSITY", "SPEED", "SET", "CLS",
    "BITMAP", "PRINT", "DIRECTION", "CODEPAGE", "HOME", "FEED", "BACKFEED", "CUT",
    "SHIFT", "LIMITFEED", "SELFTEST", "EOJ", "INITIALPRINTER"};

}  // namespace

// Decodes whole commands as bytes arrive. A command that is not all there
// yet is left in the buffer (pos_ goes back to its start) until more bytes
// come or the stream ends; only at the end is it truncated. Offsets reported
// are from the start of the stream (base_ is the offset of buf_[0]).
class StreamDecoder::Decoder {
 public:
  explicit Decoder(const DecodeOptions &options)
      : opt_(options), spacing_(options.line_spacing) {}

  void feed(std::span<const std::uint8_t> bytes) {
    if (final_) return;
    buf_.insert(buf_.end(), bytes.begin(), bytes.end());
    run();
  }

  void finish() {
    if (final_) return;
    final_ = true;
    run();
    end_roll_page("end of stream");
    if (label_open_) problem_abs(label_start_, "SUB label opened but never printed");
    if (tspl_drawn_) problem_abs(tspl_draw_offset_, "TSPL label drawn but never printed");
    flush_unknown();
  }

  DecodeResult r_;
  Page roll_;
  std::size_t held() const { return buf_.size(); }
  bool unknown_open() const { return unknown_open_; }

 private:
  void run() {
    d_ = buf_.data();
    n_ = buf_.size();
    pos_ = 0;
    waiting_ = false;
    while (pos_ < n_ && !stop_ && !waiting_) step();
    if (stop_) {
      // Decoding has ended at a malformed command; what follows is not read.
      r_.unknown_bytes += n_ - pos_;
      pos_ = n_;
    }
    buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(pos_));
    base_ += pos_;
    d_ = buf_.data();
    n_ = buf_.size();
    pos_ = 0;
  }

  // A command from start needs bytes not here yet: true when it waits for
  // them, false at the end of the stream (or beyond what it may hold), when
  // the caller reports it truncated.
  bool wait(std::size_t start) {
    if (final_ || n_ - start > kMaxHeldBytes) return false;
    pos_ = start;
    waiting_ = true;
    return true;
  }

  std::size_t left() const { return n_ - pos_; }

  void problem(std::size_t at, const std::string &what) { problem_abs(base_ + at, what); }
  void problem_abs(std::size_t at, const std::string &what) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%08zX: ", at);
    r_.problems.push_back(buf + what);
  }

  // Records a command; image commands of the same name in a row fold.
  void command(std::size_t at, std::string name, std::string detail, long rows = -1) {
    flush_unknown();
    if (rows >= 0 && !r_.commands.empty()) {
      auto &last = r_.commands.back();
      if (last.name == name && last.rows > 0 && last_was_image_) {
        ++last.count;
        last.rows += rows;
        return;
      }
    }
    CommandEntry e;
    e.offset = base_ + at;
    e.name = std::move(name);
    e.detail = std::move(detail);
    e.rows = rows < 0 ? 0 : rows;
    last_was_image_ = rows > 0;
    r_.commands.push_back(std::move(e));
  }

  void unknown_byte() {
    if (!unknown_open_) {
      UnknownRun u;
      u.offset = base_ + pos_;
      r_.unknown.push_back(std::move(u));
      unknown_open_ = true;
    }
    auto &u = r_.unknown.back();
    if (u.bytes.size() < 16) u.bytes.push_back(d_[pos_]);
    ++u.length;
    ++r_.unknown_bytes;
    ++pos_;
    last_was_image_ = false;
  }

  void flush_unknown() { unknown_open_ = false; }

  // A command whose declared length runs past the end of the stream.
  void truncated(const char *name) {
    problem(pos_, std::string(name) + " runs past the end of the stream (" +
                      std::to_string(left()) + " bytes left)");
    stop_ = true;
  }

  void emit(Page &&page, const char *ending) {
    if (static_cast<int>(r_.pages.size()) >= opt_.max_pages) {
      if (!pages_capped_) problem(pos_, "too many pages; the rest are not rendered");
      pages_capped_ = true;
      return;
    }
    if (page.clipped()) problem(pos_, "page larger than the preview's limits; clipped");
    if (page.width() > widest_) widest_ = page.width();
    // A slip without any dot (only feeds) still shows as wide as the paper.
    if (page.width() == 0) page.extend(std::max(widest_, 8), page.height());
    page.ending = ending;
    r_.pages.push_back(std::move(page));
  }

  void end_roll_page(const char *ending) {
    if (roll_.height() > 0) emit(std::move(roll_), ending);
    roll_ = Page();
  }

  // Draws packed rows (a set bit printed unless invert) into page at x, y.
  static void blit(Page &page, int x, int y, const std::uint8_t *rows, long bytes_per_row,
                   long height, bool invert, int mode, int scale_x = 1, int scale_y = 1) {
    if (bytes_per_row <= 0 || height <= 0) return;
    const long w = bytes_per_row * 8;
    page.extend(static_cast<int>(std::min<long>(x + w * scale_x, kMaxPageWidth)),
                static_cast<int>(std::min<long>(y + height * scale_y, kMaxPageHeight)));
    for (long r = 0; r < height; ++r) {
      const long py0 = y + r * scale_y;
      if (py0 >= kMaxPageHeight) break;
      const std::uint8_t *row = rows + r * bytes_per_row;
      for (long c = 0; c < w; ++c) {
        const long px0 = x + c * scale_x;
        if (px0 >= kMaxPageWidth) break;
        bool black = (row[c / 8] >> (7 - c % 8)) & 1;
        if (invert) black = !black;
        for (int sy = 0; sy < scale_y; ++sy)
          for (int sx = 0; sx < scale_x; ++sx) {
            const int px = static_cast<int>(px0 + sx), py = static_cast<int>(py0 + sy);
            if (mode == 0) {
              if (black) page.set_dot(px, py); else page.clear_dot(px, py);
            } else if (mode == 2) {
              if (black) page.set_dot(px, py, true);
            } else if (black) {
              page.set_dot(px, py);
            }
          }
      }
    }
  }

  void step() {
    const std::uint8_t b = d_[pos_];
    switch (b) {
      case 0x00: {
        const std::size_t at = pos_;
        while (pos_ < n_ && d_[pos_] == 0) ++pos_;
        // A run split between two feeds is still one entry.
        if (nul_end_ == base_ + at && !r_.commands.empty() && r_.commands.back().name == "NUL") {
          nul_count_ += pos_ - at;
          r_.commands.back().detail = std::to_string(nul_count_) + " zero bytes";
        } else {
          nul_count_ = pos_ - at;
          command(at, "NUL", std::to_string(nul_count_) + " zero bytes");
        }
        nul_end_ = base_ + pos_;
        return;
      }
      case 0x10:
        if (left() < 3 && wait(pos_)) return;
        if (left() >= 3 && d_[pos_ + 1] == 0x04 && d_[pos_ + 2] >= 1 && d_[pos_ + 2] <= 4) {
          command(pos_, "DLE EOT", "real-time status " + std::to_string(d_[pos_ + 2]));
          pos_ += 3;
          return;
        }
        break;
      case 0x0A:
        command(pos_, "LF", "feed one line");
        roll_.feed(spacing_);
        ++pos_;
        return;
      case 0x0D:
        command(pos_, "CR", "");
        ++pos_;
        return;
      case 0x1B: esc(); return;
      case 0x1D: gs(); return;
      case 0x1F: us(); return;
      case 0x1A: sub(); return;
      case 0x12:
        if (left() < 3 && wait(pos_)) return;
        if (left() >= 3 && d_[pos_ + 1] == 0x23) {
          command(pos_, "ORX density", "12 23 " + hex_bytes(d_ + pos_ + 2, 1) + " (step " +
                                           std::to_string(d_[pos_ + 2]) + ")");
          pos_ += 3;
          return;
        }
        break;
      default:
        if (std::isupper(b) && tspl()) return;
        break;
    }
    unknown_byte();
  }

  void esc() {
    const std::size_t at = pos_;
    if (left() < 2) {
      if (!wait(at)) unknown_byte();
      return;
    }
    const std::uint8_t c = d_[pos_ + 1];
    auto need = [&](std::size_t k) {
      if (left() < k) {
        if (!wait(at)) truncated("ESC command");
        return false;
      }
      return true;
    };
    switch (c) {
      case '@':
        command(at, "ESC @", "initialise the printer");
        spacing_ = opt_.line_spacing;
        pos_ += 2;
        return;
      case 'd':
        if (!need(3)) return;
        command(at, "ESC d", "print and feed " + std::to_string(d_[pos_ + 2]) + " lines");
        roll_.feed(static_cast<long>(d_[pos_ + 2]) * spacing_);
        pos_ += 3;
        return;
      case 'J':
        if (!need(3)) return;
        command(at, "ESC J", "feed " + std::to_string(d_[pos_ + 2]) + " dots");
        roll_.feed(d_[pos_ + 2]);
        pos_ += 3;
        return;
      case '2':
        command(at, "ESC 2", "default line spacing");
        spacing_ = opt_.line_spacing;
        pos_ += 2;
        return;
      case '3':
        if (!need(3)) return;
        command(at, "ESC 3", "line spacing " + std::to_string(d_[pos_ + 2]) + " dots");
        spacing_ = d_[pos_ + 2];
        pos_ += 3;
        return;
      case 'a':
        if (!need(3)) return;
        command(at, "ESC a", "justification " + std::to_string(d_[pos_ + 2]));
        pos_ += 3;
        return;
      case 'p':
        if (!need(5)) return;
        command(at, "ESC p", "cash drawer kick, pin " + std::to_string(d_[pos_ + 2] & 1 ? 5 : 2) +
                                 ", on " + std::to_string(d_[pos_ + 3] * 2) + " ms, off " +
                                 std::to_string(d_[pos_ + 4] * 2) + " ms");
        pos_ += 5;
        return;
      case 'v':
        command(at, "ESC v", "paper sensor status");
        pos_ += 2;
        return;
      case '!':
        if (!need(3)) return;
        command(at, "ESC !", "print mode / label status query " + hex_bytes(d_ + pos_ + 2, 1));
        pos_ += 3;
        return;
      case 'i':
        command(at, "ESC i", "full cut");
        pos_ += 2;
        end_roll_page("full cut (ESC i)");
        return;
      case 'm':
        command(at, "ESC m", "partial cut");
        pos_ += 2;
        end_roll_page("partial cut (ESC m)");
        return;
      default:
        unknown_byte();
        return;
    }
  }

  void gs() {
    const std::size_t at = pos_;
    if (left() < 2) {
      if (!wait(at)) unknown_byte();
      return;
    }
    const std::uint8_t c = d_[pos_ + 1];
    if (c == 'r' || c == 'a') {
      if (left() < 3) {
        if (!wait(at)) truncated(c == 'r' ? "GS r" : "GS a");
        return;
      }
      if (c == 'r') command(at, "GS r", "status " + std::to_string(d_[pos_ + 2]));
      else command(at, "GS a", "automatic status back " + hex_bytes(d_ + pos_ + 2, 1));
      pos_ += 3;
      return;
    }
    if (c == 'V') {
      if (left() < 3) {
        if (!wait(at)) truncated("GS V");
        return;
      }
      const std::uint8_t m = d_[pos_ + 2];
      const bool full = m == 0 || m == 48 || m == 65 || m == 97 || m == 103;
      const bool partial = m == 1 || m == 49 || m == 66 || m == 98 || m == 104;
      if (!full && !partial) { unknown_byte(); return; }
      const bool with_feed = m >= 65;
      if (with_feed && left() < 4) {
        if (!wait(at)) truncated("GS V");
        return;
      }
      std::string detail = full ? "full cut" : "partial cut";
      if (with_feed) {
        detail += ", feed " + std::to_string(d_[pos_ + 3]) + " dots first";
        roll_.feed(d_[pos_ + 3]);
      }
      command(at, "GS V", detail);
      pos_ += with_feed ? 4 : 3;
      end_roll_page(full ? "full cut (GS V)" : "partial cut (GS V)");
      return;
    }
    if (c == 'v') {
      if (left() < 8) {
        if (!wait(at)) truncated("GS v 0");
        return;
      }
      if (d_[pos_ + 2] != '0') { unknown_byte(); return; }
      const std::uint8_t m = d_[pos_ + 3];
      const long x = le16(d_ + pos_ + 4), y = le16(d_ + pos_ + 6);
      const unsigned long long bytes = static_cast<unsigned long long>(x) * y;
      if (bytes > left() - 8) {
        if (!wait(at)) truncated("GS v 0");
        return;
      }
      const int mode = (m >= '0' && m <= '3') ? m - '0' : m;
      if (mode > 3) {
        problem(at, "GS v 0 with unknown mode " + std::to_string(m) + "; drawn at normal size");
      }
      const int sx = (mode == 1 || mode == 3) ? 2 : 1;
      const int sy = (mode == 2 || mode == 3) ? 2 : 1;
      command(at, "GS v 0", "raster bit image, " + std::to_string(x * 8) + " dots wide", y * sy);
      blit(roll_, 0, roll_.height(), d_ + pos_ + 8, x, y, false, 1, sx, sy);
      pos_ += 8 + bytes;
      return;
    }
    unknown_byte();
  }

  void us() {
    const std::size_t at = pos_;
    if (left() < 3 && wait(at)) return;
    if (left() < 3 || d_[pos_ + 1] != '(') { unknown_byte(); return; }
    const std::uint8_t c = d_[pos_ + 2];
    if (c != 'P' && c != 'J' && c != 's') { unknown_byte(); return; }
    if (left() < 5) {
      if (!wait(at)) truncated("US ( command");
      return;
    }
    const std::size_t len = le16(d_ + pos_ + 3);
    if (len > left() - 5) {
      if (!wait(at)) truncated("US ( command");
      return;
    }
    const std::uint8_t *p = d_ + pos_ + 5;
    pos_ += 5 + len;
    if (c == 'P') run_length_row(at, p, len);
    else if (c == 'J') jbig_band(at, p, len);
    else if (len == 2) command(at, "ORX speed", "speed value " + std::to_string(le16(p)));
    else problem(at, "US ( s with " + std::to_string(len) + " parameter bytes");
  }

  void run_length_row(std::size_t at, const std::uint8_t *p, std::size_t len) {
    if (len < 1) { problem(at, "run-length row without a body"); return; }
    const std::uint8_t kind = p[0];
    std::vector<std::uint8_t> row;
    if (kind == 0) {
      row.assign(p + 1, p + len);
    } else {
      if (kind != len - 1 || kind % 2 != 0) {
        problem(at, "run-length row whose body length " + std::to_string(kind) +
                        " does not match its command length " + std::to_string(len));
        return;
      }
      for (std::size_t i = 1; i + 1 < len; i += 2) {
        if (row.size() + p[i + 1] > static_cast<std::size_t>(kMaxPageWidth / 8)) break;
        row.insert(row.end(), p[i + 1], p[i]);
      }
    }
    command(at, "US ( P", "run-length compressed rows", 1);
    blit(roll_, 0, roll_.height(), row.data(), static_cast<long>(row.size()), 1, false, 1);
    if (row.empty()) roll_.feed(1);
  }

  struct JbigSink {
    Page *page;
    int top;
    unsigned long rows;
  };

  static int jbig_line(const jbg85_dec_state *, unsigned char *start, size_t len,
                       unsigned long y, void *file) {
    auto *sink = static_cast<JbigSink *>(file);
    if (y < sink->rows)
      blit(*sink->page, 0, sink->top + static_cast<int>(y), start, static_cast<long>(len), 1,
           false, 1);
    return 0;
  }

  void jbig_band(std::size_t at, const std::uint8_t *p, std::size_t len) {
    if (len < 3) { problem(at, "JBIG band without its width and row count"); return; }
    const unsigned width = le16(p);
    const unsigned rows = p[2];
    if (width == 0 || rows == 0) { problem(at, "JBIG band of zero size"); return; }
    const std::size_t bpl = (width + 7) / 8;
    std::vector<unsigned char> linebuf(3 * bpl);
    std::vector<unsigned char> bie(p + 3, p + len);
    // The BIE header's own size (XD, YD: big-endian at bytes 4 and 8) is what
    // the coder decodes: one that claims more than the command carries would
    // have it produce millions of rows from a few bytes.
    if (bie.size() >= 20) {
      auto be32 = [&](std::size_t i) {
        return static_cast<unsigned long>(bie[i]) << 24 | bie[i + 1] << 16 | bie[i + 2] << 8 |
               bie[i + 3];
      };
      if (be32(4) != width || be32(8) != rows) {
        command(at, "US ( J", "JBIG compressed bands, " + std::to_string(width) + " dots wide",
                rows);
        problem(at, "JBIG band image is " + std::to_string(be32(4)) + " x " +
                        std::to_string(be32(8)) + " but its command says " +
                        std::to_string(width) + " x " + std::to_string(rows));
        return;
      }
    }
    const int top = roll_.height();
    roll_.extend(static_cast<int>(bpl * 8), top + static_cast<int>(rows));
    JbigSink sink{&roll_, top, rows};
    jbg85_dec_state state;
    jbg85_dec_init(&state, linebuf.data(), linebuf.size(), &Decoder::jbig_line, &sink);
    std::size_t used = 0;
    int rc = bie.empty() ? JBG_EAGAIN : jbg85_dec_in(&state, bie.data(), bie.size(), &used);
    if (rc == JBG_EAGAIN) rc = jbg85_dec_end(&state);
    command(at, "US ( J", "JBIG compressed bands, " + std::to_string(width) + " dots wide", rows);
    if (rc != JBG_EOK) {
      problem(at, std::string("JBIG band does not decode: ") + jbg85_strerror(rc));
    } else if (jbg85_dec_getwidth(&state) != width || jbg85_dec_getheight(&state) != rows) {
      problem(at, "JBIG band image is " + std::to_string(jbg85_dec_getwidth(&state)) + " x " +
                      std::to_string(jbg85_dec_getheight(&state)) + " but its command says " +
                      std::to_string(width) + " x " + std::to_string(rows));
    }
  }

  void sub() {
    const std::size_t at = pos_;
    if (left() < 2) {
      if (!wait(at)) unknown_byte();
      return;
    }
    auto need = [&](std::size_t k, const char *name) {
      if (left() < k) {
        if (!wait(at)) truncated(name);
        return false;
      }
      return true;
    };
    const std::uint8_t c = d_[pos_ + 1];
    switch (c) {
      case 0x0C:
        if (!need(3, "SUB FF")) return;
        if (d_[pos_ + 2] == 0xFF) command(at, "ORX label start", "1A 0C FF");
        else if (d_[pos_ + 2] == 0x00) command(at, "ORX label end", "1A 0C 00");
        else { unknown_byte(); return; }
        pos_ += 3;
        return;
      case '[': {
        if (!need(12, "SUB [")) return;
        if (d_[pos_ + 2] != 1) { unknown_byte(); return; }
        const unsigned x = le16(d_ + pos_ + 3), y = le16(d_ + pos_ + 5);
        const unsigned w = le16(d_ + pos_ + 7), h = le16(d_ + pos_ + 9);
        command(at, "SUB [", "label start at " + std::to_string(x) + "," + std::to_string(y) +
                                 ", " + std::to_string(w) + " x " + std::to_string(h) + " dots");
        if (label_open_) problem(at, "SUB label opened while another is open");
        label_ = Page();
        label_.extend(static_cast<int>(w), static_cast<int>(h));
        label_open_ = true;
        label_start_ = base_ + at;
        pos_ += 12;
        return;
      }
      case '!': {
        if (!need(13, "SUB !")) return;
        if (d_[pos_ + 2] != 1) { unknown_byte(); return; }
        const unsigned bx = le16(d_ + pos_ + 3), by = le16(d_ + pos_ + 5);
        const unsigned w = le16(d_ + pos_ + 7), h = le16(d_ + pos_ + 9);
        const unsigned long long bpr = (w + 7) / 8;
        const unsigned long long bytes = bpr * h;
        if (bytes > left() - 13) {
          if (!wait(at)) truncated("SUB !");
          return;
        }
        command(at, "SUB !", "label bitmap " + std::to_string(w) + " x " + std::to_string(h) +
                                 " at " + std::to_string(bx) + "," + std::to_string(by), h);
        if (!label_open_) problem(at, "SUB bitmap outside a label");
        blit(label_, static_cast<int>(bx), static_cast<int>(by), d_ + pos_ + 13,
             static_cast<long>(bpr), h, false, 1);
        pos_ += 13 + bytes;
        return;
      }
      case ']':
        if (!need(3, "SUB ]")) return;
        command(at, "SUB ]", "label end");
        pos_ += 3;
        return;
      case 'O':
        if (!need(4, "SUB O")) return;
        command(at, "SUB O", "print the label (" + hex_bytes(d_ + pos_ + 2, 2) + ")");
        pos_ += 4;
        if (label_open_) emit(std::move(label_), "label printed (SUB O)");
        else problem(at, "SUB print without a label");
        label_ = Page();
        label_open_ = false;
        return;
      default:
        unknown_byte();
        return;
    }
  }

  // TSPL: a text line that starts with a known keyword.
  bool tspl() {
    const std::size_t at = pos_;
    std::size_t k = pos_;
    while (k < n_ && k - pos_ < 16 && std::isupper(d_[k])) ++k;
    if (k == n_ && k - pos_ < 16 && wait(at)) return true;
    const std::string_view word(reinterpret_cast<const char *>(d_ + pos_), k - pos_);
    if (std::find(std::begin(kTsplKeywords), std::end(kTsplKeywords), word) ==
        std::end(kTsplKeywords))
      return false;
    if (k < n_ && !(d_[k] == ' ' || d_[k] == '\r' || d_[k] == '\n')) return false;
    if (word == "BITMAP") return tspl_bitmap(at, k);
    // The rest of the line, at most 256 characters.
    std::size_t e = k;
    while (e < n_ && e - k < 256 && d_[e] != '\n') ++e;
    if (e == n_ && e - k < 256 && wait(at)) return true;
    std::string args(reinterpret_cast<const char *>(d_ + k), e - k);
    while (!args.empty() && (args.back() == '\r' || args.front() == ' ')) {
      if (args.back() == '\r') args.pop_back(); else args.erase(0, 1);
    }
    pos_ = e < n_ && d_[e] == '\n' ? e + 1 : e;
    command(at, "TSPL " + std::string(word), args);
    if (word == "SIZE") tspl_size(at, args);
    else if (word == "CLS") { tspl_label_ = Page(); tspl_drawn_ = false; }
    else if (word == "PRINT") tspl_print(at, args);
    return true;
  }

  static std::vector<std::string> split(const std::string &s) {
    std::vector<std::string> out;
    std::string cur;
    for (char ch : s) {
      if (ch == ',') { out.push_back(cur); cur.clear(); } else cur += ch;
    }
    out.push_back(cur);
    return out;
  }

  // "72 mm", "3.5" (inches) or "100 dot": dots.
  std::optional<long> tspl_length(const std::string &text) const {
    std::string t = text;
    t.erase(std::remove(t.begin(), t.end(), ' '), t.end());
    double v = 0;
    const char *b = t.data(), *e = t.data() + t.size();
    auto [p, ec] = std::from_chars(b, e, v);
    if (ec != std::errc() || !std::isfinite(v) || v < 0 || v > 100000) return std::nullopt;
    const std::string unit(p, e);
    double dots;
    if (unit == "mm") dots = v * opt_.tspl_dpi / 25.4;
    else if (unit == "dot") dots = v;
    else if (unit.empty()) dots = v * opt_.tspl_dpi;
    else return std::nullopt;
    return static_cast<long>(dots + 0.5);
  }

  void tspl_size(std::size_t at, const std::string &args) {
    const auto parts = split(args);
    std::optional<long> w, h;
    if (parts.size() == 2) { w = tspl_length(parts[0]); h = tspl_length(parts[1]); }
    if (!w || !h) { problem(at, "TSPL SIZE not understood: " + args); return; }
    tspl_w_ = static_cast<int>(std::min<long>(*w, kMaxPageWidth));
    tspl_h_ = static_cast<int>(std::min<long>(*h, kMaxPageHeight));
  }

  void tspl_print(std::size_t at, const std::string &args) {
    const auto parts = split(args);
    long sets = 1, copies = 1;
    try {
      sets = std::stol(parts[0]);
      if (parts.size() > 1) copies = std::stol(parts[1]);
    } catch (...) {
      problem(at, "TSPL PRINT not understood: " + args);
      return;
    }
    if (sets < 1 || copies < 1) return;
    long labels = sets * std::min(copies, 1000L);
    if (labels > 1000) labels = 1000;
    for (long i = 0; i < labels; ++i) {
      Page page = tspl_label_;
      page.extend(tspl_w_, tspl_h_);
      emit(std::move(page), "label printed (TSPL PRINT)");
    }
    tspl_drawn_ = false;
  }

  static std::optional<long> number(const std::uint8_t *p, std::size_t n) {
    long v = 0;
    auto [q, ec] = std::from_chars(reinterpret_cast<const char *>(p),
                                   reinterpret_cast<const char *>(p + n), v);
    if (ec != std::errc() || q != reinterpret_cast<const char *>(p + n)) return std::nullopt;
    return v;
  }

  bool tspl_bitmap(std::size_t at, std::size_t k) {
    // "BITMAP x,y,width_bytes,height,mode," then the data.
    std::size_t q = k;
    while (q < n_ && d_[q] == ' ') ++q;
    long field[5];
    for (int f = 0; f < 5; ++f) {
      std::size_t s = q;
      while (q < n_ && q - s < 12 && (std::isdigit(d_[q]) || d_[q] == '-' || d_[q] == ' ')) ++q;
      if (q >= n_ && wait(at)) return true;
      if (q >= n_ || d_[q] != ',') return false;
      std::size_t e = q;
      while (s < e && d_[s] == ' ') ++s;
      while (e > s && d_[e - 1] == ' ') --e;
      const auto v = number(d_ + s, e - s);
      if (!v) return false;
      field[f] = *v;
      ++q;
    }
    const long x = field[0], y = field[1], wb = field[2], h = field[3], mode = field[4];
    pos_ = q;
    if (x < 0 || y < 0 || wb < 0 || h < 0 || wb > 65535 || h > 65535) {
      problem(at, "TSPL BITMAP with impossible geometry");
      stop_ = true;
      return true;
    }
    const unsigned long long bytes = static_cast<unsigned long long>(wb) * h;
    // The line end after the data too: split from it, it would read as a feed.
    if (bytes + 2 > left() && wait(at)) return true;
    if (bytes > left()) { truncated("TSPL BITMAP"); return true; }
    command(at, "TSPL BITMAP", std::to_string(x) + "," + std::to_string(y) + ", " +
                                   std::to_string(wb * 8) + " x " + std::to_string(h) +
                                   " dots, mode " + std::to_string(mode), h);
    blit(tspl_label_, static_cast<int>(std::min<long>(x, kMaxPageWidth)),
         static_cast<int>(std::min<long>(y, kMaxPageHeight)), d_ + pos_, wb, h, true,
         static_cast<int>(mode));
    pos_ += bytes;
    if (left() >= 2 && d_[pos_] == '\r' && d_[pos_ + 1] == '\n') pos_ += 2;
    else if (left() >= 1 && d_[pos_] == '\n') pos_ += 1;
    tspl_drawn_ = true;
    tspl_draw_offset_ = base_ + at;
    return true;
  }

  static constexpr std::size_t kMaxHeldBytes = std::size_t{1} << 26;

  std::vector<std::uint8_t> buf_;
  const std::uint8_t *d_ = nullptr;
  std::size_t n_ = 0;
  std::size_t base_ = 0;
  DecodeOptions opt_;
  std::size_t pos_ = 0;
  bool stop_ = false;
  bool final_ = false;
  bool waiting_ = false;
  std::size_t nul_end_ = static_cast<std::size_t>(-1);
  std::size_t nul_count_ = 0;
  int spacing_;
  int widest_ = 0;
  bool pages_capped_ = false;
  bool unknown_open_ = false;
  bool last_was_image_ = false;
  Page label_;
  bool label_open_ = false;
  std::size_t label_start_ = 0;
  Page tspl_label_;
  int tspl_w_ = 0, tspl_h_ = 0;
  bool tspl_drawn_ = false;
  std::size_t tspl_draw_offset_ = 0;
};

StreamDecoder::StreamDecoder(const DecodeOptions &options)
    : d_(std::make_unique<Decoder>(options)) {}
StreamDecoder::~StreamDecoder() = default;
StreamDecoder::StreamDecoder(StreamDecoder &&) noexcept = default;
StreamDecoder &StreamDecoder::operator=(StreamDecoder &&) noexcept = default;

void StreamDecoder::feed(std::span<const std::uint8_t> bytes) { d_->feed(bytes); }
void StreamDecoder::finish() { d_->finish(); }
const DecodeResult &StreamDecoder::result() const { return d_->r_; }
int StreamDecoder::roll_rows() const { return d_->roll_.height(); }
std::size_t StreamDecoder::held_bytes() const { return d_->held(); }

std::vector<Page> StreamDecoder::take_pages() { return std::exchange(d_->r_.pages, {}); }
std::vector<CommandEntry> StreamDecoder::take_commands() {
  return std::exchange(d_->r_.commands, {});
}
std::vector<std::string> StreamDecoder::take_problems() {
  return std::exchange(d_->r_.problems, {});
}
std::vector<UnknownRun> StreamDecoder::take_unknown(bool include_open) {
  auto &runs = d_->r_.unknown;
  std::vector<UnknownRun> out;
  // The last run may still grow; it stays until a command closes it.
  const std::size_t keep = !include_open && d_->unknown_open() && !runs.empty() ? 1 : 0;
  out.assign(std::make_move_iterator(runs.begin()),
             std::make_move_iterator(runs.end() - static_cast<std::ptrdiff_t>(keep)));
  runs.erase(runs.begin(), runs.end() - static_cast<std::ptrdiff_t>(keep));
  return out;
}
DecodeResult StreamDecoder::take_result() { return std::exchange(d_->r_, {}); }

DecodeResult decode_stream(const std::uint8_t *data, std::size_t size,
                           const DecodeOptions &options) {
  StreamDecoder decoder(options);
  if (data) decoder.feed(std::span(data, size));
  decoder.finish();
  return decoder.take_result();
}

std::string format_summary(const DecodeResult &r) {
  std::string out = "Commands:\n";
  char buf[64];
  for (const auto &c : r.commands) {
    std::snprintf(buf, sizeof buf, "  0x%08zX  ", c.offset);
    out += buf + c.name;
    if (!c.detail.empty()) out += "  " + c.detail;
    if (c.count > 1) out += "  (" + std::to_string(c.count) + " commands)";
    if (c.rows > 0) out += "  [" + std::to_string(c.rows) + " rows]";
    out += "\n";
  }
  out += "Pages: " + std::to_string(r.pages.size()) + "\n";
  for (std::size_t i = 0; i < r.pages.size(); ++i) {
    const auto &p = r.pages[i];
    out += "  page " + std::to_string(i + 1) + ": " + std::to_string(p.width()) + " x " +
           std::to_string(p.height()) + " dots, ended by " + p.ending + "\n";
  }
  if (!r.problems.empty()) {
    out += "Problems:\n";
    for (const auto &p : r.problems) out += "  " + p + "\n";
  }
  out += "Unknown bytes: " + std::to_string(r.unknown_bytes) + "\n";
  std::size_t shown = 0;
  for (const auto &u : r.unknown) {
    if (++shown > 100) {
      out += "  ...\n";
      break;
    }
    std::snprintf(buf, sizeof buf, "  0x%08zX  %zu bytes: ", u.offset, u.length);
    out += buf + hex_bytes(u.bytes.data(), u.bytes.size()) + (u.length > u.bytes.size() ? " ..." : "") +
           "\n";
  }
  return out;
}

}  // namespace quorvane::preview
