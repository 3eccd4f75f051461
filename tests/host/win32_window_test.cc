// The top-level window on its own: DPI scaling, title-bar theme, message
// handling, child content and the lifetime of the window class.
#include <dwmapi.h>

#include <optional>

#include "host/win32_window.h"
#include "host_test_support.h"

using namespace morl::host;

namespace {

constexpr wchar_t kClass[] = L"FLUTTER_RUNNER_WIN32_WINDOW";

// Records its hooks and lets the test attach a child window.
class TestWindow : public Win32Window {
 public:
  std::vector<std::string> events;
  bool create_result = true;

  using Win32Window::ClientArea;
  using Win32Window::top_window;

  void Attach(HWND child) { AttachChildContent(child); }

 protected:
  bool OnWindowCreated() override {
    events.push_back("created");
    return create_result;
  }
  void OnWindowDestroyed() override { events.push_back("destroyed"); }
};

// A plain window to host as child content.
class ChildWindow {
 public:
  ChildWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = L"TEST_CHILD";
    RegisterClassW(&wc);
    hwnd = CreateWindowExW(0, L"TEST_CHILD", L"", WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                           nullptr, nullptr);
  }
  ~ChildWindow() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    UnregisterClassW(L"TEST_CHILD", nullptr);
  }
  HWND hwnd;
};

const Win32Window::Point kOrigin{10, 10};
const Win32Window::Size kSize{1280, 720};

class Win32WindowTest : public HostTest {};

TEST_F(Win32WindowTest, ScalesOriginAndSizeByMonitorDpiTruncating) {
  struct Case {
    UINT dpi;
    RECT expected;
  };
  const Case cases[] = {
      {96, {10, 10, 10 + 1280, 10 + 720}},
      {120, {12, 12, 12 + 1600, 12 + 900}},
      {144, {15, 15, 15 + 1920, 15 + 1080}},
      {168, {17, 17, 17 + 2240, 17 + 1260}},  // 17.5 truncates to 17
  };
  for (const Case& c : cases) {
    winsim::SetMonitorDpi(c.dpi);
    TestWindow window;
    ASSERT_TRUE(window.OpenWindow(L"morl_desktop", kOrigin, kSize));
    const auto info = winsim::DescribeWindow(window.top_window());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->rect, c.expected) << c.dpi;
    EXPECT_EQ(info->class_name, kClass);
    EXPECT_EQ(info->title, L"morl_desktop");
    EXPECT_EQ(info->style & ~WS_VISIBLE, WS_OVERLAPPEDWINDOW);
    EXPECT_FALSE(info->visible);
  }
}

TEST_F(Win32WindowTest, ScalesForTheMonitorNearestTheUnscaledOrigin) {
  // (10, 10) lies on a small 192-DPI monitor; the scaled origin (20, 20)
  // would lie on the 96-DPI one.
  winsim::SetMonitors({{{0, 0, 15, 15}, 192}, {{15, 0, 4000, 3000}, 96}});
  TestWindow window;
  ASSERT_TRUE(window.OpenWindow(L"t", kOrigin, kSize));
  EXPECT_EQ(WindowRect(window.top_window()), (RECT{20, 20, 20 + 2560, 20 + 1440}));

  // Off every monitor: the nearest one decides.
  winsim::SetMonitors({{{500, 500, 2420, 1580}, 144}, {{-3000, 3000, -1000, 4000}, 96}});
  ASSERT_TRUE(window.OpenWindow(L"t", kOrigin, kSize));
  EXPECT_EQ(WindowRect(window.top_window()), (RECT{15, 15, 15 + 1920, 15 + 1080}));
}

