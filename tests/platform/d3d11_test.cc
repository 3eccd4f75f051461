// Direct3D 11 on the simulated machine: device creation by driver type,
// feature levels and flags; the texture description rules; Map; the copies
// that are ignored; pixels kept exactly through clears, copies and maps; the
// layout other simulation code reads; lifetimes and injected failures.
#include <d3d11.h>
#include <dxgi.h>
#include <gtest/gtest.h>
#include <winsim.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/src/d3d11/d3d11_texture.h"
#include "tests/platform/gpu_test_support.h"
#include "tests/support/machine_test.h"

namespace {

using gpu_test::ComRef;
using gpu_test::MakeDevice;
using gpu_test::ReadBack;
using gpu_test::TextureDesc;

class D3d11Test : public machine_test::MachineTest {};

std::wstring AdapterOf(ID3D11Device* device) {
  ComRef<IDXGIDevice> dxgi;
  if (device->QueryInterface(IID_IDXGIDevice, dxgi.PutVoid()) != S_OK) return L"<no IDXGIDevice>";
  ComRef<IDXGIAdapter> adapter;
  if (dxgi->GetAdapter(adapter.Put()) != S_OK) return L"<no adapter>";
  DXGI_ADAPTER_DESC desc{};
  EXPECT_EQ(adapter->GetDesc(&desc), S_OK);
  return desc.Description;
}

TEST_F(D3d11Test, CreateDeviceChoosesAdapterLevelAndRefusals) {
  const D3D_FEATURE_LEVEL k111[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};
  const D3D_FEATURE_LEVEL k12[] = {D3D_FEATURE_LEVEL_12_1, D3D_FEATURE_LEVEL_12_0};
  const D3D_FEATURE_LEVEL k12then10[] = {D3D_FEATURE_LEVEL_12_0, D3D_FEATURE_LEVEL_10_0};
  const D3D_FEATURE_LEVEL kBogus[] = {D3D_FEATURE_LEVEL_11_0,
                                      static_cast<D3D_FEATURE_LEVEL>(0xb200)};
  const struct {
    const char* name;
    const char* machine;
    bool pass_adapter;
    D3D_DRIVER_TYPE type;
    UINT flags;
    const D3D_FEATURE_LEVEL* levels;
    UINT count;
    UINT sdk;
    HRESULT hr;
    D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL_9_1;
    const wchar_t* adapter = L"";
  } cases[] = {
      {"default list stops at 11_0", "{}", false, D3D_DRIVER_TYPE_HARDWARE,
       D3D11_CREATE_DEVICE_BGRA_SUPPORT | D3D11_CREATE_DEVICE_VIDEO_SUPPORT, nullptr, 0, 7, S_OK,
       D3D_FEATURE_LEVEL_11_0, L"Simulated GPU"},
      {"11_1 when asked", "{}", false, D3D_DRIVER_TYPE_HARDWARE, 0, k111, 2, 7, S_OK,
       D3D_FEATURE_LEVEL_11_1, L"Simulated GPU"},
      {"levels past 11_1 skipped", "{}", false, D3D_DRIVER_TYPE_HARDWARE, 0, k12then10, 2, 7, S_OK,
       D3D_FEATURE_LEVEL_10_0, L"Simulated GPU"},
      {"given adapter", "{}", true, D3D_DRIVER_TYPE_UNKNOWN, 0, nullptr, 0, 7, S_OK,
       D3D_FEATURE_LEVEL_11_0, L"Simulated GPU"},
      {"warp", "{}", false, D3D_DRIVER_TYPE_WARP, 0, nullptr, 0, 7, S_OK, D3D_FEATURE_LEVEL_11_0,
       L"Microsoft Basic Render Driver"},
      {"no gpu: hardware on basic render", R"({"gpu": null})", false, D3D_DRIVER_TYPE_HARDWARE,
       D3D11_CREATE_DEVICE_VIDEO_SUPPORT, k111, 2, 7, S_OK, D3D_FEATURE_LEVEL_11_1,
       L"Microsoft Basic Render Driver"},
      {"adapter with hardware", "{}", true, D3D_DRIVER_TYPE_HARDWARE, 0, nullptr, 0, 7,
       E_INVALIDARG},
      {"unknown without adapter", "{}", false, D3D_DRIVER_TYPE_UNKNOWN, 0, nullptr, 0, 7,
       E_INVALIDARG},
      {"software without module", "{}", false, D3D_DRIVER_TYPE_SOFTWARE, 0, nullptr, 0, 7,
       E_INVALIDARG},
      {"reference", "{}", false, D3D_DRIVER_TYPE_REFERENCE, 0, nullptr, 0, 7,
       DXGI_ERROR_UNSUPPORTED},
      {"debug layer", "{}", false, D3D_DRIVER_TYPE_HARDWARE, D3D11_CREATE_DEVICE_DEBUG, nullptr, 0,
       7, DXGI_ERROR_SDK_COMPONENT_MISSING},
      {"only 12", "{}", false, D3D_DRIVER_TYPE_HARDWARE, 0, k12, 2, 7, DXGI_ERROR_UNSUPPORTED},
      {"empty list", "{}", false, D3D_DRIVER_TYPE_HARDWARE, 0, k111, 0, 7, E_INVALIDARG},
      {"unknown level", "{}", false, D3D_DRIVER_TYPE_HARDWARE, 0, kBogus, 2, 7, E_INVALIDARG},
      {"sdk version", "{}", false, D3D_DRIVER_TYPE_HARDWARE, 0, nullptr, 0, 8, E_INVALIDARG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::ResetMachine();
    std::string error;
    ASSERT_TRUE(winsim::LoadMachineJson(c.machine, &error)) << error;
    ComRef<IDXGIFactory1> factory;
    ASSERT_EQ(CreateDXGIFactory1(IID_IDXGIFactory1, factory.PutVoid()), S_OK);
    ComRef<IDXGIAdapter1> adapter;
    ASSERT_EQ(factory->EnumAdapters1(0, adapter.Put()), S_OK);
    ComRef<ID3D11DeviceContext> context;
    D3D_FEATURE_LEVEL level{};
    ID3D11Device* made = reinterpret_cast<ID3D11Device*>(&level);  // must be cleared on failure
    EXPECT_EQ(D3D11CreateDevice(c.pass_adapter ? adapter.Get() : nullptr, c.type, nullptr, c.flags,
                                c.levels, c.count, c.sdk, &made, &level, context.Put()),
              c.hr);
    ComRef<ID3D11Device> device(made);
    if (FAILED(c.hr)) {
      EXPECT_EQ(device.Get(), nullptr);
      EXPECT_EQ(context.Get(), nullptr);
      continue;
    }
    EXPECT_EQ(level, c.level);
    EXPECT_EQ(device->GetFeatureLevel(), c.level);
    EXPECT_EQ(device->GetCreationFlags(), c.flags);
    EXPECT_EQ(AdapterOf(device.Get()), c.adapter);
    ComRef<ID3D11Device> owner;
    context->GetDevice(owner.Put());
    EXPECT_EQ(owner.Get(), device.Get());
  }
  // Without a device pointer only the level is reported.
  D3D_FEATURE_LEVEL level{};
  EXPECT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, k111, 2,
                              D3D11_SDK_VERSION, nullptr, &level, nullptr),
            S_FALSE);
  EXPECT_EQ(level, D3D_FEATURE_LEVEL_11_1);
}

