// The timecode desktop: every frame read from it says when it was read. The
// top half is 32 equal vertical stripes, the most significant bit of the
// machine time in whole milliseconds on the left (white for 1, black for
// 0); the bottom half flashes white for `flash_ms` from every multiple of
// `flash_period_ms`. Only what changed since the last read is repainted.
#include <algorithm>
#include <cmath>
#include <memory>

#include "machine/machine_screen.h"

namespace winsim {
namespace {

constexpr int kStripes = 32;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;

struct Timecode {
  double flash_ms = 0;
  double flash_period_ms = 0;
  int width = -1, height = -1;
  std::uint32_t shown = 0;
  bool flashing = false;

  void Fill(Screen& screen, int left, int right, int top, int bottom, std::uint32_t rgb) const {
    for (int y = top; y < bottom; ++y) {
      std::uint32_t* row = screen.pixels.data() + static_cast<std::size_t>(y) * screen.width;
      std::fill(row + left, row + right, rgb);
    }
  }

  // Pixel x belongs to stripe x x 32 / width (rounded down), so stripe i
  // starts at the first x where that reaches i.
  int StripeLeft(int i) const {
    return static_cast<int>((static_cast<std::int64_t>(width) * i + kStripes - 1) / kStripes);
  }

  void Step(Screen& screen, std::int64_t now_100ns) {
    const std::size_t count = static_cast<std::size_t>(std::max(screen.width, 0)) *
                              static_cast<std::size_t>(std::max(screen.height, 0));
    if (screen.pixels.size() != count) return;  // the buffer does not match the size
    const auto ms = static_cast<std::uint32_t>(static_cast<std::uint64_t>(now_100ns) / 10'000);
    const double period = flash_period_ms * 10'000;
    const bool flash = flash_ms > 0 && period > 0 &&
                       std::fmod(static_cast<double>(now_100ns), period) < flash_ms * 10'000;
    const int middle = screen.height / 2;
    const bool fresh = screen.width != width || screen.height != height;
    if (fresh) {
      width = screen.width;
      height = screen.height;
    }
    const std::uint32_t changed = fresh ? 0xFFFFFFFFu : ms ^ shown;
    for (int i = 0; i < kStripes; ++i) {
      const std::uint32_t bit = 1u << (kStripes - 1 - i);
      if ((changed & bit) == 0) continue;
      Fill(screen, StripeLeft(i), StripeLeft(i + 1), 0, middle, (ms & bit) != 0 ? kWhite : kBlack);
    }
    if (fresh || flash != flashing) Fill(screen, 0, width, middle, height, flash ? kWhite : kBlack);
    shown = ms;
    flashing = flash;
  }
};

}  // namespace

std::function<void(Screen&, std::int64_t)> MakeTimecodeDesktop(double flash_ms,
                                                               double flash_period_ms) {
  auto timecode = std::make_shared<Timecode>();
  timecode->flash_ms = flash_ms;
  timecode->flash_period_ms = flash_period_ms;
  return [timecode](Screen& screen, std::int64_t now_100ns) { timecode->Step(screen, now_100ns); };
}

}  // namespace winsim
