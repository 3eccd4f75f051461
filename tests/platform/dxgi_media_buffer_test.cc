// Media Foundation over Direct3D 11: the DXGI device manager, media buffers
// over textures, and a sink writer recording frames handed over as textures.
#include <d3d11.h>
#include <gtest/gtest.h>
#include <mfapi.h>
#include <mfreadwrite.h>
#include <winsim.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "gpu_test_support.h"
#include "sink_writer_test_support.h"

namespace {

using gpu_test::ComRef;
using namespace sinktest;  // NOLINT: the shared helpers read as local ones

class DxgiMediaTest : public SinkWriterTest {
 protected:
  void SetUp() override {
    SinkWriterTest::SetUp();
    gpu_test::MakeDevice(&device_, &context_);
  }
  void TearDown() override {
    context_.Reset();
    device_.Reset();
    SinkWriterTest::TearDown();
  }

  // A B8G8R8A8 texture whose pixel (x, y) holds `pixel(x, y)`.
  void MakeTexture(UINT width, UINT height, const std::function<std::uint32_t(UINT, UINT)>& pixel,
                   ComRef<ID3D11Texture2D>* texture) {
    std::vector<std::uint32_t> pixels(std::size_t{width} * height);
    for (UINT y = 0; y < height; ++y) {
      for (UINT x = 0; x < width; ++x) pixels[std::size_t{y} * width + x] = pixel(x, y);
    }
    const D3D11_TEXTURE2D_DESC desc = gpu_test::TextureDesc(width, height, D3D11_USAGE_DEFAULT);
    const D3D11_SUBRESOURCE_DATA data{pixels.data(), width * 4, 0};
    ASSERT_EQ(device_->CreateTexture2D(&desc, &data, texture->Put()), S_OK);
  }

  ComRef<ID3D11Device> device_;
  ComRef<ID3D11DeviceContext> context_;
};

std::uint32_t Numbered(UINT x, UINT y) { return 0xFF000000u | y << 8 | x; }

// ResetDevice wants its own token and a Direct3D 11 device; before it, the
// manager has no device to hand out.
TEST_F(DxgiMediaTest, DeviceManagerTakesOnlyItsTokenAndADevice) {
  ComRef<IMFMediaType> not_a_device;
  ASSERT_EQ(MFCreateMediaType(not_a_device.Put()), S_OK);
  const struct {
    const char* name;
    bool own_token;
    IUnknown* device;
    HRESULT reset;
  } cases[] = {
      {"device and token", true, device_.Get(), S_OK},
      {"another manager's token", false, device_.Get(), E_INVALIDARG},
      {"no device", true, nullptr, E_INVALIDARG},
      {"not a Direct3D 11 device", true, not_a_device.Get(), E_INVALIDARG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UINT token = 0, other_token = 0;
    ComRef<IMFDXGIDeviceManager> manager, other;
    ASSERT_EQ(MFCreateDXGIDeviceManager(&token, manager.Put()), S_OK);
    ASSERT_EQ(MFCreateDXGIDeviceManager(&other_token, other.Put()), S_OK);
    ASSERT_NE(token, other_token);
    EXPECT_EQ(manager->ResetDevice(c.device, c.own_token ? token : other_token), c.reset);
    HANDLE handle = nullptr;
    const HRESULT open = manager->OpenDeviceHandle(&handle);
    EXPECT_EQ(open, SUCCEEDED(c.reset) ? S_OK : MF_E_DXGI_DEVICE_NOT_INITIALIZED);
    ComRef<ID3D11Device> locked;
    EXPECT_EQ(manager->LockDevice(handle, IID_ID3D11Device, locked.PutVoid(), FALSE),
              SUCCEEDED(c.reset) ? S_OK : MF_E_DXGI_DEVICE_NOT_INITIALIZED);
    if (SUCCEEDED(c.reset)) {
      EXPECT_EQ(locked.Get(), device_.Get());
      EXPECT_EQ(manager->UnlockDevice(handle, FALSE), S_OK);
      EXPECT_EQ(manager->CloseDeviceHandle(handle), S_OK);
    }
  }
}

// Handles belong to one device: a reset makes them stale, an unknown or
// closed handle is not a handle at all.
TEST_F(DxgiMediaTest, DeviceHandlesGoStaleAtResetAndUnknownOnesAreRefused) {
  UINT token = 0;
  ComRef<IMFDXGIDeviceManager> manager;
  ASSERT_EQ(MFCreateDXGIDeviceManager(&token, manager.Put()), S_OK);
  ASSERT_EQ(manager->ResetDevice(device_.Get(), token), S_OK);
  HANDLE stale = nullptr, fresh = nullptr;
  ASSERT_EQ(manager->OpenDeviceHandle(&stale), S_OK);
  ASSERT_EQ(manager->ResetDevice(device_.Get(), token), S_OK);
  ASSERT_EQ(manager->OpenDeviceHandle(&fresh), S_OK);
  HANDLE unknown = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0xBAD));
  ComRef<IUnknown> out;
  const struct {
    HANDLE handle;
    HRESULT test, service, lock;
  } cases[] = {
      {fresh, S_OK, S_OK, S_OK},
      {stale, MF_E_DXGI_NEW_VIDEO_DEVICE, MF_E_DXGI_NEW_VIDEO_DEVICE, MF_E_DXGI_NEW_VIDEO_DEVICE},
      {unknown, E_HANDLE, E_HANDLE, E_HANDLE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.handle == fresh ? "fresh" : c.handle == stale ? "stale" : "unknown");
    EXPECT_EQ(manager->TestDevice(c.handle), c.test);
    EXPECT_EQ(manager->GetVideoService(c.handle, IID_ID3D11Device, out.PutVoid()), c.service);
    EXPECT_EQ(manager->LockDevice(c.handle, IID_ID3D11Device, out.PutVoid(), FALSE), c.lock);
    if (SUCCEEDED(c.lock)) {
      EXPECT_EQ(manager->UnlockDevice(c.handle, FALSE), S_OK);
    }
  }
  EXPECT_EQ(manager->GetVideoService(fresh, IID_IMFSample, out.PutVoid()), E_NOINTERFACE);
  // The device is the GPU's, which offers video processing.
  EXPECT_EQ(manager->GetVideoService(fresh, IID_ID3D11VideoDevice, out.PutVoid()), S_OK);
  EXPECT_EQ(manager->CloseDeviceHandle(stale), S_OK) << "a stale handle is still closed";
  EXPECT_EQ(manager->CloseDeviceHandle(stale), E_HANDLE);
  EXPECT_EQ(manager->TestDevice(stale), E_HANDLE);
  EXPECT_EQ(manager->CloseDeviceHandle(fresh), S_OK);
}

