// For the suites that drive the stand-in engine on the simulated machine: the
// engine is made with a UI script and a transcript file, its view is hosted
// in a hidden top-level window, and the message loop runs until the script
// closes that window (or a watchdog does, failing the test). machine_test
// checks that nothing the test made is left alive.
#pragma once

#include <windows.h>
#include <winsim.h>
#include <winsim_windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "embedding/flutter_windows.h"
#include "morl_standin.h"
#include "tests/support/machine_test.h"

class StandInEngineFixture : public machine_test::MachineTest {
 protected:
  // `file_prefix` keeps the script and transcript files of different suites apart.
  explicit StandInEngineFixture(const char* file_prefix) : file_prefix_(file_prefix) {}

  void SetUp() override {
    MachineTest::SetUp();
    MorlStandInClearTopLevelMessages();
    WNDCLASSW wc{};
    wc.lpfnWndProc = TopProc;
    wc.lpszClassName = kTopClass;
    ASSERT_NE(RegisterClassW(&wc), 0);
    const std::string base = ::testing::TempDir() + file_prefix_ +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    script_path_ = base + ".uiscript";
    transcript_path_ = base + ".transcript";
  }

  void TearDown() override {
    if (top_ != nullptr && IsWindow(top_)) DestroyWindow(top_);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassW(kTopClass, nullptr);
    MorlStandInClearTopLevelMessages();
    std::remove(script_path_.c_str());
    std::remove(transcript_path_.c_str());
  }

  // An engine with the script (unless `script` is null, so the file is
  // missing), the transcript file and one more entry-point argument if given.
  FlutterDesktopEngineRef CreateEngine(const char* script, const char* extra_arg = nullptr) {
    if (script != nullptr) std::ofstream(script_path_) << script;
    args_ = {"--ui-script=" + script_path_, "--transcript=" + transcript_path_};
    if (extra_arg != nullptr) args_.push_back(extra_arg);
    argv_.clear();
    for (const std::string& arg : args_) argv_.push_back(arg.c_str());
    FlutterDesktopEngineProperties properties{};
    properties.assets_path = L"data\\flutter_assets";
    properties.dart_entrypoint = "";
    properties.dart_entrypoint_argc = static_cast<int32_t>(argv_.size());
    properties.dart_entrypoint_argv = argv_.data();
    return FlutterDesktopEngineCreate(&properties);
  }

  // The host's part: a hidden top-level window with the view as its child.
  void Host(FlutterDesktopEngineRef engine) {
    top_ = CreateWindowExW(0, kTopClass, L"top", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                           nullptr, nullptr, nullptr);
    ASSERT_NE(top_, nullptr);
    controller = FlutterDesktopViewControllerCreate(384, 261, engine);
    ASSERT_NE(controller, nullptr);
    view_ = FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(controller));
    SetParent(view_, top_);
    SetTimer(top_, kWatchdog, 5000, nullptr);
  }

  void RunLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
  }

  std::vector<std::string> TranscriptLines() const {
    std::ifstream in(transcript_path_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // The view controller lives until the top-level window is destroyed, as
  // in the host.
  static inline FlutterDesktopViewControllerRef controller = nullptr;

  std::string script_path_;
  std::string transcript_path_;
  HWND top_ = nullptr;
  HWND view_ = nullptr;

 private:
  static constexpr wchar_t kTopClass[] = L"StandInTestTop";
  static constexpr UINT_PTR kWatchdog = 99;

  static LRESULT TopProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_TIMER && wparam == kWatchdog) {
      ADD_FAILURE() << "the script did not end the loop";
      DestroyWindow(hwnd);
      return 0;
    }
    if (message == WM_DESTROY) {
      if (controller != nullptr) FlutterDesktopViewControllerDestroy(controller);
      controller = nullptr;
      PostQuitMessage(0);
      return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  std::string file_prefix_;
  std::vector<std::string> args_;
  std::vector<const char*> argv_;
};
