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

using gpu_test::Held;
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
                   Held<ID3D11Texture2D>* texture) {
    std::vector<std::uint32_t> pixels(std::size_t{width} * height);
    for (UINT y = 0; y < height; ++y) {
      for (UINT x = 0; x < width; ++x) pixels[std::size_t{y} * width + x] = pixel(x, y);
    }
    const D3D11_TEXTURE2D_DESC desc = gpu_test::TextureDesc(width, height, D3D11_USAGE_DEFAULT);
    const D3D11_SUBRESOURCE_DATA data{pixels.data(), width * 4, 0};
    ASSERT_EQ(device_->CreateTexture2D(&desc, &data, &texture->ptr), S_OK);
  }

  Held<ID3D11Device> device_;
  Held<ID3D11DeviceContext> context_;
};

std::uint32_t Numbered(UINT x, UINT y) { return 0xFF000000u | y << 8 | x; }

// ResetDevice wants its own token and a Direct3D 11 device; before it, the
// manager has no device to hand out.
TEST_F(DxgiMediaTest, DeviceManagerTakesOnlyItsTokenAndADevice) {
  Held<IMFMediaType> not_a_device;
  ASSERT_EQ(MFCreateMediaType(&not_a_device.ptr), S_OK);
  const struct {
    const char* name;
    bool own_token;
    IUnknown* device;
    HRESULT reset;
  } cases[] = {
      {"device and token", true, device_.ptr, S_OK},
      {"another manager's token", false, device_.ptr, E_INVALIDARG},
      {"no device", true, nullptr, E_INVALIDARG},
      {"not a Direct3D 11 device", true, not_a_device.ptr, E_INVALIDARG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UINT token = 0, other_token = 0;
    Held<IMFDXGIDeviceManager> manager, other;
    ASSERT_EQ(MFCreateDXGIDeviceManager(&token, &manager.ptr), S_OK);
    ASSERT_EQ(MFCreateDXGIDeviceManager(&other_token, &other.ptr), S_OK);
    ASSERT_NE(token, other_token);
    EXPECT_EQ(manager->ResetDevice(c.device, c.own_token ? token : other_token), c.reset);
    HANDLE handle = nullptr;
    const HRESULT open = manager->OpenDeviceHandle(&handle);
    EXPECT_EQ(open, SUCCEEDED(c.reset) ? S_OK : MF_E_DXGI_DEVICE_NOT_INITIALIZED);
    Held<ID3D11Device> locked;
    EXPECT_EQ(manager->LockDevice(handle, IID_ID3D11Device, locked.Out(), FALSE),
              SUCCEEDED(c.reset) ? S_OK : MF_E_DXGI_DEVICE_NOT_INITIALIZED);
    if (SUCCEEDED(c.reset)) {
      EXPECT_EQ(locked.ptr, device_.ptr);
      EXPECT_EQ(manager->UnlockDevice(handle, FALSE), S_OK);
      EXPECT_EQ(manager->CloseDeviceHandle(handle), S_OK);
    }
  }
}

// Handles belong to one device: a reset makes them stale, an unknown or
// closed handle is not a handle at all.
TEST_F(DxgiMediaTest, DeviceHandlesGoStaleAtResetAndUnknownOnesAreRefused) {
  UINT token = 0;
  Held<IMFDXGIDeviceManager> manager;
  ASSERT_EQ(MFCreateDXGIDeviceManager(&token, &manager.ptr), S_OK);
  ASSERT_EQ(manager->ResetDevice(device_.ptr, token), S_OK);
  HANDLE stale = nullptr, fresh = nullptr;
  ASSERT_EQ(manager->OpenDeviceHandle(&stale), S_OK);
  ASSERT_EQ(manager->ResetDevice(device_.ptr, token), S_OK);
  ASSERT_EQ(manager->OpenDeviceHandle(&fresh), S_OK);
  HANDLE unknown = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0xBAD));
  Held<IUnknown> out;
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
    EXPECT_EQ(manager->GetVideoService(c.handle, IID_ID3D11Device, out.Out()), c.service);
    EXPECT_EQ(manager->LockDevice(c.handle, IID_ID3D11Device, out.Out(), FALSE), c.lock);
    if (SUCCEEDED(c.lock)) {
      EXPECT_EQ(manager->UnlockDevice(c.handle, FALSE), S_OK);
    }
  }
  EXPECT_EQ(manager->GetVideoService(fresh, IID_IMFSample, out.Out()), E_NOINTERFACE);
  // The device is the GPU's, which offers video processing.
  EXPECT_EQ(manager->GetVideoService(fresh, IID_ID3D11VideoDevice, out.Out()), S_OK);
  EXPECT_EQ(manager->CloseDeviceHandle(stale), S_OK) << "a stale handle is still closed";
  EXPECT_EQ(manager->CloseDeviceHandle(stale), E_HANDLE);
  EXPECT_EQ(manager->TestDevice(stale), E_HANDLE);
  EXPECT_EQ(manager->CloseDeviceHandle(fresh), S_OK);
}