TEST_F(Win32WindowTest, TitleBarFollowsTheAppsThemeSetting) {
  struct Case {
    std::optional<DWORD> apps_use_light_theme;
    std::optional<BOOL> dark;  // nullopt: the attribute is left alone
  };
  const Case cases[] = {{0, TRUE}, {1, FALSE}, {2, FALSE}, {std::nullopt, std::nullopt}};
  for (const Case& c : cases) {
    winsim::ResetHost();
    winsim::SetAppsUseLightTheme(c.apps_use_light_theme);
    TestWindow window;
    ASSERT_TRUE(window.OpenWindow(L"t", kOrigin, kSize));
    const auto calls = winsim::DwmAttributeCalls();
    if (!c.dark) {
      EXPECT_TRUE(calls.empty());
      continue;
    }
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].hwnd, window.top_window());
    EXPECT_EQ(calls[0].attribute, 20u);
    const std::vector<std::uint8_t> expected = {static_cast<std::uint8_t>(*c.dark), 0, 0, 0};
    EXPECT_EQ(calls[0].value, expected);
  }
  // A value of the wrong type is ignored like a missing one.
  winsim::ResetHost();
  winsim::SetRegistryString(L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                            L"AppsUseLightTheme", L"0");
  TestWindow window;
  ASSERT_TRUE(window.OpenWindow(L"t", kOrigin, kSize));
  EXPECT_TRUE(winsim::DwmAttributeCalls().empty());
}

TEST_F(Win32WindowTest, ColourSchemeChangeReappliesTheTheme) {
  winsim::SetAppsUseLightTheme(1);
  TestWindow window;
  ASSERT_TRUE(window.OpenWindow(L"t", kOrigin, kSize));
  winsim::SetAppsUseLightTheme(0);
  EXPECT_EQ(SendMessageW(window.top_window(), WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0), 0);
  const auto calls = winsim::DwmAttributeCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].value[0], 0);
  EXPECT_EQ(calls[1].value[0], 1);
  EXPECT_EQ(calls[1].hwnd, window.top_window());
}

TEST_F(Win32WindowTest, DpiChangeAppliesTheSuggestedRectangleExactly) {
  TestWindow window;
  ASSERT_TRUE(window.OpenWindow(L"t", kOrigin, kSize));
  RECT suggested{2000, 100, 2000 + 1921, 100 + 1081};
  EXPECT_EQ(SendMessageW(window.top_window(), WM_DPICHANGED, MAKELPARAM(144, 144),
                         reinterpret_cast<LPARAM>(&suggested)),
            0);
  EXPECT_EQ(WindowRect(window.top_window()), suggested);
  EXPECT_FALSE(winsim::DescribeWindow(window.top_window())->visible);
}

TEST_F(Win32WindowTest, ChildFillsTheClientAreaAndTakesTheFocus) {
  ChildWindow child;
  TestWindow window;
  ASSERT_TRUE(window.OpenWindow(L"t", kOrigin, kSize));
  window.Attach(child.hwnd);
  const HWND top = window.top_window();
  EXPECT_EQ(GetParent(child.hwnd), top);
  EXPECT_EQ(GetFocus(), child.hwnd);
  const RECT client = window.ClientArea();
  EXPECT_EQ(winsim::DescribeWindow(child.hwnd)->rect, client);

  // Resizing the frame resizes the child with it.
  MoveWindow(top, 0, 0, 800, 600, TRUE);
  const RECT resized = window.ClientArea();
  EXPECT_NE(resized, client);
  SendMessageW(top, WM_SIZE, SIZE_RESTORED, MAKELPARAM(resized.right, resized.bottom));
  EXPECT_EQ(winsim::DescribeWindow(child.hwnd)->rect, resized);

  // Activation hands the focus back to the child.
  SetFocus(top);
  EXPECT_EQ(SendMessageW(top, WM_ACTIVATE, WA_ACTIVE, 0), 0);
  EXPECT_EQ(GetFocus(), child.hwnd);
}

TEST_F(Win32WindowTest, MessagesBeforeAttachOrUnknownGoToDefaultHandling) {
  TestWindow window;
  ASSERT_TRUE(window.OpenWindow(L"t", kOrigin, kSize));
  // No child yet: size and activation do nothing harmful.
  EXPECT_EQ(SendMessageW(window.top_window(), WM_SIZE, 0, 0), 0);
  EXPECT_EQ(SendMessageW(window.top_window(), WM_ACTIVATE, WA_ACTIVE, 0), 0);
  EXPECT_EQ(SendMessageW(window.top_window(), WM_USER + 7, 1, 2),
            DefWindowProcW(window.top_window(), WM_USER + 7, 1, 2));
}

