// Monitors, their DPI and the virtual screen they make up.
#include <shellscalingapi.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string>

#include "gdi/gdi_objects.h"
#include "machine/machine_screen.h"
#include "user/user_state.h"

namespace {

// Monitor handles stay with their display (its device name) while it is
// attached, through resolution and position changes; a display that is
// removed takes its handle with it, and one attached later gets a new one.
struct MonitorTable {
  std::mutex mutex;
  std::vector<winsim::Monitor> list{
      winsim::Monitor{RECT{0, 0, 1920, 1080}, 96, true, L"\\\\.\\DISPLAY1"}};
  std::vector<std::uintptr_t> handles{1};  // parallel to `list`
  std::uintptr_t next_handle = 2;
  std::uint64_t changes = 0;
};

MonitorTable& GetMonitors() {
  static MonitorTable* monitors = new MonitorTable;
  return *monitors;
}

HMONITOR HandleOf(const MonitorTable& m, std::size_t index) {
  return reinterpret_cast<HMONITOR>(m.handles[index]);
}

// The list position of `monitor`, or the list's size when it names none.
std::size_t IndexOf(const MonitorTable& m, HMONITOR monitor) {
  const auto handle = reinterpret_cast<std::uintptr_t>(monitor);
  const auto it = std::find(m.handles.begin(), m.handles.end(), handle);
  return handle == 0 ? m.list.size() : static_cast<std::size_t>(it - m.handles.begin());
}

std::size_t PrimaryIndex(const MonitorTable& m) {
  for (std::size_t i = 0; i < m.list.size(); ++i) {
    if (m.list[i].primary) return i;
  }
  return 0;
}

bool SameDisplays(const std::vector<winsim::Monitor>& a, const std::vector<winsim::Monitor>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const RECT &r = a[i].rect, &s = b[i].rect;
    if (r.left != s.left || r.top != s.top || r.right != s.right || r.bottom != s.bottom ||
        a[i].primary != b[i].primary || a[i].name != b[i].name) {
      return false;
    }
  }
  return true;
}

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
  if (monitors.empty()) return;
  const std::vector<Monitor> before = m.list;
  const std::vector<std::uintptr_t> handles_before = m.handles;
  m.list = monitors;
  m.handles.clear();
  // Exactly one monitor is the primary: the first marked one, else the first.
  const std::size_t primary = PrimaryIndex(m);
  for (std::size_t i = 0; i < m.list.size(); ++i) {
    Monitor& monitor = m.list[i];
    monitor.primary = i == primary;
    if (monitor.name.empty()) monitor.name = L"\\\\.\\DISPLAY" + std::to_wstring(i + 1);
    std::uintptr_t handle = 0;
    for (std::size_t j = 0; j < before.size(); ++j) {
      if (before[j].name == monitor.name) handle = handles_before[j];
    }
    m.handles.push_back(handle != 0 ? handle : m.next_handle++);
  }
  if (!SameDisplays(before, m.list)) ++m.changes;
}

void SetMonitorDpi(UINT dpi) {
  MonitorTable& m = GetMonitors();
  std::lock_guard<std::mutex> lock(m.mutex);
  m.list[PrimaryIndex(m)].dpi = dpi;
}

std::vector<Monitor> Monitors() {
  MonitorTable& m = GetMonitors();
  std::lock_guard<std::mutex> lock(m.mutex);
  return m.list;
}

MonitorState CurrentMonitorState() {
  LoadMachineFromEnvironment();
  MonitorTable& m = GetMonitors();
  std::lock_guard<std::mutex> lock(m.mutex);
  MonitorState state;
  state.monitors = m.list;
  for (std::size_t i = 0; i < m.list.size(); ++i) state.handles.push_back(HandleOf(m, i));
  state.changes = m.changes;
  return state;
}

int VirtualScreenMetric(int index) {
  LoadMachineFromEnvironment();
  MonitorTable& m = GetMonitors();
  std::lock_guard<std::mutex> lock(m.mutex);
  if (index == SM_CMONITORS) return static_cast<int>(m.list.size());
  RECT bounds = m.list.front().rect;
  for (const Monitor& monitor : m.list) {
    bounds.left = std::min(bounds.left, monitor.rect.left);
    bounds.top = std::min(bounds.top, monitor.rect.top);
    bounds.right = std::max(bounds.right, monitor.rect.right);
    bounds.bottom = std::max(bounds.bottom, monitor.rect.bottom);
  }
  switch (index) {
    case SM_XVIRTUALSCREEN:
      return bounds.left;
    case SM_YVIRTUALSCREEN:
      return bounds.top;
    case SM_CXVIRTUALSCREEN:
      return bounds.right - bounds.left;
    case SM_CYVIRTUALSCREEN:
      return bounds.bottom - bounds.top;
    default:
      return 0;
  }
}

}  // namespace winsim