// One handle at a time holds the device; a blocking lock waits for it.
TEST_F(DxgiMediaTest, OneHandleAtATimeHoldsTheDevice) {
  UINT token = 0;
  Held<IMFDXGIDeviceManager> manager;
  ASSERT_EQ(MFCreateDXGIDeviceManager(&token, &manager.ptr), S_OK);
  ASSERT_EQ(manager->ResetDevice(device_.ptr, token), S_OK);
  HANDLE first = nullptr, second = nullptr;
  ASSERT_EQ(manager->OpenDeviceHandle(&first), S_OK);
  ASSERT_EQ(manager->OpenDeviceHandle(&second), S_OK);
  Held<ID3D11Device> held, other;
  ASSERT_EQ(manager->LockDevice(first, IID_ID3D11Device, held.Out(), FALSE), S_OK);
  EXPECT_EQ(manager->LockDevice(second, IID_ID3D11Device, other.Out(), FALSE),
            MF_E_DXGI_VIDEO_DEVICE_LOCKED);
  EXPECT_EQ(manager->LockDevice(first, IID_ID3D11Device, other.Out(), TRUE),
            MF_E_DXGI_VIDEO_DEVICE_LOCKED)
      << "its own holder locking again";
  EXPECT_EQ(manager->UnlockDevice(second, FALSE), E_INVALIDARG) << "not the holder";

  auto waiter = std::async(std::launch::async, [&] {
    Held<ID3D11Device> device;
    const HRESULT hr = manager->LockDevice(second, IID_ID3D11Device, device.Out(), TRUE);
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
  Held<ID3D11Texture2D> texture;
  MakeTexture(4, 3, Numbered, &texture);
  const struct {
    const char* name;
    GUID riid;
    IUnknown* surface;
    UINT subresource;
    HRESULT made;
  } cases[] = {
      {"texture", IID_ID3D11Texture2D, texture.ptr, 0, S_OK},
      {"asked as another interface", IID_ID3D11Resource, texture.ptr, 0, E_INVALIDARG},
      {"no surface", IID_ID3D11Texture2D, nullptr, 0, E_INVALIDARG},
      {"a device, not a texture", IID_ID3D11Texture2D, device_.ptr, 0, E_INVALIDARG},
      {"subresource 1 of a one-level texture", IID_ID3D11Texture2D, texture.ptr, 1, E_INVALIDARG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Held<IMFMediaBuffer> buffer;
    EXPECT_EQ(MFCreateDXGISurfaceBuffer(c.riid, c.surface, c.subresource, FALSE, &buffer.ptr),
              c.made);
    EXPECT_EQ(buffer.ptr != nullptr, SUCCEEDED(c.made));
  }
}

// Lock gives the texture's rows packed (bottom-up when asked), Lock2D at the
// texture's pitch top-down; what is written under a lock reaches the texture.
TEST_F(DxgiMediaTest, SurfaceBufferLocksReadAndWriteTheTexture) {
  constexpr UINT kWidth = 4, kHeight = 3;
  for (const BOOL bottom_up : {FALSE, TRUE}) {
    SCOPED_TRACE(bottom_up ? "bottom-up when linear" : "top-down");
    Held<ID3D11Texture2D> texture;
    MakeTexture(kWidth, kHeight, Numbered, &texture);
    Held<IMFMediaBuffer> buffer;
    ASSERT_EQ(
        MFCreateDXGISurfaceBuffer(IID_ID3D11Texture2D, texture.ptr, 0, bottom_up, &buffer.ptr),
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
    Held<IMF2DBuffer> two_d;
    ASSERT_EQ(buffer->QueryInterface(IID_PPV_ARGS(&two_d.ptr)), S_OK);
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
    EXPECT_EQ(gpu_test::ReadBack(device_.ptr, context_.ptr, texture.ptr)[kWidth + 1], painted);

    Held<IMFDXGIBuffer> dxgi;
    ASSERT_EQ(buffer->QueryInterface(IID_PPV_ARGS(&dxgi.ptr)), S_OK);
    Held<ID3D11Texture2D> resource;
    EXPECT_EQ(dxgi->GetResource(IID_ID3D11Texture2D, resource.Out()), S_OK);
    EXPECT_EQ(resource.ptr, texture.ptr);
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
  Held<ID3D11Texture2D> halves, flipped, wrong_size;
  MakeTexture(
      kWidth, kHeight, [&](UINT, UINT y) { return y < kHeight / 2 ? kRed : kBlue; }, &halves);
  MakeTexture(
      kWidth, kHeight, [&](UINT, UINT y) { return y < kHeight / 2 ? kBlue : kRed; }, &flipped);
  MakeTexture(kWidth / 2, kHeight, Numbered, &wrong_size);
  for (const bool with_manager : {false, true}) {
    SCOPED_TRACE(with_manager ? "with a device manager" : "without");
    const std::string path = mp4test::TempPath("textures.mp4");
    UINT token = 0;
    Held<IMFDXGIDeviceManager> manager;
    ASSERT_EQ(MFCreateDXGIDeviceManager(&token, &manager.ptr), S_OK);
    ASSERT_EQ(manager->ResetDevice(device_.ptr, token), S_OK);
    Held<IMFAttributes> attributes;
    ASSERT_EQ(MFCreateAttributes(&attributes.ptr, 2), S_OK);
    attributes->SetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, TRUE);
    if (with_manager) attributes->SetUnknown(MF_SINK_WRITER_D3D_MANAGER, manager.ptr);
    Held<IMFSinkWriter> writer;
    ASSERT_EQ(MFCreateSinkWriterFromURL(Wide(path).c_str(), nullptr, attributes.ptr, &writer.ptr),
              S_OK);
    EXPECT_EQ(winsim::SinkWriters().back().d3d_manager, with_manager);
    Declare(writer.ptr, kWidth, kHeight);  // RGB32 without a stride: bottom-up in memory
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    const auto write = [&](ID3D11Texture2D* texture, std::int64_t time) {
      Held<IMFMediaBuffer> buffer;
      Held<IMFSample> sample;
      EXPECT_EQ(MFCreateDXGISurfaceBuffer(IID_ID3D11Texture2D, texture, 0, FALSE, &buffer.ptr),
                S_OK);
      EXPECT_EQ(MFCreateSample(&sample.ptr), S_OK);
      sample->AddBuffer(buffer.ptr);
      sample->SetSampleTime(time);
      sample->SetSampleDuration(kFrame);
      return writer->WriteSample(0, sample.ptr);
    };
    // The encoder reads a frame's texture when it takes the frame: one drawn
    // over while the writer holds it is recorded as drawn over.
    const bool drawn_over = with_manager;
    winsim::HoldSinkEncoding(drawn_over);
    for (int n = 0; n < 3; ++n) ASSERT_EQ(write(halves.ptr, n * kFrame), S_OK);
    if (drawn_over) context_->CopyResource(halves.ptr, flipped.ptr);
    winsim::HoldSinkEncoding(false);
    EXPECT_EQ(write(wrong_size.ptr, 3 * kFrame), MF_E_INVALIDMEDIATYPE);
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
  Held<IMFAttributes> attributes;
  ASSERT_EQ(MFCreateAttributes(&attributes.ptr, 1), S_OK);
  attributes->SetUnknown(MF_SINK_WRITER_D3D_MANAGER, device_.ptr);
  Held<IMFSinkWriter> writer;
  EXPECT_EQ(MFCreateSinkWriterFromURL(Wide(mp4test::TempPath("not-a-manager.mp4")).c_str(), nullptr,
                                      attributes.ptr, &writer.ptr),
            E_INVALIDARG);
}

// Each new call fails when told to, handing nothing out.
TEST_F(DxgiMediaTest, DeviceManagerAndSurfaceBufferCallsFailByInjection) {
  UINT token = 0;
  Held<IMFDXGIDeviceManager> manager;
  ASSERT_EQ(MFCreateDXGIDeviceManager(&token, &manager.ptr), S_OK);
  ASSERT_EQ(manager->ResetDevice(device_.ptr, token), S_OK);
  HANDLE handle = nullptr;
  ASSERT_EQ(manager->OpenDeviceHandle(&handle), S_OK);
  Held<ID3D11Texture2D> texture;
  MakeTexture(4, 4, Numbered, &texture);
  Held<IMFMediaBuffer> buffer;
  ASSERT_EQ(MFCreateDXGISurfaceBuffer(IID_ID3D11Texture2D, texture.ptr, 0, FALSE, &buffer.ptr),
            S_OK);
  Held<IMF2DBuffer> two_d;
  ASSERT_EQ(buffer->QueryInterface(IID_PPV_ARGS(&two_d.ptr)), S_OK);
  Held<IUnknown> out;
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
         Held<IMFDXGIDeviceManager> m;
         const HRESULT hr = MFCreateDXGIDeviceManager(&t, &m.ptr);
         EXPECT_EQ(SUCCEEDED(hr), m.ptr != nullptr);
         return hr;
       },
       [] {}},
      {"IMFDXGIDeviceManager::ResetDevice",
       [&] { return manager->ResetDevice(device_.ptr, token); },
       [&] {
         manager->CloseDeviceHandle(handle);
         manager->OpenDeviceHandle(&handle);
       }},
      {"IMFDXGIDeviceManager::OpenDeviceHandle", [&] { return manager->OpenDeviceHandle(&opened); },
       [&] { manager->CloseDeviceHandle(opened); }},
      {"IMFDXGIDeviceManager::TestDevice", [&] { return manager->TestDevice(handle); }, [] {}},
      {"IMFDXGIDeviceManager::GetVideoService",
       [&] { return manager->GetVideoService(handle, IID_ID3D11Device, out.Out()); }, [] {}},
      {"IMFDXGIDeviceManager::LockDevice",
       [&] { return manager->LockDevice(handle, IID_ID3D11Device, out.Out(), FALSE); },
       [&] { manager->UnlockDevice(handle, FALSE); }},
      {"IMFDXGIDeviceManager::UnlockDevice",
       [&] {
         manager->LockDevice(handle, IID_ID3D11Device, out.Out(), FALSE);
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
         Held<IMFMediaBuffer> b;
         const HRESULT hr =
             MFCreateDXGISurfaceBuffer(IID_ID3D11Texture2D, texture.ptr, 0, FALSE, &b.ptr);
         EXPECT_EQ(SUCCEEDED(hr), b.ptr != nullptr);
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
