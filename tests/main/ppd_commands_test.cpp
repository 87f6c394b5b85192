// Hook commands and settings from real PPDs parsed by libcups, through the
// filter binary.
#include <gtest/gtest.h>

#include "filter_job.h"
#include "test_pages.h"

namespace quorvane::test {
namespace {

const std::string kZeros(64, '\0');
// The one-row, one-byte page every test here prints: a single GS v 0 band.
const std::string kPage = bytes({0x1D, 0x76, 0x30, 0, 1, 0, 1, 0, 0xFF});

class PpdTest : public ::testing::Test {
 protected:
  JobResult job(const std::string &ppd_lines, const std::string &options = "",
                const RasterPage &page = uniform_page(8, 1, 255)) {
    const std::string ras = dir.path("job.ras");
    EXPECT_TRUE(write_raster_file(ras, {page}));
    return run_job(dir.write("t.ppd", ppd_text(ppd_lines)), ras, options);
  }
  TempDir dir;
};

TEST_F(PpdTest, AttributeHexTextIsDecodedLeniently) {
  const JobResult r = job("*StartJobCmd: \"1b 40,G1 0x1B\"\n*EndJobCmd: \"1D 56 00\"\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kZeros + bytes({0x1B, 0x40, 0x01, 0x00, 0x1B}) + kPage +
                       bytes({0x1D, 0x56, 0x00}));
}

TEST_F(PpdTest, OptionCommandsFollowTheAttributeInOrderNumberOrder) {
  const JobResult r = job("*StartPageCmd: \"10\"\n" +
                          ppd_option("Late", "22.5", "On", {"On:AA", "Off:"}) +
                          ppd_option("Early", "22.1", "On", {"On:BB", "Off:"}) +
                          ppd_option("Empty", "22.3", "On", {"On:", "Off:CC"}));
  EXPECT_EQ(r.out, kZeros + bytes({0x10, 0xBB, 0xAA}) + kPage);
}

TEST_F(PpdTest, EqualOrderNumbersComeOutAsTheExchangeSortLeavesThem) {
  // Options enumerate by keyword: A (22.2), B (22.2), C (22.1). The exchange
  // sort swaps A and C and leaves B: C, B, A (a stable sort gives C, A, B).
  const JobResult r = job(ppd_option("OptA", "22.2", "On", {"On:A1"}) +
                          ppd_option("OptB", "22.2", "On", {"On:B2"}) +
                          ppd_option("OptC", "22.1", "On", {"On:C3"}));
  EXPECT_EQ(r.out, kZeros + bytes({0xC3, 0xB2, 0xA1}) + kPage);
}

TEST_F(PpdTest, OrderRangesAreInclusiveInSinglePrecision) {
  const JobResult r = job(ppd_option("Below", "19.99", "On", {"On:01"}) +
                          ppd_option("JobTop", "20.99", "On", {"On:02"}) +
                          ppd_option("Between", "20.995", "On", {"On:03"}) +
                          ppd_option("DocStart", "21", "On", {"On:04"}) +
                          ppd_option("JobEnd", "25.99", "On", {"On:05"}) +
                          ppd_option("Beyond", "26", "On", {"On:06"}) +
                          ppd_option("NoOrder", "", "On", {"On:07"}));
  EXPECT_EQ(r.out, kZeros + bytes({0x02, 0x04}) + kPage + bytes({0x05}));
}

TEST_F(PpdTest, JobOptionsChooseTheCommands) {
  const std::string cutter = ppd_option("Cut", "23.5", "Full", {"Full:1D5600", "Partial:1D5601",
                                                                 "None:"});
  EXPECT_EQ(job(cutter).out, kZeros + kPage + bytes({0x1D, 0x56, 0x00}));
  EXPECT_EQ(job(cutter, "Cut=Partial").out, kZeros + kPage + bytes({0x1D, 0x56, 0x01}));
  EXPECT_EQ(job(cutter, "cut=none").out, kZeros + kPage);
  // A choice the PPD does not have keeps the default.
  EXPECT_EQ(job(cutter, "Cut=Sideways").out, kZeros + kPage + bytes({0x1D, 0x56, 0x00}));
}

// The printable width decides the mono raster's row length, which the trace
// reports: a 700-dot page is cut to it.
int traced_width_stride(const JobResult &r) {
  for (const std::string &l : r.trace) {
    int ws = 0, h = 0;
    if (std::sscanf(l.c_str(), "PrintPage: monoimg_width_stride:%d monoimg_height:%d", &ws,
                    &h) == 2)
      return ws;
  }
  return -1;
}

TEST_F(PpdTest, SettingsComeFromJobOptionThenOptionDefaultThenAttribute) {
  const RasterPage wide = uniform_page(700, 2, 255);
  EXPECT_EQ(traced_width_stride(job("", "", wide)), 88);  // no limit
  EXPECT_EQ(traced_width_stride(job("*MaxPrintableWidth: \"576\"\n", "", wide)), 72);
  const std::string both = "*MaxPrintableWidth: \"576\"\n" +
                           ppd_option("MaxPrintableWidth", "", "384", {"384", "200"});
  EXPECT_EQ(traced_width_stride(job(both, "", wide)), 48);
  EXPECT_EQ(traced_width_stride(job(both, "MaxPrintableWidth=200", wide)), 25);
  // Text without digits reads as 0, which means no limit.
  EXPECT_EQ(traced_width_stride(job("*MaxPrintableWidth: \"abc\"\n", "", wide)), 88);
  // A default that names no choice leaves the option unmarked: the attribute wins.
  const std::string dangling = "*MaxPrintableWidth: \"576\"\n" +
                               ppd_option("MaxPrintableWidth", "", "999", {"384"});
  EXPECT_EQ(traced_width_stride(job(dangling, "", wide)), 72);
}

}  // namespace
}  // namespace quorvane::test
