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

  // A Win32Window object comes into being or goes away; the class is kept
  // while any is alive.
  void AddWindowObject() { ++window_objects_; }
  void RemoveWindowObject() { --window_objects_; }

  // Registers the class with `window_proc` unless it already is; returns the
  // class name.
  const wchar_t* EnsureRegistered(WNDPROC window_proc);
  // Unregisters the class once no Win32Window object is alive.
  void UnregisterIfUnused();

 private:
  WindowClassRegistration() = default;

  int window_objects_ = 0;
  // The module the class is registered for; null while it is not registered.
  HINSTANCE instance_ = nullptr;
};

}  // namespace morl::host
