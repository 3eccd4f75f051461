// Shared state of the simulated host area (libraries, registry, consoles,
// command line), used by the host_*.cc files only.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "winsim_host.h"

namespace winsim::host {

struct RegistryValue {
  DWORD type = 0;
  std::vector<std::uint8_t> data;
};

struct HostState {
  std::mutex mutex;
  bool user32_loadable = true;
  bool non_client_scaling_exported = true;
  std::vector<HWND> non_client_scaling_calls;
  // Key: lower-case sub key + '\n' + lower-case value name.
  std::map<std::wstring, RegistryValue> registry;
  std::vector<DwmAttributeCall> dwm_calls;
  bool debugger = false;
  bool parent_console = false;
  bool alloc_console_succeeds = true;
  bool console_reopen_succeeds = true;
  bool has_console = false;
  std::vector<std::string> console_calls;
  std::wstring command_line = L"morl_desktop.exe";
};

HostState& State();

}  // namespace winsim::host
