// Window creation and destruction, the default window procedure, window
// data and the parent/child tree.
#include <algorithm>

#include "user/user_state.h"

namespace winsim::user {

State& GetState() {
  static State* state = new State;  // outlives static objects that own windows
  return *state;
}

Window* Find(State& state, HWND hwnd) {
  auto it = state.windows.find(hwnd);
  return it == state.windows.end() ? nullptr : it->second.get();
}

LRESULT CallProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  WNDPROC proc = nullptr;
  {
    State& s = GetState();
    std::lock_guard<std::mutex> lock(s.mutex);
    Window* w = Find(s, hwnd);
    if (w == nullptr) return 0;
    proc = w->proc;
    if (s.logging) s.log.push_back(LoggedMessage{hwnd, message, wparam, lparam});
  }
  return proc(hwnd, message, wparam, lparam);
}

}  // namespace winsim::user

namespace {

using namespace winsim::user;

constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 480;

// Takes a window out of every table. Requires the mutex.
void Forget(State& s, Window& w) {
  if (Window* parent = Find(s, w.parent)) {
    auto& siblings = parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), w.hwnd), siblings.end());
  }
  auto cls = s.classes.find(w.class_name);
  if (cls != s.classes.end()) --cls->second.windows;
  DropTimers(s, w);
  if (s.focus == w.hwnd) s.focus = nullptr;
  winsim::RemoveLive(winsim::Kind::kWindow, w.narrow_class.c_str());
  s.windows.erase(w.hwnd);
}

std::vector<HWND> ChildrenOf(HWND hwnd) {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  Window* w = Find(s, hwnd);
  return w == nullptr ? std::vector<HWND>{} : w->children;
}

// WM_DESTROY goes to a window before its children, as on Windows. A child that
// the parent's handler destroyed itself is already gone from the list.
void SendDestroy(HWND hwnd) {
  {
    State& s = GetState();
    std::lock_guard<std::mutex> lock(s.mutex);
    Window* w = Find(s, hwnd);
    if (w == nullptr || w->destroying) return;
    w->destroying = true;
    w->style &= ~WS_VISIBLE;
    if (s.focus == hwnd) s.focus = nullptr;
  }
  CallProc(hwnd, WM_DESTROY, 0, 0);
  for (HWND child : ChildrenOf(hwnd)) SendDestroy(child);
}

// WM_NCDESTROY and release run children first, the window itself last.
void FreeTree(HWND hwnd) {
  for (HWND child : ChildrenOf(hwnd)) FreeTree(child);
  CallProc(hwnd, WM_NCDESTROY, 0, 0);
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (Window* w = Find(s, hwnd)) Forget(s, *w);
}

bool IsAncestorOf(State& s, HWND ancestor, HWND hwnd) {
  for (Window* w = Find(s, hwnd); w != nullptr; w = Find(s, w->parent))
    if (w->hwnd == ancestor) return true;
  return false;
}

}  // namespace

