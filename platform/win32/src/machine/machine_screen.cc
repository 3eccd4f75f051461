#include "machine/machine_screen.h"

#include <algorithm>
#include <mutex>

#include "machine/machine_areas.h"
#include "machine/machine_clock.h"
#include "machine/machine_work.h"
#include "winsim_windows.h"

namespace winsim {
namespace {

struct ScreenState {
  std::mutex mutex;
  Screen screen;
  int metric_cx = 1920;
  int metric_cy = 1080;
};

void Repaint(Screen& screen, std::uint32_t rgb) {
  const auto w = static_cast<std::size_t>(screen.width > 0 ? screen.width : 0);
  const auto h = static_cast<std::size_t>(screen.height > 0 ? screen.height : 0);
  screen.pixels.assign(w * h, rgb & 0xFFFFFF);
}

ScreenState& State() {
  static ScreenState* state = [] {
    auto* fresh = new ScreenState;
    Repaint(fresh->screen, 0);
    fresh->screen.animate = MakeDesktopAnimation();
    return fresh;
  }();
  return *state;
}

}  // namespace

void SetScreenSize(int width, int height) {
  ScreenState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.screen.width = width;
  s.screen.height = height;
  s.screen.left = 0;
  s.screen.top = 0;
  s.metric_cx = width;
  s.metric_cy = height;
  Repaint(s.screen, 0);
}

void SetScreenMetrics(int cx, int cy) {
  ScreenState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.metric_cx = cx;
  s.metric_cy = cy;
}

Screen& GetScreen() {
  LoadMachineFromEnvironment();
  return State().screen;
}

void FillScreen(std::uint32_t rgb) { FillScreenHalves(rgb, rgb); }

void FillScreenHalves(std::uint32_t top, std::uint32_t bottom) {
  ScreenState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.screen.animate = nullptr;
  Repaint(s.screen, top);
  const std::size_t half = static_cast<std::size_t>(s.screen.height / 2) *
                           static_cast<std::size_t>(s.screen.width > 0 ? s.screen.width : 0);
  std::fill(s.screen.pixels.begin() + static_cast<std::ptrdiff_t>(half), s.screen.pixels.end(),
            bottom & 0xFFFFFF);
}

namespace {

// Brings an animated desktop up to now. What other programs draw is not the
// reader's work: it is counted with the GPU's (see GpuWork).
void AnimateScreen(Screen& screen) {
  if (!screen.animate) return;
  const GpuWork others;
  screen.animate(screen, MachineNow100ns());
}

}  // namespace

void AnimateDesktop() {
  ScreenState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.screen.animate = MakeDesktopAnimation();
}

void ReadScreen(const std::function<void(const Screen&)>& read) {
  LoadMachineFromEnvironment();
  ScreenState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  AnimateScreen(s.screen);
  read(s.screen);
}

void WriteScreen(const std::function<void(Screen&)>& write) {
  LoadMachineFromEnvironment();
  ScreenState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  AnimateScreen(s.screen);
  s.screen.animate = nullptr;
  write(s.screen);
}

int ScreenMetric(int index) {
  LoadMachineFromEnvironment();
  ScreenState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return index == 0 ? s.metric_cx : s.metric_cy;
}

void SetVirtualScreen(const RECT& bounds, int primary_width, int primary_height,
                      const std::function<void(Screen&)>& paint) {
  ScreenState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.screen.left = bounds.left;
  s.screen.top = bounds.top;
  s.screen.width = bounds.right - bounds.left;
  s.screen.height = bounds.bottom - bounds.top;
  s.metric_cx = primary_width;
  s.metric_cy = primary_height;
  s.screen.animate = nullptr;
  Repaint(s.screen, 0);
  paint(s.screen);
}

void ResetScreenArea() {
  SetScreenSize(1920, 1080);
  AnimateDesktop();
}

// "screen": {"width": 1280, "height": 720, "metrics_width": 1, "metrics_height": 0,
//            "pattern": "animated" | "solid" | "halves" | "timecode", "color": "#RRGGBB",
//            "top": "#RRGGBB", "bottom": "#RRGGBB", "flash_ms": 0, "flash_period_ms": 0}
// The timecode pattern hides the cursor unless the file sets "cursor".
bool ApplyScreenKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_object()) {
    *error = "must be an object";
    return false;
  }
  int width = State().screen.width, height = State().screen.height;
  std::string pattern = "animated";
  std::uint32_t color = 0, top = 0, bottom = 0xFFFFFF;
  int flash_ms = 0, flash_period_ms = 0;
  if (!OnlyKnownKeys(value,
                     {"width", "height", "metrics_width", "metrics_height", "pattern", "color",
                      "top", "bottom", "flash_ms", "flash_period_ms"},
                     error) ||
      !ReadInt(value, "flash_ms", &flash_ms, error) ||
      !ReadInt(value, "flash_period_ms", &flash_period_ms, error) ||
      !ReadInt(value, "width", &width, error) || !ReadInt(value, "height", &height, error) ||
      !ReadString(value, "pattern", &pattern, error) || !ReadColor(value, "color", &color, error) ||
      !ReadColor(value, "top", &top, error) || !ReadColor(value, "bottom", &bottom, error)) {
    return false;
  }
  if (width < 0 || height < 0 || static_cast<std::int64_t>(width) * height > 16384LL * 16384) {
    *error = "\"width\" and \"height\" must be 0 or more and at most 16384 x 16384 pixels";
    return false;
  }
  if (pattern != "animated" && pattern != "solid" && pattern != "halves" && pattern != "timecode") {
    *error = "\"pattern\" must be \"animated\", \"solid\", \"halves\" or \"timecode\"";
    return false;
  }
  if (flash_ms < 0 || flash_period_ms < 0) {
    *error = "\"flash_ms\" and \"flash_period_ms\" must be 0 or more";
    return false;
  }
  int metric_cx = width, metric_cy = height;
  if (!ReadInt(value, "metrics_width", &metric_cx, error) ||
      !ReadInt(value, "metrics_height", &metric_cy, error)) {
    return false;
  }
  SetScreenSize(width, height);
  SetScreenMetrics(metric_cx, metric_cy);
  // One display, the primary, of the screen's size, keeping its DPI.
  Monitor primary;
  for (const Monitor& monitor : Monitors()) {
    if (monitor.primary) primary.dpi = monitor.dpi;
  }
  primary.rect = RECT{0, 0, width, height};
  SetMonitors({primary});
  if (pattern == "animated") AnimateDesktop();
  if (pattern == "solid") FillScreen(color);
  if (pattern == "halves") FillScreenHalves(top, bottom);
  if (pattern == "timecode") {
    ScreenState& s = State();
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      s.screen.animate = MakeTimecodeDesktop(flash_ms, flash_period_ms);
    }
    HideCursorUnlessPlaced();
  }
  return true;
}

}  // namespace winsim
