// Whole jobs on input no print system should send: raster headers no page
// can honour, streams cut short or followed by garbage, broken PPDs, junk in
// hook commands and job options, and output that fails or is cancelled
// midway. Each job must end quietly (trace lines, no error text, nothing on
// standard output but whole commands) with the exit status its lifecycle
// gives.
#include <gtest/gtest.h>
#include <cups/raster.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "filter_job.h"
#include "test_pages.h"

namespace quorvane::test {
namespace {

const std::string kZeros(64, '\0');
// The hook commands of the PPD below: StartJob A0 ... EndJob A5.
const std::string kJobStart = bytes({0xA0, 0xA1});
const std::string kJobEnd = bytes({0xA4, 0xA5});
// Where a page was refused: its page hooks and nothing between them.
const std::string kRefusedPage = bytes({0xA2, 0xA3});
// The one-row page most tests print: eight dots of full ink, one GS v 0 band.
const std::string kBand = bytes({0x1D, 0x76, 0x30, 0, 1, 0, 1, 0, 0xFF});
const std::string kPrinted = bytes({0xA2}) + kBand + bytes({0xA3});

// A raster page header as the stream carries it, for headers libcups' writer
// would not produce: 8-bit K at 203 dpi unless changed.
cups_page_header2_t raw_header(unsigned width, unsigned height, unsigned bytes_per_line) {
  cups_page_header2_t h;
  std::memset(&h, 0, sizeof h);
  h.HWResolution[0] = h.HWResolution[1] = 203;
  h.NumCopies = 1;
  h.cupsWidth = width;
  h.cupsHeight = height;
  h.cupsBitsPerColor = 8;
  h.cupsBitsPerPixel = 8;
  h.cupsBytesPerLine = bytes_per_line;
  h.cupsColorSpace = CUPS_CSPACE_K;
  h.cupsNumColors = 1;
  return h;
}

std::string swapped(std::string s) {
  for (std::size_t i = 0; i + 4 <= s.size(); i += 4) std::reverse(s.begin() + i, s.begin() + i + 4);
  return s;
}

// An uncompressed (version 3) raster stream of raw headers and pixel bytes,
// in this machine's byte order or, with big_endian, in the other one on a
// little-endian machine (libcups swaps such a stream as it reads it).
struct RawStream {
  std::string bytes;
  explicit RawStream(bool other_order = false) : other_order_(other_order) {
    const unsigned sync = CUPS_RASTER_SYNC;
    std::string s(reinterpret_cast<const char *>(&sync), 4);
    bytes = other_order ? swapped(s) : s;
  }
  RawStream &page(const cups_page_header2_t &h, const std::string &pixels) {
    std::string head(reinterpret_cast<const char *>(&h), sizeof h);
    if (other_order_) {
      // The four strings of 64 bytes stay; every field after them swaps.
      const std::size_t strings = 4 * 64;
      head = head.substr(0, strings) + swapped(head.substr(strings));
    }
    bytes += head + pixels;
    return *this;
  }
  RawStream &append(const std::string &more) {
    bytes += more;
    return *this;
  }

