#include <cmath>
#include <mutex>

#include "machine/machine_areas.h"
#include "machine/machine_clock.h"
#include "machine/machine_screen.h"

namespace winsim {
namespace {

struct CursorState {
  std::mutex mutex;
  Cursor cursor;
  bool placed = false;  // set by the machine file's "cursor" key
};

CursorState& State() {
  static CursorState* state = new CursorState;
  return *state;
}

// Circles around the middle of the screen once every four seconds.
void MoveInCircle(Cursor& cursor, std::int64_t now_100ns) {
  const int cx = ScreenMetric(0) / 2, cy = ScreenMetric(1) / 2;
  const int radius = (cx < cy ? cx : cy) / 2;
  const double angle = static_cast<double>(now_100ns % 40'000'000) / 40'000'000.0 * 6.283185307;
  cursor.x = cx + static_cast<int>(radius * std::cos(angle));
  cursor.y = cy + static_cast<int>(radius * std::sin(angle));
}

}  // namespace

std::vector<std::uint32_t> ArrowImage(int width, int height) {
  if (width <= 0 || height <= 0) return {};
  std::vector<std::uint32_t> image(static_cast<std::size_t>(width) * height, 0);
  // The arrow: a triangle with a vertical left edge and a 45-degree right
  // edge over the top 3/4 of the height, and a short stem below it.
  const int head = height * 3 / 4;
  auto inside = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    if (y < head) return x <= y * 2 / 3;
    return x >= head / 4 && x <= head / 4 + width / 6;
  };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (!inside(x, y)) continue;
      const bool edge =
          !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
      image[static_cast<std::size_t>(y) * width + x] = edge ? 0xFF000000u : 0xFFFFFFFFu;
    }
  }
  return image;
}

Cursor& GetCursor() {
  LoadMachineFromEnvironment();
  return State().cursor;
}

Cursor SnapshotCursor() {
  LoadMachineFromEnvironment();
  CursorState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.cursor.animate) s.cursor.animate(s.cursor, MachineNow100ns());
  Cursor copy = s.cursor;
  copy.animate = nullptr;
  const std::size_t expected = static_cast<std::size_t>(copy.width > 0 ? copy.width : 0) *
                               static_cast<std::size_t>(copy.height > 0 ? copy.height : 0);
  if (copy.image.size() != expected) copy.image = ArrowImage(copy.width, copy.height);
  return copy;
}

void ResetCursorArea() {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().cursor = Cursor{};
  State().placed = false;
}

void HideCursorUnlessPlaced() {
  std::lock_guard<std::mutex> lock(State().mutex);
  if (!State().placed) State().cursor.visible = false;
}

// "cursor": {"visible": true, "x": 100, "y": 100, "hotspot_x": 0, "hotspot_y": 0,
//            "width": 32, "height": 32, "moving": false}
bool ApplyCursorKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_object()) {
    *error = "must be an object";
    return false;
  }
  Cursor cursor;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    cursor = State().cursor;
  }
  bool moving = static_cast<bool>(cursor.animate);
  if (!OnlyKnownKeys(value,
                     {"visible", "x", "y", "hotspot_x", "hotspot_y", "width", "height", "moving"},
                     error) ||
      !ReadBool(value, "visible", &cursor.visible, error) ||
      !ReadInt(value, "x", &cursor.x, error) || !ReadInt(value, "y", &cursor.y, error) ||
      !ReadInt(value, "hotspot_x", &cursor.hotspot_x, error) ||
      !ReadInt(value, "hotspot_y", &cursor.hotspot_y, error) ||
      !ReadInt(value, "width", &cursor.width, error) ||
      !ReadInt(value, "height", &cursor.height, error) ||
      !ReadBool(value, "moving", &moving, error)) {
    return false;
  }
  if (cursor.width < 1 || cursor.height < 1 || cursor.width > 256 || cursor.height > 256) {
    *error = "\"width\" and \"height\" must be 1 to 256";
    return false;
  }
  if (cursor.hotspot_x < 0 || cursor.hotspot_y < 0 || cursor.hotspot_x >= cursor.width ||
      cursor.hotspot_y >= cursor.height) {
    *error = "the hotspot must lie inside the cursor image";
    return false;
  }
  cursor.animate = moving ? MoveInCircle : nullptr;
  std::lock_guard<std::mutex> lock(State().mutex);
  State().cursor = std::move(cursor);
  State().placed = true;
  return true;
}

}  // namespace winsim
