// Desktop duplication of the primary display ("IDXGIOutput1::DuplicateOutput",
// "IDXGIOutputDuplication::AcquireNextFrame"): a hardware device of adapter
// 0 duplicates its first output; the first frame comes within the timeout as
// a texture of the display's size; a second acquire before ReleaseFrame is
// DXGI_ERROR_INVALID_CALL, a release without a frame as well.
#include <windows.h>
#include <d3d11.h>
#include <dxgi1_2.h>

#include <gtest/gtest.h>

#include "contract_support.h"
#include "wine_differences.h"

namespace {

TEST(Duplication, PrimaryOutputIsDuplicatedOneFrameAtATime) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  contract::ComRef<IDXGIFactory1> factory;
  ASSERT_EQ(CreateDXGIFactory1(IID_IDXGIFactory1, factory.PutVoid()), S_OK);
  contract::ComRef<IDXGIAdapter1> adapter;
  ASSERT_EQ(factory->EnumAdapters1(0, adapter.Put()), S_OK);
  contract::ComRef<IDXGIOutput> output;
  ASSERT_EQ(adapter->EnumOutputs(0, output.Put()), S_OK);
  DXGI_OUTPUT_DESC output_desc{};
  ASSERT_EQ(output->GetDesc(&output_desc), S_OK);
  contract::ComRef<IDXGIOutput1> output1;
  ASSERT_EQ(output->QueryInterface(IID_IDXGIOutput1, output1.PutVoid()), S_OK);
  contract::ComRef<ID3D11Device> device;
  ASSERT_EQ(D3D11CreateDevice(adapter.Get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0, nullptr, 0,
                              D3D11_SDK_VERSION, device.Put(), nullptr, nullptr),
            S_OK);

  contract::ComRef<IDXGIOutputDuplication> duplication;
  ASSERT_EQ(output1->DuplicateOutput(device.Get(), duplication.Put()), S_OK);
  EXPECT_EQ(duplication->ReleaseFrame(), DXGI_ERROR_INVALID_CALL);
  DXGI_OUTDUPL_FRAME_INFO info{};
  contract::ComRef<IDXGIResource> resource;
  ASSERT_EQ(duplication->AcquireNextFrame(1000, &info, resource.Put()), S_OK);
  contract::ComRef<ID3D11Texture2D> frame;
  ASSERT_EQ(resource->QueryInterface(IID_ID3D11Texture2D, frame.PutVoid()), S_OK);
  D3D11_TEXTURE2D_DESC desc{};
  frame->GetDesc(&desc);
  const RECT& r = output_desc.DesktopCoordinates;
  EXPECT_EQ(desc.Width, static_cast<UINT>(r.right - r.left));
  EXPECT_EQ(desc.Height, static_cast<UINT>(r.bottom - r.top));
  EXPECT_EQ(desc.Format, DXGI_FORMAT_B8G8R8A8_UNORM);

  contract::ComRef<IDXGIResource> second;
  EXPECT_EQ(duplication->AcquireNextFrame(0, &info, second.Put()), DXGI_ERROR_INVALID_CALL);
  EXPECT_EQ(duplication->ReleaseFrame(), S_OK);
}

}  // namespace
