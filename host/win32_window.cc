#include "host/win32_window.h"

#include <dwmapi.h>

#include "embedding/flutter_windows.h"
#include "host/window_class_registration.h"

namespace morl::host {

namespace {

// Not named by every SDK's dwmapi.h; the value is fixed by Windows.
constexpr DWORD kDwmUseImmersiveDarkMode = 20;

constexpr wchar_t kPersonalizeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kAppsUseLightTheme[] = L"AppsUseLightTheme";

int Scale(int logical, double scale) { return static_cast<int>(logical * scale); }

// Lets Windows scale the non-client area (title bar, borders) with the
// monitor's DPI. Looked up at run time: older systems lack it.
void EnableFullDpiSupportIfAvailable(HWND hwnd) {
  HMODULE user32 = LoadLibraryA("User32.dll");
  if (user32 == nullptr) return;
  using EnableNonClientDpiScalingFn = BOOL(WINAPI*)(HWND);
  FARPROC proc = GetProcAddress(user32, "EnableNonClientDpiScaling");
  if (proc != nullptr) {
    // Through void(*)(), which converts to any function type without warnings.
    auto enable = reinterpret_cast<EnableNonClientDpiScalingFn>(reinterpret_cast<void (*)()>(proc));
    enable(hwnd);
  }
  FreeLibrary(user32);
}

}  // namespace

Win32Window::Win32Window() { WindowClassRegistration::Get().AddWindowObject(); }

Win32Window::~Win32Window() {
  WindowClassRegistration::Get().RemoveWindowObject();
  // The subclass is gone by now, so this runs the base hooks only.
  DestroyNativeWindow();
}

bool Win32Window::OpenWindow(const std::wstring& title, const Point& origin, const Size& size) {
  DestroyNativeWindow();

  const wchar_t* class_name = WindowClassRegistration::Get().EnsureRegistered(StaticWindowProc);

  const POINT target{origin.x, origin.y};
  HMONITOR monitor = MonitorFromPoint(target, MONITOR_DEFAULTTONEAREST);
  const UINT dpi = FlutterDesktopGetDpiForMonitor(monitor);
  const double scale = dpi / 96.0;

  HWND window =
      CreateWindowExW(0, class_name, title.c_str(), WS_OVERLAPPEDWINDOW, Scale(origin.x, scale),
                      Scale(origin.y, scale), Scale(size.width, scale), Scale(size.height, scale),
                      nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (window == nullptr) return false;

  ApplyTitleBarTheme(window);
  return OnWindowCreated();
}

void Win32Window::Reveal() { ShowWindow(top_window_, SW_SHOWNORMAL); }

void Win32Window::DestroyNativeWindow() {
  OnWindowDestroyed();
  if (top_window_ != nullptr) {
    DestroyWindow(top_window_);
    top_window_ = nullptr;
  }
  WindowClassRegistration::Get().UnregisterIfUnused();
}

void Win32Window::SetQuitWhenClosed(bool quit_when_closed) { quit_when_closed_ = quit_when_closed; }

RECT Win32Window::ClientArea() {
  RECT area{};
  GetClientRect(top_window_, &area);
  return area;
}

void Win32Window::AttachChildContent(HWND child) {
  hosted_child_ = child;
  SetParent(child, top_window_);
  const RECT area = ClientArea();
  MoveWindow(child, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  SetFocus(hosted_child_);
}

bool Win32Window::OnWindowCreated() { return true; }

void Win32Window::OnWindowDestroyed() {}

void Win32Window::OnSessionEnding() {}

LRESULT CALLBACK Win32Window::StaticWindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* self = static_cast<Win32Window*>(create->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    EnableFullDpiSupportIfAvailable(hwnd);
    self->top_window_ = hwnd;
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self != nullptr) return self->HandleMessage(hwnd, message, wparam, lparam);
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT Win32Window::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      top_window_ = nullptr;
      OnWindowDestroyed();
      WindowClassRegistration::Get().UnregisterIfUnused();
      if (quit_when_closed_) PostQuitMessage(0);
      return 0;

    case WM_SIZE: {
      const RECT area = ClientArea();
      if (hosted_child_ != nullptr) {
        MoveWindow(hosted_child_, area.left, area.top, area.right - area.left,
                   area.bottom - area.top, TRUE);
      }
      return 0;
    }

    case WM_ACTIVATE:
      // Keyboard input belongs to the hosted content, not the frame.
      if (hosted_child_ != nullptr) SetFocus(hosted_child_);
      return 0;

    case WM_DPICHANGED: {
      // Windows suggests a rectangle that keeps the window's physical size
      // sensible on the new monitor; take it as is.
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }

    // Log-off and shutdown: agree, and once the session really ends finish
    // what must outlive the process before answering. Windows ends the
    // process right after WM_ENDSESSION returns, without WM_DESTROY and
    // without running destructors.
    case WM_QUERYENDSESSION:
      return TRUE;

    case WM_ENDSESSION:
      if (wparam) OnSessionEnding();
      return 0;

    case WM_DWMCOLORIZATIONCOLORCHANGED:
      ApplyTitleBarTheme(hwnd);
      return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void Win32Window::ApplyTitleBarTheme(HWND hwnd) {
  DWORD light = 0;
  DWORD size = sizeof(light);
  const LONG status = RegGetValueW(HKEY_CURRENT_USER, kPersonalizeKey, kAppsUseLightTheme,
                                   RRF_RT_REG_DWORD, nullptr, &light, &size);
  if (status != ERROR_SUCCESS) return;  // keep the system's default title bar
  const BOOL dark = light == 0 ? TRUE : FALSE;
  DwmSetWindowAttribute(hwnd, kDwmUseImmersiveDarkMode, &dark, sizeof(dark));
}

}  // namespace morl::host
