// quorvane-preview: shows what a printer would make of a command stream that
// the quorvane filter wrote, without a printer.
//
//   quorvane-preview [options] INPUT [OUTPUT-PREFIX]
//
// INPUT is a file or "-" for standard input. For every page the printer would
// put out, OUTPUT-PREFIX-001.png, -002.png, ... are written; a summary of the
// commands found, the pages and any bytes not understood goes to standard
// output. Exit status: 0 when every byte was understood, 1 when some were
// not or a command was malformed (the pages are still written), 2 on a usage
// or file error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "page_image.h"
#include "preview_decoder.h"
#include "quorvane_version.h"

namespace {

void usage() {
  std::fputs(
      "usage: quorvane-preview [options] INPUT [OUTPUT-PREFIX]\n"
      "  INPUT              printer command stream, or - for standard input\n"
      "  OUTPUT-PREFIX      write OUTPUT-PREFIX-001.png ... (one per page)\n"
      "options:\n"
      "  --pbm              write PBM pictures instead of PNG\n"
      "  --line-spacing N   dots per line feed before any ESC 3 (default 30)\n"
      "  --dpi N            resolution for TSPL sizes in mm or inches (default 203)\n"
      "  --max-pages N      render at most N pages (default 1000)\n"
      "  --quiet            no summary\n"
      "  --version          print the version and exit\n"
      "Pages end at a cut (GS V, ESC i, ESC m), a printed label (SUB O, TSPL PRINT)\n"
      "or the end of the stream.\n",
      stderr);
}

bool parse_int(const char *text, int lo, int hi, int &out) {
  char *end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno || !end || *end || end == text || v < lo || v > hi) return false;
  out = static_cast<int>(v);
  return true;
}

bool read_all(const std::string &path, std::vector<std::uint8_t> &data) {
  std::FILE *f = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::uint8_t buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  const bool ok = !std::ferror(f);
  if (f != stdin) std::fclose(f);
  return ok;
}

int run(int argc, char **argv) {
  quorvane::preview::DecodeOptions options;
  bool pbm = false, quiet = false;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](int lo, int hi, int &out) {
      if (i + 1 >= argc || !parse_int(argv[++i], lo, hi, out)) {
        std::fprintf(stderr, "quorvane-preview: %s needs a number from %d to %d\n", a.c_str(), lo, hi);
        return false;
      }
      return true;
    };
    if (a == "--pbm") pbm = true;
    else if (a == "--quiet") quiet = true;
    else if (a == "--line-spacing") { if (!value(0, 255, options.line_spacing)) return 2; }
    else if (a == "--dpi") { if (!value(1, 2400, options.tspl_dpi)) return 2; }
    else if (a == "--max-pages") { if (!value(0, 100000, options.max_pages)) return 2; }
    else if (a == "-h" || a == "--help") { usage(); return 0; }
    else if (a == "--version") { std::printf("quorvane-preview %s\n", QUORVANE_VERSION); return 0; }
    else if (a.size() > 1 && a[0] == '-' && a != "-") { usage(); return 2; }
    else args.push_back(a);
  }
  if (args.empty() || args.size() > 2) {
    usage();
    return 2;
  }
  std::vector<std::uint8_t> data;
  if (!read_all(args[0], data)) {
    std::fprintf(stderr, "quorvane-preview: cannot read %s: %s\n", args[0].c_str(), std::strerror(errno));
    return 2;
  }
  const auto result = quorvane::preview::decode_stream(data.data(), data.size(), options);
  if (!quiet) std::fputs(quorvane::preview::format_summary(result).c_str(), stdout);
  if (args.size() == 2) {
    for (std::size_t i = 0; i < result.pages.size(); ++i) {
      char suffix[32];
      std::snprintf(suffix, sizeof suffix, "-%03zu.%s", i + 1, pbm ? "pbm" : "png");
      const std::string path = args[1] + suffix;
      const bool ok = pbm ? quorvane::preview::write_pbm(result.pages[i], path)
                          : quorvane::preview::write_png(result.pages[i], path);
      if (!ok) {
        std::fprintf(stderr, "quorvane-preview: cannot write %s\n", path.c_str());
        return 2;
      }
      if (!quiet) std::printf("Wrote %s\n", path.c_str());
    }
  }
  return result.unknown_bytes == 0 && result.problems.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc &) {
    std::fputs("quorvane-preview: out of memory\n", stderr);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "quorvane-preview: %s\n", e.what());
  }
  return 2;
}