 private:
  bool other_order_;
};

// Nothing on standard error: the set-up failures are quiet, and release
// what they opened (a sanitizer build would report it otherwise).
void expect_quiet_setup_failure(const std::string &err, const std::string &what) {
  EXPECT_TRUE(err.empty()) << what << ": " << err;
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class HardeningTest : public ::testing::Test {
 protected:
  std::string ppd(const std::string &extra = "") {
    return dir.write("test.ppd", ppd_text(kHookMarkerPpdLines + extra));
  }
  JobResult raw_job(const std::string &stream, const std::string &options = "") {
    return run_job(ppd(), dir.write("job.ras", stream), options);
  }
  // A job whose one page the filter reads and refuses: its header dump on
  // standard error and nothing else, the page hooks with nothing between.
  void expect_refused_page(const JobResult &r, const std::string &what) {
    EXPECT_EQ(r.status, 1) << what;
    EXPECT_EQ(r.out, kZeros + kJobStart + kRefusedPage + kJobEnd) << what;
    EXPECT_TRUE(r.status_lines().empty()) << what;
    EXPECT_EQ(r.err.rfind("DEBUG: dump_cups_page_header...\n", 0), 0u) << what;
    EXPECT_EQ(r.trace.back(), "EndJob") << what;
  }
  // A job whose stream ends where libcups finds no further page header.
  void expect_no_page(const JobResult &r, const std::string &what) {
    EXPECT_EQ(r.status, 1) << what;
    EXPECT_EQ(r.out, kZeros + kJobStart + kJobEnd) << what;
    EXPECT_TRUE(r.err.empty()) << what;
    EXPECT_EQ(r.trace.back(), "EndJob") << what;
  }
  void expect_printed(const JobResult &r, const std::string &what) {
    EXPECT_EQ(r.status, 0) << what;
    EXPECT_EQ(r.out, kZeros + kJobStart + kPrinted + kJobEnd) << what;
    EXPECT_EQ(r.status_lines(),
              (std::vector<std::string>{"PAGE: 1 1", "INFO: Sending Page 1 Copies 1 of 1",
                                        "INFO: BytesToWrite:9 BytesWritted:9",
                                        "ATTR: job-media-progress=100", "INFO: Finished page 1"}))
        << what;
  }
  TempDir dir;
};

// --- Raster headers ---------------------------------------------------------

TEST_F(HardeningTest, RawStreamOfAValidPagePrints) {
  // The raw writer itself, in both byte orders.
  const std::string ink(8, '\xff');
  expect_printed(raw_job(RawStream().page(raw_header(8, 1, 8), ink).bytes), "native");
  expect_printed(raw_job(RawStream(true).page(raw_header(8, 1, 8), ink).bytes), "swapped");
}

TEST_F(HardeningTest, HeadersLibcupsTakesForTheEndOfTheStream) {
  // No height, no bytes per line, bytes per line beyond 2^31: no page is
  // read, so no page hook runs and the job ends as an empty one.
  const std::string ink(64, '\xff');
  expect_no_page(raw_job(RawStream().page(raw_header(8, 0, 8), ink).bytes), "height 0");
  expect_no_page(raw_job(RawStream().page(raw_header(8, 1, 0), ink).bytes), "bytes per line 0");
  expect_no_page(raw_job(RawStream().page(raw_header(0, 1, 0), ink).bytes), "nothing at all");
  expect_no_page(raw_job(RawStream().page(raw_header(0x80000000u, 1, 0x80000000u), ink).bytes),
                 "width 2^31");
  expect_no_page(raw_job(RawStream().page(raw_header(0xFFFFFFFFu, 1, 0xFFFFFFFFu), ink).bytes),
                 "width 2^32 - 1");
  // A compressed stream whose header is all ones: libcups sets up a 4 GiB
  // line buffer for it before refusing it; the filter stays small and quiet.
  const unsigned sync = CUPS_RASTER_SYNCv2;
  expect_no_page(raw_job(std::string(reinterpret_cast<const char *>(&sync), 4) +
                         std::string(sizeof(cups_page_header2_t), '\xff') + ink),
                 "compressed, all ones");
}

TEST_F(HardeningTest, HeadersClaimingSizesNoPageHasAreRefused) {
  const std::string ink(64, '\xff');
  // 65536 x 65537 is 2^32 + 65536 bytes: a 32-bit product would claim a
  // 64 KiB page and print the stream's next bytes as this one's.
  const JobResult wrap =
      raw_job(RawStream().page(raw_header(65536, 65537, 65536), std::string(65536, '\xff')).bytes);
  expect_refused_page(wrap, "size wrapping 32 bits");
  expect_refused_page(raw_job(RawStream().page(raw_header(8, 0xFFFFFFFFu, 8), ink).bytes),
                      "height 2^32 - 1");
  expect_refused_page(raw_job(RawStream().page(raw_header(8, 0x80000000u, 8), ink).bytes),
                      "height 2^31");
  // 40000 x 30000 fits every field but is over the 1 GiB a page may take.
  expect_refused_page(raw_job(RawStream().page(raw_header(40000, 30000, 40000), ink).bytes),
                      "1.2 GB page");
  expect_refused_page(raw_job(RawStream().page(raw_header(100, 1, 99), ink).bytes),
                      "lines shorter than the width");
  expect_refused_page(raw_job(RawStream().page(raw_header(0, 1, 8), ink).bytes), "width 0");
}

TEST_F(HardeningTest, PagesOfOtherSampleSizesAreRefused) {
  struct Depth {
    unsigned bits_per_color, bits_per_pixel, color_space, colors;
  };
  for (const Depth d : {Depth{16, 16, CUPS_CSPACE_K, 1}, Depth{2, 2, CUPS_CSPACE_K, 1},
                        Depth{8, 32, CUPS_CSPACE_CMYK, 4}, Depth{16, 48, CUPS_CSPACE_RGB, 3}}) {
    cups_page_header2_t h = raw_header(8, 1, 8 * d.bits_per_pixel / 8);
    h.cupsBitsPerColor = d.bits_per_color;
    h.cupsBitsPerPixel = d.bits_per_pixel;
    h.cupsColorSpace = static_cast<cups_cspace_t>(d.color_space);
    h.cupsNumColors = d.colors;
    const JobResult r =
        raw_job(RawStream().page(h, std::string(h.cupsBytesPerLine, '\xff')).bytes);
    expect_refused_page(r, std::to_string(d.bits_per_pixel) + " bits");
    EXPECT_NE(r.err.find("DEBUG: cupsBitsPerPixel = " + std::to_string(d.bits_per_pixel) + "\n"),
              std::string::npos);
  }
}

TEST_F(HardeningTest, EnumFieldsOutsideTheirValuesAreDumpedAsNumbers) {
  // The stream decides what these fields hold; the dump prints them and the
  // page prints as usual.
  cups_page_header2_t h = raw_header(8, 1, 8);
  const unsigned odd = 16777216;
  for (void *field : {static_cast<void *>(&h.Duplex), static_cast<void *>(&h.ManualFeed),
                      static_cast<void *>(&h.MirrorPrint), static_cast<void *>(&h.NegativePrint),
                      static_cast<void *>(&h.Orientation), static_cast<void *>(&h.cupsColorOrder)})
    std::memcpy(field, &odd, sizeof odd);
  const JobResult r = raw_job(RawStream().page(h, std::string(8, '\xff')).bytes);
  expect_printed(r, "enum fields");
  for (const char *name :
       {"Duplex", "ManualFeed", "MirrorPrint", "NegativePrint", "Orientation", "cupsColorOrder"})
    EXPECT_NE(r.err.find(std::string("DEBUG: ") + name + " = 16777216\n"), std::string::npos)
        << name;
}

// --- Streams cut short or running on --------------------------------------

TEST_F(HardeningTest, StreamCutInsideTheFirstPageSendsNothingOfIt) {
  const std::string stream = RawStream().page(raw_header(8, 10, 8), std::string(79, '\xff')).bytes;
  expect_refused_page(raw_job(stream), "cut one byte short");
  expect_refused_page(raw_job(RawStream().page(raw_header(8, 1, 8), "").bytes), "header only");
}

TEST_F(HardeningTest, StreamCutInsideAHeaderEndsAsTheStreamDoes) {
  // The first page prints; half a header after it is the end of the stream.
  const cups_page_header2_t h = raw_header(8, 1, 8);
  std::string half(reinterpret_cast<const char *>(&h), sizeof h / 2);
  expect_printed(raw_job(RawStream().page(h, std::string(8, '\xff')).append(half).bytes),
                 "half a header");
}

TEST_F(HardeningTest, GarbageAfterAValidPageEndsTheJobAsTheStreamsEnd) {
  const cups_page_header2_t h = raw_header(8, 1, 8);
  const std::string page = RawStream().page(h, std::string(8, '\xff')).bytes;
  expect_printed(raw_job(page + "this is not a raster page\n"), "text");
  expect_printed(raw_job(page + std::string(4000, '\xff')), "0xFF bytes");
  expect_printed(raw_job(page + std::string(4000, '\0')), "zero bytes");
  std::string noise(4000, '\0');
  unsigned x = 12345;
  for (char &c : noise) c = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
  expect_printed(raw_job(page + noise), "noise");
}

TEST_F(HardeningTest, RasterFilesThatAreNoRasterStreamFailBeforeAnyOutput) {
  for (const std::string &path : {dir.path(""), std::string("/dev/zero"), std::string("/dev/null"),
                                   dir.write("text.ras", "%!PS-Adobe-3.0\n")}) {
    const JobResult r = run_job(ppd(), path);
    EXPECT_EQ(r.status, 1) << path;
    EXPECT_TRUE(r.out.empty()) << path;
    expect_quiet_setup_failure(r.err, path);
    EXPECT_EQ(r.trace.back(), "cupsRasterOpen Failed") << path;
  }
}

// --- PPDs -------------------------------------------------------------------

TEST_F(HardeningTest, BrokenPpdsStopTheJobBeforeAnyOutput) {
  const std::string ras = dir.write("job.ras", RawStream().page(raw_header(8, 1, 8),
                                                                std::string(8, '\xff')).bytes);
  const std::string full = ppd_text("*EndJobCmd: \"A5\"\n");
  std::string binary(3000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7 + 1);
  struct Case {
    std::string name, contents, trace;
  };
  const std::vector<Case> cases = {
      {"empty", "", "Missing PPD-Adobe-4.x header on line 0"},
      {"cut in the header line", full.substr(0, 10), "Missing PPD-Adobe-4.x header on line 0"},
      {"binary", "\x89PNG\r\n\x1a\n" + binary, "Missing asterisk in column 1 on line 1"},
      {"binary after a header", full + binary, "Missing asterisk in column 1 on line 16"},
      {"a line too long", full + "*Foo: \"" + std::string(300, 'A') + "\"\n",
       "Line longer than the maximum allowed (255 characters) on line 16"},
  };
  for (const Case &c : cases) {
    const JobResult r = run_job(dir.write("broken.ppd", c.contents), ras);
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_TRUE(r.out.empty()) << c.name;
    expect_quiet_setup_failure(r.err, c.name);
    ASSERT_FALSE(r.trace.empty()) << c.name;
    EXPECT_EQ(r.trace.back(), c.trace) << c.name;
  }
  // A folder where the PPD should be.
  const JobResult r = run_job(dir.path(""), ras);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(r.trace.back(), "Missing PPD-Adobe-4.x header on line 0");
}

TEST_F(HardeningTest, TruncatedPpdRunsWithWhatItHas) {
  // Cut after its StartDocCmd: the later hooks have no commands.
  const std::string ras = dir.write("job.ras", RawStream().page(raw_header(8, 1, 8),
                                                                std::string(8, '\xff')).bytes);
  const std::string full = ppd_text("*StartJobCmd: \"A0\"\n*StartDocCmd: \"A1\"\n"
                                    "*StartPageCmd: \"A2\"\n*EndJobCmd: \"A5\"\n");
  const std::string cut = full.substr(0, full.find("*StartPageCmd") + 16);
  const JobResult r = run_job(dir.write("cut.ppd", cut), ras);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kZeros + kJobStart + kBand);
}

TEST_F(HardeningTest, HookHexTextWithOddDigitsAndJunkSendsWhatItSpells) {
  // "B " and "4 " are bytes of their own; "zz", UTF-8 letters, "-" and "x"
  // are skipped; "0x" reads as 00; a final lone digit is a byte.
  const std::string ras = dir.write("job.ras", RawStream().page(raw_header(8, 1, 8),
                                                                std::string(8, '\xff')).bytes);
  JobResult r = run_job(
      dir.write("t.ppd", ppd_text("*EndJobCmd: \"A5 B 1b4 zz \xc3\xa9 0x7 -1\"\n")), ras);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kZeros + kBand + bytes({0xA5, 0x0B, 0x1B, 0x04, 0x00, 0x07, 0x01}));
  // Nothing but junk sends nothing.
  r = run_job(dir.write("t.ppd", ppd_text("*StartJobCmd: \"zz-!? ghij\"\n")), ras);
  EXPECT_EQ(r.out, kZeros + kBand);
}

TEST_F(HardeningTest, LongHookCommandsSpanningLinesAreSentWhole) {
  // 300 lines of 100 hex digits: 15000 bytes, whatever the line breaks.
  std::string text, want;
  for (int line = 0; line < 300; ++line) {
    for (int i = 0; i < 50; ++i) {
      const int v = (line * 50 + i) & 0xFF;
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02x", v);
      text += hex;
      want.push_back(static_cast<char>(v));
    }
    text += "\n";
  }
  const std::string ras = dir.write("job.ras", RawStream().page(raw_header(8, 1, 8),
                                                                std::string(8, '\xff')).bytes);
  const JobResult r = run_job(dir.write("t.ppd", ppd_text("*EndJobCmd: \"" + text + "\"\n")), ras);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kZeros + kBand + want);
}

