// The process entry: command-line arguments, the debug console, and the
// whole start-up and shut-down through wWinMain with its exit codes.
#include <combaseapi.h>

#include "host/command_line_arguments.h"
#include "host/debug_console.h"
#include "host_test_support.h"

using namespace morl::host;

int wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int);

namespace {

using scripted_engine::CountCalls;

class ProcessEntryTest : public HostTest {};

TEST_F(ProcessEntryTest, CommandLineWordsBecomeUtf8Arguments) {
  struct Case {
    std::wstring line;
    std::vector<std::string> arguments;
  };
  const std::wstring grin = {wchar_t(0xD83D), wchar_t(0xDE00)};  // U+1F600
  const Case cases[] = {
      {L"morl_desktop.exe", {}},
      {L"\"C:\\Program Files\\morl_desktop.exe\" --a b", {"--a", "b"}},
      {L"morl_desktop.exe a \"\" b", {"a", "", "b"}},
      // An unpaired surrogate becomes U+FFFD, as everywhere UTF-16 is converted.
      {L"morl_desktop.exe x " + std::wstring(1, wchar_t(0xD800)) + L"y z",
       {"x", "\xEF\xBF\xBDy", "z"}},
      {L"morl_desktop.exe " + grin + grin, {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80"}},
      {L"morl_desktop.exe caf\u00e9", {"caf\xC3\xA9"}},
  };
  for (const Case& c : cases) {
    winsim::SetCommandLine(c.line);
    EXPECT_EQ(CollectCommandLineArguments(), c.arguments);
  }
  winsim::FailCall("CommandLineToArgvW", E_OUTOFMEMORY);
  EXPECT_TRUE(CollectCommandLineArguments().empty());
}

TEST_F(ProcessEntryTest, ArgumentConversionLimits) {
  EXPECT_EQ(ArgumentToUtf8(nullptr), "");
  EXPECT_EQ(ArgumentToUtf8(L""), "");
  const std::wstring lone_low(1, wchar_t(0xDC00));
  EXPECT_EQ(ArgumentToUtf8(lone_low.c_str()), "\xEF\xBF\xBD");
  // Words are cut at 32767 units.
  const std::wstring just_fits(32767, L'a');
  EXPECT_EQ(ArgumentToUtf8(just_fits.c_str()).size(), 32767u);
  const std::wstring too_long(32768, L'a');
  EXPECT_EQ(ArgumentToUtf8(too_long.c_str()).size(), 32767u);
}

TEST_F(ProcessEntryTest, DebugConsoleReopensBothStreamsOrFallsBack) {
  struct Case {
    bool alloc_succeeds;
    bool reopen_succeeds;
    std::vector<std::string> calls;
    int resyncs;
  };
  const Case cases[] = {
      {true,
       true,
       {"AllocConsole()=1", "freopen_s(CONOUT$,w,stdout)=0", "freopen_s(CONOUT$,w,stderr)=0"},
       1},
      // Both fallbacks copy standard output's descriptor.
      {true,
       false,
       {"AllocConsole()=1", "freopen_s(CONOUT$,w,stdout)=2", "_dup2(1,1)=0",
        "freopen_s(CONOUT$,w,stderr)=2", "_dup2(1,2)=0"},
       1},
      {false, true, {"AllocConsole()=0"}, 0},
  };
  for (const Case& c : cases) {
    winsim::ResetHost();
    scripted_engine::Reset();
    winsim::SetAllocConsoleSucceeds(c.alloc_succeeds);
    winsim::SetConsoleReopenSucceeds(c.reopen_succeeds);
    OpenDebugConsole();
    EXPECT_EQ(winsim::ConsoleCalls(), c.calls);
    EXPECT_EQ(CountCalls("ResyncOutputStreams"), c.resyncs);
  }
}

TEST_F(ProcessEntryTest, ConsoleIsAttachedOrOpenedOnlyUnderADebugger) {
  struct Case {
    bool parent_console;
    bool debugger;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {true, true, {"AttachConsole(-1)=1"}},
      {false, false, {"AttachConsole(-1)=0", "IsDebuggerPresent()=0"}},
      {false,
       true,
       {"AttachConsole(-1)=0", "IsDebuggerPresent()=1", "AllocConsole()=1",
        "freopen_s(CONOUT$,w,stdout)=0", "freopen_s(CONOUT$,w,stderr)=0"}},
  };
  for (const Case& c : cases) {
    winsim::ResetHost();
    scripted_engine::Reset();
    winsim::SetParentConsole(c.parent_console);
    winsim::SetDebuggerPresent(c.debugger);
    // A failing view ends start-up at once; the console is decided first.
    scripted_engine::script().controller_create_fails = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(wWinMain(nullptr, nullptr, nullptr, 1), 1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(winsim::ConsoleCalls(), c.calls);
    EXPECT_EQ(winsim::HasConsole(), c.parent_console || c.debugger);
  }
}

TEST_F(ProcessEntryTest, FailedViewExitsWithOneWithoutRunningTheLoop) {
  scripted_engine::script().controller_create_fails = true;
  // A message waiting for a loop that must never run.
  static int dispatched = 0;
  WNDCLASSW probe_class{};
  probe_class.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
    if (message == WM_USER) ++dispatched;
    return DefWindowProcW(hwnd, message, wparam, lparam);
  };
  probe_class.lpszClassName = L"LOOP_PROBE";
  RegisterClassW(&probe_class);
  HWND probe =
      CreateWindowExW(0, L"LOOP_PROBE", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  PostMessageW(probe, WM_USER, 0, 0);

  testing::internal::CaptureStderr();
  EXPECT_EQ(wWinMain(nullptr, nullptr, nullptr, 1), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to create view controller.\n");
  EXPECT_EQ(dispatched, 0);
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, probe, WM_USER, WM_USER, PM_REMOVE));
  EXPECT_TRUE(winsim::FindWindows(L"FLUTTER_RUNNER_WIN32_WINDOW").empty());
  DestroyWindow(probe);
  UnregisterClassW(L"LOOP_PROBE", nullptr);
  // TearDown checks that even the failed start left its apartment.
}

TEST_F(ProcessEntryTest, ClosedWindowExitsWithZeroAfterReleasingEverything) {
  winsim::SetCommandLine(L"morl_desktop.exe --ui-script=x.json second");
  // Close the window as soon as it exists, through the message loop.
  scripted_engine::script().on_controller_create = [] {
    const auto windows = winsim::FindWindows(L"FLUTTER_RUNNER_WIN32_WINDOW", L"morl_desktop");
    ASSERT_EQ(windows.size(), 1u);
    PostMessageW(windows[0], WM_CLOSE, 0, 0);
  };
  EXPECT_EQ(wWinMain(nullptr, nullptr, nullptr, 1), 0);
  EXPECT_EQ(scripted_engine::properties().arguments,
            (std::vector<std::string>{"--ui-script=x.json", "second"}));
  EXPECT_EQ(CountCalls("ViewControllerDestroy"), 1);
  EXPECT_TRUE(winsim::FindWindows(L"FLUTTER_RUNNER_WIN32_WINDOW").empty());
  // TearDown checks that the apartment was left and nothing else is alive.
}

}  // namespace
