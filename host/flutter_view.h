// The engine's view: the child window the engine renders into. Not owned;
// the view controller ends it.
#pragma once

#include <windows.h>

#include "embedding/flutter_windows.h"

namespace flutter {

class FlutterView {
 public:
  explicit FlutterView(FlutterDesktopViewRef view_handle) : view_handle_(view_handle) {}
  virtual ~FlutterView() = default;
  FlutterView(const FlutterView&) = delete;
  FlutterView& operator=(const FlutterView&) = delete;

  HWND NativeWindow() const;

 private:
  FlutterDesktopViewRef view_handle_;
};

}  // namespace flutter
