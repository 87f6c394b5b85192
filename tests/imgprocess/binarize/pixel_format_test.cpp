#include <gtest/gtest.h>

#include <vector>

#include "../escpos/guarded_output.h"
#include "img2esccmd.h"

namespace {

using quorvane::test::Bytes;
using quorvane::test::kFill;
using quorvane::test::two_call_int;

TEST(ReverseBit, MirrorsTheEightBits) {
  EXPECT_EQ(ReverseBit(0x01), 0x80);
  EXPECT_EQ(ReverseBit(0x0F), 0xF0);
  EXPECT_EQ(ReverseBit(0xA5), 0xA5);
  EXPECT_EQ(ReverseBit(0x02), 0x40);
  EXPECT_EQ(ReverseBit(0x30), 0x0C);
  for (int k = 0; k < 256; ++k) {
    for (int bit = 0; bit < 8; ++bit)
      ASSERT_EQ((BitReverseTable256[k] >> (7 - bit)) & 1, (k >> bit) & 1) << k << " bit " << bit;
  }
}

Bytes to_gray(const Bytes &data, int w, int h, int stride, int format, int *gray_stride = nullptr) {
  return two_call_int([&](unsigned char *o, int *s) {
    ConvertImageToGrayFormat(data.data(), w, h, stride, format, o, s, gray_stride);
  });
}

Bytes to_mono(const Bytes &data, int w, int h, int stride, int format, int *width_stride = nullptr) {
  return two_call_int([&](unsigned char *o, int *s) {
    ConvertImageToMonoFormat(data.data(), w, h, stride, format, o, s, width_stride);
  });
}

TEST(ConvertImageToGrayFormat, TruncatedLumaOfRgb) {
  const Bytes rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 254, 254, 254, 1, 1, 1};
  int gray_stride = -1;
  EXPECT_EQ(to_gray(rgb, 6, 1, 18, 4, &gray_stride), (Bytes{76, 149, 29, 255, 253, 0}));
  EXPECT_EQ(gray_stride, 6);
}

TEST(ConvertImageToGrayFormat, ChannelOrders) {
  // Pure red (gray 76) then pure blue (gray 29) in each layout; the ignored
  // byte is 255 so that reading it as a channel shows.
  const std::vector<std::pair<int, Bytes>> red_blue = {
      {4, {255, 0, 0, 0, 0, 255}},
      {5, {0, 0, 255, 255, 0, 0}},
      {6, {255, 255, 0, 0, 255, 0, 0, 255}},
      {7, {255, 0, 0, 255, 0, 0, 255, 255}},
      {8, {255, 0, 0, 255, 255, 255, 0, 0}},
      {9, {0, 0, 255, 255, 255, 0, 0, 255}},
  };
  for (const auto &[code, px] : red_blue) {
    const int stride = static_cast<int>(px.size());
    EXPECT_EQ(to_gray(px, 2, 1, stride, code), (Bytes{76, 29})) << "code " << code;
  }
  // Rows are stride bytes apart; the bytes between rows are not pixels.
  const Bytes two_rows = {0, 0, 0, 255, 255, 255, 9, 9, 9, 9, 9, 9, 9, 9,
                          255, 255, 255, 0, 0, 0};
  EXPECT_EQ(to_gray(two_rows, 2, 2, 14, 4), (Bytes{0, 255, 255, 0}));
}

