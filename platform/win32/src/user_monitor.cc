// Monitors and their DPI.
#include <shellscalingapi.h>

#include <cstdlib>
#include <mutex>

#include "user_state.h"

namespace {

struct MonitorTable {
  std::mutex mutex;
  std::vector<winsim::Monitor> list{winsim::Monitor{RECT{0, 0, 1920, 1080}, 96}};
};

MonitorTable& GetMonitors() {
  static MonitorTable* monitors = new MonitorTable;
  return *monitors;
}

// Monitor handles are the 1-based position in the list.
HMONITOR HandleOf(std::size_t index) { return reinterpret_cast<HMONITOR>(index + 1); }

long long DistanceSquared(const RECT& r, POINT p) {
  const long long dx = p.x < r.left ? r.left - p.x : (p.x >= r.right ? p.x - (r.right - 1) : 0);
  const long long dy = p.y < r.top ? r.top - p.y : (p.y >= r.bottom ? p.y - (r.bottom - 1) : 0);
  return dx * dx + dy * dy;
}

}  // namespace

namespace winsim {

void SetMonitors(const std::vector<Monitor>& monitors) {
  MonitorTable& m = GetMonitors();
  std::lock_guard<std::mutex> lock(m.mutex);
  if (!monitors.empty()) m.list = monitors;
}

void SetMonitorDpi(UINT dpi) {
  MonitorTable& m = GetMonitors();
  std::lock_guard<std::mutex> lock(m.mutex);
  m.list.front().dpi = dpi;
}

std::vector<Monitor> Monitors() {
  MonitorTable& m = GetMonitors();
  std::lock_guard<std::mutex> lock(m.mutex);
  return m.list;
}

}  // namespace winsim

HMONITOR MonitorFromPoint(POINT point, DWORD flags) {
  MonitorTable& m = GetMonitors();
  std::lock_guard<std::mutex> lock(m.mutex);
  std::size_t nearest = 0;
  for (std::size_t i = 0; i < m.list.size(); ++i) {
    const long long d = DistanceSquared(m.list[i].rect, point);
    if (d == 0) return HandleOf(i);
    if (d < DistanceSquared(m.list[nearest].rect, point)) nearest = i;
  }
  switch (flags) {
    case MONITOR_DEFAULTTONEAREST:
      return HandleOf(nearest);
    case MONITOR_DEFAULTTOPRIMARY:
      return HandleOf(0);
    default:
      return nullptr;
  }
}

HRESULT GetDpiForMonitor(HMONITOR monitor, MONITOR_DPI_TYPE, UINT* dpi_x, UINT* dpi_y) {
  if (dpi_x == nullptr || dpi_y == nullptr) return E_INVALIDARG;
  const HRESULT injected = winsim::InjectedFailure("GetDpiForMonitor");
  if (FAILED(injected)) return injected;
  MonitorTable& m = GetMonitors();
  std::lock_guard<std::mutex> lock(m.mutex);
  const auto index = reinterpret_cast<std::uintptr_t>(monitor);
  if (index == 0 || index > m.list.size()) return E_INVALIDARG;
  *dpi_x = *dpi_y = m.list[index - 1].dpi;
  return S_OK;
}
