// Decodes a printer command stream as the quorvane filter writes it and
// renders what the printer would put on paper.
//
// Pages. Roll-paper output (ESC/POS raster bands, run-length rows, JBIG
// bands, ORX jobs) runs down one strip of paper; a page ends at a cut
// (GS V, ESC i, ESC m) or at the end of the stream. A SUB label ends when it
// is printed (SUB O), a TSPL label at PRINT (one page per copy it asks for).
// A label that is drawn but never printed gives no page.
//
// The decoder is incremental (StreamDecoder): bytes may come in pieces of any
// size and give the same result as the whole stream at once.
//
// Untrusted input: every length field is checked against the bytes that
// remain; a command that does not fit ends the decoding and is reported.
// Pages are limited to kMaxPageWidth x kMaxPageHeight dots and
// kMaxPageDots in all; what lies beyond is clipped and reported.
#ifndef QUORVANE_PREVIEW_DECODER_H
#define QUORVANE_PREVIEW_DECODER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace quorvane::preview {

inline constexpr int kMaxPageWidth = 16384;      // dots
inline constexpr int kMaxPageHeight = 131072;    // rows
inline constexpr long long kMaxPageDots = 1LL << 28;  // width x height
inline constexpr int kMaxPages = 1000;

// One page of paper. Rows are packed like the filter's Mono raster: most
// significant bit leftmost, a set bit is a printed dot. A row may be shorter
// than the page (the rest is white); feeds give empty rows.
class Page {
 public:
  int width() const { return width_; }
  int height() const { return static_cast<int>(rows_.size()); }
  bool dot(int x, int y) const;
  bool clipped() const { return clipped_; }
  // Makes the page at least w x h dots (within the limits).
  void extend(int w, int h);
  // Sets (or, with exclusive_or, toggles) the dot if it lies on the page's
  // drawable area; grows the page as needed within the limits.
  void set_dot(int x, int y, bool exclusive_or = false);
  void clear_dot(int x, int y);
  // Adds blank rows at the bottom.
  void feed(long rows);

  std::string ending;  // what ended the page: "cut", "PRINT", ...

 private:
  bool reach(int x, int y);
  int width_ = 0;
  bool clipped_ = false;
  std::vector<std::vector<std::uint8_t>> rows_;
};

// A command the decoder recognised. Runs of the same image command are
// folded into one entry with their count and rows.
struct CommandEntry {
  std::size_t offset = 0;
  std::string name;    // e.g. "GS v 0", "ESC d", "TSPL SIZE"
  std::string detail;  // readable parameters
  long count = 1;
  long rows = 0;       // image rows, for image commands
};

// A run of bytes the decoder does not know.
struct UnknownRun {
  std::size_t offset = 0;
  std::vector<std::uint8_t> bytes;  // the first bytes of the run (up to 16)
  std::size_t length = 0;
};

struct DecodeOptions {
  int line_spacing = 30;   // dots per line feed until ESC 3 says otherwise
  int tspl_dpi = 203;      // converts TSPL SIZE millimetres and inches to dots
  int max_pages = kMaxPages;
};

struct DecodeResult {
  std::vector<Page> pages;
  std::vector<CommandEntry> commands;
  std::vector<UnknownRun> unknown;
  std::size_t unknown_bytes = 0;
  std::vector<std::string> problems;  // malformed or truncated commands, clipping
};

// Decodes a stream as it arrives. Each feed decodes every command that is
// there whole; a command still incomplete is held (up to 64 MiB) until the
// rest comes or finish() ends the stream. What has been found can be taken
// out as it comes, so that a long-running reader holds only what is new.
class StreamDecoder {
 public:
  explicit StreamDecoder(const DecodeOptions &options = {});
  ~StreamDecoder();
  StreamDecoder(StreamDecoder &&) noexcept;
  StreamDecoder &operator=(StreamDecoder &&) noexcept;

  void feed(std::span<const std::uint8_t> bytes);
  // The end of the stream: incomplete commands are reported, the page on the
  // roll ends. Later feeds are ignored.
  void finish();

  const DecodeResult &result() const;
  std::vector<Page> take_pages();
  std::vector<CommandEntry> take_commands();
  std::vector<std::string> take_problems();
  // Runs of unknown bytes; one that may still grow stays unless include_open.
  std::vector<UnknownRun> take_unknown(bool include_open = false);
  DecodeResult take_result();

  int roll_rows() const;           // rows on the roll's page so far
  std::size_t held_bytes() const;  // bytes of a command not yet whole

 private:
  class Decoder;
  std::unique_ptr<Decoder> d_;
};

DecodeResult decode_stream(const std::uint8_t *data, std::size_t size,
                           const DecodeOptions &options = {});

// A readable summary: the commands, the pages, the problems and the bytes
// that were not understood.
std::string format_summary(const DecodeResult &result);

}  // namespace quorvane::preview

#endif
