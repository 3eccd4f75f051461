#include "recorder/video/frame_scaler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

using namespace morl::recorder;

namespace {

TEST(FitFrameSizeTest, FitsDisplaysToTheEncoderLimit) {
  struct Case {
    FrameSize source, limit, expected;
  } const cases[] = {
      {{1920, 1080}, kMaxEncoderFrameSize, {1920, 1080}},
      {{1367, 769}, kMaxEncoderFrameSize, {1366, 768}},    // odd: rounded down, not scaled
      {{4097, 2305}, kMaxEncoderFrameSize, {4096, 2304}},  // fits once even
      {{4098, 2304}, kMaxEncoderFrameSize, {4096, 2302}},  // just over: scaled
      {{3440, 1440}, kMaxEncoderFrameSize, {3440, 1440}},
      {{5120, 2880}, kMaxEncoderFrameSize, {4096, 2304}},
      {{7680, 4320}, kMaxEncoderFrameSize, {4096, 2304}},
      {{7681, 4321}, kMaxEncoderFrameSize, {4094, 2304}},  // height-bound by a hair
      {{5120, 1440}, kMaxEncoderFrameSize, {4096, 1152}},
      {{10240, 1440}, kMaxEncoderFrameSize, {4096, 576}},  // three displays side by side
      {{2160, 7680}, kMaxEncoderFrameSize, {648, 2304}},   // two portrait displays stacked
      {{1440, 10240}, kMaxEncoderFrameSize, {324, 2304}},
      {{100000, 3}, kMaxEncoderFrameSize, {4096, 2}},  // a side kept at 2
      {{INT32_MAX, INT32_MAX}, kMaxEncoderFrameSize, {2304, 2304}},
      {{3000, 2000}, {1001, 1001}, {1000, 666}},  // odd limit
      {{1, 1}, kMaxEncoderFrameSize, {0, 0}},
      {{2, 1}, kMaxEncoderFrameSize, {0, 0}},
      {{0, 0}, kMaxEncoderFrameSize, {0, 0}},
      {{-1920, 1080}, kMaxEncoderFrameSize, {0, 0}},
      {{1920, 1080}, {1, 1080}, {0, 0}},
      {{1920, 1080}, {1920, -1}, {0, 0}},
  };
  for (const auto& c : cases) {
    const FrameSize fitted = FitFrameSize(c.source, c.limit);
    EXPECT_EQ(fitted.width, c.expected.width) << c.source.width << "x" << c.source.height;
    EXPECT_EQ(fitted.height, c.expected.height) << c.source.width << "x" << c.source.height;
  }
}

TEST(FitFrameSizeTest, ScaledSizeKeepsTheAspectWithinOneEvenStep) {
  // Over a spread of sizes: the bounding side takes the limit and the other
  // is within 2 pixels below the exact proportion, never above it.
  for (std::int32_t w = 2; w < 20000; w += 397) {
    for (std::int32_t h = 2; h < 20000; h += 409) {
      const FrameSize fitted = FitFrameSize({w, h}, kMaxEncoderFrameSize);
      const bool fits = (w & ~1) <= 4096 && (h & ~1) <= 2304;
      if (fits) {
        EXPECT_TRUE(fitted.width == (w & ~1) && fitted.height == (h & ~1)) << w << "x" << h;
        continue;
      }
      const double scale = std::min(4096.0 / w, 2304.0 / h);
      ASSERT_TRUE(fitted.width % 2 == 0 && fitted.height % 2 == 0) << w << "x" << h;
      ASSERT_TRUE(fitted.width == 4096 || fitted.height == 2304) << w << "x" << h;
      for (const auto& [got, exact] :
           {std::pair{fitted.width, w * scale}, std::pair{fitted.height, h * scale}}) {
        EXPECT_LE(got, std::max(2.0, exact + 1e-9)) << w << "x" << h;
        EXPECT_GT(got, exact - 2) << w << "x" << h;
      }
    }
  }
}

TEST(FitFrameSizeTest, FitInsideKeepsTheAspectGrowingOrShrinking) {
  struct Case {
    FrameSize source, bound, expected;
  } const cases[] = {
      {{640, 360}, {320, 240}, {320, 180}},       // wider: bars above and below
      {{160, 160}, {320, 240}, {240, 240}},       // grows: bars left and right
      {{320, 240}, {320, 240}, {320, 240}},       // the same: no bars
      {{1366, 768}, {1920, 1080}, {1920, 1078}},  // rounded down to even
      {{3840, 2160}, {1280, 1024}, {1280, 720}},
      {{1, 10}, {320, 240}, {0, 0}},
      {{320, 240}, {1, 240}, {0, 0}},
      {{20000, 2}, {320, 240}, {320, 2}},  // a side kept at 2
  };
  for (const auto& c : cases) {
    const FrameSize fitted = FitInside(c.source, c.bound);
    EXPECT_EQ(fitted.width, c.expected.width) << c.source.width << "x" << c.source.height;
    EXPECT_EQ(fitted.height, c.expected.height) << c.source.width << "x" << c.source.height;
  }
}

constexpr std::uint8_t kPadding = 0xA5;

// A BGRX frame laid out as the scaler reads it: rows `stride` bytes apart
// (upwards in memory when negative), the padding after each row's pixels
// filled with kPadding, and no byte after the last row, so that a read past
// it shows up under AddressSanitizer.
struct SourceFrame {
  FrameSize size;
  std::ptrdiff_t stride;
  std::vector<std::uint8_t> bytes;

