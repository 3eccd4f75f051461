// Direct3D 11 video processing on the simulated machine: who offers it, the
// argument rules of the Create calls and of VideoProcessorBlt, the pixels a
// Blt draws (scaling, letterbox, crop, target rectangle, RGB and NV12
// output), the processor's state, injected failures and lifetimes.
#include <d3d11.h>
#include <gtest/gtest.h>
#include <winsim.h>

#include <cstdint>
#include <functional>
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
using Pixels = std::vector<std::uint32_t>;
using SetState = std::function<void(ID3D11VideoContext*, ID3D11VideoProcessor*)>;

constexpr std::uint32_t kUntouched = 0x12345678u;

D3D11_VIDEO_PROCESSOR_CONTENT_DESC ContentDesc(UINT width, UINT height) {
  D3D11_VIDEO_PROCESSOR_CONTENT_DESC desc{};
  desc.InputFrameFormat = D3D11_VIDEO_FRAME_FORMAT_PROGRESSIVE;
  desc.InputFrameRate = {60, 1};
  desc.InputWidth = desc.OutputWidth = width;
  desc.InputHeight = desc.OutputHeight = height;
  desc.OutputFrameRate = {60, 1};
  desc.Usage = D3D11_VIDEO_USAGE_OPTIMAL_SPEED;
  return desc;
}

D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC InputDesc() {
  D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC desc{};
  desc.ViewDimension = D3D11_VPIV_DIMENSION_TEXTURE2D;
  return desc;
}

D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC OutputDesc() {
  D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC desc{};
  desc.ViewDimension = D3D11_VPOV_DIMENSION_TEXTURE2D;
  return desc;
}

D3D11_VIDEO_COLOR Rgba(float r, float g, float b) {
  D3D11_VIDEO_COLOR color{};
  color.RGBA = {r, g, b, 1.0f};
  return color;
}

// A device with its video interfaces, one enumerator and one processor.
class D3d11VideoTest : public machine_test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    MakeDevice(&device_, &context_);
    ASSERT_EQ(device_->QueryInterface(IID_ID3D11VideoDevice, video_.PutVoid()), S_OK);
    ASSERT_EQ(context_->QueryInterface(IID_ID3D11VideoContext, video_context_.PutVoid()), S_OK);
    const D3D11_VIDEO_PROCESSOR_CONTENT_DESC content = ContentDesc(64, 64);
    ASSERT_EQ(video_->CreateVideoProcessorEnumerator(&content, enumerator_.Put()), S_OK);
    ASSERT_EQ(video_->CreateVideoProcessor(enumerator_.Get(), 0, processor_.Put()), S_OK);
  }

  // A default texture of `format` and `bind`, filled with `pixels` (4-byte
  // formats, rows packed) or zeros.
  void MakeTexture(UINT width, UINT height, DXGI_FORMAT format, UINT bind, const Pixels& pixels,
                   ComRef<ID3D11Texture2D>* texture) {
    const D3D11_TEXTURE2D_DESC desc =
        TextureDesc(width, height, D3D11_USAGE_DEFAULT, bind, 0, format);
    std::vector<std::uint8_t> zeros(std::size_t{width} * height * 8);
    const D3D11_SUBRESOURCE_DATA data{
        pixels.empty() ? static_cast<const void*>(zeros.data()) : pixels.data(), width * 4, 0};
    ASSERT_EQ(device_->CreateTexture2D(&desc, &data, texture->Put()), S_OK);
  }

  // One Blt of `input` (null: a disabled stream) into `output` after `set`,
  // from the processor's default state.
  HRESULT Blt(ID3D11Texture2D* input, ID3D11Texture2D* output, const SetState& set) {
    ComRef<ID3D11VideoProcessorInputView> in;
    ComRef<ID3D11VideoProcessorOutputView> out;
    const D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC in_desc = InputDesc();
    const D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC out_desc = OutputDesc();
    if (input != nullptr) {
      EXPECT_EQ(video_->CreateVideoProcessorInputView(input, enumerator_.Get(), &in_desc, in.Put()),
                S_OK);
    }
    EXPECT_EQ(
        video_->CreateVideoProcessorOutputView(output, enumerator_.Get(), &out_desc, out.Put()),
        S_OK);
    const D3D11_VIDEO_PROCESSOR_COLOR_SPACE space{};
    video_context_->VideoProcessorSetOutputTargetRect(processor_.Get(), FALSE, nullptr);
    video_context_->VideoProcessorSetStreamSourceRect(processor_.Get(), 0, FALSE, nullptr);
    video_context_->VideoProcessorSetStreamDestRect(processor_.Get(), 0, FALSE, nullptr);
    video_context_->VideoProcessorSetOutputColorSpace(processor_.Get(), &space);
    video_context_->VideoProcessorSetStreamColorSpace(processor_.Get(), 0, &space);
    if (set) set(video_context_.Get(), processor_.Get());
    D3D11_VIDEO_PROCESSOR_STREAM stream{};
    stream.Enable = input != nullptr ? TRUE : FALSE;
    stream.pInputSurface = in.Get();
    return video_context_->VideoProcessorBlt(processor_.Get(), out.Get(), 0, 1, &stream);
  }

  ComRef<ID3D11Device> device_;
  ComRef<ID3D11DeviceContext> context_;
  ComRef<ID3D11VideoDevice> video_;
  ComRef<ID3D11VideoContext> video_context_;
  ComRef<ID3D11VideoProcessorEnumerator> enumerator_;
  ComRef<ID3D11VideoProcessor> processor_;
};

