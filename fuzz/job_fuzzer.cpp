// The whole job on an arbitrary raster stream: the filter's own sequence of
// calls (raster stream on the input, PPD from a file, defaults and job
// options marked, the job and document hooks around the page loop calling
// PrintPage), the printer bytes captured in a file.
//
// Input: one byte choosing the PPD (conversion 0-6, binarisation 0-2 and one
// of twelve sets of page settings and hook commands; the values 252 to 255
// choose the first four again with the job cancelled before its first page),
// then the raster stream.
//
// What reaches standard output is decoded again with the preview decoder:
// whatever the input, the printer must get whole commands only (hook
// commands of junk hex text aside, which only the last settings set has).
//
// Pages are bounded so that a run stays in memory and time: a page header
// that claims more than kMaxPageBytes of pixels ends the job; more than
// three copies or more than 2400 dots per inch are cut down here. The
// filter's own refusals of larger pages are tested by whole jobs.
#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_input.h"
#include "job_hooks.h"
#include "preview_decoder.h"
#include "print_page.h"

namespace {

constexpr unsigned long long kMaxPageBytes = 1 << 20;
constexpr unsigned kMaxCopies = 3;
constexpr unsigned kMaxResolution = 2400;
constexpr int kMaxPages = 8;
constexpr unsigned kVariants = 7 * 3 * 12;

std::string g_ppd_dir;

const char *const kPpdHead =
    "*PPD-Adobe: \"4.3\"\n"
    "*FormatVersion: \"4.3\"\n"
    "*FileVersion: \"1.0\"\n"
    "*LanguageVersion: English\n"
    "*LanguageEncoding: ISOLatin1\n"
    "*PCFileName: \"QVFUZZ.PPD\"\n"
    "*Manufacturer: \"quorvane\"\n"
    "*Product: \"(Fuzz)\"\n"
    "*ModelName: \"quorvane fuzz\"\n"
    "*ShortNickName: \"quorvane fuzz\"\n"
    "*NickName: \"quorvane fuzz\"\n"
    "*PSVersion: \"(3010.000) 0\"\n"
    "*ColorDevice: False\n";

std::string attr(const std::string &keyword, const std::string &value) {
  return "*" + keyword + ": \"" + value + "\"\n";
}

// Page settings and hook commands beside the two algorithms.
std::string extras(unsigned set) {
  switch (set) {
    case 1:
      return attr("PaperSaveTop", "2") + attr("PaperSaveMiddle", "3") +
             attr("PaperSaveBottom", "1");
    case 2:
      return attr("ImageUpsideDownPrint", "1");
    case 3:
      return attr("StripLeftPadding", "1") + attr("StripRightPadding", "1");
    case 4:
      return attr("MaxPrintableWidth", "64");
    case 5:
      return attr("MaxPrintableWidth", "96") + attr("HorizontalPrintPositionAdjustment", "1") +
             attr("HorizontalPrintAlignment", "1");
    case 6:
      return attr("MaxPrintableWidth", "100") + attr("HorizontalPrintPositionAdjustment", "1") +
             attr("HorizontalPrintAlignment", "2") + attr("HorizontalPrintOffset", "-13");
    case 7:
      return attr("MaxPrintableWidth", "48") + attr("HorizontalPrintPositionAdjustment", "1") +
             attr("HorizontalPrintOffset", "2147483647");
    case 8:
      return attr("PaperSaveTop", "1") + attr("PaperSaveMiddle", "1") +
             attr("PaperSaveBottom", "1") + attr("ImageUpsideDownPrint", "1") +
             attr("StripLeftPadding", "1") + attr("StripRightPadding", "1") +
             attr("MaxPrintableWidth", "72") + attr("HorizontalPrintPositionAdjustment", "1") +
             attr("HorizontalPrintAlignment", "1") + attr("HorizontalPrintOffset", "5");
    case 9:
      return attr("TSPL.SPEED", "4") + attr("TSPL.DENSITY", "8") + attr("TSPL.PAPERTYPE", "2") +
             attr("ORX.PAPERTYPE", "1") + attr("ORX.IMAGECOMPRESSION", "1") +
             attr("ORX.DENSITY", "3") + attr("ORX.SPEED", "2") +
             attr("ORX.FINISHPRINTFEED", "5") + attr("ORX.FINISHPRINTCUT", "1");
    case 10:
      return attr("TSPL.PAPERTYPE", "0") + attr("ORX.IMAGECOMPRESSION", "2") +
             attr("ORX.PAPERTYPE", "1") + attr("ORX.FINISHPRINTFEED", "-4") +
             attr("ORX.FINISHPRINTCUT", "2") + attr("HorizontalPrintOffset", "-100000");
    case 11:
      return attr("StartJobCmd", "1b40 G 0x7") + attr("StartPageCmd", "ABC") +
             attr("EndPageCmd", "1d 56 0") + attr("EndJobCmd", "zz") +
             "*OpenUI *Cut/Cut: PickOne\n*OrderDependency: 23.5 AnySetup *Cut\n"
             "*DefaultCut: Full\n*Cut Full/Full: \"1D5600\"\n*Cut None/None: \"\"\n"
             "*CloseUI: *Cut\n" +
             attr("PaperSaveMiddle", "1");
    default:
      return "";
  }
}

std::string ppd_path(unsigned variant) {
  variant %= kVariants;
  const std::string path = g_ppd_dir + "/v" + std::to_string(variant) + ".ppd";
  if (!std::filesystem::exists(path)) {
    std::ofstream out(path, std::ios::binary);
    out << kPpdHead << attr("ImageCmdConversionAlgorithm", std::to_string(variant % 7))
        << attr("ImageBinarizationAlgorithm", std::to_string(variant / 7 % 3))
        << extras(variant / 21);
  }
  return path;
}

void run_pages(ppd_file_t *ppd, cups_raster_t *stream) {
  cups_page_header2_t header;
  int page = 0;
  while (page < kMaxPages && cupsRasterReadHeader2(stream, &header)) {
    if (Canceled) break;
    const unsigned long long bytes =
        static_cast<unsigned long long>(header.cupsBytesPerLine) * header.cupsHeight;
    if (bytes > kMaxPageBytes) break;
    if (header.NumCopies > kMaxCopies) header.NumCopies = kMaxCopies;
    // The label conversions feed paper in proportion to the resolution: a
    // claim of billions of dots per inch means megabytes of feed commands.
    for (unsigned &dpi : header.HWResolution)
      if (dpi > kMaxResolution) dpi %= kMaxResolution + 1;
    StartPage(ppd);
    ++page;
    const bool ok = PrintPage(ppd, stream, &header, page);
    EndPage(ppd);
    if (!ok) break;
  }
}

// Standard output goes to a file that each run empties and reads back.
std::string printer_bytes() {
  quorvane::fuzz::require(std::fflush(stdout) == 0, "flush");
  std::string out;
  char buf[65536];
  for (off_t at = 0;;) {
    const ssize_t n = pread(fileno(stdout), buf, sizeof buf, at);
    if (n <= 0) break;
    out.append(buf, static_cast<std::size_t>(n));
    at += n;
  }
  return out;
}

void check_commands(unsigned variant, const std::string &out) {
  const unsigned conversion = variant % kVariants % 7, settings = variant % kVariants / 21;
  // TSPL labels are sized in millimetres from the page header's resolution,
  // which the decoder cannot know; junk hook text decodes to junk.
  if (conversion == 4 || settings == 11) return;
  namespace pv = quorvane::preview;
  const pv::DecodeResult r =
      pv::decode_stream(reinterpret_cast<const std::uint8_t *>(out.data()), out.size());
  for (const std::string &problem : r.problems) {
    if (problem.find("clipped") != std::string::npos ||
        problem.find("too many pages") != std::string::npos)
      continue;
    std::fprintf(stderr, "printer bytes: %s\n", problem.c_str());
    quorvane::fuzz::require(false, "whole commands on standard output");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  std::string dir = (std::filesystem::temp_directory_path() / "quorvane-fuzz-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) std::abort();
  g_ppd_dir = dir;
  if (std::freopen((g_ppd_dir + "/stdout").c_str(), "w+", stdout) == nullptr) std::abort();
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(g_ppd_dir, ec);
  });
  // SIGTERM keeps its default action here, so that the fuzzer itself can be
  // stopped; cancellation is set by the input instead.
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 1) return 0;
  std::fflush(stdout);
  if (ftruncate(fileno(stdout), 0) != 0) std::abort();
  std::rewind(stdout);
  const int fd = memfd_create("raster", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  std::size_t done = 1;
  while (done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  lseek(fd, 0, SEEK_SET);
  // Choice bytes past the last PPD variant also cancel the job at once.
  Canceled = data[0] >= kVariants;

  cups_raster_t *stream = cupsRasterOpen(fd, CUPS_RASTER_READ);
  if (stream != nullptr) {
    cups_option_t *options = nullptr;
    const int num_options = cupsParseOptions("Cut=None PaperSaveTop=3", 0, &options);
    ppd_file_t *ppd = ppdOpenFile(ppd_path(data[0]).c_str());
    if (ppd == nullptr) std::abort();
    ppdMarkDefaults(ppd);
    cupsMarkOptions(ppd, num_options, options);
    StartJob(ppd);
    StartDoc(ppd);
    run_pages(ppd, stream);
    EndDoc(ppd);
    EndJob(ppd);
    ppdClose(ppd);
    cupsFreeOptions(num_options, options);
    cupsRasterClose(stream);
  }
  close(fd);
  check_commands(data[0], printer_bytes());
  return 0;
}
