#include "host/debug_console.h"

#include <windows.h>
#include <io.h>

#include <cstdio>
#include <iostream>

#include "embedding/flutter_windows.h"

namespace morl::host {

void FollowParentConsole() {
  // A GUI process's streams have no descriptor (-2) unless its parent
  // redirected them; redirected ones keep going where they were sent.
  FILE* unused = nullptr;
  bool reopened = false;
  if (_fileno(stdout) < 0) reopened |= freopen_s(&unused, "CONOUT$", "w", stdout) == 0;
  if (_fileno(stderr) < 0) reopened |= freopen_s(&unused, "CONOUT$", "w", stderr) == 0;
  if (!reopened) return;
  std::ios_base::sync_with_stdio(true);
  FlutterDesktopResyncOutputStreams();
}

void OpenDebugConsole() {
  if (!AllocConsole()) return;
  FILE* unused = nullptr;
  if (freopen_s(&unused, "CONOUT$", "w", stdout) != 0) _dup2(_fileno(stdout), 1);
  if (freopen_s(&unused, "CONOUT$", "w", stderr) != 0) _dup2(_fileno(stdout), 2);
  std::ios_base::sync_with_stdio(true);
  FlutterDesktopResyncOutputStreams();
}

}  // namespace morl::host
