#include "picture_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <csetjmp>
#include <cstdint>
#include <cstring>

// clang-format off
#include <png.h>
#include <jpeglib.h>
#include <jerror.h>
#include <zlib.h>
// clang-format on

#include "malloc_buffer.h"
#include "page_geometry.h"
#include "prepare/large_buffer.h"

// libpng and libjpeg report errors by longjmp. A longjmp must skip no C++
// destructor, so every call into them that can fail goes through a small
// function below that sets the jump and holds nothing with a destructor;
// the C++ around them sees only true or false.

namespace quorvane::app {

namespace {

// --- a picture's container, walked before decoding -----------------------------
//
// Decoding finds a picture cut short only where the cut is, which on a long
// receipt is seconds away. Walking the container first (PNG chunks and
// their CRCs, JPEG markers up to the end of the image) finds a cut or a
// damaged chunk in the time it takes to read the file.

class BlockReader {
 public:
  explicit BlockReader(std::FILE *file) : file_(file) {}

  // The next byte, or -1 at the end of the file.
  int next() {
    if (pos_ == len_ && !fill()) return -1;
    return buffer_[pos_++];
  }
  // The next `n` bytes, handed to `use` block by block; false when the file
  // ends first.
  template <typename Use>
  bool take(std::uint64_t n, Use &&use) {
    while (n > 0) {
      if (pos_ == len_ && !fill()) return false;
      const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, len_ - pos_));
      use(std::span<const unsigned char>(buffer_.data() + pos_, k));
      pos_ += k;
      n -= k;
    }
    return true;
  }
  bool take(std::uint64_t n) {
    return take(n, [](std::span<const unsigned char>) {});
  }
  // Moves past the next 0xFF byte; false when there is none.
  bool past_ff() {
    for (;;) {
      if (pos_ == len_ && !fill()) return false;
      const void *ff = std::memchr(buffer_.data() + pos_, 0xff, len_ - pos_);
      if (ff) {
        pos_ = static_cast<std::size_t>(static_cast<const unsigned char *>(ff) - buffer_.data()) + 1;
        return true;
      }
      pos_ = len_;
    }
  }

 private:
  bool fill() {
    pos_ = 0;
    len_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    return len_ > 0;
  }

  std::FILE *file_;
  std::array<unsigned char, 65536> buffer_;
  std::size_t pos_ = 0, len_ = 0;
};

std::uint32_t big_endian32(const unsigned char *b) {
  return static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
         static_cast<std::uint32_t>(b[2]) << 8 | b[3];
}

// Every chunk whole, the critical ones' CRCs right (libpng passes over a
// damaged ancillary one), and an IEND. Empty when sound, or when it is no
// PNG at all (libpng says so).
std::string png_container_fault(std::FILE *file) {
  BlockReader in(file);
  std::array<unsigned char, 8> signature{};
  for (unsigned char &b : signature) {
    const int c = in.next();
    if (c < 0) return "";
    b = static_cast<unsigned char>(c);
  }
  if (png_sig_cmp(signature.data(), 0, 8) != 0) return "";
  for (;;) {
    std::array<unsigned char, 12> head{};  // length, type; then the CRC
    std::size_t got = 0;
    auto keep = [&](std::span<const unsigned char> b) {
      std::memcpy(head.data() + got, b.data(), b.size());
      got += b.size();
    };
    if (!in.take(8, keep)) return "it is cut short: it has no IEND chunk";
    const std::uint32_t length = big_endian32(head.data());
    const unsigned char *type = head.data() + 4;
    const bool named = std::all_of(type, type + 4, [](unsigned char c) { return std::isalpha(c); });
    const std::string name = named ? "its " + std::string(type, type + 4) + " chunk" : "a chunk";
    if (length > 0x7fffffffU) return "it is damaged: " + name + " claims " + std::to_string(length) + " bytes";
    const bool critical = !(type[0] & 0x20);
    uLong crc = crc32(0, type, 4);
    if (!in.take(length, [&](std::span<const unsigned char> b) {
          if (critical) crc = crc32(crc, b.data(), static_cast<uInt>(b.size()));
        }) ||
        !in.take(4, keep))
      return "it is cut short inside " + name;
    if (critical && big_endian32(head.data() + 8) != crc) return "it is damaged: " + name + " fails its CRC";
    if (std::memcmp(type, "IEND", 4) == 0) return "";
  }
}