// --- Job options --------------------------------------------------------------

TEST_F(HardeningTest, MalformedJobOptionsChangeNothing) {
  const std::string stream = RawStream().page(raw_header(8, 1, 8), std::string(8, '\xff')).bytes;
  for (const std::string options :
       {"=", "a=", "'unterminated", "a=\"x", "{", "a={b=c", "\\", "a=b=c=d", "\x01\x02\x7f",
        "noStartJobCmd", "ImageCmdConversionAlgorithm=9", "   ", "a=b\nc=d"})
    expect_printed(raw_job(stream, options), "options " + options);
}

TEST_F(HardeningTest, HugeJobOptionsAreTracedCutAndChangeNothing) {
  std::string options;
  // 100 kB: below the 128 KiB the kernel allows one argument.
  while (options.size() < 100000) options += "opt" + std::to_string(options.size()) + "=x ";
  const JobResult r =
      raw_job(RawStream().page(raw_header(8, 1, 8), std::string(8, '\xff')).bytes, options);
  expect_printed(r, "100 kB of options");
  // Trace lines are cut to 4094 characters: "5: " and the options' start,
  // without the line end, so the next line runs on from it.
  const std::string cut = "5: " + options.substr(0, 4091);
  const std::string raw_trace = read_file(QUORVANE_TEST_TRACE_FILE);
  EXPECT_NE(raw_trace.find("\r\n" + cut + "6: "), std::string::npos);
}

