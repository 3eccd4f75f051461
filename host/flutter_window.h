// The application's window: hosts the engine's view as its child, registers
// the plugins and the recorder channel when created, offers every message to
// the engine first, and shows itself once the engine has drawn a frame.
#pragma once

#include <windows.h>

#include <memory>

#include "host/app_project.h"
#include "host/flutter_view_controller.h"
#include "host/win32_window.h"
#include "recorder/recorder.h"
#include "recorder/recorder_channel.h"

namespace morl::host {

class FlutterWindow : public Win32Window {
 public:
  explicit FlutterWindow(const flutter::AppProject& project);
  ~FlutterWindow() override;

 protected:
  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;
  bool OnWindowCreated() override;
  void OnWindowDestroyed() override;
  void OnSessionEnding() override;

 private:
  // Ends, in this order, the recorder channel (nothing reaches the recorder
  // any more), the recorder (a running recording is finalised while the
  // engine, the window and COM are still there) and the view controller with
  // the engine and its messenger.
  void TearDown();

  // The project outlives the engine: the engine may keep pointing at its
  // strings.
  flutter::AppProject project_;
  std::unique_ptr<flutter::FlutterViewController> view_controller_;
  std::unique_ptr<recorder::Recorder> recorder_;
  std::unique_ptr<recorder::RecorderChannel> recorder_channel_;  // refers to the engine's messenger
};

}  // namespace morl::host