// Markers and their segments up to the end of the image, past the scans'
// data. Empty when sound, or when it is no JPEG at all (libjpeg says so).
std::string jpeg_container_fault(std::FILE *file) {
  BlockReader in(file);
  if (in.next() != 0xff || in.next() != 0xd8) return "";
  const std::string cut = "it is cut short: it ends before its end-of-image marker";
  bool in_scan = false;  // inside a scan, bytes are data until a marker
  for (;;) {
    int marker;
    if (in_scan) {
      if (!in.past_ff()) return cut;
      marker = 0xff;
    } else {
      marker = in.next();
      if (marker < 0) return cut;
      if (marker != 0xff) return "it is damaged: data stands where a marker belongs";
    }
    while (marker == 0xff) marker = in.next();  // fill bytes
    if (marker < 0) return cut;
    if (marker == 0xd9) return "";
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) continue;  // no segment
    const int high = in.next(), low = in.next();
    if (low < 0) return cut;
    const int length = high << 8 | low;
    if (length < 2) return "it is damaged: a marker segment of " + std::to_string(length) + " bytes";
    if (!in.take(static_cast<std::uint64_t>(length - 2))) return cut;
    if (marker == 0xda) in_scan = true;
  }
}

// --- PNG ---------------------------------------------------------------------------

struct PngContext {
  png_structp png = nullptr;
  png_infop info = nullptr;
  char message[256] = "";
};

struct PngHeader {
  unsigned width = 0, height = 0;
  int passes = 1;
  int channels = 0;
  std::size_t row_bytes = 0;
};

void png_fail(png_structp png, png_const_charp message) {
  auto *context = static_cast<PngContext *>(png_get_error_ptr(png));
  std::snprintf(context->message, sizeof(context->message), "%s", message);
  png_longjmp(png, 1);
}

void png_ignore_warning(png_structp, png_const_charp) {}