// --- Output and cancellation -------------------------------------------------

// Reads at least `bytes` of the filter's output, then sends SIGTERM.
std::function<void(int, int, std::string &)> term_after(std::size_t bytes) {
  return [bytes](int pid, int fd, std::string &out) {
    char buf[4096];
    while (out.size() < bytes) {
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) return;
      out.append(buf, static_cast<std::size_t>(n));
    }
    kill(pid, SIGTERM);
  };
}

TEST_F(HardeningTest, HugeNumCopiesStopsAtSigtermAfterAWholeCopy) {
  // 2^32 - 1 copies of a 17,360-byte block would never end on their own.
  cups_page_header2_t h = raw_header(576, 240, 576);
  h.NumCopies = 0xFFFFFFFFu;
  JobSpec job;
  job.argv = {"quorvane", "1", "u", "t", "1", "",
               dir.write("job.ras", RawStream().page(h, std::string(576 * 240, '\xff')).bytes)};
  job.ppd = ppd();
  job.while_running = term_after(300000);
  const JobResult r = run_filter(job);
  EXPECT_EQ(r.status, 1);
  const std::string head = kZeros + kJobStart + bytes({0xA2});
  const std::string tail = bytes({0xA3}) + kJobEnd;
  ASSERT_GT(r.out.size(), 300000u);
  EXPECT_EQ(r.out.substr(0, head.size()), head);
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
  const std::size_t block = 10 * 8 + 72 * 240;
  const std::size_t body = r.out.size() - head.size() - tail.size();
  EXPECT_EQ(body % block, 0u);
  // Every copy written was reported whole, and the page is not finished.
  const std::size_t copies = body / block;
  const std::vector<std::string> lines = r.status_lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "INFO: BytesToWrite:17360 BytesWritted:17360"),
            static_cast<long>(copies));
  EXPECT_EQ(r.err.find("INFO: Finished page"), std::string::npos);
  EXPECT_EQ(r.trace.back(), "EndJob");
}

