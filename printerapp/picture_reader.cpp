#include "picture_reader.h"

#include <csetjmp>
#include <cstring>

// clang-format off
#include <png.h>
#include <jpeglib.h>
#include <jerror.h>
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

  bool open(std::FILE *file) override {
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

  bool open(std::FILE *file) override {
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

std::unique_ptr<PictureReader> make_png_reader() { return std::make_unique<PngReader>(); }
std::unique_ptr<PictureReader> make_jpeg_reader() { return std::make_unique<JpegReader>(); }

}  // namespace quorvane::app
