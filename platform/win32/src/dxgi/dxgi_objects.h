// What other parts of the simulation take from DXGI's objects.
#pragma once

#include <dxgi.h>

#include "com/com_ref.h"

namespace winsim::dxgi {

// The adapter a device is made on when the program names none: adapter 0 of
// a fresh factory (the GPU, or the basic render driver on a machine without
// one), or with `basic_render` the basic render driver (the last adapter).
// Made without the injected failures of the calls a program makes itself.
ComRef<IDXGIAdapter> MachineAdapter(bool basic_render);

// The LUID of one of the simulation's adapters ({0, 0} for anything else).
LUID AdapterLuid(IDXGIAdapter* adapter);

// Whether one of the simulation's adapters is the basic render driver
// (DXGI_ADAPTER_FLAG_SOFTWARE); false for anything else.
bool IsBasicRender(IDXGIAdapter* adapter);

}  // namespace winsim::dxgi