TEST_F(HardeningTest, ClosedOutputPipeFailsTheJobWithoutFinishingThePage) {
  // The backend goes away at once: every write fails with EPIPE (SIGPIPE is
  // ignored), the copies stop at the first short one, the job ends with 1.
  cups_page_header2_t h = raw_header(576, 240, 576);
  h.NumCopies = 50;
  JobSpec job;
  job.argv = {"quorvane", "1", "u", "t", "1", "",
               dir.write("job.ras", RawStream().page(h, std::string(576 * 240, '\xff')).bytes)};
  job.ppd = ppd();
  int closed_fd = -1;
  job.while_running = [&closed_fd](int, int fd, std::string &) {
    close(fd);
    closed_fd = fd;
  };
  const JobResult r = run_filter(job);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.find("INFO: Finished page"), std::string::npos);
  // The copies end with the first one that was not written whole, which is
  // reported as such; the pipe's buffer may have taken a few before it.
  const std::vector<std::string> lines = r.status_lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "PAGE: 1 50");
  const std::size_t copies = (lines.size() - 1) / 3;
  ASSERT_EQ(lines.size(), 1 + 3 * copies);
  EXPECT_LT(copies, 50u);
  for (std::size_t i = 0; i < copies; ++i) {
    EXPECT_EQ(lines[1 + 3 * i], "INFO: Sending Page 1 Copies " + std::to_string(i + 1) + " of 50");
    const bool whole = lines[2 + 3 * i] == "INFO: BytesToWrite:17360 BytesWritted:17360";
    EXPECT_EQ(whole, i + 1 < copies) << i;
  }
  EXPECT_EQ(r.trace.back(), "EndJob");
  EXPECT_GE(closed_fd, 0);
}

