// Window geometry, visibility and focus.
#include "user/user_state.h"

namespace winsim::user {

// The fixed frame of captioned windows; see user.h.
constexpr LONG kFrameSide = 8;
constexpr LONG kFrameTop = 31;

RECT ClientRectOf(const Window& window) {
  LONG width = window.rect.right - window.rect.left;
  LONG height = window.rect.bottom - window.rect.top;
  if ((window.style & WS_CAPTION) == WS_CAPTION) {
    width -= 2 * kFrameSide;
    height -= kFrameTop + kFrameSide;
  }
  return RECT{0, 0, width < 0 ? 0 : width, height < 0 ? 0 : height};
}

}  // namespace winsim::user

namespace {

using namespace winsim::user;

bool Framed(const Window& w) { return (w.style & WS_CAPTION) == WS_CAPTION; }

// Moves and sizes a window, then tells it what changed as Windows does after
// a position change: WM_MOVE for a new origin, WM_SIZE for a new client size.
BOOL Reposition(HWND hwnd, int x, int y, int width, int height, bool move, bool size) {
  bool moved = false;
  bool resized = false;
  RECT client{};
  RECT rect{};
  {
    State& s = GetState();
    std::lock_guard<std::mutex> lock(s.mutex);
    Window* w = Find(s, hwnd);
    if (w == nullptr) return FALSE;
    rect = w->rect;
    if (move) {
      moved = rect.left != x || rect.top != y;
      rect = RECT{x, y, x + (rect.right - rect.left), y + (rect.bottom - rect.top)};
    }
    if (size) {
      resized = rect.right - rect.left != width || rect.bottom - rect.top != height;
      rect.right = rect.left + (width < 0 ? 0 : width);
      rect.bottom = rect.top + (height < 0 ? 0 : height);
    }
    w->rect = rect;
    client = ClientRectOf(*w);
  }
  if (moved) CallProc(hwnd, WM_MOVE, 0, MAKELPARAM(rect.left, rect.top));
  if (resized) CallProc(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
  return TRUE;
}

}  // namespace

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
  if (rect == nullptr) return FALSE;
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  Window* w = Find(s, hwnd);
  if (w == nullptr) return FALSE;
  *rect = ClientRectOf(*w);
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
  if (rect == nullptr) return FALSE;
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  Window* w = Find(s, hwnd);
  if (w == nullptr) return FALSE;
  RECT r = w->rect;
  // Child rectangles are relative to the parent's client area.
  for (Window* p = Find(s, w->parent); p != nullptr; p = Find(s, p->parent)) {
    const LONG dx = p->rect.left + (Framed(*p) ? kFrameSide : 0);
    const LONG dy = p->rect.top + (Framed(*p) ? kFrameTop : 0);
    r = RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
  }
  *rect = r;
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
  return Reposition(hwnd, x, y, width, height, true, true);
}

BOOL SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
  if (!Reposition(hwnd, x, y, cx, cy, (flags & SWP_NOMOVE) == 0, (flags & SWP_NOSIZE) == 0))
    return FALSE;
  if ((flags & SWP_SHOWWINDOW) != 0) ShowWindow(hwnd, SW_SHOW);
  if ((flags & SWP_HIDEWINDOW) != 0) ShowWindow(hwnd, SW_HIDE);
  return TRUE;
}

BOOL ShowWindow(HWND hwnd, int command) {
  bool was_visible = false;
  bool activate = false;
  {
    State& s = GetState();
    std::lock_guard<std::mutex> lock(s.mutex);
    Window* w = Find(s, hwnd);
    if (w == nullptr) return FALSE;
    was_visible = (w->style & WS_VISIBLE) != 0;
    if (command == SW_HIDE) {
      w->style &= ~WS_VISIBLE;
    } else {
      w->style |= WS_VISIBLE;
      // Showing a hidden top-level window activates it.
      activate = !was_visible && (w->style & WS_CHILD) == 0 && !w->message_only;
    }
  }
  const bool now_visible = command != SW_HIDE;
  if (now_visible != was_visible) CallProc(hwnd, WM_SHOWWINDOW, now_visible ? TRUE : FALSE, 0);
  if (activate) CallProc(hwnd, WM_ACTIVATE, WA_ACTIVE, 0);
  return was_visible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd) {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  Window* w = Find(s, hwnd);
  if (w == nullptr) return FALSE;
  for (; w != nullptr; w = Find(s, w->parent))
    if ((w->style & WS_VISIBLE) == 0) return FALSE;
  return TRUE;
}

BOOL UpdateWindow(HWND hwnd) { return IsWindow(hwnd); }

HWND SetFocus(HWND hwnd) {
  HWND previous = nullptr;
  {
    State& s = GetState();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (hwnd != nullptr && Find(s, hwnd) == nullptr) return nullptr;
    previous = s.focus;
    if (previous == hwnd) return previous;
    s.focus = hwnd;
  }
  if (previous != nullptr) CallProc(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd != nullptr) CallProc(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

HWND GetFocus() {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.focus;
}
