#include "dxgi/dxgi_desktop_watch.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "machine/machine_clock.h"
#include "machine/machine_screen.h"

namespace winsim::dxgi {
namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;

// Copies `count` screen pixels, made opaque, eight at a time where it can: a
// 4K desktop is read sixty times a second.
void CopyOpaque(const std::uint32_t* from, std::uint32_t* to, int count) {
  using Pixels8 = std::uint32_t __attribute__((vector_size(32)));
  constexpr int kStep = sizeof(Pixels8) / sizeof(std::uint32_t);
  int i = 0;
  for (; i + kStep <= count; i += kStep) {
    Pixels8 block;
    std::memcpy(&block, from + i, sizeof block);
    block |= 0xFF000000u;
    std::memcpy(to + i, &block, sizeof block);
  }
  for (; i < count; ++i) to[i] = from[i] | 0xFF000000u;
}

}  // namespace

std::int64_t BlankTime(std::int64_t index) {
  return (index * kTicksPerSecond + kRefreshHz - 1) / kRefreshHz;
}

std::int64_t BlankAtOrBefore(std::int64_t time) { return time * kRefreshHz / kTicksPerSecond; }

void WaitUntilMachineTime(std::int64_t time) {
  if (ManualClockRunning()) {
    AdvanceManualClockTo(time);
  } else {
    std::this_thread::sleep_until(WallTimeAt(time));
  }
}

LONGLONG CounterAt(std::int64_t time) {
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  const std::int64_t f = frequency.QuadPart;
  return time / kTicksPerSecond * f + time % kTicksPerSecond * f / kTicksPerSecond;
}

bool PointerState::SameShape(const PointerState& other) const {
  return width == other.width && height == other.height && hot_spot.x == other.hot_spot.x &&
         hot_spot.y == other.hot_spot.y && shape == other.shape;
}

bool PointerState::operator==(const PointerState& other) const {
  return visible == other.visible && position.x == other.position.x &&
         position.y == other.position.y && SameShape(other);
}

PointerState ReadPointer(const RECT& rect) {
  const Cursor cursor = SnapshotCursor();
  PointerState state;
  state.visible = cursor.visible && !SecureDesktopShowing() && cursor.x >= rect.left &&
                  cursor.x < rect.right && cursor.y >= rect.top && cursor.y < rect.bottom;
  state.position =
      POINT{cursor.x - cursor.hotspot_x - rect.left, cursor.y - cursor.hotspot_y - rect.top};
  state.width = cursor.width;
  state.height = cursor.height;
  state.hot_spot = POINT{cursor.hotspot_x, cursor.hotspot_y};
  state.shape = cursor.image;
  return state;
}

bool ReadDesktop(const RECT& rect, std::vector<std::uint32_t>* pixels) {
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  pixels->resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  return ReadDesktop(rect, pixels->data(), static_cast<std::size_t>(width));
}

bool ReadDesktop(const RECT& rect, std::uint32_t* pixels, std::size_t row_pixels) {
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  bool animated = false;
  ReadScreen([&](const Screen& screen) {
    animated = static_cast<bool>(screen.animate);
    // What no screen pixel covers is black; a rectangle the screen covers
    // whole is written over entirely.
    const bool covered = rect.left >= screen.left && rect.top >= screen.top &&
                         rect.right <= screen.left + screen.width &&
                         rect.bottom <= screen.top + screen.height;
    const bool sized = screen.pixels.size() ==
                       static_cast<std::size_t>(std::max(screen.width, 0)) *
                           static_cast<std::size_t>(std::max(screen.height, 0));
    if (!covered || !sized) {
      for (int y = 0; y < height; ++y) {
        std::fill_n(pixels + static_cast<std::size_t>(y) * row_pixels, width, 0xFF000000u);
      }
    }
    if (!sized) return;  // a test left the buffer at another size: nothing to read
    const int left = std::max<int>(rect.left, screen.left);
    const int right = std::min<int>(rect.right, screen.left + screen.width);
    for (int y = std::max<int>(rect.top, screen.top);
         y < std::min<int>(rect.bottom, screen.top + screen.height); ++y) {
      CopyOpaque(screen.pixels.data() + static_cast<std::size_t>(y - screen.top) * screen.width +
                     (left - screen.left),
                 pixels + static_cast<std::size_t>(y - rect.top) * row_pixels + (left - rect.left),
                 right - left);
    }
  });
  return animated;
}

bool DesktopAnimated() {
  bool animated = false;
  ReadScreen([&](const Screen& screen) { animated = static_cast<bool>(screen.animate); });
  return animated;
}

}  // namespace winsim::dxgi