// Splits a job's output into its parts: 64 zeros, the job-start hooks, per
// page A2, whole GS v 0 bands, A3, then the job-end hooks; false if anything
// is left over or cut.
bool whole_commands_only(const std::string &out, int &pages, bool &ended) {
  pages = 0;
  ended = false;
  std::size_t at = 0;
  auto take = [&](const std::string &s) {
    if (out.size() - at < s.size() || out.compare(at, s.size(), s) != 0) return false;
    at += s.size();
    return true;
  };
  if (out.empty()) return true;  // killed before the job started
  if (!take(kZeros) || !take(kJobStart)) return false;
  while (take(bytes({0xA2}))) {
    while (out.size() - at >= 8 && out.compare(at, 4, bytes({0x1D, 0x76, 0x30, 0})) == 0) {
      const std::size_t n = (static_cast<unsigned char>(out[at + 4]) |
                             static_cast<unsigned char>(out[at + 5]) << 8) *
                            (static_cast<unsigned char>(out[at + 6]) |
                             static_cast<unsigned char>(out[at + 7]) << 8);
      if (out.size() - at - 8 < n) return false;
      at += 8 + n;
    }
    if (!take(bytes({0xA3}))) return false;
    ++pages;
  }
  ended = take(kJobEnd);
  return ended && at == out.size();
}

TEST_F(HardeningTest, SigtermAtAnyMomentLeavesWholeCommandsAndWholeTraceLines) {
  // Three pages of several bands and copies; the signal comes after a
  // growing delay, from before the handler is installed to after the end.
  cups_page_header2_t h = raw_header(576, 300, 576);
  h.NumCopies = 3;
  std::string ink(576 * 300, '\0');
  for (std::size_t i = 0; i < ink.size(); ++i) ink[i] = static_cast<char>(i * 31 % 251);
  const std::string ras =
      dir.write("job.ras", RawStream().page(h, ink).page(h, ink).page(h, ink).bytes);
  const std::string ppd_path = ppd();
  for (int delay_us : {0, 200, 1000, 3000, 6000, 10000, 20000, 40000, 80000, 200000}) {
    JobSpec job;
    job.argv = {"quorvane", "1", "u", "t", "1", "", ras};
    job.ppd = ppd_path;
    job.while_running = [delay_us](int pid, int, std::string &) {
      std::this_thread::sleep_for(std::chrono::microseconds(delay_us));
      kill(pid, SIGTERM);
    };
    const JobResult r = run_filter(job);
    int pages = 0;
    bool ended = false;
    EXPECT_TRUE(whole_commands_only(r.out, pages, ended)) << delay_us;
    const std::string trace = read_file(QUORVANE_TEST_TRACE_FILE);
    if (r.signal == SIGTERM) {
      // Killed before cancellation was armed: nothing sent.
      EXPECT_TRUE(r.out.empty()) << delay_us;
    } else {
      EXPECT_TRUE(ended) << delay_us;
      // 0 when the last page begun was finished, cancelled before the next.
      const bool last_finished =
          pages > 0 &&
          r.err.find("INFO: Finished page " + std::to_string(pages) + "\n") != std::string::npos &&
          r.err.find("PAGE: " + std::to_string(pages + 1) + " ") == std::string::npos;
      EXPECT_EQ(r.status, last_finished ? 0 : 1) << delay_us;
      EXPECT_EQ(r.trace.back(), "EndJob") << delay_us;
    }
    // Each trace line is whole: the file ends with a line end.
    EXPECT_TRUE(trace.empty() || trace.ends_with("\r\n")) << delay_us;
  }
}

}  // namespace
}  // namespace quorvane::test
