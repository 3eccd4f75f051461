#include "host/host_state.h"

namespace winsim {
namespace host {

HostState& State() {
  static HostState* state = new HostState;  // used from static destructors too
  return *state;
}

}  // namespace host

void ResetHost() {
  host::HostState& s = host::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.user32_loadable = true;
  s.non_client_scaling_exported = true;
  s.non_client_scaling_calls.clear();
  s.registry.clear();
  s.dwm_calls.clear();
  s.debugger = false;
  s.parent_console = false;
  s.alloc_console_succeeds = true;
  s.console_reopen_succeeds = true;
  s.has_console = false;
  s.console_calls.clear();
  s.command_line = L"morl_desktop.exe";
}

}  // namespace winsim
