// Control of the host area of the simulated machine: the libraries that
// LoadLibraryA finds, the registry, consoles, the debugger, the command line
// and the record of DWM attribute calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "win32sim/base.h"

namespace winsim {

// Back to the default host: "User32.dll" loadable and exporting
// EnableNonClientDpiScaling, an empty registry, no debugger, no parent
// console, consoles that can be allocated and reopened, command line
// "morl_desktop.exe", and empty call records.
void ResetHost();

// ---- Libraries -------------------------------------------------------------

void SetUser32Loadable(bool loadable);
void SetNonClientDpiScalingExported(bool exported);
// Windows passed to EnableNonClientDpiScaling, in call order.
std::vector<HWND> NonClientDpiScalingCalls();

// ---- Registry --------------------------------------------------------------

// Values under HKEY_CURRENT_USER\<sub_key>. The key path compares
// case-insensitively, as on Windows.
void SetRegistryDword(const std::wstring& sub_key, const std::wstring& name, DWORD value);
void SetRegistryString(const std::wstring& sub_key, const std::wstring& name,
                       const std::wstring& value);
void DeleteRegistryValue(const std::wstring& sub_key, const std::wstring& name);
// The title-bar theme value under ...\Themes\Personalize; nullopt removes it.
void SetAppsUseLightTheme(std::optional<DWORD> value);

// ---- DWM -------------------------------------------------------------------

struct DwmAttributeCall {
  HWND hwnd = nullptr;
  DWORD attribute = 0;
  std::vector<std::uint8_t> value;  // the bytes passed
};
std::vector<DwmAttributeCall> DwmAttributeCalls();

// ---- Consoles ----------------------------------------------------------------

void SetDebuggerPresent(bool present);
// Whether the process was started from a console it can attach to.
void SetParentConsole(bool present);
void SetAllocConsoleSucceeds(bool succeeds);
// Whether freopen_s onto "CONOUT$" succeeds (only once a console exists).
void SetConsoleReopenSucceeds(bool succeeds);
// Whether the process has a console (attached or allocated).
bool HasConsole();
// Console and descriptor calls in order, e.g. "AttachConsole(-1)=0",
// "AllocConsole()=1", "freopen_s(CONOUT$,w,stdout)=0", "_dup2(1,2)=0".
std::vector<std::string> ConsoleCalls();

// ---- Command line ------------------------------------------------------------

// The line GetCommandLineW returns (UTF-16 code units).
void SetCommandLine(const std::wstring& command_line);
// Quotes each UTF-8 word as CommandLineToArgvW reads it back and joins them
// with blanks. Invalid UTF-8 becomes U+FFFD.
std::wstring QuoteCommandLine(const std::vector<std::string>& words);

}  // namespace winsim
