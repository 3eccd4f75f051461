// Display rules the recorder relies on to list displays and record one of
// them: enumeration, monitor information, the virtual-screen metrics, and
// the primary monitor's place at the virtual screen's origin.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "wine_differences.h"

namespace {

struct Seen {
  std::vector<HMONITOR> monitors;
  std::vector<RECT> rects;
  std::size_t stop_after = 0;  // 0: never stop
};

BOOL CALLBACK Collect(HMONITOR monitor, HDC, LPRECT rect, LPARAM data) {
  auto* seen = reinterpret_cast<Seen*>(data);
  seen->monitors.push_back(monitor);
  seen->rects.push_back(*rect);
  return seen->stop_after == 0 || seen->monitors.size() < seen->stop_after;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Every monitor is enumerated once, with its own rectangle; exactly one is
// the primary, its top-left corner at (0, 0) and its size the one
// SM_CXSCREEN and SM_CYSCREEN report; together they span the virtual screen.
TEST(DisplayContract, EnumeratesEveryMonitorWithOnePrimaryAtTheOrigin) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  Seen seen;
  ASSERT_TRUE(EnumDisplayMonitors(nullptr, nullptr, Collect, reinterpret_cast<LPARAM>(&seen)));
  ASSERT_EQ(static_cast<int>(seen.monitors.size()), GetSystemMetrics(SM_CMONITORS));
  int primaries = 0;
  RECT bounds = seen.rects.at(0);
  for (std::size_t i = 0; i < seen.monitors.size(); ++i) {
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetMonitorInfoW(seen.monitors[i], &info));
    EXPECT_TRUE(SameRect(info.rcMonitor, seen.rects[i]));
    EXPECT_EQ(std::wstring(info.szDevice).rfind(L"\\\\.\\DISPLAY", 0), 0u);
    if ((info.dwFlags & MONITORINFOF_PRIMARY) != 0) {
      ++primaries;
      EXPECT_TRUE(SameRect(info.rcMonitor, RECT{0, 0, GetSystemMetrics(SM_CXSCREEN),
                                                GetSystemMetrics(SM_CYSCREEN)}));
      EXPECT_EQ(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTONULL), seen.monitors[i]);
    }
    // The plain structure is enough for the rectangle and the flags.
    MONITORINFO plain{};
    plain.cbSize = sizeof plain;
    ASSERT_TRUE(GetMonitorInfoW(seen.monitors[i], &plain));
    EXPECT_EQ(plain.dwFlags, info.dwFlags);
    bounds.left = std::min(bounds.left, seen.rects[i].left);
    bounds.top = std::min(bounds.top, seen.rects[i].top);
    bounds.right = std::max(bounds.right, seen.rects[i].right);
    bounds.bottom = std::max(bounds.bottom, seen.rects[i].bottom);
  }
  EXPECT_EQ(primaries, 1);
  EXPECT_EQ(bounds.left, GetSystemMetrics(SM_XVIRTUALSCREEN));
  EXPECT_EQ(bounds.top, GetSystemMetrics(SM_YVIRTUALSCREEN));
  EXPECT_EQ(bounds.right - bounds.left, GetSystemMetrics(SM_CXVIRTUALSCREEN));
  EXPECT_EQ(bounds.bottom - bounds.top, GetSystemMetrics(SM_CYVIRTUALSCREEN));
}

// The callback's FALSE ends the enumeration, and a clip rectangle limits it
// to the monitors it touches, each handed over intersected with it.
TEST(DisplayContract, EnumerationStopsOnFalseAndFollowsTheClip) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  Seen first;
  first.stop_after = 1;
  EnumDisplayMonitors(nullptr, nullptr, Collect, reinterpret_cast<LPARAM>(&first));
  EXPECT_EQ(first.monitors.size(), 1u);

  const int right = GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  Seen outside;
  const RECT beyond{right + 100, 0, right + 200, 100};
  ASSERT_TRUE(EnumDisplayMonitors(nullptr, &beyond, Collect, reinterpret_cast<LPARAM>(&outside)));
  EXPECT_TRUE(outside.monitors.empty());

  Seen inside;
  const RECT corner{1, 2, 11, 22};  // within the primary, which starts at 0, 0
  ASSERT_TRUE(EnumDisplayMonitors(nullptr, &corner, Collect, reinterpret_cast<LPARAM>(&inside)));
  ASSERT_EQ(inside.monitors.size(), 1u);
  EXPECT_EQ(inside.monitors[0], MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));
  EXPECT_TRUE(SameRect(inside.rects[0], corner));
}

}  // namespace
