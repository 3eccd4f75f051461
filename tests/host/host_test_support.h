// Shared set-up of the host tests: a default simulated machine and a fresh
// scripted engine before each test (machine_test checks that nothing handed
// out by the machine is left alive after it).
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>
#include <winsim_host.h>
#include <winsim_windows.h>

#include <string>
#include <vector>

#include "recorded_plugins.h"
#include "scripted_engine.h"
#include "tests/support/machine_test.h"

class HostTest : public machine_test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    scripted_engine::Reset();
    PluginRegistrations().clear();
  }
  void TearDown() override { DrainQueue(); }

  // Removes every queued message; true when WM_QUIT was among them.
  static bool DrainQueue() {
    MSG msg;
    bool quit = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) quit = quit || msg.message == WM_QUIT;
    return quit;
  }

  static RECT WindowRect(HWND hwnd) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    return rect;
  }
};

inline bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline bool operator!=(const RECT& a, const RECT& b) { return !(a == b); }
inline std::ostream& operator<<(std::ostream& out, const RECT& r) {
  return out << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}