HMONITOR MonitorFromPoint(POINT point, DWORD flags) {
  winsim::LoadMachineFromEnvironment();
  MonitorTable& m = GetMonitors();
  std::lock_guard<std::mutex> lock(m.mutex);
  std::size_t nearest = 0;
  for (std::size_t i = 0; i < m.list.size(); ++i) {
    const long long d = DistanceSquared(m.list[i].rect, point);
    if (d == 0) return HandleOf(m, i);
    if (d < DistanceSquared(m.list[nearest].rect, point)) nearest = i;
  }
  switch (flags) {
    case MONITOR_DEFAULTTONEAREST:
      return HandleOf(m, nearest);
    case MONITOR_DEFAULTTOPRIMARY:
      return HandleOf(m, PrimaryIndex(m));
    default:
      return nullptr;
  }
}

BOOL EnumDisplayMonitors(HDC hdc, LPCRECT clip, MONITORENUMPROC callback, LPARAM data) {
  if (winsim::FailedByInjection("EnumDisplayMonitors")) return FALSE;
  if (hdc != nullptr || callback == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  winsim::LoadMachineFromEnvironment();
  // The callback may call back into the monitor functions, so it runs on a
  // copy, without the table's lock.
  std::vector<winsim::Monitor> monitors;
  std::vector<HMONITOR> handles;
  {
    MonitorTable& m = GetMonitors();
    std::lock_guard<std::mutex> lock(m.mutex);
    monitors = m.list;
    for (std::size_t i = 0; i < m.list.size(); ++i) handles.push_back(HandleOf(m, i));
  }
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    RECT rect = monitors[i].rect;
    if (clip != nullptr) {
      rect.left = std::max(rect.left, clip->left);
      rect.top = std::max(rect.top, clip->top);
      rect.right = std::min(rect.right, clip->right);
      rect.bottom = std::min(rect.bottom, clip->bottom);
      if (rect.left >= rect.right || rect.top >= rect.bottom) continue;
    }
    if (!callback(handles[i], nullptr, &rect, data)) break;
  }
  return TRUE;
}

BOOL GetMonitorInfoW(HMONITOR monitor, LPMONITORINFO info) {
  if (winsim::FailedByInjection("GetMonitorInfoW")) return FALSE;
  if (info == nullptr ||
      (info->cbSize != sizeof(MONITORINFO) && info->cbSize != sizeof(MONITORINFOEXW))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  winsim::LoadMachineFromEnvironment();
  MonitorTable& m = GetMonitors();
  std::lock_guard<std::mutex> lock(m.mutex);
  const std::size_t index = IndexOf(m, monitor);
  if (index == m.list.size()) {
    SetLastError(ERROR_INVALID_MONITOR_HANDLE);
    return FALSE;
  }
  const winsim::Monitor& found = m.list[index];
  info->rcMonitor = found.rect;
  info->rcWork = found.rect;
  info->dwFlags = found.primary ? MONITORINFOF_PRIMARY : 0;
  if (info->cbSize == sizeof(MONITORINFOEXW)) {
    auto* extended = static_cast<MONITORINFOEXW*>(info);
    const std::size_t length =
        std::min<std::size_t>(found.name.size(), static_cast<std::size_t>(CCHDEVICENAME - 1));
    std::copy_n(found.name.begin(), length, extended->szDevice);
    extended->szDevice[length] = L'\0';
  }
  return TRUE;
}

HRESULT GetDpiForMonitor(HMONITOR monitor, MONITOR_DPI_TYPE, UINT* dpi_x, UINT* dpi_y) {
  if (dpi_x == nullptr || dpi_y == nullptr) return E_INVALIDARG;
  const HRESULT injected = winsim::InjectedFailure("GetDpiForMonitor");
  if (FAILED(injected)) return injected;
  MonitorTable& m = GetMonitors();
  std::lock_guard<std::mutex> lock(m.mutex);
  const std::size_t index = IndexOf(m, monitor);
  if (index == m.list.size()) return E_INVALIDARG;
  *dpi_x = *dpi_y = m.list[index].dpi;
  return S_OK;
}