TEST_F(D3d11Test, TextureDescriptionsFollowTheUsageRules) {
  auto with = [](D3D11_TEXTURE2D_DESC desc, auto change) {
    change(desc);
    return desc;
  };
  const D3D11_TEXTURE2D_DESC target =
      TextureDesc(64, 32, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET);
  const D3D11_TEXTURE2D_DESC staging =
      TextureDesc(64, 32, D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_READ | D3D11_CPU_ACCESS_WRITE);
  const struct {
    const char* name;
    D3D11_TEXTURE2D_DESC desc;
    bool with_data;
    HRESULT hr;
  } cases[] = {
      {"render target", target, false, S_OK},
      {"staging", staging, false, S_OK},
      {"nv12 encoder input",
       TextureDesc(64, 32, D3D11_USAGE_DEFAULT, D3D11_BIND_VIDEO_ENCODER, 0, DXGI_FORMAT_NV12),
       false, S_OK},
      {"immutable with data", TextureDesc(64, 32, D3D11_USAGE_IMMUTABLE), true, S_OK},
      {"16384 wide", with(target, [](auto& d) { d.Width = 16384; }), false, S_OK},
      {"staging bound", with(staging, [](auto& d) { d.BindFlags = D3D11_BIND_SHADER_RESOURCE; }),
       false, E_INVALIDARG},
      {"staging without cpu access", with(staging, [](auto& d) { d.CPUAccessFlags = 0; }), false,
       E_INVALIDARG},
      {"default with cpu access",
       with(target, [](auto& d) { d.CPUAccessFlags = D3D11_CPU_ACCESS_READ; }), false,
       E_INVALIDARG},
      {"immutable without data", TextureDesc(64, 32, D3D11_USAGE_IMMUTABLE), false, E_INVALIDARG},
      {"misc flags with cpu access",
       with(staging, [](auto& d) { d.MiscFlags = D3D11_RESOURCE_MISC_SHARED; }), false,
       E_INVALIDARG},
      {"vertex buffer bind", with(target, [](auto& d) { d.BindFlags = D3D11_BIND_VERTEX_BUFFER; }),
       false, E_INVALIDARG},
      {"zero width", with(target, [](auto& d) { d.Width = 0; }), false, E_INVALIDARG},
      {"too tall", with(target, [](auto& d) { d.Height = 16385; }), false, E_INVALIDARG},
      {"odd nv12", TextureDesc(63, 32, D3D11_USAGE_DEFAULT, 0, 0, DXGI_FORMAT_NV12), false,
       E_INVALIDARG},
      {"unknown format", with(target, [](auto& d) { d.Format = DXGI_FORMAT_UNKNOWN; }), false,
       E_INVALIDARG},
      {"no samples", with(target, [](auto& d) { d.SampleDesc.Count = 0; }), false, E_INVALIDARG},
      {"mip chain", with(target, [](auto& d) { d.MipLevels = 0; }), false, E_NOTIMPL},
      {"array", with(target, [](auto& d) { d.ArraySize = 2; }), false, E_NOTIMPL},
      {"dynamic",
       TextureDesc(64, 32, D3D11_USAGE_DYNAMIC, D3D11_BIND_SHADER_RESOURCE, D3D11_CPU_ACCESS_WRITE),
       false, E_NOTIMPL},
  };
  ComRef<ID3D11Device> device;
  ComRef<ID3D11DeviceContext> context;
  MakeDevice(&device, &context);
  const std::vector<std::uint8_t> data(64 * 4 * 32, 0x5A);
  const D3D11_SUBRESOURCE_DATA initial{data.data(), 64 * 4, 0};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ComRef<ID3D11Texture2D> texture;
    EXPECT_EQ(device->CreateTexture2D(&c.desc, c.with_data ? &initial : nullptr, texture.Put()),
              c.hr);
    EXPECT_EQ(texture.Get() != nullptr, c.hr == S_OK);
    // A null texture pointer only validates the description.
    EXPECT_EQ(device->CreateTexture2D(&c.desc, c.with_data ? &initial : nullptr, nullptr),
              c.hr == S_OK ? S_FALSE : c.hr);
  }
  ComRef<ID3D11Texture2D> texture;
  EXPECT_EQ(device->CreateTexture2D(nullptr, nullptr, texture.Put()), E_INVALIDARG);
  const D3D11_SUBRESOURCE_DATA short_rows{data.data(), 64 * 4 - 1, 0};
  EXPECT_EQ(device->CreateTexture2D(&target, &short_rows, texture.Put()), E_INVALIDARG);
}