bool png_step_header(PngContext *c, std::FILE *file, PngHeader *h) {
  if (setjmp(png_jmpbuf(c->png))) return false;
  png_init_io(c->png, file);
  // The picture's size is checked against the page limit with a clearer
  // message than libpng's own limits (a million rows) would give.
  png_set_user_limits(c->png, 0x7fffffff, 0x7fffffff);
  png_read_info(c->png, c->info);
  const int type = png_get_color_type(c->png, c->info), depth = png_get_bit_depth(c->png, c->info);
  if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(c->png);
  if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(c->png);
  if (png_get_valid(c->png, c->info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(c->png);
  if (depth == 16) png_set_scale_16(c->png);
  if (type & PNG_COLOR_MASK_COLOR) png_set_rgb_to_gray_fixed(c->png, PNG_ERROR_ACTION_NONE, -1, -1);
  h->passes = png_set_interlace_handling(c->png);
  png_read_update_info(c->png, c->info);
  h->width = png_get_image_width(c->png, c->info);
  h->height = png_get_image_height(c->png, c->info);
  h->channels = png_get_channels(c->png, c->info);
  h->row_bytes = png_get_rowbytes(c->png, c->info);
  return true;
}

bool png_step_row(PngContext *c, unsigned char *row) {
  if (setjmp(png_jmpbuf(c->png))) return false;
  png_read_row(c->png, row, nullptr);
  return true;
}

// Gray with alpha (libpng's output for any picture with transparency) laid
// on white paper.
void gray_on_white(std::span<const unsigned char> gray_alpha, std::span<unsigned char> gray) {
  for (std::size_t x = 0; x < gray.size(); ++x) {
    const unsigned g = gray_alpha[2 * x], a = gray_alpha[2 * x + 1];
    gray[x] = static_cast<unsigned char>((g * a + 255 * (255 - a) + 127) / 255);
  }
}

class PngReader final : public PictureReader {
 public:
  ~PngReader() override {
    if (c_.png) png_destroy_read_struct(&c_.png, &c_.info, nullptr);
  }

  const char *kind() const override { return "PNG"; }

  std::string container_fault(std::FILE *file) const override { return png_container_fault(file); }

  bool read_header(std::FILE *file) override {
    c_.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &c_, png_fail, png_ignore_warning);
    if (c_.png) c_.info = png_create_info_struct(c_.png);
    if (!c_.png || !c_.info) return fail("out of memory");
    if (!png_step_header(&c_, file, &header_)) return fail(c_.message);
    width_ = header_.width;
    height_ = header_.height;
    if ((header_.channels != 1 && header_.channels != 2) ||
        header_.row_bytes != static_cast<std::size_t>(header_.width) * header_.channels)
      return fail("a pixel layout libpng could not turn into gray");
    if (header_.passes > 1) {
      // Interlaced rows are finished only by the last pass: the picture is
      // held whole as libpng gives it, within the page limit.
      const auto bytes = static_cast<unsigned long long>(header_.row_bytes) * header_.height;
      if (bytes > static_cast<unsigned long long>(kMaxGrayPageBytes)) {
        char message[256];
        std::snprintf(message, sizeof(message),
                      "it is interlaced, so it must be held whole, and at %llu bytes it is larger than "
                      "the %lld bytes a page may hold",
                      bytes, kMaxGrayPageBytes);
        return fail(message);
      }
    }
    return true;
  }

  bool read_row(std::span<unsigned char> row) override {
    if (row.size() != width_ || next_row_ >= height_) return fail("no more rows");
    unsigned char *source = nullptr;
    if (header_.passes > 1) {
      if (!whole_ && !read_whole()) return false;
      source = whole_.get() + header_.row_bytes * next_row_;
    } else {
      if (!line_) line_ = allocate_buffer(header_.row_bytes);
      if (!line_) return fail("out of memory");
      if (!png_step_row(&c_, line_.get())) return fail(c_.message);
      source = line_.get();
    }
    ++next_row_;
    if (header_.channels == 1)
      std::memcpy(row.data(), source, row.size());
    else
      gray_on_white({source, header_.row_bytes}, row);
    return true;
  }

 private:
  bool read_whole() {
    whole_ = allocate_large_buffer(header_.row_bytes * header_.height, false);
    if (!whole_) return fail("out of memory for the interlaced picture");
    for (int pass = 0; pass < header_.passes; ++pass) {
      for (unsigned y = 0; y < header_.height; ++y) {
        if (should_stop()) return fail("stopped");
        if (!png_step_row(&c_, whole_.get() + header_.row_bytes * y)) return fail(c_.message);
      }
    }
    return true;
  }

  PngContext c_;
  PngHeader header_;
  unsigned next_row_ = 0;
  MallocBuffer line_;
  MallocBuffer whole_;
};

// --- JPEG --------------------------------------------------------------------------

struct JpegContext {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  jpeg_progress_mgr progress;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX] = "";
  bool created = false;
  bool warned = false;  // libjpeg met damage it could work around
  bool stopped = false;
  const PictureReader *reader = nullptr;
  bool (*stop)(const PictureReader *) = nullptr;
};

JpegContext *context_of(j_common_ptr cinfo) { return static_cast<JpegContext *>(cinfo->client_data); }

[[noreturn]] void jpeg_fail(j_common_ptr cinfo) {
  JpegContext *c = context_of(cinfo);
  (*cinfo->err->format_message)(cinfo, c->message);
  std::longjmp(c->jump, 1);
}

// Warnings are damage libjpeg papers over (a truncated file ends in gray);
// the first is kept, and the picture is refused rather than printed so.
void jpeg_note(j_common_ptr cinfo, int level) {
  JpegContext *c = context_of(cinfo);
  if (level < 0 && !c->warned) {
    c->warned = true;
    (*cinfo->err->format_message)(cinfo, c->message);
  }
}

void jpeg_quiet(j_common_ptr) {}

// A progressive picture is read whole before its first row comes out: the
// reading stops here when asked to.
void jpeg_progress(j_common_ptr cinfo) {
  JpegContext *c = context_of(cinfo);
  if (c->stop && c->stop(c->reader)) {
    c->stopped = true;
    std::snprintf(c->message, sizeof(c->message), "stopped");
    std::longjmp(c->jump, 1);
  }
}

bool jpeg_step_create(JpegContext *c) {
  if (setjmp(c->jump)) return false;
  jpeg_create_decompress(&c->cinfo);
  c->created = true;
  return true;
}

bool jpeg_step_header(JpegContext *c, std::FILE *file) {
  if (setjmp(c->jump)) return false;
  jpeg_stdio_src(&c->cinfo, file);
  jpeg_read_header(&c->cinfo, TRUE);
  return true;
}