// A green background, then `more`.
SetState Green(SetState more = {}) {
  return [more](ID3D11VideoContext* context, ID3D11VideoProcessor* processor) {
    const D3D11_VIDEO_COLOR green = Rgba(0, 1, 0);
    context->VideoProcessorSetOutputBackgroundColor(processor, FALSE, &green);
    if (more) more(context, processor);
  };
}

// A green background and the stream's destination rectangle, then `more`.
SetState Dest(RECT dest, SetState more = {}) {
  return Green([dest, more](ID3D11VideoContext* context, ID3D11VideoProcessor* processor) {
    context->VideoProcessorSetStreamDestRect(processor, 0, TRUE, &dest);
    if (more) more(context, processor);
  });
}

class D3d11VideoMachineTest : public machine_test::MachineTest {};

// Which devices offer video processing: the GPU's, unless its driver has
// none; never the basic render driver.
TEST_F(D3d11VideoMachineTest, VideoInterfacesFollowTheMachinesGpu) {
  const struct {
    const char* machine;
    D3D_DRIVER_TYPE type;
    HRESULT hr;
  } cases[] = {
      {"{}", D3D_DRIVER_TYPE_HARDWARE, S_OK},
      {R"({"gpu": {"video_processor": true}})", D3D_DRIVER_TYPE_HARDWARE, S_OK},
      {R"({"gpu": {"video_processor": false}})", D3D_DRIVER_TYPE_HARDWARE, E_NOINTERFACE},
      {R"({"gpu": null})", D3D_DRIVER_TYPE_HARDWARE, E_NOINTERFACE},
      {"{}", D3D_DRIVER_TYPE_WARP, E_NOINTERFACE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.machine) + (c.type == D3D_DRIVER_TYPE_WARP ? " warp" : ""));
    winsim::ResetMachine();
    std::string error;
    ASSERT_TRUE(winsim::LoadMachineJson(c.machine, &error)) << error;
    ComRef<ID3D11Device> device;
    ComRef<ID3D11DeviceContext> context;
    ASSERT_EQ(D3D11CreateDevice(nullptr, c.type, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                device.Put(), nullptr, context.Put()),
              S_OK);
    ComRef<ID3D11VideoDevice> video;
    ComRef<ID3D11VideoContext> video_context;
    EXPECT_EQ(device->QueryInterface(IID_ID3D11VideoDevice, video.PutVoid()), c.hr);
    EXPECT_EQ(context->QueryInterface(IID_ID3D11VideoContext, video_context.PutVoid()), c.hr);
    if (FAILED(c.hr)) continue;
    // The video interfaces are the device's and the context's own.
    ComRef<ID3D11Device> back;
    ASSERT_EQ(video->QueryInterface(IID_ID3D11Device, back.PutVoid()), S_OK);
    EXPECT_EQ(back.Get(), device.Get());
    ComRef<ID3D11DeviceContext> context_back;
    ASSERT_EQ(video_context->QueryInterface(IID_ID3D11DeviceContext, context_back.PutVoid()), S_OK);
    EXPECT_EQ(context_back.Get(), context.Get());
  }
}

