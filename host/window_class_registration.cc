#include "host/window_class_registration.h"

namespace morl::host {

namespace {

constexpr int kAppIconId = 101;

}  // namespace

WindowClassRegistration& WindowClassRegistration::Get() {
  // Never destroyed: a window may still be torn down during static destruction.
  static auto* registration = new WindowClassRegistration;
  return *registration;
}

const wchar_t* WindowClassRegistration::EnsureRegistered(WNDPROC window_proc) {
  if (!registered_) {
    WNDCLASSW window_class{};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = window_proc;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hIcon = LoadIconW(window_class.hInstance, MAKEINTRESOURCEW(kAppIconId));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = nullptr;
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = kClassName;
    // A failed registration shows up as a failed CreateWindowExW.
    RegisterClassW(&window_class);
    registered_ = true;
  }
  return kClassName;
}

void WindowClassRegistration::Unregister() {
  UnregisterClassW(kClassName, nullptr);
  registered_ = false;
}

}  // namespace morl::host
