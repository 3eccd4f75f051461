// Windowing of the simulated machine: window classes, windows with parents
// and children, the per-thread message queue, timers, focus, visibility,
// monitors. Names, signatures and constant values are the SDK's.
//
// Non-client model: a window with WS_CAPTION (so every WS_OVERLAPPEDWINDOW)
// has a fixed frame of 8 pixels left, right and bottom and 31 pixels on top
// (border plus caption); any other window's client area is its whole size.
// SendMessageW and SendNotifyMessageW call the window procedure at once on
// the window's own thread; from another thread the message waits for the
// owner's next GetMessageW or PeekMessageW (SendMessageW waits for the result,
// SendNotifyMessageW does not). PostMessageW may be called from any thread.
#pragma once

#include "win32sim/base.h"
#include "win32sim/geometry.h"

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

struct WNDCLASSW {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
};

struct CREATESTRUCTW {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCWSTR lpszName;
  LPCWSTR lpszClass;
  DWORD dwExStyle;
};
using LPCREATESTRUCTW = CREATESTRUCTW*;

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
using LPMSG = MSG*;

#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xffff))
#define MAKELPARAM(l, h)                                           \
  (static_cast<LPARAM>(static_cast<DWORD>((static_cast<WORD>(l)) | \
                                          (static_cast<DWORD>(static_cast<WORD>(h)) << 16))))

// Messages.
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUERYENDSESSION = 0x0011;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_ENDSESSION = 0x0016;
constexpr UINT WM_FONTCHANGE = 0x001D;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_DISPLAYCHANGE = 0x007E;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_DPICHANGED = 0x02E0;
constexpr UINT WM_DWMCOLORIZATIONCOLORCHANGED = 0x0320;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;
// lParam of WM_QUERYENDSESSION and WM_ENDSESSION.
constexpr LPARAM ENDSESSION_LOGOFF = static_cast<LPARAM>(0x80000000u);

constexpr WPARAM WA_INACTIVE = 0;
constexpr WPARAM WA_ACTIVE = 1;
constexpr WPARAM SIZE_RESTORED = 0;

// Window styles.
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
#define CW_USEDEFAULT (static_cast<int>(0x80000000))
#define HWND_MESSAGE (reinterpret_cast<HWND>(static_cast<LONG_PTR>(-3)))

constexpr int GWLP_WNDPROC = -4;
constexpr int GWL_STYLE = -16;
constexpr int GWLP_USERDATA = -21;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

constexpr UINT GA_PARENT = 1;
constexpr UINT GA_ROOT = 2;

constexpr DWORD MONITOR_DEFAULTTONULL = 0;
constexpr DWORD MONITOR_DEFAULTTOPRIMARY = 1;
constexpr DWORD MONITOR_DEFAULTTONEAREST = 2;

#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDI_APPLICATION MAKEINTRESOURCEW(32512)

constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr DWORD ERROR_CLASS_DOES_NOT_EXIST = 1411;
constexpr DWORD ERROR_CLASS_HAS_WINDOWS = 1412;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;

// Classes, modules and shared resources.
ATOM RegisterClassW(const WNDCLASSW* window_class);
BOOL UnregisterClassW(LPCWSTR class_name, HINSTANCE instance);
HMODULE GetModuleHandleW(LPCWSTR module_name);
HICON LoadIconW(HINSTANCE instance, LPCWSTR icon_name);
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR cursor_name);

// Windows.
HWND CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR window_name, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param);
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LONG_PTR GetWindowLongPtrW(HWND hwnd, int index);
LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value);
HWND SetParent(HWND child, HWND new_parent);
HWND GetParent(HWND hwnd);
HWND GetAncestor(HWND hwnd, UINT flags);

// Geometry, visibility and focus.
BOOL GetClientRect(HWND hwnd, LPRECT rect);
BOOL GetWindowRect(HWND hwnd, LPRECT rect);
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags);
BOOL ShowWindow(HWND hwnd, int command);
BOOL IsWindowVisible(HWND hwnd);
BOOL UpdateWindow(HWND hwnd);
HWND SetFocus(HWND hwnd);
HWND GetFocus();

// Messages and timers.
BOOL GetMessageW(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max);
BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max, UINT remove);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
BOOL SendNotifyMessageW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
void PostQuitMessage(int exit_code);
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse_ms, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);

// Monitors. Rectangles are in virtual-screen coordinates: the primary
// monitor's top-left is (0, 0) and others may lie at negative coordinates.
// The work area is the whole monitor (there is no taskbar).
constexpr DWORD MONITORINFOF_PRIMARY = 0x00000001;
constexpr DWORD ERROR_INVALID_MONITOR_HANDLE = 1461;
constexpr int CCHDEVICENAME = 32;
struct MONITORINFO {
  DWORD cbSize;  // sizeof(MONITORINFO) or sizeof(MONITORINFOEXW)
  RECT rcMonitor;
  RECT rcWork;
  DWORD dwFlags;
};
using LPMONITORINFO = MONITORINFO*;
struct MONITORINFOEXW : MONITORINFO {
  WCHAR szDevice[CCHDEVICENAME];  // "\\.\DISPLAY1", ...
};
using LPMONITORINFOEXW = MONITORINFOEXW*;
using MONITORENUMPROC = BOOL (*)(HMONITOR, HDC, LPRECT, LPARAM);

HMONITOR MonitorFromPoint(POINT point, DWORD flags);
// Calls `callback` for each monitor, in the machine's order, with the
// monitor's rectangle (intersected with `clip` when given, monitors outside
// it skipped) until it returns FALSE. Only the whole virtual screen (a null
// `hdc`) can be enumerated here.
BOOL EnumDisplayMonitors(HDC hdc, LPCRECT clip, MONITORENUMPROC callback, LPARAM data);
BOOL GetMonitorInfoW(HMONITOR monitor, LPMONITORINFO info);
