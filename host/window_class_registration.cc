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
  if (instance_ == nullptr) {
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
    instance_ = window_class.hInstance;
  }
  return kClassName;
}

void WindowClassRegistration::UnregisterIfUnused() {
  if (window_objects_ != 0 || instance_ == nullptr) return;
  // Fails while a window of the class still exists (during its WM_DESTROY);
  // the destroy that follows it tries again.
  if (UnregisterClassW(kClassName, instance_)) instance_ = nullptr;
}

}  // namespace morl::host
