// Window classes, the module handle and the shared icons and cursors.
#include <string>

#include "gdi/gdi_objects.h"
#include "user/user_state.h"

namespace {

using winsim::user::GetState;
using winsim::user::State;

// Icons and cursors loaded from resources are shared on Windows: never
// destroyed, the same handle on every load. One static object stands for each.
struct SharedResource {
  int unused;
};
SharedResource g_icon;
SharedResource g_cursor;
SharedResource g_module;

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += (c > 0 && c < 0x80) ? static_cast<char>(c) : '?';
  return out;
}

}  // namespace

ATOM RegisterClassW(const WNDCLASSW* window_class) {
  if (window_class == nullptr || window_class->lpszClassName == nullptr ||
      window_class->lpfnWndProc == nullptr)
    return 0;
  if (winsim::FailedByInjection("RegisterClassW")) return 0;
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  const std::wstring name = window_class->lpszClassName;
  if (s.classes.count(name) != 0) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  winsim::user::WindowClass& entry = s.classes[name];
  entry.name = name;
  entry.narrow_name = Narrow(name);
  entry.attributes = *window_class;
  entry.attributes.lpszClassName = entry.name.c_str();
  winsim::AddLive(winsim::Kind::kWindowClass, entry.narrow_name.c_str());
  // Atoms only need to be non-zero and distinct among live classes.
  return static_cast<ATOM>(0xC000 + s.classes.size());
}

BOOL UnregisterClassW(LPCWSTR class_name, HINSTANCE) {
  if (class_name == nullptr) return FALSE;
  State& s = GetState();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.classes.find(class_name);
  if (it == s.classes.end()) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (it->second.windows > 0) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  winsim::RemoveLive(winsim::Kind::kWindowClass, it->second.narrow_name.c_str());
  s.classes.erase(it);
  return TRUE;
}

HMODULE GetModuleHandleW(LPCWSTR) { return reinterpret_cast<HMODULE>(&g_module); }

HICON LoadIconW(HINSTANCE, LPCWSTR) { return reinterpret_cast<HICON>(&g_icon); }

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR cursor_name) {
  // The system arrow is the cursor the machine shows, so its image and
  // hotspot can be read and drawn like the one GetCursorInfo reports.
  if (instance == nullptr && cursor_name == IDC_ARROW) return winsim::CursorHandle();
  return reinterpret_cast<HCURSOR>(&g_cursor);
}
