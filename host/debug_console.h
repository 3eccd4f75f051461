// A console for diagnostics: the parent's when the process was started from
// one, or its own under a debugger without one. A GUI process otherwise has
// nowhere to write stdout and stderr.
#pragma once

namespace morl::host {

// Allocates a console, points stdout and stderr at it (falling back to a
// copy of stdout's descriptor when reopening fails) and lets the engine's
// own output follow.
void OpenDebugConsole();

// After attaching to the parent's console: points stdout and stderr at it
// where they lead nowhere, since the C runtime set them up before there was
// a console, and lets the engine's own output follow.
void FollowParentConsole();

}  // namespace morl::host
