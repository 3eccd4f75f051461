// The Flutter host window against the scripted engine: start-up order, the
// properties record, plugins, reveal after the first frame, message routing
// and shut-down order.
#include <cstring>

#include "host/app_project.h"
#include "host/flutter_engine.h"
#include "host/flutter_window.h"
#include "host_test_support.h"
#include "recorded_plugins.h"

using namespace morl::host;

namespace {

using scripted_engine::calls;
using scripted_engine::CountCalls;

const Win32Window::Point kOrigin{10, 10};
const Win32Window::Size kSize{1280, 720};

flutter::AppProject Project(std::vector<std::string> arguments = {}) {
  flutter::AppProject project(L"data");
  project.set_entry_point_arguments(std::move(arguments));
  return project;
}

class FlutterWindowTest : public HostTest {};

// The window with its native window and client area in reach of the checks.
class TestFlutterWindow : public FlutterWindow {
 public:
  using FlutterWindow::FlutterWindow;
  using Win32Window::ClientArea;
  using Win32Window::top_window;
};

template <typename T>
T Field(const scripted_engine::PropertiesSeen& seen, size_t offset) {
  T value;
  std::memcpy(&value, seen.bytes + offset, sizeof(T));
  return value;
}

TEST_F(FlutterWindowTest, PropertiesRecordHoldsTheProjectAtItsOffsets) {
  for (const auto& arguments :
       {std::vector<std::string>{}, std::vector<std::string>{"--first", "zwei \xC3\xBC"}}) {
    scripted_engine::Reset();
    { flutter::FlutterEngine engine(Project(arguments)); }
    const auto& seen = scripted_engine::properties();
    EXPECT_EQ(seen.assets_path, L"data\\flutter_assets");
    EXPECT_EQ(seen.icu_data_path, L"data\\icudtl.dat");
    EXPECT_EQ(seen.aot_library_path, L"data\\app.so");
    EXPECT_FALSE(seen.entry_point_null);
    EXPECT_EQ(seen.entry_point, "");
    EXPECT_EQ(seen.arguments, arguments);
    EXPECT_EQ(Field<std::int32_t>(seen, 32), static_cast<std::int32_t>(arguments.size()));
    EXPECT_EQ(Field<std::int32_t>(seen, 36), 0);
    EXPECT_EQ(Field<const void*>(seen, 40) == nullptr, arguments.empty());
    for (size_t offset : {48, 52, 56, 60}) EXPECT_EQ(Field<std::int32_t>(seen, offset), 0);
    for (size_t offset : {0, 8, 16, 24}) EXPECT_NE(Field<const void*>(seen, offset), nullptr);
    // Owned engines are destroyed with their wrapper.
    EXPECT_EQ(CountCalls("EngineDestroy"), 1);
  }
}

TEST_F(FlutterWindowTest, StartsEngineAndViewThenRegistersAndRevealsAfterTheFirstFrame) {
  winsim::SetMonitorDpi(96);
  TestFlutterWindow window(Project());
  ASSERT_TRUE(window.OpenWindow(L"morl_desktop", kOrigin, kSize));
  const HWND top = window.top_window();
  const RECT client = window.ClientArea();

  const std::vector<std::string> expected = {
      "EngineCreate",
      "GetMessenger",
      "ViewControllerCreate(" + std::to_string(client.right) + "," + std::to_string(client.bottom) +
          ")",
      "GetView",
      "GetPluginRegistrar(MediaKitLibsWindowsVideoPluginCApi)",
      "GetPluginRegistrar(MediaKitVideoPluginCApi)",
      "GetPluginRegistrar(UrlLauncherWindows)",
      "GetPluginRegistrar(VolumeControllerPluginCApi)",
      "SetCallback(morl_desktop/recorder)",
      "SetNextFrameCallback",
      "ForceRedraw",
  };
  EXPECT_EQ(calls(), expected);
  EXPECT_EQ(GetParent(scripted_engine::view_window()), top);
  EXPECT_EQ(winsim::DescribeWindow(scripted_engine::view_window())->rect, client);
  EXPECT_EQ(GetFocus(), scripted_engine::view_window());

  EXPECT_FALSE(IsWindowVisible(top));
  EXPECT_TRUE(scripted_engine::ProduceFrame());
  EXPECT_TRUE(IsWindowVisible(top));
  // One-shot: a later frame does not show the window again.
  ShowWindow(top, SW_HIDE);
  EXPECT_FALSE(scripted_engine::ProduceFrame());
  EXPECT_FALSE(IsWindowVisible(top));
}

TEST_F(FlutterWindowTest, PluginsGetTheirOwnRegistrarsOnceEachInOrder) {
  TestFlutterWindow window(Project());
  ASSERT_TRUE(window.OpenWindow(L"morl_desktop", kOrigin, kSize));
  const auto& handed_out = scripted_engine::registrars();
  const std::vector<std::string> names = {"MediaKitLibsWindowsVideoPluginCApi",
                                          "MediaKitVideoPluginCApi", "UrlLauncherWindows",
                                          "VolumeControllerPluginCApi"};
  ASSERT_EQ(handed_out.size(), names.size());
  const auto& received = PluginRegistrations();
  ASSERT_EQ(received.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(handed_out[i].first, names[i]);
    EXPECT_EQ(received[i].first, names[i] + "RegisterWithRegistrar");
    EXPECT_EQ(received[i].second, handed_out[i].second);
  }
}

TEST_F(FlutterWindowTest, MessagesConsumedByTheEngineSkipTheWindow) {
  TestFlutterWindow window(Project());
  ASSERT_TRUE(window.OpenWindow(L"morl_desktop", kOrigin, kSize));
  const HWND view = scripted_engine::view_window();
  const RECT before = winsim::DescribeWindow(view)->rect;
  scripted_engine::script().consumed_messages = {WM_SIZE};
  scripted_engine::script().consumed_result = 42;
  EXPECT_EQ(SetWindowPos(window.top_window(), nullptr, 0, 0, 700, 500, SWP_NOZORDER), TRUE);
  EXPECT_EQ(SendMessageW(window.top_window(), WM_SIZE, 0, 0), 42);
  EXPECT_EQ(winsim::DescribeWindow(view)->rect, before);

  // Not consumed: the child follows.
  scripted_engine::script().consumed_messages.clear();
  SendMessageW(window.top_window(), WM_SIZE, 0, 0);
  EXPECT_EQ(winsim::DescribeWindow(view)->rect, window.ClientArea());
}

// Log-off and shutdown are answered by the window even when the engine would
// take every message: agreed to, and the window left standing whether the
// session ends or the log-off was cancelled.
TEST_F(FlutterWindowTest, SessionEndIsAnsweredByTheWindowNotTheEngine) {
  TestFlutterWindow window(Project());
  ASSERT_TRUE(window.OpenWindow(L"morl_desktop", kOrigin, kSize));
  scripted_engine::script().consumed_messages = {WM_QUERYENDSESSION, WM_ENDSESSION};
  scripted_engine::script().consumed_result = 42;
  EXPECT_EQ(SendMessageW(window.top_window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  EXPECT_EQ(SendMessageW(window.top_window(), WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF), 0);
  EXPECT_EQ(SendMessageW(window.top_window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF), 0);
  EXPECT_NE(window.top_window(), nullptr);
  EXPECT_EQ(CountCalls("ViewControllerDestroy"), 0);
}

TEST_F(FlutterWindowTest, FontChangeReloadsFontsUnlessConsumed) {
  TestFlutterWindow window(Project());
  ASSERT_TRUE(window.OpenWindow(L"morl_desktop", kOrigin, kSize));
  EXPECT_EQ(SendMessageW(window.top_window(), WM_FONTCHANGE, 0, 0), 0);
  EXPECT_EQ(CountCalls("ReloadSystemFonts"), 1);
  scripted_engine::script().consumed_messages = {WM_FONTCHANGE};
  SendMessageW(window.top_window(), WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(CountCalls("ReloadSystemFonts"), 1);
}

TEST_F(FlutterWindowTest, ClosingReleasesTheControllerBeforeQuitIsPosted) {
  TestFlutterWindow window(Project());
  ASSERT_TRUE(window.OpenWindow(L"morl_desktop", kOrigin, kSize));
  window.SetQuitWhenClosed(true);
  bool quit_already_posted = true;
  scripted_engine::script().on_controller_destroy = [&] {
    MSG msg;
    quit_already_posted = PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
  };
  SendMessageW(window.top_window(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(quit_already_posted);
  EXPECT_EQ(CountCalls("ViewControllerDestroy"), 1);
  EXPECT_FALSE(scripted_engine::engine_alive());
  // The controller took the engine over: the wrapper never destroys it.
  EXPECT_EQ(CountCalls("EngineDestroy"), 0);
  EXPECT_TRUE(DrainQueue());
}

TEST_F(FlutterWindowTest, FailedViewControllerFailsTheWindow) {
  scripted_engine::script().controller_create_fails = true;
  testing::internal::CaptureStderr();
  {
    TestFlutterWindow window(Project());
    EXPECT_FALSE(window.OpenWindow(L"morl_desktop", kOrigin, kSize));
    EXPECT_FALSE(IsWindowVisible(window.top_window()));
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to create view controller.\n");
  EXPECT_EQ(CountCalls("GetPluginRegistrar(MediaKitVideoPluginCApi)"), 0);
  EXPECT_EQ(CountCalls("EngineDestroy"), 0);
  EXPECT_FALSE(scripted_engine::engine_alive());
}

TEST_F(FlutterWindowTest, FailedEngineFailsTheWindowWithItsOwnDiagnostic) {
  scripted_engine::script().engine_create_fails = true;
  testing::internal::CaptureStderr();
  {
    TestFlutterWindow window(Project());
    EXPECT_FALSE(window.OpenWindow(L"morl_desktop", kOrigin, kSize));
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to create engine.\n");
  EXPECT_EQ(calls(), std::vector<std::string>{"EngineCreate"});
}

TEST_F(FlutterWindowTest, RegistrarWithoutARunningEngineIsNullWithADiagnostic) {
  scripted_engine::script().engine_create_fails = true;
  flutter::FlutterEngine engine(Project());
  testing::internal::CaptureStderr();
  EXPECT_EQ(engine.RegistrarForPlugin("UrlLauncherWindows"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Cannot get plugin registrar on an engine that isn't running; call Run first.\n");
  EXPECT_EQ(CountCalls("GetPluginRegistrar(UrlLauncherWindows)"), 0);
}

TEST_F(FlutterWindowTest, NextFrameCallbackIsStoredBeforeTheEngineIsAsked) {
  flutter::FlutterEngine engine(Project());
  int runs = 0;
  engine.SetNextFrameCallback([&] { ++runs; });
  EXPECT_TRUE(scripted_engine::ProduceFrame());
  EXPECT_EQ(runs, 1);
  // The engine wrapper runs a stale registration at most once.
  engine.SetNextFrameCallback([&] { runs += 10; });
  EXPECT_TRUE(scripted_engine::ProduceFrame());
  EXPECT_EQ(runs, 11);
}

TEST_F(FlutterWindowTest, NextFrameCallbackMayRegisterTheNextOne) {
  flutter::FlutterEngine engine(Project());
  int runs = 0;
  std::function<void()> again = [&] {
    ++runs;
    // Replacing the running callable must neither destroy it mid-call nor
    // lose the new registration.
    if (runs < 3) engine.SetNextFrameCallback(again);
  };
  engine.SetNextFrameCallback(again);
  while (scripted_engine::ProduceFrame()) {
  }
  EXPECT_EQ(runs, 3);
}

}  // namespace