bool jpeg_step_start(JpegContext *c) {
  if (setjmp(c->jump)) return false;
  jpeg_start_decompress(&c->cinfo);
  return true;
}

bool jpeg_step_row(JpegContext *c, unsigned char *row) {
  if (setjmp(c->jump)) return false;
  JSAMPROW rows[1] = {row};
  return jpeg_read_scanlines(&c->cinfo, rows, 1) == 1;
}

class JpegReader final : public PictureReader {
 public:
  JpegReader() {
    c_.cinfo.err = jpeg_std_error(&c_.err);
    c_.err.error_exit = jpeg_fail;
    c_.err.emit_message = jpeg_note;
    c_.err.output_message = jpeg_quiet;
    c_.cinfo.client_data = &c_;
    c_.progress.progress_monitor = jpeg_progress;
    c_.reader = this;
    c_.stop = [](const PictureReader *r) { return static_cast<const JpegReader *>(r)->should_stop(); };
  }
  ~JpegReader() override {
    if (c_.created) jpeg_destroy_decompress(&c_.cinfo);
  }

  const char *kind() const override { return "JPEG"; }

  std::string container_fault(std::FILE *file) const override { return jpeg_container_fault(file); }

  bool read_header(std::FILE *file) override {
    if (!jpeg_step_create(&c_)) return fail(c_.message);
    c_.cinfo.progress = &c_.progress;
    if (!jpeg_step_header(&c_, file)) return fail(c_.message);
    if (c_.warned) return fail(c_.message);
    width_ = c_.cinfo.image_width;
    height_ = c_.cinfo.image_height;
    const J_COLOR_SPACE space = c_.cinfo.jpeg_color_space;
    if (space != JCS_GRAYSCALE && space != JCS_YCbCr && space != JCS_RGB)
      return fail("its colours are in CMYK or another space without a way to gray");
    c_.cinfo.out_color_space = JCS_GRAYSCALE;
    // Progressive pictures are held whole as coefficients by libjpeg: no
    // more than a page may hold.
    c_.cinfo.mem->max_memory_to_use = kMaxGrayPageBytes;
    return true;
  }

  bool read_row(std::span<unsigned char> row) override {
    if (!c_.created || row.size() != width_) return fail("no more rows");
    if (!started_) {
      started_ = true;
      if (!jpeg_step_start(&c_)) return fail_from_libjpeg();
      if (c_.cinfo.output_components != 1 || c_.cinfo.output_width != width_)
        return fail("a pixel layout libjpeg could not turn into gray");
    }
    if (c_.warned) return fail(c_.message);
    if (!jpeg_step_row(&c_, row.data())) return fail_from_libjpeg();
    if (c_.warned) return fail(c_.message);
    return true;
  }

 private:
  bool fail_from_libjpeg() {
    if (!c_.stopped && c_.err.msg_code == JERR_NO_BACKING_STORE) {
      char message[160];
      std::snprintf(message, sizeof(message),
                    "decoding it needs more than the %lld bytes a page may hold", kMaxGrayPageBytes);
      return fail(message);
    }
    return fail(c_.message[0] ? c_.message : "it ends early");
  }

  JpegContext c_{};
  bool started_ = false;
};

}  // namespace

bool PictureReader::open(std::FILE *file) {
  file_ = file;
  start_ = ftello(file);
  if (start_ < 0) return fail("it cannot be read: its file does not seek");
  return read_header(file);
}

bool PictureReader::verify() {
  if (!file_) return fail("it was not opened");
  // The decoder has read the header and goes on from where it stopped.
  const off_t here = ftello(file_);
  if (here < 0 || fseeko(file_, static_cast<off_t>(start_), SEEK_SET) != 0)
    return fail("it cannot be read: its file does not seek");
  std::string fault = container_fault(file_);
  if (fseeko(file_, here, SEEK_SET) != 0) return fail("it cannot be read: its file does not seek");
  return fault.empty() || fail(std::move(fault));
}

std::unique_ptr<PictureReader> make_png_reader() { return std::make_unique<PngReader>(); }
std::unique_ptr<PictureReader> make_jpeg_reader() { return std::make_unique<JpegReader>(); }

}  // namespace quorvane::app
