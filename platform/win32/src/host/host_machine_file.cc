// The host keys of the machine file:
//   "dpi": 144                          the primary monitor's DPI
//   "registry": {"AppsUseLightTheme": 0} title-bar theme value; absent: none
//   "debugger": true                    a debugger is attached
//   "parent_console": true              started from a console
#include <string>

#include "host/host_state.h"
#include "machine/machine_areas.h"
#include "winsim_host.h"
#include "winsim_windows.h"

namespace winsim {

void ResetHostArea() {
  // The command line belongs to the running process, not to the machine.
  const std::wstring command_line = GetCommandLineW();
  ResetHost();
  SetCommandLine(command_line);
}

bool ApplyDpiKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_number_integer() || value.get<std::int64_t>() < 24 ||
      value.get<std::int64_t>() > 960) {
    *error = "must be a whole number of dots per inch from 24 to 960 (96 = 100 %)";
    return false;
  }
  SetMonitorDpi(value.get<UINT>());
  return true;
}

bool ApplyRegistryKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_object() || !OnlyKnownKeys(value, {"AppsUseLightTheme"}, error)) {
    if (error->empty()) *error = "must be an object such as {\"AppsUseLightTheme\": 0}";
    return false;
  }
  if (!value.contains("AppsUseLightTheme")) return true;
  const auto& theme = value["AppsUseLightTheme"];
  if (!theme.is_number_unsigned() || theme.get<std::uint64_t>() > 0xFFFFFFFFu) {
    *error = "\"AppsUseLightTheme\" must be a DWORD (0 dark, 1 light)";
    return false;
  }
  SetAppsUseLightTheme(theme.get<DWORD>());
  return true;
}

bool ApplyDebuggerKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_boolean()) {
    *error = "must be true or false";
    return false;
  }
  SetDebuggerPresent(value.get<bool>());
  return true;
}

bool ApplyParentConsoleKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_boolean()) {
    *error = "must be true or false";
    return false;
  }
  SetParentConsole(value.get<bool>());
  return true;
}

}  // namespace winsim