TEST_F(D3d11Test, MapAllowsOnlyWhatTheCpuAccessGrants) {
  ComRef<ID3D11Device> device;
  ComRef<ID3D11DeviceContext> context;
  MakeDevice(&device, &context);
  auto make = [&](const D3D11_TEXTURE2D_DESC& desc, ComRef<ID3D11Texture2D>* texture) {
    ASSERT_EQ(device->CreateTexture2D(&desc, nullptr, texture->Put()), S_OK);
  };
  ComRef<ID3D11Texture2D> gpu, read, write;
  make(TextureDesc(64, 16, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET), &gpu);
  make(TextureDesc(64, 16, D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_READ), &read);
  make(TextureDesc(64, 16, D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_WRITE), &write);
  const struct {
    const char* name;
    ID3D11Texture2D* texture;
    UINT subresource;
    D3D11_MAP type;
    UINT flags;
    HRESULT hr;
  } cases[] = {
      {"read staging", read.Get(), 0, D3D11_MAP_READ, 0, S_OK},
      {"read without waiting", read.Get(), 0, D3D11_MAP_READ, D3D11_MAP_FLAG_DO_NOT_WAIT, S_OK},
      {"write staging", write.Get(), 0, D3D11_MAP_WRITE, 0, S_OK},
      {"default texture", gpu.Get(), 0, D3D11_MAP_READ, 0, E_INVALIDARG},
      {"write a read-only staging", read.Get(), 0, D3D11_MAP_WRITE, 0, E_INVALIDARG},
      {"read a write-only staging", write.Get(), 0, D3D11_MAP_READ_WRITE, 0, E_INVALIDARG},
      {"discard is for dynamic", write.Get(), 0, D3D11_MAP_WRITE_DISCARD, 0, E_INVALIDARG},
      {"subresource 1", read.Get(), 1, D3D11_MAP_READ, 0, E_INVALIDARG},
      {"unknown flag", read.Get(), 0, D3D11_MAP_READ, 0x1, E_INVALIDARG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    EXPECT_EQ(context->Map(c.texture, c.subresource, c.type, c.flags, &mapped), c.hr);
    if (c.hr != S_OK) continue;
    EXPECT_NE(mapped.pData, nullptr);
    // Rows are not packed, even where 256-byte alignment would pack them.
    EXPECT_GT(mapped.RowPitch, 64u * 4);
    D3D11_MAPPED_SUBRESOURCE again{};
    EXPECT_EQ(context->Map(c.texture, 0, c.type, 0, &again), E_INVALIDARG);
    context->Unmap(c.texture, 0);
  }
  EXPECT_EQ(context->Map(read.Get(), 0, D3D11_MAP_READ, 0, nullptr), E_INVALIDARG);
}

// A render target cleared, copied whole and in part, and read back mapped:
// exact pixels, and what a copy that breaks a rule leaves alone.
TEST_F(D3d11Test, ClearsAndCopiesKeepPixelsExactlyAndIgnoreBrokenCopies) {
  ComRef<ID3D11Device> device;
  ComRef<ID3D11DeviceContext> context;
  MakeDevice(&device, &context);
  const D3D11_TEXTURE2D_DESC target_desc =
      TextureDesc(6, 4, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET);
  ComRef<ID3D11Texture2D> target, other;
  ASSERT_EQ(device->CreateTexture2D(&target_desc, nullptr, target.Put()), S_OK);
  ASSERT_EQ(device->CreateTexture2D(&target_desc, nullptr, other.Put()), S_OK);
  ComRef<ID3D11RenderTargetView> view, other_view;
  ASSERT_EQ(device->CreateRenderTargetView(target.Get(), nullptr, view.Put()), S_OK);
  ASSERT_EQ(device->CreateRenderTargetView(other.Get(), nullptr, other_view.Put()), S_OK);
  const FLOAT orange[4] = {1.0f, 0.5f, 0.0f, 1.0f};
  const FLOAT blue[4] = {0.0f, 0.0f, 1.0f, 0.25f};
  context->ClearRenderTargetView(view.Get(), orange);
  context->ClearRenderTargetView(other_view.Get(), blue);
  EXPECT_EQ(ReadBack(device.Get(), context.Get(), target.Get()),
            std::vector<std::uint32_t>(24, 0xFFFF8000u));  // B8G8R8A8 little-endian

  // Two columns and one row of `other` into `target` at (3, 2).
  const D3D11_BOX box{1, 1, 0, 3, 2, 1};
  context->CopySubresourceRegion(target.Get(), 0, 3, 2, 0, other.Get(), 0, &box);
  std::vector<std::uint32_t> expected(24, 0xFFFF8000u);
  expected[2 * 6 + 3] = expected[2 * 6 + 4] = 0x400000FFu;
  EXPECT_EQ(ReadBack(device.Get(), context.Get(), target.Get()), expected);

  ComRef<ID3D11Texture2D> small, rgba;
  const D3D11_TEXTURE2D_DESC small_desc = TextureDesc(4, 4, D3D11_USAGE_DEFAULT);
  const D3D11_TEXTURE2D_DESC rgba_desc =
      TextureDesc(6, 4, D3D11_USAGE_DEFAULT, 0, 0, DXGI_FORMAT_R8G8B8A8_UNORM);
  ASSERT_EQ(device->CreateTexture2D(&small_desc, nullptr, small.Put()), S_OK);
  ASSERT_EQ(device->CreateTexture2D(&rgba_desc, nullptr, rgba.Put()), S_OK);
  const D3D11_BOX empty{2, 0, 0, 2, 4, 1};
  const D3D11_BOX outside{4, 0, 0, 7, 4, 1};
  const struct {
    const char* name;
    bool whole;
    ID3D11Texture2D* source;
    UINT x, y;
    const D3D11_BOX* box;
  } ignored[] = {
      {"other size", true, small.Get(), 0, 0, nullptr},
      {"other format group", true, rgba.Get(), 0, 0, nullptr},
      {"same texture", true, target.Get(), 0, 0, nullptr},
      {"empty box", false, other.Get(), 0, 0, &empty},
      {"box outside the source", false, other.Get(), 0, 0, &outside},
      {"region past the destination", false, other.Get(), 5, 0, nullptr},
  };
  for (const auto& c : ignored) {
    SCOPED_TRACE(c.name);
    if (c.whole) {
      context->CopyResource(target.Get(), c.source);
    } else {
      context->CopySubresourceRegion(target.Get(), 0, c.x, c.y, 0, c.source, 0, c.box);
    }
    EXPECT_EQ(ReadBack(device.Get(), context.Get(), target.Get()), expected);
  }
  context->CopyResource(target.Get(), other.Get());
  EXPECT_EQ(ReadBack(device.Get(), context.Get(), target.Get()),
            std::vector<std::uint32_t>(24, 0x400000FFu));

  // Whole copies share pixels until a write: each side keeps its own.
  context->ClearRenderTargetView(other_view.Get(), orange);
  EXPECT_EQ(ReadBack(device.Get(), context.Get(), target.Get()),
            std::vector<std::uint32_t>(24, 0x400000FFu));
  context->CopySubresourceRegion(other.Get(), 0, 0, 0, 0, target.Get(), 0, nullptr);
  const std::uint32_t green = 0xFF00FF00u;
  const D3D11_BOX pixel{5, 3, 0, 6, 4, 1};
  context->UpdateSubresource(target.Get(), 0, &pixel, &green, 4, 4);
  EXPECT_EQ(ReadBack(device.Get(), context.Get(), other.Get()),
            std::vector<std::uint32_t>(24, 0x400000FFu));
  expected.assign(24, 0x400000FFu);
  expected[23] = green;
  EXPECT_EQ(ReadBack(device.Get(), context.Get(), target.Get()), expected);
}

// Render-target views need a render-target texture and a view format of its
// group; what other simulation code reads is the documented layout.
TEST_F(D3d11Test, ViewsAndThePixelLayoutOtherCodeReads) {
  ComRef<ID3D11Device> device;
  ComRef<ID3D11DeviceContext> context;
  MakeDevice(&device, &context);
  ComRef<ID3D11Texture2D> plain, typeless;
  const D3D11_TEXTURE2D_DESC plain_desc = TextureDesc(4, 2, D3D11_USAGE_DEFAULT);
  const D3D11_TEXTURE2D_DESC typeless_desc = TextureDesc(
      4, 2, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET, 0, DXGI_FORMAT_B8G8R8A8_TYPELESS);
  ASSERT_EQ(device->CreateTexture2D(&plain_desc, nullptr, plain.Put()), S_OK);
  ASSERT_EQ(device->CreateTexture2D(&typeless_desc, nullptr, typeless.Put()), S_OK);
  ComRef<ID3D11RenderTargetView> view;
  EXPECT_EQ(device->CreateRenderTargetView(plain.Get(), nullptr, view.Put()), E_INVALIDARG);
  EXPECT_EQ(device->CreateRenderTargetView(typeless.Get(), nullptr, view.Put()), E_INVALIDARG);
  D3D11_RENDER_TARGET_VIEW_DESC srgb{};
  srgb.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
  srgb.ViewDimension = D3D11_RTV_DIMENSION_TEXTURE2D;
  EXPECT_EQ(device->CreateRenderTargetView(typeless.Get(), &srgb, view.Put()), E_INVALIDARG);
  srgb.Format = DXGI_FORMAT_B8G8R8A8_UNORM_SRGB;
  ASSERT_EQ(device->CreateRenderTargetView(typeless.Get(), &srgb, view.Put()), S_OK);
  const FLOAT grey[4] = {0.5f, 0.5f, 0.5f, 1.0f};
  context->ClearRenderTargetView(view.Get(), grey);  // sRGB-encoded: 0xBC
  std::uint32_t first = 0;
  UINT pitch = 0;
  EXPECT_TRUE(winsim::d3d11::UseTexturePixels(
      typeless.Get(), [&](const winsim::d3d11::TexturePixels& pixels) {
        std::memcpy(&first, pixels.bits + pixels.row_pitch, 4);
        pitch = pixels.row_pitch;
      }));
  EXPECT_EQ(first, 0xFFBCBCBCu);
  EXPECT_GT(pitch, 4u * 4);

  // NV12: luma rows, then interleaved chroma rows, from the initial data.
  std::vector<std::uint8_t> nv12(4 * 2 + 4 * 1);
  for (std::size_t i = 0; i < nv12.size(); ++i) nv12[i] = static_cast<std::uint8_t>(i + 1);
  const D3D11_SUBRESOURCE_DATA data{nv12.data(), 4, 0};
  const D3D11_TEXTURE2D_DESC nv12_desc =
      TextureDesc(4, 2, D3D11_USAGE_DEFAULT, 0, 0, DXGI_FORMAT_NV12);
  ComRef<ID3D11Texture2D> frame;
  ASSERT_EQ(device->CreateTexture2D(&nv12_desc, &data, frame.Put()), S_OK);
  std::vector<std::uint8_t> read;
  EXPECT_TRUE(
      winsim::d3d11::UseTexturePixels(frame.Get(), [&](const winsim::d3d11::TexturePixels& pixels) {
        for (UINT row = 0; row < 3; ++row) {
          const BYTE* line = pixels.bits + std::size_t{row} * pixels.row_pitch;
          read.insert(read.end(), line, line + 4);
        }
      }));
  EXPECT_EQ(read, nv12);
  EXPECT_FALSE(winsim::d3d11::UseTexturePixels(device.Get(), [](const auto&) {}));
}

// Textures answer for their DXGI interfaces and keep their device alive;
// the context and the device keep each other; all are counted.
TEST_F(D3d11Test, ObjectsAreCountedAndKeepTheirDevice) {
  ComRef<IDXGISurface> surface;
  {
    ComRef<ID3D11Device> device;
    ComRef<ID3D11DeviceContext> context;
    MakeDevice(&device, &context);
    const D3D11_TEXTURE2D_DESC desc = TextureDesc(8, 2, D3D11_USAGE_DEFAULT);
    ComRef<ID3D11Texture2D> texture;
    ASSERT_EQ(device->CreateTexture2D(&desc, nullptr, texture.Put()), S_OK);
    ASSERT_EQ(texture->QueryInterface(IID_IDXGISurface, surface.PutVoid()), S_OK);
    ComRef<IDXGIResource> resource;
    EXPECT_EQ(surface->QueryInterface(IID_IDXGIResource, resource.PutVoid()), S_OK);
    ComRef<ID3D11Texture2D> back;
    EXPECT_EQ(resource->QueryInterface(IID_ID3D11Texture2D, back.PutVoid()), S_OK);
    EXPECT_EQ(back.Get(), texture.Get());
    ComRef<ID3D10Multithread> multithread;
    ASSERT_EQ(context->QueryInterface(IID_ID3D10Multithread, multithread.PutVoid()), S_OK);
    EXPECT_FALSE(multithread->SetMultithreadProtected(TRUE));
    EXPECT_TRUE(multithread->GetMultithreadProtected());
    multithread->Enter();
    multithread->Leave();
    auto live = winsim::LiveObjects();
    EXPECT_EQ(live["com:ID3D11Device"], 1);
    EXPECT_EQ(live["com:ID3D11DeviceContext"], 1);
    EXPECT_EQ(live["com:ID3D11Texture2D"], 1);
  }
  EXPECT_EQ(winsim::LiveObjects()["com:ID3D11Device"], 1);  // held by the surface
  DXGI_SURFACE_DESC desc{};
  ASSERT_EQ(surface->GetDesc(&desc), S_OK);
  EXPECT_EQ(desc.Width, 8u);
  EXPECT_EQ(desc.Format, DXGI_FORMAT_B8G8R8A8_UNORM);
  ComRef<ID3D11Device> device;
  ASSERT_EQ(surface->GetDevice(IID_ID3D11Device, device.PutVoid()), S_OK);
  ComRef<ID3D11DeviceContext> context;
  device->GetImmediateContext(context.Put());
  device.Reset();
  surface.Reset();
  EXPECT_EQ(winsim::LiveObjects()["com:ID3D11Device"], 1);  // held by the context
}

TEST_F(D3d11Test, InjectedFailuresHandNothingOut) {
  const HRESULT hr = DXGI_ERROR_DEVICE_REMOVED;
  ComRef<ID3D11Device> device;
  ComRef<ID3D11DeviceContext> context;
  winsim::FailCall("D3D11CreateDevice", hr);
  EXPECT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                              D3D11_SDK_VERSION, device.Put(), nullptr, context.Put()),
            hr);
  EXPECT_EQ(device.Get(), nullptr);
  MakeDevice(&device, &context);
  const D3D11_TEXTURE2D_DESC desc =
      TextureDesc(8, 8, D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_READ);
  ComRef<ID3D11Texture2D> texture;
  winsim::FailCall("ID3D11Device::CreateTexture2D", hr);
  EXPECT_EQ(device->CreateTexture2D(&desc, nullptr, texture.Put()), hr);
  EXPECT_EQ(texture.Get(), nullptr);
  ASSERT_EQ(device->CreateTexture2D(&desc, nullptr, texture.Put()), S_OK);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  winsim::FailCall("ID3D11DeviceContext::Map", hr);
  EXPECT_EQ(context->Map(texture.Get(), 0, D3D11_MAP_READ, 0, &mapped), hr);
  winsim::FailCall("ID3D11Device::GetDeviceRemovedReason", hr);
  EXPECT_EQ(device->GetDeviceRemovedReason(), hr);
  EXPECT_EQ(device->GetDeviceRemovedReason(), S_OK);
  UINT support = 0;
  winsim::FailCall("ID3D11Device::CheckFormatSupport", hr);
  EXPECT_EQ(device->CheckFormatSupport(DXGI_FORMAT_NV12, &support), hr);
  ComRef<IDXGIDevice> dxgi;
  ASSERT_EQ(device->QueryInterface(IID_IDXGIDevice, dxgi.PutVoid()), S_OK);
  ComRef<IDXGIAdapter> adapter;
  winsim::FailCall("IDXGIDevice::GetAdapter", hr);
  EXPECT_EQ(dxgi->GetAdapter(adapter.Put()), hr);
  EXPECT_EQ(adapter.Get(), nullptr);
  const D3D11_TEXTURE2D_DESC target =
      TextureDesc(8, 8, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET);
  ComRef<ID3D11Texture2D> drawn;
  ASSERT_EQ(device->CreateTexture2D(&target, nullptr, drawn.Put()), S_OK);
  ComRef<ID3D11RenderTargetView> view;
  winsim::FailCall("ID3D11Device::CreateRenderTargetView", hr);
  EXPECT_EQ(device->CreateRenderTargetView(drawn.Get(), nullptr, view.Put()), hr);
  EXPECT_EQ(view.Get(), nullptr);
}

}  // namespace
