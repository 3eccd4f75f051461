// The Windows API subset the product calls, for builds without the Windows
// SDK, backed by the simulated machine. Each area has its own header.
#pragma once

#include "win32sim/base.h"
#include "win32sim/com.h"
#if __has_include("win32sim/kernel.h")
#include "win32sim/kernel.h"
#endif
#if __has_include("win32sim/gdi.h")
#include "win32sim/gdi.h"
#endif
#if __has_include("win32sim/user.h")
#include "win32sim/user.h"
#endif
#if __has_include("win32sim/host.h")
#include "win32sim/host.h"
#endif
