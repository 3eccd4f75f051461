// The animated demo desktop: a diagonal gradient with three coloured blocks
// that bounce around the screen. Only the blocks' old and new rectangles are
// repainted per frame, so a 1920 x 1080 desktop costs little to move.
#include <algorithm>
#include <memory>
#include <vector>

#include "machine/machine_screen.h"

namespace winsim {
namespace {

struct Block {
  int size;
  int speed_x;  // pixels per second
  int speed_y;
  std::uint32_t rgb;
};
constexpr Block kBlocks[] = {
    {160, 420, 260, 0xE04040},
    {120, -300, 380, 0x40C060},
    {90, 520, -210, 0x4060E0},
};

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
};

// Position along one axis bouncing between 0 and `room`.
int Bounce(std::int64_t now_100ns, int speed, int room) {
  if (room <= 0) return 0;
  const std::int64_t travelled = now_100ns / 10'000 * speed / 1000;  // pixels
  std::int64_t phase = travelled % (2LL * room);
  if (phase < 0) phase += 2LL * room;
  return static_cast<int>(phase <= room ? phase : 2LL * room - phase);
}

std::uint32_t Gradient(int x, int y, int width, int height) {
  const std::uint32_t r = static_cast<std::uint32_t>(40 + 120 * x / (width > 1 ? width - 1 : 1));
  const std::uint32_t g = static_cast<std::uint32_t>(60 + 100 * y / (height > 1 ? height - 1 : 1));
  const std::uint32_t b = 150;
  return (r << 16) | (g << 8) | b;
}

struct Animation {
  int width = -1, height = -1;
  Rect drawn[std::size(kBlocks)];
  // The gradient splits into a red part per column and a green part per
  // row; kept per size so a repaint costs no division per pixel.
  std::vector<std::uint32_t> column_part, row_part;

  void Paint(Screen& screen, const Rect& r, std::uint32_t rgb, bool background) const {
    for (int y = r.y; y < r.y + r.h; ++y) {
      std::uint32_t* row = screen.pixels.data() + static_cast<std::size_t>(y) * screen.width;
      if (!background) {
        std::fill(row + r.x, row + r.x + r.w, rgb);
        continue;
      }
      const std::uint32_t green = row_part[static_cast<std::size_t>(y)];
      for (int x = r.x; x < r.x + r.w; ++x)
        row[x] = column_part[static_cast<std::size_t>(x)] | green;
    }
  }

  void Step(Screen& screen, std::int64_t now_100ns) {
    const std::size_t count = static_cast<std::size_t>(screen.width > 0 ? screen.width : 0) *
                              static_cast<std::size_t>(screen.height > 0 ? screen.height : 0);
    if (screen.pixels.size() != count) return;  // the buffer does not match the size
    if (screen.width != width || screen.height != height) {
      width = screen.width;
      height = screen.height;
      column_part.resize(static_cast<std::size_t>(std::max(width, 0)));
      row_part.resize(static_cast<std::size_t>(std::max(height, 0)));
      for (int x = 0; x < width; ++x)
        column_part[std::size_t(x)] = Gradient(x, 0, width, height) & 0xFF00FF;
      for (int y = 0; y < height; ++y)
        row_part[std::size_t(y)] = Gradient(0, y, width, height) & 0x00FF00;
      Paint(screen, Rect{0, 0, width, height}, 0, true);
      for (Rect& r : drawn) r = Rect{};
    }
    for (const Rect& r : drawn) Paint(screen, r, 0, true);
    for (std::size_t i = 0; i < std::size(kBlocks); ++i) {
      const Block& block = kBlocks[i];
      const int w = block.size < width ? block.size : width;
      const int h = block.size < height ? block.size : height;
      drawn[i] = Rect{Bounce(now_100ns, block.speed_x, width - w),
                      Bounce(now_100ns, block.speed_y, height - h), w, h};
      Paint(screen, drawn[i], block.rgb, false);
    }
  }
};

}  // namespace

std::function<void(Screen&, std::int64_t)> MakeDesktopAnimation() {
  auto animation = std::make_shared<Animation>();
  return
      [animation](Screen& screen, std::int64_t now_100ns) { animation->Step(screen, now_100ns); };
}

}  // namespace winsim
