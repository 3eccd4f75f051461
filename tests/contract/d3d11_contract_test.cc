// Direct3D 11 as screen capture and hardware encoding use it: a hardware
// device at feature level 11_1 or 11_0 when 11_1 is asked for
// ("D3D11CreateDevice function"), on DXGI's adapter 0 ("IDXGIDevice::
// GetAdapter"); a full-HD BGRA render target cleared, copied to a staging
// texture and read back exactly row by row at the mapped RowPitch
// ("ID3D11DeviceContext::ClearRenderTargetView", "...::CopyResource",
// "...::Map", "D3D11_MAPPED_SUBRESOURCE").
#include <windows.h>
#include <d3d11.h>
#include <dxgi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "contract_support.h"
#include "wine_differences.h"

namespace {

constexpr D3D_FEATURE_LEVEL kLevels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};

void MakeDevice(contract::ComRef<ID3D11Device>* device,
                contract::ComRef<ID3D11DeviceContext>* context, D3D_FEATURE_LEVEL* level) {
  ASSERT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr,
                              D3D11_CREATE_DEVICE_BGRA_SUPPORT, kLevels, 2, D3D11_SDK_VERSION,
                              device->Put(), level, context->Put()),
            S_OK);
}

D3D11_TEXTURE2D_DESC FullHd(D3D11_USAGE usage, UINT bind, UINT cpu) {
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = 1920;
  desc.Height = 1080;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.Usage = usage;
  desc.BindFlags = bind;
  desc.CPUAccessFlags = cpu;
  return desc;
}

TEST(D3d11, HardwareDeviceAt11_1Or11_0OnAdapterZero) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  contract::ComRef<ID3D11Device> device;
  contract::ComRef<ID3D11DeviceContext> context;
  D3D_FEATURE_LEVEL level{};
  MakeDevice(&device, &context, &level);
  EXPECT_TRUE(level == D3D_FEATURE_LEVEL_11_1 || level == D3D_FEATURE_LEVEL_11_0)
      << std::hex << level;
  EXPECT_EQ(device->GetFeatureLevel(), level);

  contract::ComRef<IDXGIDevice> dxgi;
  ASSERT_EQ(device->QueryInterface(IID_IDXGIDevice, dxgi.PutVoid()), S_OK);
  contract::ComRef<IDXGIAdapter> adapter;
  ASSERT_EQ(dxgi->GetAdapter(adapter.Put()), S_OK);
  DXGI_ADAPTER_DESC made_on{};
  ASSERT_EQ(adapter->GetDesc(&made_on), S_OK);

  contract::ComRef<IDXGIFactory1> factory;
  ASSERT_EQ(CreateDXGIFactory1(IID_IDXGIFactory1, factory.PutVoid()), S_OK);
  contract::ComRef<IDXGIAdapter1> first;
  ASSERT_EQ(factory->EnumAdapters1(0, first.Put()), S_OK);
  DXGI_ADAPTER_DESC1 first_desc{};
  ASSERT_EQ(first->GetDesc1(&first_desc), S_OK);
  EXPECT_EQ(made_on.AdapterLuid.LowPart, first_desc.AdapterLuid.LowPart);
  EXPECT_EQ(made_on.AdapterLuid.HighPart, first_desc.AdapterLuid.HighPart);
}

TEST(D3d11, ClearedTargetReadsBackExactlyThroughStaging) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  contract::ComRef<ID3D11Device> device;
  contract::ComRef<ID3D11DeviceContext> context;
  D3D_FEATURE_LEVEL level{};
  MakeDevice(&device, &context, &level);
  const D3D11_TEXTURE2D_DESC target_desc =
      FullHd(D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE, 0);
  const D3D11_TEXTURE2D_DESC staging_desc = FullHd(D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_READ);
  contract::ComRef<ID3D11Texture2D> target;
  contract::ComRef<ID3D11Texture2D> staging;
  ASSERT_EQ(device->CreateTexture2D(&target_desc, nullptr, target.Put()), S_OK);
  ASSERT_EQ(device->CreateTexture2D(&staging_desc, nullptr, staging.Put()), S_OK);
  contract::ComRef<ID3D11RenderTargetView> view;
  ASSERT_EQ(device->CreateRenderTargetView(target.Get(), nullptr, view.Put()), S_OK);

  // Channel values exact in 8 bits: 0x33, 0x99, 0xCC and alpha 0xFF.
  const FLOAT color[4] = {0.2f, 0.6f, 0.8f, 1.0f};
  context->ClearRenderTargetView(view.Get(), color);
  context->CopyResource(staging.Get(), target.Get());
  D3D11_MAPPED_SUBRESOURCE mapped{};
  ASSERT_EQ(context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped), S_OK);
  EXPECT_GE(mapped.RowPitch, 1920u * 4);
  int wrong = 0;
  std::uint32_t first_wrong = 0;
  for (UINT row = 0; row < 1080; ++row) {
    const auto* bytes = static_cast<const std::uint8_t*>(mapped.pData) +
                        static_cast<std::size_t>(row) * mapped.RowPitch;
    for (UINT column = 0; column < 1920; ++column) {
      std::uint32_t pixel = 0;
      std::memcpy(&pixel, bytes + column * 4, 4);
      if (pixel != 0xFF3399CCu && wrong++ == 0) first_wrong = pixel;
    }
  }
  context->Unmap(staging.Get(), 0);
  EXPECT_EQ(wrong, 0) << "first wrong pixel 0x" << std::hex << first_wrong;
}

// Map of a texture made without CPU access fails with E_INVALIDARG
// ("ID3D11DeviceContext::Map", "D3D11_USAGE").
TEST(D3d11, DefaultTextureCannotBeMapped) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  contract::ComRef<ID3D11Device> device;
  contract::ComRef<ID3D11DeviceContext> context;
  D3D_FEATURE_LEVEL level{};
  MakeDevice(&device, &context, &level);
  const D3D11_TEXTURE2D_DESC desc = FullHd(D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET, 0);
  contract::ComRef<ID3D11Texture2D> texture;
  ASSERT_EQ(device->CreateTexture2D(&desc, nullptr, texture.Put()), S_OK);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  EXPECT_EQ(context->Map(texture.Get(), 0, D3D11_MAP_READ, 0, &mapped), E_INVALIDARG);
  const D3D11_TEXTURE2D_DESC bound_staging =
      FullHd(D3D11_USAGE_STAGING, D3D11_BIND_SHADER_RESOURCE, D3D11_CPU_ACCESS_READ);
  contract::ComRef<ID3D11Texture2D> refused;
  EXPECT_EQ(device->CreateTexture2D(&bound_staging, nullptr, refused.Put()), E_INVALIDARG);
  EXPECT_EQ(refused.Get(), nullptr);
}

}  // namespace
