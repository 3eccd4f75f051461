// Shell functions the product calls, for the simulated machine.
#pragma once

#include <windows.h>

// Splits a command line by the Windows rules. The result is one block from
// the local heap (pointer array and strings together), freed with LocalFree.
LPWSTR* CommandLineToArgvW(LPCWSTR cmd_line, int* num_args);
