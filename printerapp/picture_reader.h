// PNG and JPEG pictures read row by row as 8-bit gray (0 black, 255 white)
// through libpng and libjpeg: palettes, 16 bits and colour are turned to
// gray by their transforms, and a picture with alpha lies on white paper.
#ifndef QUORVANE_APP_PICTURE_READER_H
#define QUORVANE_APP_PICTURE_READER_H

#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace quorvane::app {

class PictureReader {
 public:
  virtual ~PictureReader() = default;

  // "PNG", "JPEG": for messages.
  virtual const char *kind() const = 0;
  // Reads the picture's header from `file` (the caller's, read from where
  // it stands, seekable) and nothing of its pixels. False, with error(),
  // when it is no picture of this kind or one that cannot be printed.
  bool open(std::FILE *file);
  // After open(): walks the whole file's structure (PNG chunks and their
  // CRCs, JPEG markers to the end of the image), so that a picture cut short
  // or damaged there fails in the time it takes to read it, not when
  // decoding reaches the damage. False, with error(), when it is.
  bool verify();
  // The next row, width() bytes, into `row`. False, with error(), when the
  // picture is corrupt or ends early, or `stop` said so.
  virtual bool read_row(std::span<unsigned char> row) = 0;

  unsigned width() const { return width_; }
  unsigned height() const { return height_; }
  const std::string &error() const { return error_; }

  // Asked between rows of work that yields no row yet (an interlaced PNG's
  // passes, a progressive JPEG's scans): true gives up reading.
  void stop_when(std::function<bool()> stop) { stop_ = std::move(stop); }

 protected:
  virtual bool read_header(std::FILE *file) = 0;
  // What is wrong with the container read from the file's start; empty when
  // nothing is (or when it is no picture of this kind: the decoder says so).
  virtual std::string container_fault(std::FILE *file) const = 0;

  bool fail(std::string message) {
    error_ = std::move(message);
    return false;
  }
  bool should_stop() const { return stop_ && stop_(); }

  unsigned width_ = 0, height_ = 0;
  std::string error_;
  std::FILE *file_ = nullptr;
  long long start_ = 0;  // where the picture starts in the file
  std::function<bool()> stop_;
};

std::unique_ptr<PictureReader> make_png_reader();
std::unique_ptr<PictureReader> make_jpeg_reader();

}  // namespace quorvane::app

#endif
