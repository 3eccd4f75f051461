// The simulation's Direct3D 11 device, made by D3D11CreateDevice.
#pragma once

#include <d3d11.h>

#include "com/com_ref.h"

namespace winsim::d3d11 {

// A device on `adapter` at `level`, created with `flags`; its immediate
// context shares its lifetime.
ComRef<ID3D11Device> MakeDevice(ComRef<IDXGIAdapter> adapter, D3D_FEATURE_LEVEL level, UINT flags);

}  // namespace winsim::d3d11
