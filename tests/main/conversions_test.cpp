// Every binarisation and command conversion as a whole job: settings from
// the PPD and the job's options, printer bytes checked exactly or decoded
// back to the page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "command_decoders.h"
#include "filter_job.h"
#include "img2esccmd.h"
#include "test_pages.h"

namespace quorvane::test {
namespace {

const std::string kZeros(64, '\0');

// A 40 x 30 page of diagonal gray ramps with a blank band: every binarisation
// gives a page of its own.
RasterPage ramp_page() {
  return drawn_page(40, 30, [](unsigned y, unsigned x) {
    return y >= 12 && y < 16 ? 0 : (x * 6 + y * 3) % 256;
  });
}

// What the filter must binarise: the page's gray levels.
Bytes gray_of(const RasterPage &page) {
  Bytes g(page.samples.begin(), page.samples.end());
  for (unsigned char &v : g) v = static_cast<unsigned char>(255 - v);
  return g;
}

Bytes dithered(const RasterPage &page) {
  const Bytes g = gray_of(page);
  int size = 0, ws = 0;
  const int w = static_cast<int>(page.width), h = static_cast<int>(page.height);
  ConvertGrayImageToMonoFormatUseDithering(g.data(), w, h, w, nullptr, &size, &ws);
  Bytes mono(static_cast<std::size_t>(size));
  ConvertGrayImageToMonoFormatUseDithering(g.data(), w, h, w, mono.data(), &size, &ws);
  return mono;
}

std::string str(const Bytes &b) { return std::string(b.begin(), b.end()); }

std::span<const unsigned char> view(const std::string &s, std::size_t from) {
  return {reinterpret_cast<const unsigned char *>(s.data()) + from, s.size() - from};
}

class ConversionTest : public ::testing::Test {
 protected:
  JobResult job(const std::string &ppd_lines, const std::string &options = "") {
    const std::string ras = dir.path("job.ras");
    EXPECT_TRUE(write_raster_file(ras, {page}));
    return run_job(dir.write("t.ppd", ppd_text(ppd_lines)), ras, options);
  }
  TempDir dir;
  RasterPage page = ramp_page();
};

TEST_F(ConversionTest, ErrorDiffusionIsTheTwelveNeighbourKernel) {
  const JobResult r = job(ppd_option("ImageBinarizationAlgorithm", "", "0", {"0", "1", "2"}),
                          "ImageBinarizationAlgorithm=2");
  ASSERT_EQ(r.status, 0);
  const Bytes g = gray_of(page);
  int size = 0, ws = 0;
  std::unique_ptr<unsigned char, decltype(&std::free)> mono(
      Trellimo_ImgUtils_ConvertGrayImageToMonoFormatUseErrorDiffusionV2(g.data(), 40, 30, 40,
                                                                        &size, &ws),
      &std::free);
  ASSERT_TRUE(mono);
  const Bytes expected(mono.get(), mono.get() + size);
  EXPECT_NE(expected, dithered(page));
  EXPECT_EQ(r.out, kZeros + gs_v_0_bands(str(expected), 5));
}

TEST_F(ConversionTest, RunLengthRowsDecodeToThePage) {
  const JobResult r = job("*ImageCmdConversionAlgorithm: \"1\"\n");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(decode_run_length_rows(view(r.out, 64), 5), dithered(page));
  // The blank band's rows are one run each: 1F 28 50 03 00 02 00 05.
  EXPECT_NE(r.out.find(bytes({0x1F, 0x28, 0x50, 0x03, 0x00, 0x02, 0x00, 0x05})),
            std::string::npos);
}

TEST_F(ConversionTest, JbigBandsDecodeToThePage) {
  page = drawn_page(40, 50, [](unsigned y, unsigned x) { return (x * 6 + y * 3) % 256; });
  const JobResult r = job("*ImageCmdConversionAlgorithm: \"2\"\n");
  ASSERT_EQ(r.status, 0);
  const auto bands = decode_jbig_bands(view(r.out, 64));
  ASSERT_TRUE(bands);
  ASSERT_EQ(bands->size(), 3u);
  EXPECT_EQ((*bands)[2].rows, 2);
  EXPECT_EQ((*bands)[0].width, 40);
  EXPECT_EQ(join_band_rasters(*bands), dithered(page));
}

TEST_F(ConversionTest, LabelSequenceWrapsThePage) {
  const JobResult r = job("*ImageCmdConversionAlgorithm: \"3\"\n");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kZeros +
                       bytes({0x1A, 0x5B, 0x01, 0, 0, 0, 0, 40, 0, 30, 0, 0,  //
                              0x1A, 0x21, 0x01, 0, 0, 0, 0, 40, 0, 30, 0, 0, 0}) +
                       str(dithered(page)) +
                       bytes({0x1A, 0x5D, 0x00, 0x1A, 0x4F, 0x01, 0x01}));
}

TEST_F(ConversionTest, TsplJobCarriesMediaAndSettings) {
  Bytes inverted = dithered(page);
  for (unsigned char &b : inverted) b = static_cast<unsigned char>(~b);
  const std::string body = "BITMAP 0,0,5,30,1," + str(inverted) + "\r\nPRINT 1,1\r\n";
  // Unset: a 3 mm gap, no density or speed. 40 dots at 203 dpi: 5 mm; 30 rows: 4 mm.
  JobResult r = job("*ImageCmdConversionAlgorithm: \"4\"\n");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kZeros + "SIZE 5 mm,4 mm\r\nREFERENCE 0,0\r\nGAP 3.00 mm,0.00 mm\r\nCLS\r\n" +
                       body);
  const std::string options = "*ImageCmdConversionAlgorithm: \"4\"\n" +
                              ppd_option("TSPL.PAPERTYPE", "", "1", {"0", "1", "2", "3"}) +
                              ppd_option("TSPL.DENSITY", "", "-1", {"-1", "0", "12"}) +
                              ppd_option("TSPL.SPEED", "", "0", {"0", "4"});
  r = job(options, "TSPL.PAPERTYPE=2 TSPL.DENSITY=12 TSPL.SPEED=4");
  EXPECT_EQ(r.out, kZeros + "SIZE 5 mm,4 mm\r\nREFERENCE 0,0\r\nBLINE 3.00 mm,0.00 mm\r\n"
                            "DENSITY 12\r\nSPEED 4\r\nCLS\r\n" + body);
  r = job(options, "TSPL.PAPERTYPE=0 TSPL.DENSITY=0");
  EXPECT_EQ(r.out, kZeros + "SIZE 5 mm,4 mm\r\nREFERENCE 0,0\r\nGAP 0.00 mm,0.00 mm\r\n"
                            "DENSITY 0\r\nCLS\r\n" + body);
  r = job(options, "TSPL.PAPERTYPE=3");
  EXPECT_EQ(r.out, kZeros + "SIZE 5 mm,4 mm\r\nREFERENCE 0,0\r\nCLS\r\n" + body);
}

