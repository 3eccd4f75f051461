#include "host/flutter_view_controller.h"

#include <cstdio>

namespace flutter {

FlutterViewController::FlutterViewController(int width, int height, const AppProject& project) {
  engine_ = std::make_shared<FlutterEngine>(project);
  // The engine already said why it is missing; a controller without one
  // would only fail later, in the middle of the window's creation.
  if (engine_->messenger() == nullptr) return;
  controller_handle_ =
      FlutterDesktopViewControllerCreate(width, height, engine_->ReleaseEngineHandle());
  if (controller_handle_ == nullptr) {
    std::fputs("Failed to create view controller.\n", stderr);
    std::fflush(stderr);
    return;
  }
  view_ = std::make_unique<FlutterView>(FlutterDesktopViewControllerGetView(controller_handle_));
}

FlutterViewController::~FlutterViewController() {
  // Ends the view and the engine the controller took over.
  if (controller_handle_ != nullptr) FlutterDesktopViewControllerDestroy(controller_handle_);
  view_.reset();
  engine_.reset();
}

void FlutterViewController::ForceRedraw() {
  FlutterDesktopViewControllerForceRedraw(controller_handle_);
}

std::optional<LRESULT> FlutterViewController::HandleTopLevelWindowProc(HWND hwnd, UINT message,
                                                                       WPARAM wparam,
                                                                       LPARAM lparam) {
  LRESULT result = 0;
  if (FlutterDesktopViewControllerHandleTopLevelWindowProc(controller_handle_, hwnd, message,
                                                           wparam, lparam, &result)) {
    return result;
  }
  return std::nullopt;
}

}  // namespace flutter
