// D3D11CreateDevice: the rules it keeps are listed in d3d11_objects.h.
#include <d3d11.h>

#include <algorithm>
#include <iterator>

#include "d3d11/d3d11_device.h"
#include "dxgi/dxgi_objects.h"
#include "winsim.h"

namespace winsim::d3d11 {
namespace {

// The levels tried when the caller gives none ("D3D11CreateDevice
// function"): 11_1 only when asked for.
constexpr D3D_FEATURE_LEVEL kDefaultLevels[] = {
    D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1, D3D_FEATURE_LEVEL_10_0,
    D3D_FEATURE_LEVEL_9_3,  D3D_FEATURE_LEVEL_9_2,  D3D_FEATURE_LEVEL_9_1,
};
// What the machine's devices support, hardware and basic render alike.
constexpr D3D_FEATURE_LEVEL kSupportedLevels[] = {
    D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1, D3D_FEATURE_LEVEL_10_0,
    D3D_FEATURE_LEVEL_9_3,  D3D_FEATURE_LEVEL_9_2,  D3D_FEATURE_LEVEL_9_1,
};
constexpr D3D_FEATURE_LEVEL kKnownLevels[] = {D3D_FEATURE_LEVEL_12_0, D3D_FEATURE_LEVEL_12_1};

bool Listed(const D3D_FEATURE_LEVEL* begin, const D3D_FEATURE_LEVEL* end, D3D_FEATURE_LEVEL l) {
  return std::find(begin, end, l) != end;
}

// The level a device gets from the caller's list: S_OK and `chosen`, or the
// failure.
HRESULT ChooseLevel(const D3D_FEATURE_LEVEL* levels, UINT count, D3D_FEATURE_LEVEL* chosen) {
  if (levels == nullptr) {
    levels = kDefaultLevels;
    count = static_cast<UINT>(std::size(kDefaultLevels));
  }
  if (count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) {
    if (!Listed(std::begin(kSupportedLevels), std::end(kSupportedLevels), levels[i]) &&
        !Listed(std::begin(kKnownLevels), std::end(kKnownLevels), levels[i])) {
      return E_INVALIDARG;
    }
  }
  for (UINT i = 0; i < count; ++i) {
    if (Listed(std::begin(kSupportedLevels), std::end(kSupportedLevels), levels[i])) {
      *chosen = levels[i];
      return S_OK;
    }
  }
  return DXGI_ERROR_UNSUPPORTED;
}

// The adapter the device is made on: S_OK and `adapter`, or the failure.
HRESULT ChooseAdapter(IDXGIAdapter* given, D3D_DRIVER_TYPE type, HMODULE software,
                      ComRef<IDXGIAdapter>* adapter) {
  if ((given != nullptr) != (type == D3D_DRIVER_TYPE_UNKNOWN)) return E_INVALIDARG;
  switch (type) {
    case D3D_DRIVER_TYPE_UNKNOWN:
      *adapter = ComRef<IDXGIAdapter>::Share(given);
      return S_OK;
    case D3D_DRIVER_TYPE_HARDWARE:
    case D3D_DRIVER_TYPE_WARP:
      *adapter = dxgi::MachineAdapter(type == D3D_DRIVER_TYPE_WARP);
      return S_OK;
    case D3D_DRIVER_TYPE_SOFTWARE:
      return software == nullptr ? E_INVALIDARG : DXGI_ERROR_UNSUPPORTED;
    case D3D_DRIVER_TYPE_REFERENCE:
    case D3D_DRIVER_TYPE_NULL:
      return DXGI_ERROR_UNSUPPORTED;
    default:
      return E_INVALIDARG;
  }
}

}  // namespace
}  // namespace winsim::d3d11

HRESULT D3D11CreateDevice(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driver_type, HMODULE software,
                          UINT flags, const D3D_FEATURE_LEVEL* feature_levels,
                          UINT feature_level_count, UINT sdk_version, ID3D11Device** device,
                          D3D_FEATURE_LEVEL* feature_level,
                          ID3D11DeviceContext** immediate_context) {
  const HRESULT injected = winsim::InjectedFailure("D3D11CreateDevice");
  if (device != nullptr) *device = nullptr;
  if (immediate_context != nullptr) *immediate_context = nullptr;
  if (FAILED(injected)) return injected;
  if (sdk_version != D3D11_SDK_VERSION) return E_INVALIDARG;
  winsim::ComRef<IDXGIAdapter> chosen_adapter;
  HRESULT hr = winsim::d3d11::ChooseAdapter(adapter, driver_type, software, &chosen_adapter);
  if (FAILED(hr)) return hr;
  if ((flags & D3D11_CREATE_DEVICE_DEBUG) != 0) return DXGI_ERROR_SDK_COMPONENT_MISSING;
  D3D_FEATURE_LEVEL level{};
  hr = winsim::d3d11::ChooseLevel(feature_levels, feature_level_count, &level);
  if (FAILED(hr)) return hr;
  if (feature_level != nullptr) *feature_level = level;
  if (device == nullptr && immediate_context == nullptr) return S_FALSE;
  winsim::ComRef<ID3D11Device> made =
      winsim::d3d11::MakeDevice(std::move(chosen_adapter), level, flags);
  if (immediate_context != nullptr) made->GetImmediateContext(immediate_context);
  if (device != nullptr) *device = made.Detach();
  return S_OK;
}