  SourceFrame(FrameSize s, std::ptrdiff_t padding, bool bottom_up)
      : size(s), stride((s.width * 4 + padding) * (bottom_up ? -1 : 1)) {
    bytes.assign(std::abs(stride) * (s.height - 1) + s.width * 4, kPadding);
  }
  std::uint8_t* Row(std::int32_t y) {
    return bytes.data() + (stride < 0 ? -stride * (size.height - 1 - y) : stride * y);
  }
  const std::uint8_t* First() { return Row(0); }
  void Fill(std::uint8_t (*byte)(std::int32_t x, std::int32_t y, int channel)) {
    for (std::int32_t y = 0; y < size.height; ++y) {
      for (std::int32_t x = 0; x < size.width * 4; ++x) Row(y)[x] = byte(x / 4, y, x % 4);
    }
  }
};

// What area averaging must give, worked out in floating point: the mean of
// the source over the rectangle a target pixel covers.
double ExpectedByte(SourceFrame& source, FrameSize to, std::int32_t tx, std::int32_t ty, int c) {
  const double sx = double(source.size.width) / to.width,
               sy = double(source.size.height) / to.height;
  double sum = 0;
  for (std::int32_t y = 0; y < source.size.height; ++y) {
    const double oy = std::min(y + 1.0, (ty + 1) * sy) - std::max(double(y), ty * sy);
    if (oy <= 0) continue;
    for (std::int32_t x = 0; x < source.size.width; ++x) {
      const double ox = std::min(x + 1.0, (tx + 1) * sx) - std::max(double(x), tx * sx);
      if (ox > 0) sum += ox * oy * source.Row(y)[x * 4 + c];
    }
  }
  return sum / (sx * sy);
}

struct ScaleCase {
  FrameSize from, to;
  std::ptrdiff_t padding;
  bool bottom_up;
};
const ScaleCase kScaleCases[] = {
    {{30, 18}, {16, 9}, 0, false},   // 1.875, as 7680 x 4320 to 4096 x 2304
    {{25, 10}, {10, 4}, 12, false},  // 2.5, as 10240 x 1440 to 4096 x 576
    {{23, 17}, {7, 5}, 4, true},     // odd ratios, bottom-up
    {{41, 3}, {40, 3}, 8, false},    // just over the limit: one column fewer
    {{9, 6}, {9, 6}, 0, false},      // same size
    {{3, 2}, {7, 5}, 4, false},      // larger target
    {{16, 16}, {24, 24}, 0, true},   // a display that shrank, fitted back into its frame
    {{5, 1}, {1, 1}, 0, true},
};

TEST(FrameScalerTest, MatchesAreaAverageOfRandomFramesAtEachRatio) {
  std::mt19937 random(7);
  for (const auto& c : kScaleCases) {
    FrameScaler scaler(c.from, c.to);
    // Two frames through the same scaler: nothing of one may leak into the next.
    for (int frame = 0; frame < 2; ++frame) {
      SourceFrame source(c.from, c.padding, c.bottom_up);
      for (std::int32_t y = 0; y < c.from.height; ++y) {
        for (std::int32_t x = 0; x < c.from.width * 4; ++x) source.Row(y)[x] = random() & 0xFF;
      }
      std::vector<std::uint8_t> target(c.to.width * c.to.height * 4);
      scaler.Scale(source.First(), source.stride, target.data());
      for (std::int32_t y = 0; y < c.to.height; ++y) {
        for (std::int32_t x = 0; x < c.to.width; ++x) {
          for (int ch = 0; ch < 4; ++ch) {
            ASSERT_NEAR(target[(y * c.to.width + x) * 4 + ch], ExpectedByte(source, c.to, x, y, ch),
                        1.0)
                << c.from.width << "x" << c.from.height << " frame " << frame << " at " << x << ","
                << y << " channel " << ch;
          }
        }
      }
    }
  }
}

TEST(FrameScalerTest, FlatFramesStayExactlyFlat) {
  for (const auto& c : kScaleCases) {
    SourceFrame source(c.from, c.padding, c.bottom_up);
    source.Fill([](std::int32_t, std::int32_t, int channel) {
      return std::uint8_t(channel == 0 ? 0x00 : channel == 1 ? 0x7F : 0xFF);
    });
    std::vector<std::uint8_t> target(c.to.width * c.to.height * 4);
    FrameScaler(c.from, c.to).Scale(source.First(), source.stride, target.data());
    for (std::size_t i = 0; i < target.size(); ++i) {
      ASSERT_EQ(target[i], i % 4 == 0   ? 0x00
                           : i % 4 == 1 ? 0x7F
                                        : 0xFF)
          << c.from.width << "x" << c.from.height << " byte " << i;
    }
  }
}

TEST(FrameScalerTest, OnePixelCheckerboardAveragesToGrey) {
  // Sampling instead of averaging gives black or white. At a fractional ratio
  // the covered area is not half white (2.5 x 2.5 pixels: 48 %), hence the
  // margin.
  const FrameSize sizes[][2] = {{{16, 16}, {8, 8}}, {{30, 18}, {16, 9}}, {{25, 10}, {10, 4}}};
  for (const auto& [from, to] : sizes) {
    SourceFrame source(from, 0, false);
    source.Fill([](std::int32_t x, std::int32_t y, int) {
      return std::uint8_t((x + y) % 2 ? 0xFF : 0x00);
    });
    std::vector<std::uint8_t> target(to.width * to.height * 4);
    FrameScaler(from, to).Scale(source.First(), source.stride, target.data());
    for (std::uint8_t byte : target)
      ASSERT_NEAR(byte, 127.5, 8.0) << from.width << "x" << from.height;
  }
}

TEST(FrameScalerTest, UnusableSizesLeaveTheTargetAlone) {
  const FrameSize sizes[][2] = {
      {{0, 4}, {2, 2}},
      {{4, 4}, {2, 0}},
      {{-4, 4}, {2, 2}},
      {{4, 4}, {-2, 2}},
      {{FrameScaler::kMaxSide + 1, 1}, {2, 1}},
  };
  for (const auto& [from, to] : sizes) {
    std::vector<std::uint8_t> source(64, 1), target(64, kPadding);
    FrameScaler(from, to).Scale(source.data(), 16, target.data());
    EXPECT_EQ(std::count(target.begin(), target.end(), kPadding), 64);
  }
}

}  // namespace
