// What the process entry and the top-level window call besides windowing:
// dynamic libraries, the registry, consoles, the debugger flag and the
// command line. Backed by the host area of the simulated machine
// (winsim_host.h).
#pragma once

#include "win32sim/base.h"

// ---- Libraries -------------------------------------------------------------

using FARPROC = INT_PTR (*)();

HMODULE LoadLibraryA(LPCSTR lib_file_name);
FARPROC GetProcAddress(HMODULE module, LPCSTR proc_name);
BOOL FreeLibrary(HMODULE module);

// ---- Registry --------------------------------------------------------------

using LSTATUS = LONG;

#define HKEY_CURRENT_USER \
  (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000001))))

constexpr DWORD RRF_RT_REG_SZ = 0x00000002;
constexpr DWORD RRF_RT_REG_DWORD = 0x00000010;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;
constexpr LONG ERROR_UNSUPPORTED_TYPE = 1630;

LSTATUS RegGetValueW(HKEY key, LPCWSTR sub_key, LPCWSTR value, DWORD flags, LPDWORD type,
                     PVOID data, LPDWORD data_size);

// ---- Consoles and debugger ---------------------------------------------------

constexpr DWORD ATTACH_PARENT_PROCESS = static_cast<DWORD>(-1);

BOOL AttachConsole(DWORD process_id);
BOOL AllocConsole();
BOOL IsDebuggerPresent();

// ---- Command line and local memory -----------------------------------------

LPWSTR GetCommandLineW();
HLOCAL LocalFree(HLOCAL mem);

// The process entry the product defines; the simulation's main calls it.
int wWinMain(HINSTANCE instance, HINSTANCE prev_instance, LPWSTR command_line, int show_command);