TEST_F(ConversionTest, OrxJobFromPpdSettings) {
  const std::string base = "*ImageCmdConversionAlgorithm: \"6\"\n";
  JobResult r = job(base);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kZeros + gs_v_0_bands(str(dithered(page)), 5));
  EXPECT_NE(std::find(r.trace.begin(), r.trace.end(),
                      "PrintPage: ORXPrintParam: hres:203 vres:203 paper_type:0 "
                      "image_compression:0 density:-1 speed:0 finish_print_feed:0 "
                      "finish_print_cut:0"),
            r.trace.end());

  r = job(base + "*ORX.PAPERTYPE: \"1\"\n*ORX.IMAGECOMPRESSION: \"1\"\n*ORX.DENSITY: \"8\"\n"
                 "*ORX.SPEED: \"4\"\n*ORX.FINISHPRINTFEED: \"32\"\n*ORX.FINISHPRINTCUT: \"2\"\n");
  ASSERT_EQ(r.status, 0);
  const std::string head = bytes({0x12, 0x23, 0x08, 0x1F, 0x28, 0x73, 0x02, 0x00, 0x64, 0x00,
                                  0x1A, 0x0C, 0xFF});
  const std::string tail = bytes({0x1A, 0x0C, 0x00, 0x1B, 0x4A, 0xFF, 0x1B, 0x4A, 0x01,
                                  0x1B, 0x69});
  ASSERT_GT(r.out.size(), 64 + head.size() + tail.size());
  EXPECT_EQ(r.out.substr(64, head.size()), head);
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
  const std::string image =
      r.out.substr(64 + head.size(), r.out.size() - 64 - head.size() - tail.size());
  EXPECT_EQ(decode_run_length_rows(view(image, 0), 5), dithered(page));
  EXPECT_NE(std::find(r.trace.begin(), r.trace.end(),
                      "PrintPage: ORXPrintParam: hres:203 vres:203 paper_type:1 "
                      "image_compression:1 density:8 speed:4 finish_print_feed:32 "
                      "finish_print_cut:2"),
            r.trace.end());
}

TEST_F(ConversionTest, OrxJbigImageDecodesToThePage) {
  const JobResult r = job("*ImageCmdConversionAlgorithm: \"6\"\n*ORX.IMAGECOMPRESSION: \"2\"\n");
  ASSERT_EQ(r.status, 0);
  const auto bands = decode_jbig_bands(view(r.out, 64));
  ASSERT_TRUE(bands);
  EXPECT_EQ(join_band_rasters(*bands), dithered(page));
}

}  // namespace
}  // namespace quorvane::test
