// The application's top-level window: a DPI-scaled, initially hidden
// overlapped window with the system's light or dark title bar, one child
// window that fills its client area and holds the focus, and hooks for
// subclasses when the native window is created and destroyed and when the
// user's session ends.
#pragma once

#include <windows.h>

#include <string>

namespace morl::host {

class Win32Window {
 public:
  struct Point {
    int x;
    int y;
  };
  struct Size {
    int width;
    int height;
  };

  Win32Window();
  virtual ~Win32Window();
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // Creates the native window, hidden, at `origin` and `size` given in
  // logical pixels and scaled to the DPI of the monitor nearest to `origin`.
  // Destroys a window this object already had. Returns false when the window
  // cannot be created or OnWindowCreated refuses.
  bool OpenWindow(const std::wstring& title, const Point& origin, const Size& size);

  // Shows the window; it stays hidden until then.
  void Reveal();

  // Runs OnWindowDestroyed and destroys the native window, if any.
  void DestroyNativeWindow();

  // When true, destroying the native window posts WM_QUIT.
  void SetQuitWhenClosed(bool quit_when_closed);

 protected:
  RECT ClientArea();

  // The native window; null before OpenWindow and once it is destroyed.
  HWND top_window() const { return top_window_; }

  // Makes `child` a child of this window, sized to the client area, focused.
  void AttachChildContent(HWND child);

  // Handles what the window does itself; everything else goes to
  // DefWindowProcW. Subclasses call it for messages they do not consume.
  virtual LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  // Called once the native window exists; false fails OpenWindow.
  virtual bool OnWindowCreated();
  // Called when the native window is being destroyed, and before a destroy
  // that this object starts.
  virtual void OnWindowDestroyed();
  // Called when the user's session ends (log-off, shutdown): the process is
  // ended as soon as this returns, with no destruction of any kind.
  virtual void OnSessionEnding();

 private:
  static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  // Gives the title bar the dark or light look the user chose for apps.
  static void ApplyTitleBarTheme(HWND hwnd);

  bool quit_when_closed_ = false;
  HWND top_window_ = nullptr;
  HWND hosted_child_ = nullptr;
};

}  // namespace morl::host
