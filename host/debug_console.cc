#include "host/debug_console.h"

#include <windows.h>
#include <io.h>

#include <cstdio>
#include <iostream>

#include "embedding/flutter_windows.h"

namespace morl::host {

void OpenDebugConsole() {
  if (!AllocConsole()) return;
  FILE* unused = nullptr;
  if (freopen_s(&unused, "CONOUT$", "w", stdout) != 0) _dup2(_fileno(stdout), 1);
  if (freopen_s(&unused, "CONOUT$", "w", stderr) != 0) _dup2(_fileno(stdout), 2);
  std::ios_base::sync_with_stdio(true);
  FlutterDesktopResyncOutputStreams();
}

}  // namespace morl::host
