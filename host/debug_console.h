// A console for diagnostics when the process runs under a debugger without
// one: a GUI process otherwise has nowhere to write stdout and stderr.
#pragma once

namespace morl::host {

// Allocates a console, points stdout and stderr at it (falling back to a
// copy of stdout's descriptor when reopening fails) and lets the engine's
// own output follow.
void OpenDebugConsole();

}  // namespace morl::host
