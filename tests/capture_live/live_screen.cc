#include "live_screen.h"

#include <windows.h>

namespace capture_live {
namespace {

// The hotspot of the cursor showing now, read the way any program can.
bool ShowingCursorShape(CursorShape& shape) {
  CURSORINFO info{};
  info.cbSize = sizeof info;
  if (!GetCursorInfo(&info) || (info.flags & CURSOR_SHOWING) == 0) return false;
  ICONINFO icon{};
  if (!GetIconInfo(info.hCursor, &icon)) return false;
  shape.hotspot_x = static_cast<int>(icon.xHotspot);
  shape.hotspot_y = static_cast<int>(icon.yHotspot);
  if (icon.hbmMask != nullptr) DeleteObject(icon.hbmMask);
  if (icon.hbmColor != nullptr) DeleteObject(icon.hbmColor);
  return true;
}

}  // namespace
}  // namespace capture_live

// How the desktop is painted differs per build; the rest is shared.
#ifdef _WIN32

namespace capture_live {
namespace {

constexpr wchar_t kClassName[] = L"capture_live_two_tone";
COLORREF g_top = 0;
COLORREF g_bottom = 0;

COLORREF ToColorRef(std::uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

LRESULT CALLBACK TwoToneProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    RECT client;
    GetClientRect(hwnd, &client);
    RECT top = client, bottom = client;
    top.bottom = client.bottom / 2;
    bottom.top = top.bottom;
    HBRUSH top_brush = CreateSolidBrush(g_top);
    HBRUSH bottom_brush = CreateSolidBrush(g_bottom);
    FillRect(dc, &top, top_brush);
    FillRect(dc, &bottom, bottom_brush);
    DeleteObject(top_brush);
    DeleteObject(bottom_brush);
    EndPaint(hwnd, &paint);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

constexpr DWORD kSettleDeadlineMs = 5000;

// Dispatches this thread's messages and polls `settled` every 10 ms until it
// holds or `ms` have passed; the window system maps and paints at its own
// pace, slower on a busy machine.
template <typename Settled>
bool PumpUntil(DWORD ms, Settled settled) {
  LARGE_INTEGER frequency, now, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&end);
  end.QuadPart += frequency.QuadPart * ms / 1000;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (settled()) return true;
    QueryPerformanceCounter(&now);
    if (now.QuadPart >= end.QuadPart) return false;
    Sleep(10);
  }
}

// Whether the screen shows the two halves, read back the way the grabber
// reads it: near the corners and on both sides of the middle.
bool ScreenShowsTwoTones(int width, int height) {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return false;
  struct Probe {
    int x, y;
    COLORREF expected;
  } const probes[] = {{width - 8, 8, g_top},
                      {width - 8, height / 2 - 8, g_top},
                      {width - 8, height / 2 + 8, g_bottom},
                      {8, height - 8, g_bottom}};
  bool all = true;
  for (const Probe& p : probes) all = all && GetPixel(screen, p.x, p.y) == p.expected;
  ReleaseDC(nullptr, screen);
  return all;
}

}  // namespace

TwoToneDesktop::TwoToneDesktop(std::uint32_t top, std::uint32_t bottom)
    : width_(GetSystemMetrics(SM_CXSCREEN)), height_(GetSystemMetrics(SM_CYSCREEN)) {
  g_top = ToColorRef(top);
  g_bottom = ToColorRef(bottom);
  WNDCLASSW wc{};
  wc.lpfnWndProc = TwoToneProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kClassName;
  if (RegisterClassW(&wc) == 0) return;
  HWND hwnd =
      CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, L"capture_live", WS_POPUP, 0, 0,
                      width_, height_, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (hwnd == nullptr) return;
  window_ = hwnd;
  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  shown_ = PumpUntil(kSettleDeadlineMs, [&] { return ScreenShowsTwoTones(width_, height_); });
}

TwoToneDesktop::~TwoToneDesktop() {
  if (window_ != nullptr) DestroyWindow(static_cast<HWND>(window_));
  UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
}

bool TwoToneDesktop::PlaceCursor(int x, int y, CursorShape& shape) {
  if (!SetCursorPos(x, y)) return false;
  const bool moved = PumpUntil(kSettleDeadlineMs, [&] {
    POINT at{};
    return GetCursorPos(&at) && at.x == x && at.y == y;
  });
  if (!moved) return false;
  // The window under the cursor belongs to this thread, so setting its
  // cursor here is what the window's class cursor would do on a mouse move.
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  return ShowingCursorShape(shape);
}

}  // namespace capture_live

#else  // the simulated machine

#include <winsim.h>

namespace capture_live {

TwoToneDesktop::TwoToneDesktop(std::uint32_t top, std::uint32_t bottom)
    : width_(GetSystemMetrics(SM_CXSCREEN)), height_(GetSystemMetrics(SM_CYSCREEN)) {
  winsim::FillScreenHalves(top, bottom);
  shown_ = true;
}

TwoToneDesktop::~TwoToneDesktop() = default;

bool TwoToneDesktop::PlaceCursor(int x, int y, CursorShape& shape) {
  winsim::Cursor& cursor = winsim::GetCursor();
  cursor.visible = true;
  cursor.x = x;
  cursor.y = y;
  return ShowingCursorShape(shape);
}

}  // namespace capture_live

#endif
