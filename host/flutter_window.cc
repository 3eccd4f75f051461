#include "host/flutter_window.h"

#include "host/plugin_registrant.h"

namespace morl::host {

FlutterWindow::FlutterWindow(const flutter::AppProject& project) : project_(project) {}

FlutterWindow::~FlutterWindow() { TearDown(); }

void FlutterWindow::TearDown() {
  recorder_channel_.reset();
  recorder_.reset();
  // Taken out of the member first: the view's teardown may still send
  // messages to this window, which must not reach a half-destroyed controller.
  std::unique_ptr<flutter::FlutterViewController> controller = std::move(view_controller_);
  controller.reset();
}

bool FlutterWindow::OnWindowCreated() {
  if (!Win32Window::OnWindowCreated()) return false;

  const RECT frame = ClientArea();
  // The old controller, if any, goes only after the new one is in place.
  view_controller_ = std::make_unique<flutter::FlutterViewController>(
      frame.right - frame.left, frame.bottom - frame.top, project_);
  if (!view_controller_->engine() || !view_controller_->view()) return false;

  RegisterAllPlugins(view_controller_->engine());
  recorder_ = std::make_unique<recorder::Recorder>();
  recorder_channel_ = std::make_unique<recorder::RecorderChannel>(
      view_controller_->engine()->messenger(), *recorder_);
  AttachChildContent(view_controller_->view()->NativeWindow());

  view_controller_->engine()->SetNextFrameCallback([this]() { Reveal(); });
  // The first frame may already be done; make sure another one comes.
  view_controller_->ForceRedraw();
  return true;
}

void FlutterWindow::OnWindowDestroyed() {
  // The controller leaves its member before it goes, so messages sent while
  // the engine shuts down no longer reach it.
  TearDown();
  Win32Window::OnWindowDestroyed();
}

// A recording in progress is finished and moved to its target: nothing else
// would, since the process ends without destroying this window. A start or
// stop still running on the recorder's worker is waited for first.
void FlutterWindow::OnSessionEnding() {
  if (recorder_channel_) recorder_channel_->Settle();
  if (recorder_) recorder_->StopIfRecording();
  Win32Window::OnSessionEnding();
}

LRESULT FlutterWindow::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  // The end of the session is the window's own business, answered before
  // the engine sees anything of it.
  if (message == WM_QUERYENDSESSION || message == WM_ENDSESSION) {
    return Win32Window::HandleMessage(hwnd, message, wparam, lparam);
  }
  if (view_controller_) {
    const std::optional<LRESULT> result =
        view_controller_->HandleTopLevelWindowProc(hwnd, message, wparam, lparam);
    if (result) return *result;
  }
  if (message == WM_FONTCHANGE && view_controller_) view_controller_->engine()->ReloadSystemFonts();
  return Win32Window::HandleMessage(hwnd, message, wparam, lparam);
}

}  // namespace morl::host