// One handle at a time holds the device; a blocking lock waits for it.
TEST_F(DxgiMediaTest, OneHandleAtATimeHoldsTheDevice) {
  UINT token = 0;
  ComRef<IMFDXGIDeviceManager> manager;
  ASSERT_EQ(MFCreateDXGIDeviceManager(&token, manager.Put()), S_OK);
  ASSERT_EQ(manager->ResetDevice(device_.Get(), token), S_OK);
  HANDLE first = nullptr, second = nullptr;
  ASSERT_EQ(manager->OpenDeviceHandle(&first), S_OK);
  ASSERT_EQ(manager->OpenDeviceHandle(&second), S_OK);
  ComRef<ID3D11Device> held, other;
  ASSERT_EQ(manager->LockDevice(first, IID_ID3D11Device, held.PutVoid(), FALSE), S_OK);
  EXPECT_EQ(manager->LockDevice(second, IID_ID3D11Device, other.PutVoid(), FALSE),
            MF_E_DXGI_VIDEO_DEVICE_LOCKED);
  EXPECT_EQ(manager->LockDevice(first, IID_ID3D11Device, other.PutVoid(), TRUE),
            MF_E_DXGI_VIDEO_DEVICE_LOCKED)
      << "its own holder locking again";
  EXPECT_EQ(manager->UnlockDevice(second, FALSE), E_INVALIDARG) << "not the holder";

  auto waiter = std::async(std::launch::async, [&] {
    ComRef<ID3D11Device> device;
    const HRESULT hr = manager->LockDevice(second, IID_ID3D11Device, device.PutVoid(), TRUE);
    if (SUCCEEDED(hr)) manager->UnlockDevice(second, FALSE);
    return hr;
  });
  EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  EXPECT_EQ(manager->CloseDeviceHandle(first), S_OK) << "closing the holder unlocks";
  ASSERT_EQ(waiter.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(waiter.get(), S_OK);
  EXPECT_EQ(manager->CloseDeviceHandle(second), S_OK);
}

// MFCreateDXGISurfaceBuffer takes a Direct3D 11 texture's subresource 0.
TEST_F(DxgiMediaTest, SurfaceBufferNeedsATexture) {
  ComRef<ID3D11Texture2D> texture;
  MakeTexture(4, 3, Numbered, &texture);
  const struct {
    const char* name;
    GUID riid;
    IUnknown* surface;
    UINT subresource;
    HRESULT made;
  } cases[] = {
      {"texture", IID_ID3D11Texture2D, texture.Get(), 0, S_OK},
      {"asked as another interface", IID_ID3D11Resource, texture.Get(), 0, E_INVALIDARG},
      {"no surface", IID_ID3D11Texture2D, nullptr, 0, E_INVALIDARG},
      {"a device, not a texture", IID_ID3D11Texture2D, device_.Get(), 0, E_INVALIDARG},
      {"subresource 1 of a one-level texture", IID_ID3D11Texture2D, texture.Get(), 1, E_INVALIDARG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ComRef<IMFMediaBuffer> buffer;
    EXPECT_EQ(MFCreateDXGISurfaceBuffer(c.riid, c.surface, c.subresource, FALSE, buffer.Put()),
              c.made);
    EXPECT_EQ(buffer.Get() != nullptr, SUCCEEDED(c.made));
  }
}

// Lock gives the texture's rows packed (bottom-up when asked), Lock2D at the
// texture's pitch top-down; what is written under a lock reaches the texture.
TEST_F(DxgiMediaTest, SurfaceBufferLocksReadAndWriteTheTexture) {
  constexpr UINT kWidth = 4, kHeight = 3;
  for (const BOOL bottom_up : {FALSE, TRUE}) {
    SCOPED_TRACE(bottom_up ? "bottom-up when linear" : "top-down");
    ComRef<ID3D11Texture2D> texture;
    MakeTexture(kWidth, kHeight, Numbered, &texture);
    ComRef<IMFMediaBuffer> buffer;
    ASSERT_EQ(
        MFCreateDXGISurfaceBuffer(IID_ID3D11Texture2D, texture.Get(), 0, bottom_up, buffer.Put()),
        S_OK);
    BYTE* data = nullptr;
    DWORD max = 0, current = 99;
    ASSERT_EQ(buffer->Lock(&data, &max, &current), S_OK);
    EXPECT_EQ(max, kWidth * kHeight * 4);
    EXPECT_EQ(current, 0u) << "a new surface buffer holds no data yet";
    for (UINT row = 0; row < kHeight; ++row) {
      std::uint32_t first = 0;
      std::memcpy(&first, data + row * kWidth * 4, 4);
      EXPECT_EQ(first, Numbered(0, bottom_up ? kHeight - 1 - row : row)) << "row " << row;
    }
    ComRef<IMF2DBuffer> two_d;
    ASSERT_EQ(buffer->QueryInterface(IID_PPV_ARGS(two_d.Put())), S_OK);
    BYTE* scanline0 = nullptr;
    LONG pitch = 0;
    EXPECT_EQ(two_d->Lock2D(&scanline0, &pitch), MF_E_INVALIDREQUEST) << "while Lock holds it";
    ASSERT_EQ(buffer->Unlock(), S_OK);
    EXPECT_EQ(buffer->Unlock(), MF_E_INVALIDREQUEST);

    ASSERT_EQ(two_d->Lock2D(&scanline0, &pitch), S_OK);
    EXPECT_GE(pitch, static_cast<LONG>(kWidth * 4));
    BOOL contiguous = TRUE;
    EXPECT_EQ(two_d->IsContiguousFormat(&contiguous), S_OK);
    EXPECT_EQ(contiguous, pitch == static_cast<LONG>(kWidth * 4) ? TRUE : FALSE);
    std::uint32_t pixel = 0;
    std::memcpy(&pixel, scanline0 + 2 * pitch + 3 * 4, 4);
    EXPECT_EQ(pixel, Numbered(3, 2));
    const std::uint32_t painted = 0xFF123456u;
    std::memcpy(scanline0 + pitch + 4, &painted, 4);
    ASSERT_EQ(two_d->Unlock2D(), S_OK);
    EXPECT_EQ(gpu_test::ReadBack(device_.Get(), context_.Get(), texture.Get())[kWidth + 1],
              painted);

    ComRef<IMFDXGIBuffer> dxgi;
    ASSERT_EQ(buffer->QueryInterface(IID_PPV_ARGS(dxgi.Put())), S_OK);
    ComRef<ID3D11Texture2D> resource;
    EXPECT_EQ(dxgi->GetResource(IID_ID3D11Texture2D, resource.PutVoid()), S_OK);
    EXPECT_EQ(resource.Get(), texture.Get());
    UINT subresource = 9;
    EXPECT_EQ(dxgi->GetSubresourceIndex(&subresource), S_OK);
    EXPECT_EQ(subresource, 0u);
  }
}

// Frames handed to the sink writer as textures are encoded as the texture
// shows them, with or without a DXGI device manager; a texture of another
// size is refused.
TEST_F(DxgiMediaTest, SinkWriterRecordsFramesFromTextures) {
  constexpr UINT kWidth = 64, kHeight = 48;
  const std::uint32_t kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu;  // B8G8R8A8 as a little-endian word
  ComRef<ID3D11Texture2D> halves, flipped, wrong_size;
  MakeTexture(
      kWidth, kHeight, [&](UINT, UINT y) { return y < kHeight / 2 ? kRed : kBlue; }, &halves);
  MakeTexture(
      kWidth, kHeight, [&](UINT, UINT y) { return y < kHeight / 2 ? kBlue : kRed; }, &flipped);
  MakeTexture(kWidth / 2, kHeight, Numbered, &wrong_size);
  for (const bool with_manager : {false, true}) {
    SCOPED_TRACE(with_manager ? "with a device manager" : "without");
    const std::string path = mp4test::TempPath("textures.mp4");
    UINT token = 0;
    ComRef<IMFDXGIDeviceManager> manager;
    ASSERT_EQ(MFCreateDXGIDeviceManager(&token, manager.Put()), S_OK);
    ASSERT_EQ(manager->ResetDevice(device_.Get(), token), S_OK);
    ComRef<IMFAttributes> attributes;
    ASSERT_EQ(MFCreateAttributes(attributes.Put(), 2), S_OK);
    attributes->SetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, TRUE);
    if (with_manager) attributes->SetUnknown(MF_SINK_WRITER_D3D_MANAGER, manager.Get());
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(
        MFCreateSinkWriterFromURL(Wide(path).c_str(), nullptr, attributes.Get(), writer.Put()),
        S_OK);
    EXPECT_EQ(winsim::SinkWriters().back().d3d_manager, with_manager);
    Declare(writer.Get(), kWidth, kHeight);  // RGB32 without a stride: bottom-up in memory
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    const auto write = [&](ID3D11Texture2D* texture, std::int64_t time) {
      ComRef<IMFMediaBuffer> buffer;
      ComRef<IMFSample> sample;
      EXPECT_EQ(MFCreateDXGISurfaceBuffer(IID_ID3D11Texture2D, texture, 0, FALSE, buffer.Put()),
                S_OK);
      EXPECT_EQ(MFCreateSample(sample.Put()), S_OK);
      sample->AddBuffer(buffer.Get());
      sample->SetSampleTime(time);
      sample->SetSampleDuration(kFrame);
      return writer->WriteSample(0, sample.Get());
    };
    // The encoder reads a frame's texture when it takes the frame: one drawn
    // over while the writer holds it is recorded as drawn over.
    const bool drawn_over = with_manager;
    winsim::HoldSinkEncoding(drawn_over);
    for (int n = 0; n < 3; ++n) ASSERT_EQ(write(halves.Get(), n * kFrame), S_OK);
    if (drawn_over) context_->CopyResource(halves.Get(), flipped.Get());
    winsim::HoldSinkEncoding(false);
    EXPECT_EQ(write(wrong_size.Get(), 3 * kFrame), MF_E_INVALIDMEDIATYPE);
    ASSERT_EQ(writer->Finalize(), S_OK);
    EXPECT_EQ(winsim::SinkWriters().back().frames_drawn_over, drawn_over ? 3u : 0u);
    writer.Reset();
    const std::vector<std::uint8_t> rgb = mp4test::FirstFrameRgb(path);
    ASSERT_EQ(rgb.size(), std::size_t{kWidth} * kHeight * 3);
    const auto at = [&](UINT x, UINT y) { return &rgb[(std::size_t{y} * kWidth + x) * 3]; };
    const int top_red = drawn_over ? 2 : 0, top_blue = 2 - top_red;
    EXPECT_GT(at(10, 5)[top_red], 200) << "top half red (blue when drawn over)";
    EXPECT_LT(at(10, 5)[top_blue], 60);
    EXPECT_GT(at(10, kHeight - 5)[top_blue], 200) << "bottom half blue (red when drawn over)";
    EXPECT_LT(at(10, kHeight - 5)[top_red], 60);
  }
  ComRef<IMFAttributes> attributes;
  ASSERT_EQ(MFCreateAttributes(attributes.Put(), 1), S_OK);
  attributes->SetUnknown(MF_SINK_WRITER_D3D_MANAGER, device_.Get());
  ComRef<IMFSinkWriter> writer;
  EXPECT_EQ(MFCreateSinkWriterFromURL(Wide(mp4test::TempPath("not-a-manager.mp4")).c_str(), nullptr,
                                      attributes.Get(), writer.Put()),
            E_INVALIDARG);
}

// Each new call fails when told to, handing nothing out.
TEST_F(DxgiMediaTest, DeviceManagerAndSurfaceBufferCallsFailByInjection) {
  UINT token = 0;
  ComRef<IMFDXGIDeviceManager> manager;
  ASSERT_EQ(MFCreateDXGIDeviceManager(&token, manager.Put()), S_OK);
  ASSERT_EQ(manager->ResetDevice(device_.Get(), token), S_OK);
  HANDLE handle = nullptr;
  ASSERT_EQ(manager->OpenDeviceHandle(&handle), S_OK);
  ComRef<ID3D11Texture2D> texture;
  MakeTexture(4, 4, Numbered, &texture);
  ComRef<IMFMediaBuffer> buffer;
  ASSERT_EQ(MFCreateDXGISurfaceBuffer(IID_ID3D11Texture2D, texture.Get(), 0, FALSE, buffer.Put()),
            S_OK);
  ComRef<IMF2DBuffer> two_d;
  ASSERT_EQ(buffer->QueryInterface(IID_PPV_ARGS(two_d.Put())), S_OK);
  ComRef<IUnknown> out;
  HANDLE opened = nullptr;
  BYTE* data = nullptr;
  LONG pitch = 0;
  const struct {
    const char* call;
    std::function<HRESULT()> make;
    std::function<void()> undo;  // after a success
  } cases[] = {
      {"MFCreateDXGIDeviceManager",
       [&] {
         UINT t = 0;
         ComRef<IMFDXGIDeviceManager> m;
         const HRESULT hr = MFCreateDXGIDeviceManager(&t, m.Put());
         EXPECT_EQ(SUCCEEDED(hr), m.Get() != nullptr);
         return hr;
       },
       [] {}},
      {"IMFDXGIDeviceManager::ResetDevice",
       [&] { return manager->ResetDevice(device_.Get(), token); },
       [&] {
         manager->CloseDeviceHandle(handle);
         manager->OpenDeviceHandle(&handle);
       }},
      {"IMFDXGIDeviceManager::OpenDeviceHandle", [&] { return manager->OpenDeviceHandle(&opened); },
       [&] { manager->CloseDeviceHandle(opened); }},
      {"IMFDXGIDeviceManager::TestDevice", [&] { return manager->TestDevice(handle); }, [] {}},
      {"IMFDXGIDeviceManager::GetVideoService",
       [&] { return manager->GetVideoService(handle, IID_ID3D11Device, out.PutVoid()); }, [] {}},
      {"IMFDXGIDeviceManager::LockDevice",
       [&] { return manager->LockDevice(handle, IID_ID3D11Device, out.PutVoid(), FALSE); },
       [&] { manager->UnlockDevice(handle, FALSE); }},
      {"IMFDXGIDeviceManager::UnlockDevice",
       [&] {
         manager->LockDevice(handle, IID_ID3D11Device, out.PutVoid(), FALSE);
         const HRESULT hr = manager->UnlockDevice(handle, FALSE);
         if (FAILED(hr)) manager->UnlockDevice(handle, FALSE);
         return hr;
       },
       [] {}},
      {"IMFDXGIDeviceManager::CloseDeviceHandle",
       [&] {
         manager->OpenDeviceHandle(&opened);
         const HRESULT hr = manager->CloseDeviceHandle(opened);
         if (FAILED(hr)) manager->CloseDeviceHandle(opened);
         return hr;
       },
       [] {}},
      {"MFCreateDXGISurfaceBuffer",
       [&] {
         ComRef<IMFMediaBuffer> b;
         const HRESULT hr =
             MFCreateDXGISurfaceBuffer(IID_ID3D11Texture2D, texture.Get(), 0, FALSE, b.Put());
         EXPECT_EQ(SUCCEEDED(hr), b.Get() != nullptr);
         return hr;
       },
       [] {}},
      {"IMFMediaBuffer::Lock", [&] { return buffer->Lock(&data, nullptr, nullptr); },
       [&] { buffer->Unlock(); }},
      {"IMF2DBuffer::Lock2D", [&] { return two_d->Lock2D(&data, &pitch); },
       [&] { two_d->Unlock2D(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    winsim::FailCall(c.call, E_OUTOFMEMORY);
    EXPECT_EQ(c.make(), E_OUTOFMEMORY);
    EXPECT_EQ(c.make(), S_OK);
    c.undo();
  }
  manager->CloseDeviceHandle(handle);
}

}  // namespace
