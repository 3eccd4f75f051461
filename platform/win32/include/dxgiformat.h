// The pixel formats of DXGI that the simulated machine's textures take, with
// the SDK's values. The formats of a group (R8G8B8A8, B8G8R8A8) share their
// typeless member.
#pragma once

enum DXGI_FORMAT {
  DXGI_FORMAT_UNKNOWN = 0,
  DXGI_FORMAT_R8G8B8A8_TYPELESS = 27,
  DXGI_FORMAT_R8G8B8A8_UNORM = 28,
  DXGI_FORMAT_R8G8B8A8_UNORM_SRGB = 29,
  DXGI_FORMAT_R8_UNORM = 61,
  DXGI_FORMAT_R8G8_UNORM = 49,
  DXGI_FORMAT_B8G8R8A8_UNORM = 87,
  DXGI_FORMAT_B8G8R8X8_UNORM = 88,
  DXGI_FORMAT_B8G8R8A8_TYPELESS = 90,
  DXGI_FORMAT_B8G8R8A8_UNORM_SRGB = 91,
  DXGI_FORMAT_NV12 = 103,
  DXGI_FORMAT_FORCE_UINT = static_cast<int>(0xffffffffu),
};
