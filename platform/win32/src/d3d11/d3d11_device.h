// The simulation's Direct3D 11 device, made by D3D11CreateDevice.
#pragma once

#include <d3d11.h>

#include "com/com_ref.h"

namespace winsim::d3d11 {

// A device on `adapter` at `level`, created with `flags`; its immediate
// context shares its lifetime.
ComRef<ID3D11Device> MakeDevice(ComRef<IDXGIAdapter> adapter, D3D_FEATURE_LEVEL level, UINT flags);

// The simulation's device behind any of its interfaces (null for anything
// else), and the LUID of the adapter it was made on, read without the
// injected failures of the calls a program makes.
ID3D11Device* FindDevice(IUnknown* device);
LUID AdapterLuidOf(ID3D11Device* device);

// A texture of `device` made for the machine's own use (a duplication's
// frame), without the injected failures of CreateTexture2D.
ComRef<ID3D11Texture2D> MakeTexture(ID3D11Device* device, const D3D11_TEXTURE2D_DESC& desc);

}  // namespace winsim::d3d11