TEST_F(D3d11VideoTest, EnumeratorTakesValidContentAndReportsItsFormatsAndCaps) {
  const struct {
    const char* name;
    std::function<void(D3D11_VIDEO_PROCESSOR_CONTENT_DESC&)> change;
    HRESULT hr;
  } cases[] = {
      {"valid", [](auto&) {}, S_OK},
      {"interlaced",
       [](auto& d) { d.InputFrameFormat = D3D11_VIDEO_FRAME_FORMAT_INTERLACED_BOTTOM_FIELD_FIRST; },
       S_OK},
      {"16384 wide", [](auto& d) { d.InputWidth = 16384; }, S_OK},
      {"zero input width", [](auto& d) { d.InputWidth = 0; }, E_INVALIDARG},
      {"zero input height", [](auto& d) { d.InputHeight = 0; }, E_INVALIDARG},
      {"zero output width", [](auto& d) { d.OutputWidth = 0; }, E_INVALIDARG},
      {"zero output height", [](auto& d) { d.OutputHeight = 0; }, E_INVALIDARG},
      {"16385 high", [](auto& d) { d.OutputHeight = 16385; }, E_INVALIDARG},
      {"unknown frame format",
       [](auto& d) { d.InputFrameFormat = static_cast<D3D11_VIDEO_FRAME_FORMAT>(3); },
       E_INVALIDARG},
      {"unknown usage", [](auto& d) { d.Usage = static_cast<D3D11_VIDEO_USAGE>(3); }, E_INVALIDARG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    D3D11_VIDEO_PROCESSOR_CONTENT_DESC desc = ContentDesc(1920, 1080);
    c.change(desc);
    ComRef<ID3D11VideoProcessorEnumerator> enumerator;
    EXPECT_EQ(video_->CreateVideoProcessorEnumerator(&desc, enumerator.Put()), c.hr);
    EXPECT_EQ(enumerator.Get() != nullptr, c.hr == S_OK);
  }
  ComRef<ID3D11VideoProcessorEnumerator> none;
  EXPECT_EQ(video_->CreateVideoProcessorEnumerator(nullptr, none.Put()), E_INVALIDARG);

  const struct {
    DXGI_FORMAT format;
    UINT flags;
  } formats[] = {
      {DXGI_FORMAT_B8G8R8A8_UNORM, 3},      {DXGI_FORMAT_R8G8B8A8_UNORM, 3}, {DXGI_FORMAT_NV12, 3},
      {DXGI_FORMAT_B8G8R8A8_UNORM_SRGB, 0}, {DXGI_FORMAT_UNKNOWN, 0},
  };
  for (const auto& f : formats) {
    UINT flags = 99;
    EXPECT_EQ(enumerator_->CheckVideoProcessorFormat(f.format, &flags), S_OK);
    EXPECT_EQ(flags, f.flags) << f.format;
  }
  D3D11_VIDEO_PROCESSOR_CAPS caps{};
  ASSERT_EQ(enumerator_->GetVideoProcessorCaps(&caps), S_OK);
  EXPECT_EQ(caps.MaxInputStreams, 1u);
  EXPECT_EQ(caps.MaxStreamStates, 1u);
  EXPECT_EQ(caps.RateConversionCapsCount, 1u);
  D3D11_VIDEO_PROCESSOR_RATE_CONVERSION_CAPS rate{};
  EXPECT_EQ(enumerator_->GetVideoProcessorRateConversionCaps(0, &rate), S_OK);
  EXPECT_EQ(enumerator_->GetVideoProcessorRateConversionCaps(1, &rate), E_INVALIDARG);
  D3D11_VIDEO_PROCESSOR_CONTENT_DESC content{};
  ASSERT_EQ(enumerator_->GetVideoProcessorContentDesc(&content), S_OK);
  EXPECT_EQ(content.InputWidth, 64u);

  ComRef<ID3D11VideoProcessor> processor;
  EXPECT_EQ(video_->CreateVideoProcessor(enumerator_.Get(), 1, processor.Put()), E_INVALIDARG);
  EXPECT_EQ(video_->CreateVideoProcessor(nullptr, 0, processor.Put()), E_INVALIDARG);
  EXPECT_EQ(processor.Get(), nullptr);
}

// The textures and descriptions each view takes; a null view pointer only
// checks.
TEST_F(D3d11VideoTest, ViewsTakeDefaultTexturesOfTheirFormatsAndBinds) {
  using Change = std::function<void(D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC&,
                                    D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC&)>;
  const Change same = [](auto&, auto&) {};
  const struct {
    const char* name;
    D3D11_TEXTURE2D_DESC texture;
    Change change;
    HRESULT input, output;
  } cases[] = {
      {"bgra render target", TextureDesc(8, 8, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET), same,
       S_OK, S_OK},
      {"rgba unbound", TextureDesc(8, 8, D3D11_USAGE_DEFAULT, 0, 0, DXGI_FORMAT_R8G8B8A8_UNORM),
       same, S_OK, E_INVALIDARG},
      {"nv12 render target",
       TextureDesc(8, 8, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET, 0, DXGI_FORMAT_NV12), same,
       S_OK, S_OK},
      {"shader resource only", TextureDesc(8, 8, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE),
       same, E_INVALIDARG, E_INVALIDARG},
      {"decoder bind with shader resource",
       TextureDesc(8, 8, D3D11_USAGE_DEFAULT, D3D11_BIND_DECODER | D3D11_BIND_SHADER_RESOURCE),
       same, S_OK, E_INVALIDARG},
      {"staging", TextureDesc(8, 8, D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_READ), same,
       E_INVALIDARG, E_INVALIDARG},
      {"srgb",
       TextureDesc(8, 8, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET, 0,
                   DXGI_FORMAT_B8G8R8A8_UNORM_SRGB),
       same, E_INVALIDARG, E_INVALIDARG},
      {"mip slice 1", TextureDesc(8, 8, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET),
       [](auto& in, auto& out) { in.Texture2D.MipSlice = out.Texture2D.MipSlice = 1; },
       E_INVALIDARG, E_INVALIDARG},
      {"array slice 1", TextureDesc(8, 8, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET),
       [](auto& in, auto&) { in.Texture2D.ArraySlice = 1; }, E_INVALIDARG, S_OK},
      {"unknown dimensions", TextureDesc(8, 8, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET),
       [](auto& in, auto& out) {
         in.ViewDimension = D3D11_VPIV_DIMENSION_UNKNOWN;
         out.ViewDimension = D3D11_VPOV_DIMENSION_UNKNOWN;
       },
       E_INVALIDARG, E_INVALIDARG},
      {"fourcc", TextureDesc(8, 8, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET),
       [](auto& in, auto&) { in.FourCC = 0x3231564E; }, E_INVALIDARG, S_OK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ComRef<ID3D11Texture2D> texture;
    ASSERT_EQ(device_->CreateTexture2D(&c.texture, nullptr, texture.Put()), S_OK);
    D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC in_desc = InputDesc();
    D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC out_desc = OutputDesc();
    c.change(in_desc, out_desc);
    ComRef<ID3D11VideoProcessorInputView> in;
    ComRef<ID3D11VideoProcessorOutputView> out;
    EXPECT_EQ(
        video_->CreateVideoProcessorInputView(texture.Get(), enumerator_.Get(), &in_desc, in.Put()),
        c.input);
    EXPECT_EQ(in.Get() != nullptr, c.input == S_OK);
    EXPECT_EQ(
        video_->CreateVideoProcessorInputView(texture.Get(), enumerator_.Get(), &in_desc, nullptr),
        c.input == S_OK ? S_FALSE : c.input);
    EXPECT_EQ(video_->CreateVideoProcessorOutputView(texture.Get(), enumerator_.Get(), &out_desc,
                                                     out.Put()),
              c.output);
    EXPECT_EQ(out.Get() != nullptr, c.output == S_OK);
    EXPECT_EQ(video_->CreateVideoProcessorOutputView(texture.Get(), enumerator_.Get(), &out_desc,
                                                     nullptr),
              c.output == S_OK ? S_FALSE : c.output);
  }
}

// A texture, an enumerator or a processor of another device, or no
// description.
TEST_F(D3d11VideoTest, ObjectsOfAnotherDeviceAreRefused) {
  ComRef<ID3D11Device> other;
  ComRef<ID3D11DeviceContext> other_context;
  MakeDevice(&other, &other_context);
  ComRef<ID3D11VideoDevice> other_video;
  ASSERT_EQ(other->QueryInterface(IID_ID3D11VideoDevice, other_video.PutVoid()), S_OK);
  const D3D11_VIDEO_PROCESSOR_CONTENT_DESC content = ContentDesc(8, 8);
  ComRef<ID3D11VideoProcessorEnumerator> other_enumerator;
  ASSERT_EQ(other_video->CreateVideoProcessorEnumerator(&content, other_enumerator.Put()), S_OK);
  const D3D11_TEXTURE2D_DESC desc =
      TextureDesc(8, 8, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET);
  ComRef<ID3D11Texture2D> mine, theirs;
  ASSERT_EQ(device_->CreateTexture2D(&desc, nullptr, mine.Put()), S_OK);
  ASSERT_EQ(other->CreateTexture2D(&desc, nullptr, theirs.Put()), S_OK);
  const D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC in_desc = InputDesc();
  const D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC out_desc = OutputDesc();
  ComRef<ID3D11VideoProcessorInputView> in;
  ComRef<ID3D11VideoProcessorOutputView> out;
  EXPECT_EQ(
      video_->CreateVideoProcessorInputView(theirs.Get(), enumerator_.Get(), &in_desc, in.Put()),
      E_INVALIDARG);
  EXPECT_EQ(
      video_->CreateVideoProcessorInputView(mine.Get(), other_enumerator.Get(), &in_desc, in.Put()),
      E_INVALIDARG);
  EXPECT_EQ(video_->CreateVideoProcessorInputView(mine.Get(), enumerator_.Get(), nullptr, in.Put()),
            E_INVALIDARG);
  EXPECT_EQ(
      video_->CreateVideoProcessorOutputView(theirs.Get(), enumerator_.Get(), &out_desc, out.Put()),
      E_INVALIDARG);
  ComRef<ID3D11VideoProcessor> processor;
  EXPECT_EQ(video_->CreateVideoProcessor(other_enumerator.Get(), 0, processor.Put()), E_INVALIDARG);
  // A Blt with the other device's processor, or into its texture.
  ASSERT_EQ(other_video->CreateVideoProcessor(other_enumerator.Get(), 0, processor.Put()), S_OK);
  ComRef<ID3D11VideoProcessorOutputView> theirs_out;
  ASSERT_EQ(other_video->CreateVideoProcessorOutputView(theirs.Get(), other_enumerator.Get(),
                                                        &out_desc, theirs_out.Put()),
            S_OK);
  ASSERT_EQ(
      video_->CreateVideoProcessorOutputView(mine.Get(), enumerator_.Get(), &out_desc, out.Put()),
      S_OK);
  const D3D11_VIDEO_PROCESSOR_STREAM stream{};
  EXPECT_EQ(video_context_->VideoProcessorBlt(processor.Get(), out.Get(), 0, 1, &stream),
            E_INVALIDARG);
  EXPECT_EQ(video_context_->VideoProcessorBlt(processor_.Get(), theirs_out.Get(), 0, 1, &stream),
            E_INVALIDARG);
  EXPECT_EQ(video_context_->VideoProcessorBlt(processor_.Get(), out.Get(), 0, 1, &stream), S_OK);
}

// What VideoProcessorBlt refuses; each case changes one argument of a Blt
// that works.
TEST_F(D3d11VideoTest, BltRefusesWhatItCannotProcess) {
  const D3D11_TEXTURE2D_DESC desc =
      TextureDesc(8, 8, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET);
  ComRef<ID3D11Texture2D> texture;
  ASSERT_EQ(device_->CreateTexture2D(&desc, nullptr, texture.Put()), S_OK);
  const D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC in_desc = InputDesc();
  const D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC out_desc = OutputDesc();
  ComRef<ID3D11VideoProcessorInputView> in;
  ComRef<ID3D11VideoProcessorOutputView> out;
  ASSERT_EQ(
      video_->CreateVideoProcessorInputView(texture.Get(), enumerator_.Get(), &in_desc, in.Put()),
      S_OK);
  ASSERT_EQ(video_->CreateVideoProcessorOutputView(texture.Get(), enumerator_.Get(), &out_desc,
                                                   out.Put()),
            S_OK);
  ID3D11VideoProcessorInputView* past[] = {in.Get()};
  const RECT outside{4, 4, 9, 8};
  const RECT inside{0, 0, 8, 8};
  const struct {
    const char* name;
    std::function<void(D3D11_VIDEO_PROCESSOR_STREAM&, ID3D11VideoProcessor*&,
                       ID3D11VideoProcessorOutputView*&, UINT&)>
        change;
    HRESULT hr;
  } cases[] = {
      {"valid", [](auto&, auto&, auto&, auto&) {}, S_OK},
      {"disabled stream without input",
       [](auto& s, auto&, auto&, auto&) { s.Enable = FALSE, s.pInputSurface = nullptr; }, S_OK},
      {"source rectangle inside the input",
       [&](auto&, auto& p, auto&, auto&) {
         video_context_->VideoProcessorSetStreamSourceRect(p, 0, TRUE, &inside);
       },
       S_OK},
      {"no processor", [](auto&, auto& p, auto&, auto&) { p = nullptr; }, E_INVALIDARG},
      {"no output view", [](auto&, auto&, auto& v, auto&) { v = nullptr; }, E_INVALIDARG},
      {"no streams", [](auto&, auto&, auto&, auto& n) { n = 0; }, E_INVALIDARG},
      {"two streams", [](auto&, auto&, auto&, auto& n) { n = 2; }, E_INVALIDARG},
      {"enabled without input", [](auto& s, auto&, auto&, auto&) { s.pInputSurface = nullptr; },
       E_INVALIDARG},
      {"past frames",
       [&](auto& s, auto&, auto&, auto&) { s.PastFrames = 1, s.ppPastSurfaces = past; },
       E_INVALIDARG},
      {"right eye", [&](auto& s, auto&, auto&, auto&) { s.pInputSurfaceRight = in.Get(); },
       E_INVALIDARG},
      {"source rectangle past the input",
       [&](auto&, auto& p, auto&, auto&) {
         video_context_->VideoProcessorSetStreamSourceRect(p, 0, TRUE, &outside);
       },
       E_INVALIDARG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    video_context_->VideoProcessorSetStreamSourceRect(processor_.Get(), 0, FALSE, nullptr);
    D3D11_VIDEO_PROCESSOR_STREAM stream{};
    stream.Enable = TRUE;
    stream.pInputSurface = in.Get();
    ID3D11VideoProcessor* processor = processor_.Get();
    ID3D11VideoProcessorOutputView* view = out.Get();
    UINT count = 1;
    c.change(stream, processor, view, count);
    EXPECT_EQ(video_context_->VideoProcessorBlt(processor, view, 0, count, &stream), c.hr);
  }
  D3D11_VIDEO_PROCESSOR_STREAM stream{};
  EXPECT_EQ(video_context_->VideoProcessorBlt(processor_.Get(), out.Get(), 0, 1, nullptr),
            E_INVALIDARG);
  EXPECT_EQ(video_context_->VideoProcessorBlt(processor_.Get(), nullptr, 0, 1, &stream),
            E_INVALIDARG);
}

// Pixels are B8G8R8A8 (0xAARRGGBB) unless the case says otherwise; the output
// starts as kUntouched everywhere.
TEST_F(D3d11VideoTest, BltScalesTheSourceIntoTheDestinationAndFillsTheRest) {
  constexpr std::uint32_t kGreen = 0xFF00FF00u, kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu;
  constexpr std::uint32_t kU = kUntouched;
  const Pixels grid4x4 = {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004,  //
                          0xFF000005, 0xFF000006, 0xFF000007, 0xFF000008,  //
                          0xFF000009, 0xFF00000A, 0xFF00000B, 0xFF00000C,  //
                          0xFF00000D, 0xFF00000E, 0xFF00000F, 0xFF000010};
  const struct {
    const char* name;
    UINT in_width, in_height;
    Pixels in;
    UINT out_width, out_height;
    SetState set;
    Pixels expected;
    DXGI_FORMAT in_format = DXGI_FORMAT_B8G8R8A8_UNORM;
    DXGI_FORMAT out_format = DXGI_FORMAT_B8G8R8A8_UNORM;
  } cases[] = {
      {"equal sizes copy exactly",
       3,
       2,
       {0xFF010203, 0xFFFEFDFC, 0xFF7F8081, 0xFF000000, 0xFFFFFFFF, 0xFF102030},
       3,
       2,
       Dest({0, 0, 3, 2}),
       {0xFF010203, 0xFFFEFDFC, 0xFF7F8081, 0xFF000000, 0xFFFFFFFF, 0xFF102030}},
      // Each output pixel is the mean of a 2x2 block; 127.5 rounds up.
      {"half size averages",
       4,
       2,
       {0xFF0A141E, 0xFF1E2832, kRed, kRed,  //
        0xFF323C46, 0xFF46505A, kBlue, kBlue},
       2,
       1,
       Dest({0, 0, 2, 1}),
       {0xFF28323C, 0xFF800080}},
      {"letterbox: bars of background",
       2,
       1,
       {kRed, kBlue},
       2,
       4,
       Dest({0, 1, 2, 3}),
       {kGreen, kGreen, kRed, kBlue, kRed, kBlue, kGreen, kGreen}},
      {"source rectangle crops",
       4,
       4,
       grid4x4,
       2,
       2,
       Dest({0, 0, 2, 2},
            [](ID3D11VideoContext* c, ID3D11VideoProcessor* p) {
              const RECT source{1, 1, 3, 3};
              c->VideoProcessorSetStreamSourceRect(p, 0, TRUE, &source);
            }),
       {0xFF000006, 0xFF000007, 0xFF00000A, 0xFF00000B}},
      {"target rectangle bounds the drawing",
       4,
       2,
       {kRed, kRed, kBlue, kBlue, kRed, kRed, kBlue, kBlue},
       4,
       2,
       Dest({0, 0, 4, 2},
            [](ID3D11VideoContext* c, ID3D11VideoProcessor* p) {
              const RECT target{1, 0, 3, 2};
              c->VideoProcessorSetOutputTargetRect(p, TRUE, &target);
            }),
       {kU, kRed, kBlue, kU, kU, kRed, kBlue, kU}},
      {"destination past the output is clipped",
       4,
       1,
       {kRed, kGreen, kBlue, 0xFF010101},
       2,
       1,
       Dest({-2, 0, 2, 1}),
       {kBlue, 0xFF010101}},
      {"no destination rectangle draws background",
       2,
       1,
       {kRed, kBlue},
       2,
       1,
       Green(),
       {kGreen, kGreen}},
      {"empty destination rectangle draws background",
       2,
       1,
       {kRed, kBlue},
       2,
       1,
       Dest({1, 0, 1, 1}),
       {kGreen, kGreen}},
      {"rgba in, bgra out",
       2,
       1,
       {0xFF0000FFu, 0x80FF0000u},
       2,
       1,
       Dest({0, 0, 2, 1}),
       {kRed, kBlue},
       DXGI_FORMAT_R8G8B8A8_UNORM},
      {"limited-range output",
       2,
       1,
       {0xFFFFFFFF, 0xFF000000},
       2,
       1,
       Dest({0, 0, 2, 1},
            [](ID3D11VideoContext* c, ID3D11VideoProcessor* p) {
              D3D11_VIDEO_PROCESSOR_COLOR_SPACE space{};
              space.RGB_Range = 1;
              c->VideoProcessorSetOutputColorSpace(p, &space);
            }),
       {0xFFEBEBEB, 0xFF101010},
       DXGI_FORMAT_B8G8R8A8_UNORM,
       DXGI_FORMAT_R8G8B8A8_UNORM},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ComRef<ID3D11Texture2D> input, output;
    MakeTexture(c.in_width, c.in_height, c.in_format, 0, c.in, &input);
    MakeTexture(c.out_width, c.out_height, c.out_format, D3D11_BIND_RENDER_TARGET,
                Pixels(std::size_t{c.out_width} * c.out_height, kUntouched), &output);
    ASSERT_EQ(Blt(input.Get(), output.Get(), c.set), S_OK);
    EXPECT_EQ(ReadBack(device_.Get(), context_.Get(), output.Get()), c.expected);
  }
  // A disabled stream draws only the background.
  ComRef<ID3D11Texture2D> output;
  MakeTexture(2, 1, DXGI_FORMAT_B8G8R8A8_UNORM, D3D11_BIND_RENDER_TARGET, {kRed, kRed}, &output);
  ASSERT_EQ(Blt(nullptr, output.Get(), Dest({0, 0, 2, 1})), S_OK);
  EXPECT_EQ(ReadBack(device_.Get(), context_.Get(), output.Get()), Pixels(2, kGreen));
  // A copy of the output keeps its pixels when the output is drawn again.
  ComRef<ID3D11Texture2D> copy, blue;
  MakeTexture(2, 1, DXGI_FORMAT_B8G8R8A8_UNORM, 0, {}, &copy);
  MakeTexture(2, 1, DXGI_FORMAT_B8G8R8A8_UNORM, 0, {kBlue, kBlue}, &blue);
  context_->CopyResource(copy.Get(), output.Get());
  ASSERT_EQ(Blt(blue.Get(), output.Get(), Dest({0, 0, 2, 1})), S_OK);
  EXPECT_EQ(ReadBack(device_.Get(), context_.Get(), output.Get()), Pixels(2, kBlue));
  EXPECT_EQ(ReadBack(device_.Get(), context_.Get(), copy.Get()), Pixels(2, kGreen));
  // One texture as input and output: the picture is the one before the Blt.
  ComRef<ID3D11Texture2D> both;
  MakeTexture(2, 2, DXGI_FORMAT_B8G8R8A8_UNORM, D3D11_BIND_RENDER_TARGET,
              {kRed, kRed, kBlue, kBlue}, &both);
  ASSERT_EQ(Blt(both.Get(), both.Get(), Dest({0, 1, 2, 2})), S_OK);
  EXPECT_EQ(ReadBack(device_.Get(), context_.Get(), both.Get()),
            (Pixels{kGreen, kGreen, 0xFF800080u, 0xFF800080u}));
}

// A flat colour into NV12: every luma byte and chroma pair as the output's
// colour space codes it; a YCbCr background is taken in the output's coding;
// NV12 read back decodes each pixel with its own block's chroma.
TEST_F(D3d11VideoTest, Nv12CodesColoursAsTheColourSpaceSays) {
  const struct {
    const char* name;
    UINT matrix, nominal_range;
    bool stream;
    std::uint8_t y, cb, cr;
  } cases[] = {
      {"red, BT.601 studio range", 0, 0, true, 81, 90, 240},
      {"red, BT.709 studio range", 1, D3D11_VIDEO_PROCESSOR_NOMINAL_RANGE_16_235, true, 63, 102,
       240},
      {"red, BT.709 full range", 1, D3D11_VIDEO_PROCESSOR_NOMINAL_RANGE_0_255, true, 54, 99, 255},
      {"YCbCr reference black background", 0, 0, false, 16, 128, 128},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ComRef<ID3D11Texture2D> input, output;
    MakeTexture(4, 2, DXGI_FORMAT_B8G8R8A8_UNORM, 0, Pixels(8, 0xFFFF0000u), &input);
    MakeTexture(4, 2, DXGI_FORMAT_NV12, D3D11_BIND_RENDER_TARGET, {}, &output);
    const RECT whole{0, 0, 4, 2};
    ASSERT_EQ(Blt(c.stream ? input.Get() : nullptr, output.Get(),
                  [&](ID3D11VideoContext* context, ID3D11VideoProcessor* processor) {
                    D3D11_VIDEO_PROCESSOR_COLOR_SPACE space{};
                    space.YCbCr_Matrix = c.matrix;
                    space.Nominal_Range = c.nominal_range;
                    context->VideoProcessorSetOutputColorSpace(processor, &space);
                    context->VideoProcessorSetStreamDestRect(processor, 0, TRUE, &whole);
                    D3D11_VIDEO_COLOR black{};
                    black.YCbCr = {0.0625f, 0.5f, 0.5f, 1.0f};
                    context->VideoProcessorSetOutputBackgroundColor(processor, TRUE, &black);
                  }),
              S_OK);
    std::vector<std::uint8_t> expected(8, c.y);
    for (int i = 0; i < 2; ++i) expected.insert(expected.end(), {c.cb, c.cr});
    std::vector<std::uint8_t> read;
    winsim::d3d11::UseTexturePixels(output.Get(), [&](const winsim::d3d11::TexturePixels& pixels) {
      for (UINT row = 0; row < 3; ++row) {
        const BYTE* line = pixels.bits + std::size_t{row} * pixels.row_pitch;
        read.insert(read.end(), line, line + 4);
      }
    });
    EXPECT_EQ(read, expected);
  }
  ComRef<ID3D11Texture2D> rgb, nv12, back;
  MakeTexture(4, 2, DXGI_FORMAT_B8G8R8A8_UNORM, 0,
              {0xFFFF0000u, 0xFFFF0000u, 0xFF0000FFu, 0xFF0000FFu,  //
               0xFFFF0000u, 0xFFFF0000u, 0xFF0000FFu, 0xFF0000FFu},
              &rgb);
  MakeTexture(4, 2, DXGI_FORMAT_NV12, D3D11_BIND_RENDER_TARGET, {}, &nv12);
  MakeTexture(4, 2, DXGI_FORMAT_B8G8R8A8_UNORM, D3D11_BIND_RENDER_TARGET, {}, &back);
  ASSERT_EQ(Blt(rgb.Get(), nv12.Get(), Dest({0, 0, 4, 2})), S_OK);
  ASSERT_EQ(Blt(nv12.Get(), back.Get(), Dest({0, 0, 4, 2})), S_OK);
  // BT.601 studio range: red codes as 81, 90, 240 and decodes as 254, 0, 0.
  const Pixels red_blue = {0xFFFE0000u, 0xFFFE0000u, 0xFF0000FFu, 0xFF0000FFu};
  EXPECT_EQ(ReadBack(device_.Get(), context_.Get(), back.Get()),
            (Pixels{red_blue[0], red_blue[1], red_blue[2], red_blue[3], red_blue[0], red_blue[1],
                    red_blue[2], red_blue[3]}));
}

// The state belongs to the processor and only stream 0 has one.
TEST_F(D3d11VideoTest, StateIsEachProcessorsOwnForStreamZero) {
  ComRef<ID3D11VideoProcessor> other;
  ASSERT_EQ(video_->CreateVideoProcessor(enumerator_.Get(), 0, other.Put()), S_OK);
  const RECT rect{1, 2, 3, 4};
  const D3D11_VIDEO_COLOR red = Rgba(1, 0, 0);
  video_context_->VideoProcessorSetStreamDestRect(processor_.Get(), 0, TRUE, &rect);
  video_context_->VideoProcessorSetStreamSourceRect(processor_.Get(), 1, TRUE, &rect);
  video_context_->VideoProcessorSetOutputTargetRect(processor_.Get(), TRUE, &rect);
  video_context_->VideoProcessorSetOutputBackgroundColor(processor_.Get(), FALSE, &red);
  video_context_->VideoProcessorSetStreamFrameFormat(
      processor_.Get(), 0, D3D11_VIDEO_FRAME_FORMAT_INTERLACED_TOP_FIELD_FIRST);
  BOOL enabled = FALSE;
  RECT got{};
  video_context_->VideoProcessorGetStreamDestRect(processor_.Get(), 0, &enabled, &got);
  EXPECT_TRUE(enabled);
  EXPECT_EQ(got.right, 3);
  video_context_->VideoProcessorGetOutputTargetRect(processor_.Get(), &enabled, &got);
  EXPECT_TRUE(enabled);
  EXPECT_EQ(got.bottom, 4);
  video_context_->VideoProcessorGetStreamSourceRect(processor_.Get(), 0, &enabled, &got);
  EXPECT_FALSE(enabled) << "stream 1 has no state";
  video_context_->VideoProcessorGetStreamDestRect(other.Get(), 0, &enabled, &got);
  EXPECT_FALSE(enabled) << "another processor's state";
  BOOL ycbcr = TRUE;
  D3D11_VIDEO_COLOR color{};
  video_context_->VideoProcessorGetOutputBackgroundColor(processor_.Get(), &ycbcr, &color);
  EXPECT_FALSE(ycbcr);
  EXPECT_EQ(color.RGBA.R, 1.0f);
  D3D11_VIDEO_FRAME_FORMAT format{};
  video_context_->VideoProcessorGetStreamFrameFormat(processor_.Get(), 0, &format);
  EXPECT_EQ(format, D3D11_VIDEO_FRAME_FORMAT_INTERLACED_TOP_FIELD_FIRST);
}

TEST_F(D3d11VideoTest, InjectedFailuresHandNothingOut) {
  const HRESULT hr = DXGI_ERROR_DEVICE_REMOVED;
  const D3D11_VIDEO_PROCESSOR_CONTENT_DESC content = ContentDesc(8, 8);
  ComRef<ID3D11VideoProcessorEnumerator> enumerator;
  winsim::FailCall("ID3D11VideoDevice::CreateVideoProcessorEnumerator", hr);
  EXPECT_EQ(video_->CreateVideoProcessorEnumerator(&content, enumerator.Put()), hr);
  EXPECT_EQ(enumerator.Get(), nullptr);
  ComRef<ID3D11VideoProcessor> processor;
  winsim::FailCall("ID3D11VideoDevice::CreateVideoProcessor", hr);
  EXPECT_EQ(video_->CreateVideoProcessor(enumerator_.Get(), 0, processor.Put()), hr);
  EXPECT_EQ(processor.Get(), nullptr);
  ComRef<ID3D11Texture2D> texture;
  MakeTexture(8, 8, DXGI_FORMAT_B8G8R8A8_UNORM, D3D11_BIND_RENDER_TARGET, Pixels(64, 0xFF0000FFu),
              &texture);
  const D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC in_desc = InputDesc();
  const D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC out_desc = OutputDesc();
  ComRef<ID3D11VideoProcessorInputView> in;
  winsim::FailCall("ID3D11VideoDevice::CreateVideoProcessorInputView", hr);
  EXPECT_EQ(
      video_->CreateVideoProcessorInputView(texture.Get(), enumerator_.Get(), &in_desc, in.Put()),
      hr);
  EXPECT_EQ(in.Get(), nullptr);
  ComRef<ID3D11VideoProcessorOutputView> out;
  winsim::FailCall("ID3D11VideoDevice::CreateVideoProcessorOutputView", hr);
  EXPECT_EQ(video_->CreateVideoProcessorOutputView(texture.Get(), enumerator_.Get(), &out_desc,
                                                   out.Put()),
            hr);
  EXPECT_EQ(out.Get(), nullptr);
  // A failed Blt leaves the output as it was.
  winsim::FailCall("ID3D11VideoContext::VideoProcessorBlt", hr);
  EXPECT_EQ(Blt(nullptr, texture.Get(), Dest({0, 0, 8, 8})), hr);
  EXPECT_EQ(ReadBack(device_.Get(), context_.Get(), texture.Get()), Pixels(64, 0xFF0000FFu));
}

// Every object counts live; views keep their texture, a processor its
// enumerator, and all of them the device.
TEST_F(D3d11VideoTest, ObjectsAreCountedAndKeepWhatTheyUse) {
  ComRef<ID3D11VideoProcessorInputView> in;
  ComRef<ID3D11VideoProcessorOutputView> out;
  {
    ComRef<ID3D11Texture2D> texture;
    MakeTexture(4, 4, DXGI_FORMAT_B8G8R8A8_UNORM, D3D11_BIND_RENDER_TARGET, {}, &texture);
    const D3D11_VIDEO_PROCESSOR_INPUT_VIEW_DESC in_desc = InputDesc();
    const D3D11_VIDEO_PROCESSOR_OUTPUT_VIEW_DESC out_desc = OutputDesc();
    ASSERT_EQ(
        video_->CreateVideoProcessorInputView(texture.Get(), enumerator_.Get(), &in_desc, in.Put()),
        S_OK);
    ASSERT_EQ(video_->CreateVideoProcessorOutputView(texture.Get(), enumerator_.Get(), &out_desc,
                                                     out.Put()),
              S_OK);
  }
  enumerator_.Reset();
  video_.Reset();
  video_context_.Reset();
  context_.Reset();
  device_.Reset();
  auto live = winsim::LiveObjects();
  EXPECT_EQ(live["com:ID3D11VideoProcessorEnumerator"], 1);  // held by the processor
  EXPECT_EQ(live["com:ID3D11VideoProcessor"], 1);
  EXPECT_EQ(live["com:ID3D11VideoProcessorInputView"], 1);
  EXPECT_EQ(live["com:ID3D11VideoProcessorOutputView"], 1);
  EXPECT_EQ(live["com:ID3D11Texture2D"], 1);  // held by the views
  EXPECT_EQ(live["com:ID3D11Device"], 1);
}

}  // namespace
