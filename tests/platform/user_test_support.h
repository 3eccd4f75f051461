// A window class for windowing tests whose procedure's answers the test sets.
#pragma once

#include <shellscalingapi.h>
#include <windows.h>
#include <winsim.h>
#include <winsim_windows.h>

#include <functional>
#include <gtest/gtest.h>

#include "tests/support/machine_test.h"

namespace user_test {

inline const wchar_t kClass[] = L"UserTestWindow";

// Handles a message before default processing; returns true when handled,
// with the result in `result`.
inline std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)>& Hook() {
  static std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> hook;
  return hook;
}

inline LRESULT TestProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  if (Hook() && Hook()(hwnd, message, wparam, lparam, &result)) return result;
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

class WindowingTest : public machine_test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    Hook() = nullptr;
    WNDCLASSW wc{};
    wc.lpfnWndProc = TestProc;
    wc.lpszClassName = kClass;
    ASSERT_NE(RegisterClassW(&wc), 0);
  }
  void TearDown() override {
    Hook() = nullptr;
    for (HWND hwnd : winsim::FindWindows(kClass)) DestroyWindow(hwnd);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    EXPECT_TRUE(UnregisterClassW(kClass, nullptr));
  }
  HWND Create(DWORD style = WS_OVERLAPPEDWINDOW, HWND parent = nullptr, const wchar_t* title = L"",
              void* param = nullptr) {
    return CreateWindowExW(0, kClass, title, style, 10, 20, 300, 200, parent, nullptr, nullptr,
                           param);
  }
  // The logged messages of the listed numbers, as (window, message) pairs.
  static std::vector<std::pair<HWND, UINT>> Logged(std::initializer_list<UINT> messages) {
    std::vector<std::pair<HWND, UINT>> out;
    for (const auto& m : winsim::MessageLog())
      for (UINT wanted : messages)
        if (m.message == wanted) out.emplace_back(m.hwnd, m.message);
    return out;
  }
};

}  // namespace user_test
