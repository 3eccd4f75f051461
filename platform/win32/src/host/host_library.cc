// LoadLibraryA / GetProcAddress / FreeLibrary over the one library the host
// loads at run time: "User32.dll" for EnableNonClientDpiScaling.
#include <cctype>
#include <string>

#include "host/host_state.h"
#include "win32sim/host.h"
#include "win32sim/machine_core.h"

namespace {

struct SimLibrary {
  int tag;
};
SimLibrary g_user32{32};

bool SameNameIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) !=
        std::tolower(static_cast<unsigned char>(*b)))
      return false;
  }
  return *a == *b;
}

BOOL EnableNonClientDpiScaling(HWND hwnd) {
  auto& s = winsim::host::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.non_client_scaling_calls.push_back(hwnd);
  return TRUE;
}

HMODULE User32Handle() { return reinterpret_cast<HMODULE>(&g_user32); }

}  // namespace

HMODULE LoadLibraryA(LPCSTR lib_file_name) {
  if (winsim::FailedByInjection("LoadLibraryA") || lib_file_name == nullptr) return nullptr;
  auto& s = winsim::host::State();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.user32_loadable) return nullptr;
  }
  if (!SameNameIgnoringCase(lib_file_name, "User32.dll") &&
      !SameNameIgnoringCase(lib_file_name, "User32")) {
    return nullptr;
  }
  winsim::AddLive(winsim::Kind::kLibrary, "User32.dll");
  return User32Handle();
}

FARPROC GetProcAddress(HMODULE module, LPCSTR proc_name) {
  if (winsim::FailedByInjection("GetProcAddress")) return nullptr;
  if (module != User32Handle() || proc_name == nullptr) return nullptr;
  auto& s = winsim::host::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.non_client_scaling_exported && std::string(proc_name) == "EnableNonClientDpiScaling") {
    // Through void(*)(), which converts to and from any function type quietly.
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&EnableNonClientDpiScaling));
  }
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  if (module != User32Handle()) return FALSE;
  winsim::RemoveLive(winsim::Kind::kLibrary, "User32.dll");
  return TRUE;
}

namespace winsim {

void SetUser32Loadable(bool loadable) {
  std::lock_guard<std::mutex> lock(host::State().mutex);
  host::State().user32_loadable = loadable;
}

void SetNonClientDpiScalingExported(bool exported) {
  std::lock_guard<std::mutex> lock(host::State().mutex);
  host::State().non_client_scaling_exported = exported;
}

std::vector<HWND> NonClientDpiScalingCalls() {
  std::lock_guard<std::mutex> lock(host::State().mutex);
  return host::State().non_client_scaling_calls;
}

}  // namespace winsim
