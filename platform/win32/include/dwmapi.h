// Desktop Window Manager functions the product calls, for the simulated
// machine. Calls are recorded (winsim_host.h).
#pragma once

#include <windows.h>

HRESULT DwmSetWindowAttribute(HWND hwnd, DWORD attribute, LPCVOID value, DWORD value_size);