TEST_F(Win32WindowTest, OpeningTwiceReplacesTheFirstWindow) {
  TestWindow window;
  ASSERT_TRUE(window.OpenWindow(L"first", kOrigin, kSize));
  const HWND first = window.top_window();
  window.events.clear();
  ASSERT_TRUE(window.OpenWindow(L"second", kOrigin, kSize));
  EXPECT_FALSE(IsWindow(first));
  EXPECT_NE(window.top_window(), first);
  ASSERT_FALSE(window.events.empty());
  EXPECT_EQ(window.events.front(), "destroyed");
  EXPECT_EQ(window.events.back(), "created");
  EXPECT_EQ(winsim::FindWindows(kClass).size(), 1u);
  EXPECT_EQ(winsim::LiveObjects()["class:FLUTTER_RUNNER_WIN32_WINDOW"], 1);
}

TEST_F(Win32WindowTest, ClosingPostsQuitOnlyWhenAskedTo) {
  for (bool quit : {false, true}) {
    TestWindow window;
    ASSERT_TRUE(window.OpenWindow(L"t", kOrigin, kSize));
    window.SetQuitWhenClosed(quit);
    window.events.clear();
    SendMessageW(window.top_window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(window.top_window(), nullptr);
    EXPECT_EQ(window.events, std::vector<std::string>{"destroyed"});
    EXPECT_EQ(DrainQueue(), quit);
    // The object is still alive, so the class stays registered.
    EXPECT_EQ(winsim::LiveObjects()["class:FLUTTER_RUNNER_WIN32_WINDOW"], 1);
  }
}

TEST_F(Win32WindowTest, NonClientScalingIsEnabledWhenUser32HasIt) {
  {
    TestWindow window;
    ASSERT_TRUE(window.OpenWindow(L"t", kOrigin, kSize));
    EXPECT_EQ(winsim::NonClientDpiScalingCalls(), std::vector<HWND>{window.top_window()});
  }
  for (int variant = 0; variant < 2; ++variant) {
    winsim::ResetHost();
    if (variant == 0) winsim::SetNonClientDpiScalingExported(false);
    if (variant == 1) winsim::SetUser32Loadable(false);
    TestWindow window;
    EXPECT_TRUE(window.OpenWindow(L"t", kOrigin, kSize));
    EXPECT_TRUE(winsim::NonClientDpiScalingCalls().empty());
  }
}

TEST_F(Win32WindowTest, FailedCreationRunsNeitherThemeNorHook) {
  winsim::SetAppsUseLightTheme(0);
  winsim::FailCall("CreateWindowExW", E_FAIL);
  TestWindow window;
  EXPECT_FALSE(window.OpenWindow(L"t", kOrigin, kSize));
  EXPECT_EQ(window.top_window(), nullptr);
  EXPECT_TRUE(winsim::DwmAttributeCalls().empty());
  EXPECT_EQ(window.events, std::vector<std::string>{"destroyed"});
}

TEST_F(Win32WindowTest, RefusedCreationLeavesTheWindowHidden) {
  TestWindow window;
  window.create_result = false;
  EXPECT_FALSE(window.OpenWindow(L"t", kOrigin, kSize));
  ASSERT_NE(window.top_window(), nullptr);
  EXPECT_FALSE(IsWindowVisible(window.top_window()));
}

TEST_F(Win32WindowTest, RevealShowsAndTheLastObjectDropsTheClass) {
  {
    TestWindow a;
    TestWindow b;
    ASSERT_TRUE(a.OpenWindow(L"a", kOrigin, kSize));
    ASSERT_TRUE(b.OpenWindow(L"b", kOrigin, kSize));
    a.Reveal();
    EXPECT_TRUE(IsWindowVisible(a.top_window()));
    EXPECT_FALSE(IsWindowVisible(b.top_window()));
    DestroyWindow(a.top_window());
    EXPECT_EQ(winsim::LiveObjects()["class:FLUTTER_RUNNER_WIN32_WINDOW"], 1);
  }
  EXPECT_EQ(winsim::LiveObjects().count("class:FLUTTER_RUNNER_WIN32_WINDOW"), 0u);
  // A later window registers the class again.
  TestWindow again;
  EXPECT_TRUE(again.OpenWindow(L"t", kOrigin, kSize));
}

}  // namespace
