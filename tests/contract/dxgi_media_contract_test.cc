// Media Foundation over Direct3D 11 as hardware encoding uses it: a DXGI
// device manager given a Direct3D 11 device with the token it handed out
// ("MFCreateDXGIDeviceManager function", "IMFDXGIDeviceManager::ResetDevice",
// "...::OpenDeviceHandle", "...::LockDevice", "...::TestDevice": one handle
// on one thread holds the lock, a reset makes older handles stale), and a media buffer over a
// BGRA texture whose Lock2D gives the texture's pixels top-down at a pitch of
// at least a row ("MFCreateDXGISurfaceBuffer function", "IMF2DBuffer::Lock2D",
// "IMFDXGIBuffer::GetResource").
#include <windows.h>
#include <d3d11.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfobjects.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "contract_support.h"
#include "wine_differences.h"

namespace {

using contract::ComRef;

class MfDxgi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
    ASSERT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr,
                                D3D11_CREATE_DEVICE_BGRA_SUPPORT, nullptr, 0, D3D11_SDK_VERSION,
                                device_.Put(), nullptr, context_.Put()),
              S_OK);
  }
  void TearDown() override {
    context_.Reset();
    device_.Reset();
    EXPECT_EQ(MFShutdown(), S_OK);
  }

  ComRef<ID3D11Device> device_;
  ComRef<ID3D11DeviceContext> context_;
};

TEST_F(MfDxgi, DeviceManagerTakesADeviceWithItsToken) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  UINT token = 0;
  ComRef<IMFDXGIDeviceManager> manager;
  ASSERT_EQ(MFCreateDXGIDeviceManager(&token, manager.Put()), S_OK);
  HANDLE handle = nullptr;
  EXPECT_EQ(manager->OpenDeviceHandle(&handle), MF_E_DXGI_DEVICE_NOT_INITIALIZED);
  EXPECT_EQ(manager->ResetDevice(device_.Get(), token + 1), E_INVALIDARG);
  ASSERT_EQ(manager->ResetDevice(device_.Get(), token), S_OK);
  ASSERT_EQ(manager->OpenDeviceHandle(&handle), S_OK);
  EXPECT_EQ(manager->TestDevice(handle), S_OK);
  ComRef<ID3D11Device> locked;
  ASSERT_EQ(manager->LockDevice(handle, IID_ID3D11Device, locked.PutVoid(), FALSE), S_OK);
  EXPECT_EQ(locked.Get(), device_.Get());
  HANDLE other = nullptr;
  ASSERT_EQ(manager->OpenDeviceHandle(&other), S_OK);
  // Another thread's handle finds the device locked.
  HRESULT other_lock = S_OK;
  std::thread([&] {
    ComRef<ID3D11Device> refused;
    other_lock = manager->LockDevice(other, IID_ID3D11Device, refused.PutVoid(), FALSE);
    if (SUCCEEDED(other_lock)) manager->UnlockDevice(other, FALSE);
  }).join();
  EXPECT_EQ(other_lock, MF_E_DXGI_VIDEO_DEVICE_LOCKED);
  EXPECT_EQ(manager->UnlockDevice(handle, FALSE), S_OK);
  EXPECT_EQ(manager->CloseDeviceHandle(other), S_OK);
  EXPECT_EQ(manager->TestDevice(other), E_HANDLE) << "closed";

  ASSERT_EQ(manager->ResetDevice(device_.Get(), token), S_OK);
  EXPECT_EQ(manager->TestDevice(handle), MF_E_DXGI_NEW_VIDEO_DEVICE) << "opened before the reset";
  EXPECT_EQ(manager->CloseDeviceHandle(handle), S_OK);
}

TEST_F(MfDxgi, SurfaceBufferLock2DGivesTheTexturePixels) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  constexpr UINT kWidth = 64, kHeight = 32;
  std::vector<std::uint32_t> pixels(kWidth * kHeight);
  for (UINT y = 0; y < kHeight; ++y) {
    for (UINT x = 0; x < kWidth; ++x) pixels[y * kWidth + x] = 0xFF000000u | y << 8 | x;
  }
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = kWidth;
  desc.Height = kHeight;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.Usage = D3D11_USAGE_DEFAULT;
  const D3D11_SUBRESOURCE_DATA data{pixels.data(), kWidth * 4, 0};
  ComRef<ID3D11Texture2D> texture;
  ASSERT_EQ(device_->CreateTexture2D(&desc, &data, texture.Put()), S_OK);

  ComRef<IMFMediaBuffer> buffer;
  ASSERT_EQ(MFCreateDXGISurfaceBuffer(IID_ID3D11Texture2D, texture.Get(), 0, FALSE, buffer.Put()),
            S_OK);
  DWORD max_length = 0, current_length = 99;
  EXPECT_EQ(buffer->GetMaxLength(&max_length), S_OK);
  EXPECT_EQ(max_length, kWidth * kHeight * 4);
  EXPECT_EQ(buffer->GetCurrentLength(&current_length), S_OK);
  EXPECT_EQ(current_length, 0u);
  ComRef<IMFDXGIBuffer> dxgi;
  ASSERT_EQ(buffer->QueryInterface(IID_IMFDXGIBuffer, dxgi.PutVoid()), S_OK);
  ComRef<ID3D11Texture2D> resource;
  ASSERT_EQ(dxgi->GetResource(IID_ID3D11Texture2D, resource.PutVoid()), S_OK);
  EXPECT_EQ(resource.Get(), texture.Get());

  ComRef<IMF2DBuffer> two_d;
  ASSERT_EQ(buffer->QueryInterface(IID_IMF2DBuffer, two_d.PutVoid()), S_OK);
  BYTE* scanline0 = nullptr;
  LONG pitch = 0;
  ASSERT_EQ(two_d->Lock2D(&scanline0, &pitch), S_OK);
  EXPECT_GE(pitch, static_cast<LONG>(kWidth * 4));
  for (UINT y = 0; y < kHeight; ++y) {
    EXPECT_EQ(std::memcmp(scanline0 + static_cast<std::ptrdiff_t>(y) * pitch, &pixels[y * kWidth],
                          kWidth * 4),
              0)
        << "row " << y;
  }
  EXPECT_EQ(two_d->Unlock2D(), S_OK);
}

}  // namespace