TEST(ConvertImageToGrayFormat, GrayCopiesVisiblePixelsOnly) {
  const Bytes gray = {1, 2, 3, 99, 4, 5, 6, 99};
  EXPECT_EQ(to_gray(gray, 3, 2, 4, 3), (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(ConvertImageToGrayFormat, OtherCodesGiveBlack) {
  const Bytes data(8, 0x77);
  for (int code : {0, 1, 2, 10, -3}) EXPECT_EQ(to_gray(data, 2, 2, 4, code), Bytes(4, 0)) << code;
}

TEST(ConvertImageToMonoFormat, BitImagesAreCopiedOrReversed) {
  int ws = -1;
  // Width 10: two bytes a row, padding bits as the source holds them.
  EXPECT_EQ(to_mono({0xFF, 0xFF, 0x11, 0x81, 0x03, 0x22}, 10, 2, 3, 1, &ws),
            (Bytes{0xFF, 0xFF, 0x81, 0x03}));
  EXPECT_EQ(ws, 2);
  EXPECT_EQ(to_mono({0x01, 0x0F, 0x11}, 10, 1, 3, 2), (Bytes{0x80, 0xF0}));
}

TEST(ConvertImageToMonoFormat, GrayIsDitheredWithTheSourceStride) {
  const int w = 19, h = 18, stride = 23;
  Bytes gray(static_cast<std::size_t>(stride) * h);
  for (std::size_t i = 0; i < gray.size(); ++i) gray[i] = static_cast<unsigned char>(i * 37);
  const Bytes dithered = two_call_int([&](unsigned char *o, int *s) {
    ConvertGrayImageToMonoFormatUseDithering(gray.data(), w, h, stride, o, s, nullptr);
  });
  const Bytes same = two_call_int([&](unsigned char *o, int *s) {
    ConvertGrayImageToMonoFormat(gray.data(), w, h, stride, o, s, nullptr);
  });
  EXPECT_EQ(same, dithered);
  EXPECT_EQ(to_mono(gray, w, h, stride, 3), dithered);
}

TEST(ConvertImageToMonoFormat, ColourIsConvertedThenDithered) {
  const int w = 21, h = 17, stride = 4 * w + 3;
  Bytes data(static_cast<std::size_t>(stride) * h);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 53 + i / 7);
  for (int code = 4; code <= 9; ++code) {
    int gray_stride = 0;
    const Bytes gray = to_gray(data, w, h, stride, code, &gray_stride);
    const Bytes dithered = two_call_int([&](unsigned char *o, int *s) {
      ConvertGrayImageToMonoFormatUseDithering(gray.data(), w, h, gray_stride, o, s, nullptr);
    });
    EXPECT_EQ(to_mono(data, w, h, stride, code), dithered) << "code " << code;
  }
}

TEST(ConvertImageToMonoFormat, OtherCodesGiveWhite) {
  int ws = -1;
  EXPECT_EQ(to_mono(Bytes(8, 0x00), 10, 2, 4, 0, &ws), Bytes(4, 0));
  EXPECT_EQ(ws, 2);
  EXPECT_EQ(to_mono(Bytes(8, 0x00), 10, 2, 4, 10), Bytes(4, 0));
}

TEST(PixelFormats, NullBufferOnlyReportsSizes) {
  int size = -1, stride = -1;
  ConvertImageToMonoFormat(nullptr, 10, 3, 10, 3, nullptr, &size, &stride);
  EXPECT_EQ(size, 6);
  EXPECT_EQ(stride, 2);
  ConvertImageToGrayFormat(nullptr, 10, 3, 30, 4, nullptr, &size, &stride);
  EXPECT_EQ(size, 30);
  EXPECT_EQ(stride, 10);
}

TEST(PixelFormats, RowsShorterThanTheFormatNeedsAreRefused) {
  const Bytes data(12, 0x40);
  int size = -1, stride = -1;
  ConvertImageToGrayFormat(data.data(), 2, 2, 5, 4, nullptr, &size, &stride);  // needs 6
  EXPECT_EQ(size, 0);
  EXPECT_EQ(stride, 0);
  Bytes out(4, kFill);
  ConvertImageToGrayFormat(data.data(), 2, 2, 5, 4, out.data(), nullptr, nullptr);
  EXPECT_EQ(out, Bytes(4, kFill));
  ConvertImageToMonoFormat(data.data(), 17, 2, 2, 1, nullptr, &size, &stride);  // needs 3
  EXPECT_EQ(size, 0);
  ConvertImageToMonoFormat(data.data(), -5, 2, 2, 3, nullptr, &size, &stride);
  EXPECT_EQ(size, 0);
  ConvertImageToGrayFormat(data.data(), 70000, 70000, 70000, 0, nullptr, &size, &stride);
  EXPECT_EQ(size, 0);
}

}  // namespace
