// Helpers of the suites on the machine's DXGI and Direct3D 11: devices,
// textures and pixel reads.
#pragma once

#include <d3d11.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "win32_support/com_ref.h"

namespace gpu_test {

// COM references are held in the recorder's own holder.
using morl::ComRef;

// A hardware device and its immediate context, at the levels given (none:
// the default list).
inline void MakeDevice(ComRef<ID3D11Device>* device, ComRef<ID3D11DeviceContext>* context,
                       std::vector<D3D_FEATURE_LEVEL> levels = {}) {
  ASSERT_EQ(D3D11CreateDevice(
                nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT,
                levels.empty() ? nullptr : levels.data(), static_cast<UINT>(levels.size()),
                D3D11_SDK_VERSION, device->Put(), nullptr, context->Put()),
            S_OK);
}

inline D3D11_TEXTURE2D_DESC TextureDesc(UINT width, UINT height, D3D11_USAGE usage, UINT bind = 0,
                                        UINT cpu = 0,
                                        DXGI_FORMAT format = DXGI_FORMAT_B8G8R8A8_UNORM) {
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = width;
  desc.Height = height;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = format;
  desc.SampleDesc.Count = 1;
  desc.Usage = usage;
  desc.BindFlags = bind;
  desc.CPUAccessFlags = cpu;
  return desc;
}

// The pixels of a 4-byte format `texture` read back through a staging copy,
// rows packed: width x height values in the texture's byte order.
inline std::vector<std::uint32_t> ReadBack(ID3D11Device* device, ID3D11DeviceContext* context,
                                           ID3D11Texture2D* texture) {
  D3D11_TEXTURE2D_DESC desc{};
  texture->GetDesc(&desc);
  D3D11_TEXTURE2D_DESC staging_desc = TextureDesc(desc.Width, desc.Height, D3D11_USAGE_STAGING, 0,
                                                  D3D11_CPU_ACCESS_READ, desc.Format);
  ComRef<ID3D11Texture2D> staging;
  std::vector<std::uint32_t> pixels;
  if (device->CreateTexture2D(&staging_desc, nullptr, staging.Put()) != S_OK) {
    ADD_FAILURE() << "no staging texture";
    return pixels;
  }
  context->CopyResource(staging.Get(), texture);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  if (context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped) != S_OK) {
    ADD_FAILURE() << "staging texture not mapped";
    return pixels;
  }
  EXPECT_GE(mapped.RowPitch, desc.Width * 4);
  for (UINT row = 0; row < desc.Height; ++row) {
    const auto* line = reinterpret_cast<const std::uint32_t*>(
        static_cast<const std::uint8_t*>(mapped.pData) + std::size_t{row} * mapped.RowPitch);
    pixels.insert(pixels.end(), line, line + desc.Width);
  }
  context->Unmap(staging.Get(), 0);
  return pixels;
}

}  // namespace gpu_test
