// The process-wide registration of the top-level window class. The class is
// registered on the first OpenWindow and unregistered once no Win32Window
// object is left, so a later window registers it again.
#pragma once

#include <windows.h>

namespace morl::host {

class WindowClassRegistration {
 public:
  static constexpr const wchar_t* kClassName = L"FLUTTER_RUNNER_WIN32_WINDOW";

  static WindowClassRegistration& Get();

  // Registers the class with `window_proc` unless it already is; returns the
  // class name.
  const wchar_t* EnsureRegistered(WNDPROC window_proc);
  void Unregister();

 private:
  WindowClassRegistration() = default;

  bool registered_ = false;
};

}  // namespace morl::host
