// Fitting a display into the frame sizes the H.264 encoder accepts, and the
// area-averaging scaler that shrinks each captured frame to that size.
//
// The scaler is separable: every target pixel is the mean of the source
// rectangle it covers, each source pixel weighted by the part of it inside
// that rectangle. The weights of each target row and column are worked out
// once, in fixed point summing exactly to one (1/256 steps for rows, 1/4096
// for columns), so a flat image stays flat to the bit and any other is within
// about one level of the exact mean. A frame then takes one pass: for each
// target row, the source rows it covers are summed into one row of 16-bit
// sums, which is then reduced column by column into the target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morl::recorder {

struct FrameSize {
  std::int32_t width;
  std::int32_t height;
};

// Microsoft's H.264 encoder picks the H.264 level itself and goes up to level
// 5.2 (documented for MF_MT_VIDEO_LEVEL); those levels cap a frame at 36864
// macroblocks, which is 4096 x 2304 for a 16:9 display.
inline constexpr FrameSize kMaxEncoderFrameSize{4096, 2304};

// The size a display of `source` pixels is recorded at: `source` rounded down
// to even when it fits within `limit`, else scaled down to fit `limit` with
// the aspect ratio kept, both dimensions even. {0, 0} when nothing can be
// recorded: a source or limit under 2 x 2 after rounding to even. A side
// that keeping the aspect would shrink below 2 (a strip 10000 x 1 wide) is
// kept at 2.
FrameSize FitFrameSize(FrameSize source, FrameSize limit);

// The largest size with the aspect ratio of `source` that fits `bound`,
// larger or smaller than `source`, both sides even and at least 2: how a
// display that changed size is shown in a recording's frame, with black bars
// on the sides it does not fill. {0, 0} when either size is under 2 x 2.
FrameSize FitInside(FrameSize source, FrameSize bound);

// Scales 32-bit BGRX frames of size `from` to `to` (area averaging; a
// larger `to` repeats and blends the source pixels), one
// pass per frame. All four bytes of a pixel are averaged alike. Row order is
// kept: a bottom-up frame scales to a bottom-up frame. Sizes with a side
// under 1 or over kMaxSide make Scale do nothing. Scale reuses a buffer made
// by the constructor, so one scaler serves one thread at a time.
class FrameScaler {
 public:
  static constexpr std::int32_t kMaxSide = 1 << 16;

  FrameScaler(FrameSize from, FrameSize to);

  // `source`: from.height rows of from.width pixels, `source_stride` bytes
  // apart (top-down; a negative stride walks a bottom-up bitmap upwards);
  // `target`: to.width * to.height pixels, top-down, tightly packed.
  void Scale(const std::uint8_t* source, std::ptrdiff_t source_stride, std::uint8_t* target) const;

 private:
  // The source pixels each target pixel averages along one axis. Every target
  // pixel has the same number of taps, so the loops over them run a fixed
  // count; where fewer source pixels are covered the extra taps weigh 0.
  struct AxisTaps {
    std::int32_t count = 0;
    std::vector<std::int32_t> first;     // per target pixel: its first source pixel
    std::vector<std::uint16_t> weights;  // per target pixel: `count` weights
  };

  // The taps for shrinking a line of `from` pixels to `to` pixels, with
  // weights summing to exactly 1 << weightBits.
  static AxisTaps AreaTaps(std::int32_t from, std::int32_t to, int weight_bits);

  AxisTaps columns_;
  AxisTaps rows_;
  std::vector<float> column_weights_;  // columns_.weights, scaled for the column pass
  // Weighted sums of the source rows behind one target row, four per source
  // pixel; rewritten for every target row.
  mutable std::vector<std::uint16_t> row_sums_;
};

}  // namespace morl::recorder
