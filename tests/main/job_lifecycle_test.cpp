// Whole jobs through the filter binary: arguments, hooks, pages, copies,
// cancellation and exit status.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>

#include "filter_job.h"
#include "test_pages.h"

namespace quorvane::test {
namespace {

const std::string kZeros(64, '\0');

std::vector<std::string> hook_trace(const JobResult &r) {
  static const std::vector<std::string> hooks = {"StartJob", "StartDoc", "StartPage",
                                                 "EndPage",  "EndDoc",   "EndJob"};
  std::vector<std::string> out;
  for (const auto &l : r.trace)
    if (std::find(hooks.begin(), hooks.end(), l) != hooks.end()) out.push_back(l);
  return out;
}

class JobTest : public ::testing::Test {
 protected:
  // Hook commands that make every boundary visible in the output.
  std::string ppd(const std::string &extra = "") {
    return dir.write("test.ppd", ppd_text(kHookMarkerPpdLines + extra));
  }
  std::string raster(const std::vector<RasterPage> &pages, long cut = -1) {
    const std::string p = dir.path("job.ras");
    EXPECT_TRUE(write_raster_file(p, pages, cut));
    return p;
  }
  TempDir dir;
};

TEST_F(JobTest, OnePageJobSendsHooksAroundTheBandsInOrder) {
  // 16 x 2 of full ink: every dot prints, two rows of FF FF.
  const JobResult r = run_job(ppd(), raster({uniform_page(16, 2, 255)}));
  EXPECT_EQ(r.status, 0);
  const std::string page = bytes({0x1D, 0x76, 0x30, 0x00, 0x02, 0x00, 0x02, 0x00,
                                  0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(r.out, kZeros + bytes({0xA0, 0xA1, 0xA2}) + page + bytes({0xA3, 0xA4, 0xA5}));
  EXPECT_EQ(hook_trace(r), (std::vector<std::string>{"StartJob", "StartDoc", "StartPage",
                                                     "EndPage", "EndDoc", "EndJob"}));
  EXPECT_EQ(r.status_lines(),
            (std::vector<std::string>{"PAGE: 1 1", "INFO: Sending Page 1 Copies 1 of 1",
                                      "INFO: BytesToWrite:12 BytesWritted:12",
                                      "ATTR: job-media-progress=100", "INFO: Finished page 1"}));
}

TEST_F(JobTest, TraceRecordsArgumentsStepsAndPage) {
  const std::string ras = raster({uniform_page(16, 2, 255)});
  const JobResult r = run_job(ppd(), ras, "a=b");
  ASSERT_GE(r.trace.size(), 14u);
  const std::vector<std::string> head(r.trace.begin(), r.trace.begin() + 14);
  EXPECT_EQ(head, (std::vector<std::string>{
                      "quorvane 1.0.0-20200520", "argc:7", "0: quorvane", "1: 42", "2: alice",
                      "3: receipt", "4: 1", "5: a=b", "6: " + ras, "check arguments",
                      "open raster", "reg signal", "init with ppd", "StartJob"}));
  EXPECT_NE(std::find(r.trace.begin(), r.trace.end(),
                      "PrintPage: monoimg_width_stride:2 monoimg_height:2"),
            r.trace.end());
}

TEST_F(JobTest, HeaderDumpPrecedesEveryPage) {
  const JobResult r = run_job(ppd(), raster({uniform_page(16, 2, 255)}));
  EXPECT_EQ(r.err.rfind("DEBUG: dump_cups_page_header...\nDEBUG: Duplex = 0\n"
                        "DEBUG: HWResolution = [ 203 203 ]\n",
                        0),
            0u);
  EXPECT_NE(r.err.find("DEBUG: cupsWidth = 16\nDEBUG: cupsHeight = 2\n"), std::string::npos);
  EXPECT_NE(r.err.find("DEBUG: cupsCompression = 0\nPAGE: 1 1\n"), std::string::npos);
}

TEST_F(JobTest, WrongArgumentCountsStopBeforeAnyOutput) {
  for (int argc : {5, 8}) {
    JobSpec spec;
    spec.argv = {"quorvane", "1", "u", "t", "1", "", "f", "x"};
    spec.argv.resize(static_cast<std::size_t>(argc));
    spec.ppd = ppd();
    const JobResult r = run_filter(spec);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(r.err.empty());
    ASSERT_FALSE(r.trace.empty());
    EXPECT_EQ(r.trace.back(), "quorvane job-id user title copies options [file]");
  }
}

TEST_F(JobTest, SixArgumentsReadStandardInput) {
  JobSpec spec;
  spec.argv = {"quorvane", "1", "u", "t", "1", ""};
  spec.ppd = ppd();
  spec.stdin_path = raster({uniform_page(8, 1, 255)});
  const JobResult r = run_filter(spec);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(bytes({0x1D, 0x76, 0x30, 0, 1, 0, 1, 0, 0xFF})), std::string::npos);
}

TEST_F(JobTest, MissingRasterOrPpdFailsQuietly) {
  JobResult r = run_job(ppd(), dir.path("nothing.ras"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.trace.back(), "Unable to open raster file " + dir.path("nothing.ras"));

  const std::string ras = raster({uniform_page(8, 1, 255)});
  r = run_job(dir.path("missing.ppd"), ras);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(r.trace.back(), "Unable to open PPD file on line 0");

  JobSpec unset;
  unset.argv = {"quorvane", "1", "u", "t", "1", "", ras};
  r = run_filter(unset);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(r.trace.back(), "NULL PPD file pointer on line 0");
}

TEST_F(JobTest, EmptyInputCannotOpenTheStream) {
  const JobResult r = run_job(ppd(), dir.write("empty.ras", ""));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(r.trace.back(), "cupsRasterOpen Failed");
}

TEST_F(JobTest, StreamWithoutPagesRunsJobHooksAndFails) {
  const JobResult r = run_job(ppd(), raster({}));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kZeros + bytes({0xA0, 0xA1, 0xA4, 0xA5}));
  EXPECT_EQ(hook_trace(r),
            (std::vector<std::string>{"StartJob", "StartDoc", "EndDoc", "EndJob"}));
}

TEST_F(JobTest, FailingSecondPageEndsTheJob) {
  // The second page has 1 bit per pixel, which the filter refuses; the third
  // is never read.
  const JobResult r = run_job(
      ppd(), raster({uniform_page(8, 1, 255), page_of_depth(8, 1, 1), uniform_page(8, 1, 255)}));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(hook_trace(r), (std::vector<std::string>{"StartJob", "StartDoc", "StartPage",
                                                     "EndPage", "StartPage", "EndPage",
                                                     "EndDoc", "EndJob"}));
  const std::string page = bytes({0x1D, 0x76, 0x30, 0, 1, 0, 1, 0, 0xFF});
  EXPECT_EQ(r.out, kZeros + bytes({0xA0, 0xA1, 0xA2}) + page +
                       bytes({0xA3, 0xA2, 0xA3, 0xA4, 0xA5}));
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'),
            21 + 5 + 21);  // two header dumps and the first page's lines
}

TEST_F(JobTest, PagesOfOtherDepthsAreRefused) {
  for (unsigned bits : {1u, 24u}) {
    const JobResult r = run_job(ppd(), raster({page_of_depth(8, 2, bits)}));
    EXPECT_EQ(r.status, 1) << bits;
    EXPECT_EQ(r.out, kZeros + bytes({0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5})) << bits;
    EXPECT_TRUE(r.status_lines().empty()) << bits;
    EXPECT_NE(r.err.find("DEBUG: cupsBitsPerPixel = " + std::to_string(bits)),
              std::string::npos);
  }
}

TEST_F(JobTest, CopiesRepeatTheBlockWithProgress) {
  JobResult r = run_job(ppd(), raster({uniform_page(8, 1, 255, 3)}));
  EXPECT_EQ(r.status, 0);
  const std::string page = bytes({0x1D, 0x76, 0x30, 0, 1, 0, 1, 0, 0xFF});
  EXPECT_EQ(r.out, kZeros + bytes({0xA0, 0xA1, 0xA2}) + page + page + page +
                       bytes({0xA3, 0xA4, 0xA5}));
  EXPECT_EQ(r.status_lines(),
            (std::vector<std::string>{
                "PAGE: 1 3", "INFO: Sending Page 1 Copies 1 of 3",
                "INFO: BytesToWrite:9 BytesWritted:9", "ATTR: job-media-progress=33",
                "INFO: Sending Page 1 Copies 2 of 3", "INFO: BytesToWrite:9 BytesWritted:9",
                "ATTR: job-media-progress=66", "INFO: Sending Page 1 Copies 3 of 3",
                "INFO: BytesToWrite:9 BytesWritted:9", "ATTR: job-media-progress=100",
                "INFO: Finished page 1"}));

  r = run_job(ppd(), raster({uniform_page(8, 1, 255, 0)}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kZeros + bytes({0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}));
  EXPECT_EQ(r.status_lines(), (std::vector<std::string>{"PAGE: 1 0", "INFO: Finished page 1"}));
}

TEST_F(JobTest, SigtermBetweenCopiesStopsAfterAWholeCopy) {
  // 576 x 240: a 17,360-byte block, and copies enough to outlast the test.
  const RasterPage page = uniform_page(576, 240, 255, 100000);
  const std::size_t block = 10 * 8 + 72 * 240;
  JobSpec spec;
  spec.argv = {"quorvane", "1", "u", "t", "1", "", raster({page})};
  spec.ppd = ppd();
  spec.while_running = [](int pid, int fd, std::string &out) {
    char buf[4096];
    while (out.size() < 200000) {
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) return;
      out.append(buf, static_cast<std::size_t>(n));
    }
    kill(pid, SIGTERM);
  };
  const JobResult r = run_filter(spec);
  EXPECT_EQ(r.status, 1);
  ASSERT_GT(r.out.size(), 200000u);
  const std::size_t body = r.out.size() - 64 - 3 - 3;
  EXPECT_EQ(body % block, 0u);
  EXPECT_LT(body / block, 100000u);
  EXPECT_EQ(r.out.substr(r.out.size() - 3), bytes({0xA3, 0xA4, 0xA5}));
  EXPECT_EQ(r.err.find("INFO: Finished page"), std::string::npos);
  EXPECT_EQ(hook_trace(r).back(), "EndJob");
}

TEST_F(JobTest, FullOutputFailsThePageAndTheJob) {
  JobSpec spec;
  spec.argv = {"quorvane", "1", "u", "t", "1", "", raster({uniform_page(576, 240, 255, 2)})};
  spec.ppd = ppd();
  spec.stdout_path = "/dev/full";
  const JobResult r = run_filter(spec);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.find("INFO: Finished page"), std::string::npos);
  EXPECT_EQ(r.err.find("Copies 2 of 2"), std::string::npos);
}

}  // namespace
}  // namespace quorvane::test
