// Window creation, destruction order, window data, geometry and focus.
#include "user_test_support.h"

namespace {

using user_test::Hook;
using user_test::WindowingTest;
using Pairs = std::vector<std::pair<HWND, UINT>>;

TEST_F(WindowingTest, CreationDeliversNcCreateThenCreateWithTheParameterBeforeReturning) {
  int marker = 0;
  LONG_PTR seen_param = 0;
  Hook() = [&](HWND hwnd, UINT message, WPARAM, LPARAM lparam, LRESULT*) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (message == WM_CREATE) seen_param = GetWindowLongPtrW(hwnd, GWLP_USERDATA);
    return false;
  };
  winsim::StartMessageLog();
  HWND hwnd = Create(WS_OVERLAPPEDWINDOW, nullptr, L"title", &marker);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(seen_param, reinterpret_cast<LONG_PTR>(&marker));
  const auto log = winsim::MessageLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0].message, WM_NCCREATE);
  EXPECT_EQ(log[1].message, WM_CREATE);
  EXPECT_EQ(winsim::LiveObjects()["window:UserTestWindow"], 1);
  EXPECT_EQ(winsim::FindWindows(user_test::kClass, L"title"), std::vector<HWND>{hwnd});
  EXPECT_FALSE(UnregisterClassW(user_test::kClass, nullptr)) << "a class with windows stays";
}

TEST_F(WindowingTest, RefusedCreationReturnsNullAndLeavesNoWindow) {
  struct Case {
    UINT refusing_message;
    LRESULT answer;
    Pairs expected_teardown;  // with the handle replaced by null
  };
  const Case cases[] = {
      {WM_NCCREATE, FALSE, {{nullptr, WM_NCDESTROY}}},
      {WM_CREATE, -1, {{nullptr, WM_DESTROY}, {nullptr, WM_NCDESTROY}}},
  };
  for (const Case& c : cases) {
    Hook() = [&](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
      *result = c.answer;
      return message == c.refusing_message;
    };
    winsim::StartMessageLog();
    EXPECT_EQ(Create(), nullptr);
    Pairs teardown;
    for (auto [hwnd, message] : Logged({WM_DESTROY, WM_NCDESTROY}))
      teardown.emplace_back(nullptr, message);
    EXPECT_EQ(teardown, c.expected_teardown) << c.refusing_message;
    EXPECT_TRUE(winsim::FindWindows(user_test::kClass).empty());
  }
}

TEST_F(WindowingTest, DestroyingAParentDestroysTopDownThenFreesBottomUp) {
  HWND parent = Create();
  HWND first = Create(WS_CHILD | WS_VISIBLE, parent);
  HWND grandchild = Create(WS_CHILD, first);
  HWND second = Create(WS_CHILD, parent);
  winsim::StartMessageLog();
  ASSERT_TRUE(DestroyWindow(parent));
  EXPECT_EQ(Logged({WM_DESTROY, WM_NCDESTROY}), (Pairs{{parent, WM_DESTROY},
                                                       {first, WM_DESTROY},
                                                       {grandchild, WM_DESTROY},
                                                       {second, WM_DESTROY},
                                                       {grandchild, WM_NCDESTROY},
                                                       {first, WM_NCDESTROY},
                                                       {second, WM_NCDESTROY},
                                                       {parent, WM_NCDESTROY}}));
  for (HWND hwnd : {parent, first, grandchild, second}) EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(DestroyWindow(parent)) << "a stale handle stays invalid";
}

TEST_F(WindowingTest, ClientAreaExcludesTheFrameOfCaptionedWindowsOnly) {
  HWND top = Create();
  HWND child = Create(WS_CHILD, top);
  RECT rect{};
  ASSERT_TRUE(GetClientRect(top, &rect));
  EXPECT_EQ(std::make_pair(rect.right, rect.bottom), std::make_pair(300 - 16, 200 - 39));
  ASSERT_TRUE(GetClientRect(child, &rect));
  EXPECT_EQ(std::make_pair(rect.right, rect.bottom), std::make_pair(300, 200));
  ASSERT_TRUE(GetWindowRect(child, &rect));
  EXPECT_EQ(std::make_pair(rect.left, rect.top), std::make_pair(10 + 10 + 8, 20 + 20 + 31));
}

// The machine's record of a window follows SetWindowPos. (Which of WM_MOVE
// and WM_SIZE a move sends is a contract case: tests/contract/user_contract_test.)
TEST_F(WindowingTest, SizingUpdatesTheMachinesRecordOfTheWindow) {
  HWND hwnd = Create(WS_CHILD, Create());
  SetWindowPos(hwnd, nullptr, 1, 1, 9, 9, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  EXPECT_EQ(winsim::DescribeWindow(hwnd)->client.right, 9);
}

TEST_F(WindowingTest, ReparentingVisibilityAndFocus) {
  HWND top = Create();
  HWND holder = Create(WS_POPUP);
  HWND child = Create(WS_CHILD | WS_VISIBLE, holder);
  EXPECT_EQ(SetParent(child, top), holder);
  EXPECT_EQ(GetAncestor(child, GA_ROOT), top);
  EXPECT_EQ(SetParent(top, child), nullptr) << "a window cannot move under its own child";
  EXPECT_FALSE(IsWindowVisible(child)) << "hidden while its top-level window is";
  SetFocus(child);
  EXPECT_EQ(GetFocus(), child);
  SetFocus(nullptr);

  // Showing the hidden top-level window activates it; default activation focuses it.
  winsim::StartMessageLog();
  EXPECT_FALSE(ShowWindow(top, SW_SHOWNORMAL));
  EXPECT_TRUE(IsWindowVisible(child));
  EXPECT_EQ(Logged({WM_SHOWWINDOW, WM_ACTIVATE, WM_SETFOCUS}),
            (Pairs{{top, WM_SHOWWINDOW}, {top, WM_ACTIVATE}, {top, WM_SETFOCUS}}));
  EXPECT_EQ(GetFocus(), top);
  EXPECT_TRUE(ShowWindow(top, SW_SHOWNORMAL)) << "already visible: no second activation";
  DestroyWindow(top);
  EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(WindowingTest, MonitorNearestToAPointAndItsDpi) {
  winsim::SetMonitors({{RECT{0, 0, 1920, 1080}, 96}, {RECT{1920, 0, 3840, 1080}, 144}});
  struct Case {
    POINT point;
    DWORD flags;
    UINT dpi;  // 0: no monitor
  };
  const Case cases[] = {
      {{10, 10}, MONITOR_DEFAULTTONEAREST, 96},     {{1920, 5}, MONITOR_DEFAULTTONULL, 144},
      {{5000, -50}, MONITOR_DEFAULTTONEAREST, 144}, {{-5, 10}, MONITOR_DEFAULTTONEAREST, 96},
      {{5000, 10}, MONITOR_DEFAULTTOPRIMARY, 96},   {{5000, 10}, MONITOR_DEFAULTTONULL, 0},
  };
  for (const Case& c : cases) {
    HMONITOR monitor = MonitorFromPoint(c.point, c.flags);
    UINT x = 0, y = 0;
    if (c.dpi == 0) {
      EXPECT_EQ(monitor, nullptr);
      continue;
    }
    ASSERT_EQ(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &x, &y), S_OK);
    EXPECT_EQ(x, c.dpi) << c.point.x << "," << c.point.y;
  }
}

}  // namespace