HWND CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR window_name, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  if (class_name == nullptr) return nullptr;
  if (winsim::FailedByInjection("CreateWindowExW")) return nullptr;
  const bool message_only = parent == HWND_MESSAGE;
  if (message_only) parent = nullptr;
  HWND hwnd = nullptr;
  {
    State& s = GetState();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto cls = s.classes.find(class_name);
    if (cls == s.classes.end()) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    if (parent != nullptr && Find(s, parent) == nullptr) return nullptr;
    if ((style & WS_CHILD) != 0 && parent == nullptr && !message_only) return nullptr;
    auto w = std::make_unique<Window>();
    hwnd = reinterpret_cast<HWND>(s.next_handle);
    s.next_handle += 4;  // handles are never reused, so a stale one stays invalid
    w->hwnd = hwnd;
    w->class_name = cls->second.name;
    w->narrow_class = cls->second.narrow_name;
    w->title = window_name == nullptr ? L"" : window_name;
    w->proc = cls->second.attributes.lpfnWndProc;
    w->style = style;
    w->ex_style = ex_style;
    w->parent = parent;
    w->message_only = message_only;
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) {
      width = kDefaultWidth;
      height = kDefaultHeight;
    }
    w->rect = RECT{x, y, x + width, y + height};
    w->queue = CurrentQueue();
    ++cls->second.windows;
    if (Window* p = Find(s, parent)) p->children.push_back(hwnd);
    winsim::AddLive(winsim::Kind::kWindow, w->narrow_class.c_str());
    s.windows[hwnd] = std::move(w);
  }
  CREATESTRUCTW create{
      param,       instance,   menu,    parent, height, width, y, x, static_cast<LONG>(style),
      window_name, class_name, ex_style};
  const LPARAM create_param = reinterpret_cast<LPARAM>(&create);
  if (CallProc(hwnd, WM_NCCREATE, 0, create_param) == FALSE) {
    FreeTree(hwnd);
    return nullptr;
  }
  if (CallProc(hwnd, WM_CREATE, 0, create_param) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (!IsWindow(hwnd)) return nullptr;  // destroyed by its own creation handlers
  RECT client{};
  GetClientRect(hwnd, &client);
  CallProc(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
  CallProc(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
  if ((style & WS_VISIBLE) != 0) CallProc(hwnd, WM_SHOWWINDOW, TRUE, 0);
  return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
  {
    State& s = GetState();
    std::lock_guard<std::mutex> lock(s.mutex);
    Window* w = Find(s, hwnd);
    if (w == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (w->destroying) return FALSE;
  }
  SendDestroy(hwnd);
  FreeTree(hwnd);
  return TRUE;
}

BOOL IsWindow(HWND hwnd) {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return Find(s, hwnd) != nullptr ? TRUE : FALSE;
}

LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE) SetFocus(hwnd);
      return 0;
    default:
      return 0;
  }
}

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  Window* w = Find(s, hwnd);
  if (w == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (index) {
    case GWLP_USERDATA:
      return w->user_data;
    case GWL_STYLE:
      return static_cast<LONG_PTR>(w->style);
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(w->proc);
    default:
      return 0;
  }
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  Window* w = Find(s, hwnd);
  if (w == nullptr) return 0;
  LONG_PTR previous = 0;
  switch (index) {
    case GWLP_USERDATA:
      previous = w->user_data;
      w->user_data = value;
      break;
    case GWL_STYLE:
      previous = static_cast<LONG_PTR>(w->style);
      w->style = static_cast<DWORD>(value);
      break;
    case GWLP_WNDPROC:
      if (value == 0) return 0;
      previous = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(value);
      break;
    default:
      return 0;
  }
  return previous;
}

HWND SetParent(HWND child, HWND new_parent) {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  Window* w = Find(s, child);
  if (w == nullptr) return nullptr;
  const bool message_only = new_parent == HWND_MESSAGE;
  if (message_only) new_parent = nullptr;
  Window* p = Find(s, new_parent);
  if (new_parent != nullptr && (p == nullptr || IsAncestorOf(s, child, new_parent))) return nullptr;
  const HWND previous = w->parent;
  if (Window* old = Find(s, previous)) {
    old->children.erase(std::remove(old->children.begin(), old->children.end(), child),
                        old->children.end());
  }
  w->parent = new_parent;
  w->message_only = message_only;
  if (p != nullptr) p->children.push_back(child);
  return previous;
}

HWND GetParent(HWND hwnd) {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  Window* w = Find(s, hwnd);
  return w == nullptr ? nullptr : w->parent;
}

HWND GetAncestor(HWND hwnd, UINT flags) {
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  Window* w = Find(s, hwnd);
  if (w == nullptr) return nullptr;
  if (flags == GA_PARENT) return w->parent;
  while (Window* p = Find(s, w->parent)) w = p;
  return w->hwnd;
}
