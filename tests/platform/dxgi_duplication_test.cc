// Desktop duplication on the simulated machine: who may duplicate a display,
// when frames come (blanks at 60 Hz, only when something changed), what a
// frame holds and reports, the one-frame-at-a-time rule, loss of access
// after the display or desktop changes, the cost key, and the accounting.
#include <d3d11.h>
#include <dxgi1_5.h>
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>
#include <winsim_costs.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/platform/gpu_test_support.h"
#include "tests/support/machine_test.h"

namespace {

using gpu_test::ComRef;
using gpu_test::ReadBack;

constexpr std::int64_t kBlank = 166667;      // 1/60 s in 100-ns ticks, rounded up
constexpr std::int64_t kStart = 10'000'000;  // the tests' machine time starts at 1 s

// Machine time of the display's blank `index`: index / 60 s, rounded up.
std::int64_t Blank(std::int64_t index) { return (index * 10'000'000 + 59) / 60; }

class DuplicationTest : public machine_test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    winsim::UseManualClock(kStart);
  }

  // Output `index` of adapter 0 and a device of `type` (hardware by default).
  void Open(UINT index = 0, D3D_DRIVER_TYPE type = D3D_DRIVER_TYPE_HARDWARE) {
    ComRef<IDXGIFactory1> factory;
    ASSERT_EQ(CreateDXGIFactory1(IID_IDXGIFactory1, factory.PutVoid()), S_OK);
    ComRef<IDXGIAdapter1> adapter;
    ASSERT_EQ(factory->EnumAdapters1(0, adapter.Put()), S_OK);
    ComRef<IDXGIOutput> output;
    ASSERT_EQ(adapter->EnumOutputs(index, output.Put()), S_OK);
    ASSERT_EQ(output->QueryInterface(IID_IDXGIOutput1, output1_.PutVoid()), S_OK);
    ASSERT_EQ(D3D11CreateDevice(nullptr, type, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                device_.Put(), nullptr, context_.Put()),
              S_OK);
  }
  HRESULT Duplicate() { return output1_->DuplicateOutput(device_.Get(), dup_.Put()); }
  void Close() {
    dup_.Reset();
    context_.Reset();
    device_.Reset();
    output1_.Reset();
  }
  // Acquires with `timeout_ms`; the frame's pixels when `pixels` is given.
  HRESULT Acquire(UINT timeout_ms, DXGI_OUTDUPL_FRAME_INFO* info,
                  std::vector<std::uint32_t>* pixels = nullptr) {
    ComRef<IDXGIResource> resource;
    const HRESULT hr = dup_->AcquireNextFrame(timeout_ms, info, resource.Put());
    EXPECT_EQ(resource.Get() != nullptr, hr == S_OK);
    if (hr == S_OK && pixels != nullptr) {
      ComRef<ID3D11Texture2D> texture;
      EXPECT_EQ(resource->QueryInterface(IID_ID3D11Texture2D, texture.PutVoid()), S_OK);
      *pixels = ReadBack(device_.Get(), context_.Get(), texture.Get());
    }
    return hr;
  }
  // Acquires at once and releases, expecting a frame.
  DXGI_OUTDUPL_FRAME_INFO Take(UINT timeout_ms = 0) {
    DXGI_OUTDUPL_FRAME_INFO info{};
    EXPECT_EQ(Acquire(timeout_ms, &info), S_OK);
    EXPECT_EQ(dup_->ReleaseFrame(), S_OK);
    return info;
  }
  static std::int64_t Now() {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
  }

  ComRef<IDXGIOutput1> output1_;
  ComRef<ID3D11Device> device_;
  ComRef<ID3D11DeviceContext> context_;
  ComRef<IDXGIOutputDuplication> dup_;
};

TEST_F(DuplicationTest, DuplicateOutputRefusesWhatThePageNames) {
  const struct {
    const char* name;
    const char* machine;
    D3D_DRIVER_TYPE type;
    bool null_device;
    bool twice;
    HRESULT hr;
  } cases[] = {
      {"hardware device", "{}", D3D_DRIVER_TYPE_HARDWARE, false, false, S_OK},
      {"null device", "{}", D3D_DRIVER_TYPE_HARDWARE, true, false, E_INVALIDARG},
      {"device of another adapter", "{}", D3D_DRIVER_TYPE_WARP, false, false, E_INVALIDARG},
      {"display duplicated already", "{}", D3D_DRIVER_TYPE_HARDWARE, false, true, E_INVALIDARG},
      {"secure desktop", R"({"desktop": {"secure": true}})", D3D_DRIVER_TYPE_HARDWARE, false, false,
       E_ACCESSDENIED},
      {"no hardware gpu", R"({"gpu": null})", D3D_DRIVER_TYPE_HARDWARE, false, false,
       DXGI_ERROR_UNSUPPORTED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::ResetMachine();
    std::string error;
    ASSERT_TRUE(winsim::LoadMachineJson(c.machine, &error)) << error;
    Open(0, c.type);
    ComRef<IDXGIOutputDuplication> first;
    if (c.twice) {
      ASSERT_EQ(output1_->DuplicateOutput(device_.Get(), first.Put()), S_OK);
    }
    EXPECT_EQ(output1_->DuplicateOutput(c.null_device ? nullptr : device_.Get(), dup_.Put()), c.hr);
    EXPECT_EQ(dup_.Get() != nullptr, c.hr == S_OK);
    if (c.twice) {  // once the first is gone the display may be duplicated again
      first.Reset();
      EXPECT_EQ(Duplicate(), S_OK);
    }
    Close();
  }
  winsim::ResetMachine();
  Open();
  EXPECT_EQ(output1_->DuplicateOutput(device_.Get(), nullptr), E_INVALIDARG);

  // DuplicateOutput1 duplicates the same way when the desktop's format is
  // among those the program takes.
  ComRef<IDXGIOutput5> output5;
  ASSERT_EQ(output1_->QueryInterface(IID_IDXGIOutput5, output5.PutVoid()), S_OK);
  const DXGI_FORMAT both[] = {DXGI_FORMAT_R8G8B8A8_UNORM, DXGI_FORMAT_B8G8R8A8_UNORM};
  const struct {
    const char* name;
    UINT flags;
    UINT count;
    const DXGI_FORMAT* formats;
    HRESULT hr;
  } formats[] = {
      {"bgra among others", 0, 2, both, S_OK},
      {"composited ui only", DXGI_OUTDUPL_COMPOSITED_UI_CAPTURE_ONLY, 1, both + 1, S_OK},
      {"without bgra", 0, 1, both, DXGI_ERROR_UNSUPPORTED},
      {"unknown flag", 2, 2, both, E_INVALIDARG},
      {"no formats", 0, 0, both, E_INVALIDARG},
  };
  for (const auto& c : formats) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(output5->DuplicateOutput1(device_.Get(), c.flags, c.count, c.formats, dup_.Put()),
              c.hr);
    EXPECT_EQ(dup_.Get() != nullptr, c.hr == S_OK);
    dup_.Reset();
  }
}

// Frames come at blanks 1/60 s apart when the desktop changed: every blank
// for the animated desktop, never for a still one until it is painted.
TEST_F(DuplicationTest, FramesComeAtBlanksWhenTheDesktopChanged) {
  Open();
  ASSERT_EQ(Duplicate(), S_OK);
  DXGI_OUTDUPL_FRAME_INFO info = Take();             // the first frame comes at once
  EXPECT_EQ(info.LastPresentTime.QuadPart, kStart);  // blank 60
  EXPECT_EQ(info.AccumulatedFrames, 1u);
  EXPECT_EQ(Now(), kStart);

  info = Take(1000);  // the animated desktop moves at every blank
  EXPECT_EQ(Now(), Blank(61));
  EXPECT_EQ(info.LastPresentTime.QuadPart, Blank(61));
  EXPECT_EQ(info.AccumulatedFrames, 1u);
  winsim::AdvanceClock(4 * kBlank + 10);  // four more blanks went by unread
  info = Take(0);
  EXPECT_EQ(info.AccumulatedFrames, 4u);
  EXPECT_EQ(info.LastPresentTime.QuadPart, Blank(65));
  EXPECT_EQ(info.LastMouseUpdateTime.QuadPart, 0);  // the pointer stayed

  winsim::FillScreen(0x336699);  // still from now on: shows at the next blank
  info = Take(20);
  EXPECT_EQ(Now(), Blank(66));
  EXPECT_EQ(info.AccumulatedFrames, 1u);
  DXGI_OUTDUPL_FRAME_INFO none{};
  EXPECT_EQ(Acquire(100, &none), DXGI_ERROR_WAIT_TIMEOUT);
  // The timeout ends on the first 15.625-ms timer tick at or after 100 ms.
  const std::int64_t tick = 156250;
  EXPECT_EQ(Now(), (Blank(66) + 1'000'000 + tick - 1) / tick * tick);
  EXPECT_EQ(Acquire(0, &none), DXGI_ERROR_WAIT_TIMEOUT);
  winsim::FillScreen(0x112233);
  winsim::AdvanceClock(kBlank);
  info = Take(0);
  EXPECT_EQ(info.AccumulatedFrames, 1u);
}

// The pointer: position relative to the display's corner, visibility, the
// shape only when it changed, and frames for the pointer alone.
TEST_F(DuplicationTest, PointerUpdatesComeWithOrWithoutTheDesktop) {
  std::string error;
  ASSERT_TRUE(winsim::LoadMachineJson(
      R"({"displays": [{"left": 0, "top": 0, "width": 640, "height": 480},
                       {"left": 640, "top": 0, "width": 320, "height": 240}],
          "cursor": {"x": 700, "y": 50, "hotspot_x": 3, "hotspot_y": 4}})",
      &error))
      << error;
  winsim::FillScreen(0x204060);
  Open(1);
  ASSERT_EQ(Duplicate(), S_OK);
  DXGI_OUTDUPL_FRAME_INFO info = Take();
  EXPECT_NE(info.LastMouseUpdateTime.QuadPart, 0);
  EXPECT_TRUE(info.PointerPosition.Visible);
  EXPECT_EQ(info.PointerPosition.Position.x, 700 - 3 - 640);
  EXPECT_EQ(info.PointerPosition.Position.y, 50 - 4);
  EXPECT_EQ(info.PointerShapeBufferSize, 32u * 32 * 4);

  const struct {
    const char* name;
    int x, y;
    bool new_shape;
    bool visible;
  } moves[] = {
      {"moved on the display", 800, 100, false, true},
      {"moved to the other display", 100, 100, false, false},
      {"new shape back on the display", 650, 10, true, true},
  };
  for (const auto& m : moves) {
    SCOPED_TRACE(m.name);
    winsim::GetCursor().x = m.x;
    winsim::GetCursor().y = m.y;
    if (m.new_shape) winsim::GetCursor().image.assign(32 * 32, 0xFF00FF00u);
    winsim::AdvanceClock(kBlank);
    DXGI_OUTDUPL_FRAME_INFO moved{};
    ASSERT_EQ(Acquire(0, &moved), S_OK);
    EXPECT_EQ(moved.LastPresentTime.QuadPart, 0);  // only the pointer changed
    EXPECT_EQ(moved.AccumulatedFrames, 0u);
    EXPECT_EQ(moved.TotalMetadataBufferSize, 0u);
    EXPECT_GT(moved.LastMouseUpdateTime.QuadPart, 0);
    EXPECT_EQ(moved.PointerPosition.Visible != FALSE, m.visible);
    EXPECT_EQ(moved.PointerShapeBufferSize, m.new_shape ? 32u * 32 * 4 : 0u);
    std::vector<std::uint32_t> shape(32 * 32);
    UINT required = 0;
    DXGI_OUTDUPL_POINTER_SHAPE_INFO shape_info{};
    EXPECT_EQ(dup_->GetFramePointerShape(16, shape.data(), &required, &shape_info),
              DXGI_ERROR_MORE_DATA);
    EXPECT_EQ(required, 32u * 32 * 4);
    ASSERT_EQ(dup_->GetFramePointerShape(required, shape.data(), &required, &shape_info), S_OK);
    EXPECT_EQ(shape_info.Type, static_cast<UINT>(DXGI_OUTDUPL_POINTER_SHAPE_TYPE_COLOR));
    EXPECT_EQ(shape_info.Pitch, 32u * 4);
    EXPECT_EQ(shape_info.HotSpot.x, 3);
    EXPECT_EQ(shape[0] == 0xFF00FF00u, m.new_shape);
    EXPECT_EQ(dup_->ReleaseFrame(), S_OK);
  }
}

// What BitBlt reads of `rect` of the screen, 0x00RRGGBB, rows top-down.
std::vector<std::uint32_t> Blit(const RECT& rect) {
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = -height;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  EXPECT_TRUE(BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY));
  const auto* first = static_cast<const std::uint32_t*>(bits);
  std::vector<std::uint32_t> pixels(first, first + static_cast<std::size_t>(width) * height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// A frame holds what BitBlt reads of the display's rectangle, at full alpha
// and without the cursor, for a display away from the virtual screen's corner.
TEST_F(DuplicationTest, FrameHoldsTheDisplaysPixels) {
  std::string error;
  ASSERT_TRUE(winsim::LoadMachineJson(
      R"({"displays": [{"left": 0, "top": 0, "width": 64, "height": 48, "primary": true},
                       {"left": -32, "top": 8, "width": 32, "height": 24}],
          "cursor": {"x": -20, "y": 12}})",
      &error))
      << error;
  winsim::Screen& screen = winsim::GetScreen();
  screen.animate = nullptr;
  for (std::size_t i = 0; i < screen.pixels.size(); ++i) {
    screen.pixels[i] = static_cast<std::uint32_t>(i * 2654435761u) & 0xFFFFFFu;
  }
  Open(1);
  ASSERT_EQ(Duplicate(), S_OK);
  DXGI_OUTDUPL_DESC desc{};
  dup_->GetDesc(&desc);
  EXPECT_EQ(desc.ModeDesc.Width, 32u);
  EXPECT_EQ(desc.ModeDesc.Height, 24u);
  EXPECT_EQ(desc.ModeDesc.Format, DXGI_FORMAT_B8G8R8A8_UNORM);
  EXPECT_EQ(desc.ModeDesc.RefreshRate.Numerator, 60u);
  EXPECT_FALSE(desc.DesktopImageInSystemMemory);
  DXGI_OUTDUPL_FRAME_INFO info{};
  std::vector<std::uint32_t> pixels;
  ASSERT_EQ(Acquire(0, &info, &pixels), S_OK);
  std::vector<std::uint32_t> expected = Blit(RECT{-32, 8, 0, 32});
  for (std::uint32_t& pixel : expected) pixel |= 0xFF000000u;
  EXPECT_EQ(pixels, expected);
  EXPECT_EQ(info.TotalMetadataBufferSize, sizeof(RECT));
  RECT dirty{};
  UINT required = 0;
  EXPECT_EQ(dup_->GetFrameDirtyRects(sizeof dirty, &dirty, &required), S_OK);
  EXPECT_EQ(dirty.right, 32);
  EXPECT_EQ(dirty.bottom, 24);
}

// One frame at a time, and the calls that need a frame held.
TEST_F(DuplicationTest, OneFrameIsHeldAtATime) {
  Open();
  ASSERT_EQ(Duplicate(), S_OK);
  UINT required = 0;
  DXGI_OUTDUPL_POINTER_SHAPE_INFO shape{};
  RECT dirty{};
  EXPECT_EQ(dup_->ReleaseFrame(), DXGI_ERROR_INVALID_CALL);
  EXPECT_EQ(dup_->GetFramePointerShape(0, nullptr, &required, &shape), DXGI_ERROR_INVALID_CALL);
  EXPECT_EQ(dup_->GetFrameDirtyRects(sizeof dirty, &dirty, &required), DXGI_ERROR_INVALID_CALL);
  DXGI_OUTDUPL_FRAME_INFO info{};
  ASSERT_EQ(Acquire(0, &info), S_OK);
  winsim::AdvanceClock(kBlank);
  EXPECT_EQ(Acquire(0, &info), DXGI_ERROR_INVALID_CALL);
  EXPECT_EQ(dup_->GetFrameDirtyRects(0, nullptr, &required), DXGI_ERROR_MORE_DATA);
  EXPECT_EQ(required, sizeof(RECT));
  EXPECT_EQ(dup_->GetFrameMoveRects(0, nullptr, &required), S_OK);
  EXPECT_EQ(required, 0u);
  DXGI_MAPPED_RECT mapped{};
  EXPECT_EQ(dup_->MapDesktopSurface(&mapped), DXGI_ERROR_UNSUPPORTED);
  EXPECT_EQ(dup_->ReleaseFrame(), S_OK);
  EXPECT_EQ(dup_->ReleaseFrame(), DXGI_ERROR_INVALID_CALL);
  ComRef<IDXGIResource> resource;
  EXPECT_EQ(dup_->AcquireNextFrame(0, nullptr, resource.Put()), E_INVALIDARG);
  EXPECT_EQ(Acquire(0, &info), S_OK);
  EXPECT_EQ(dup_->ReleaseFrame(), S_OK);
}

// After the display changes mode or goes away, or the secure desktop shows,
// the duplication is lost for good; a display beside it changing is no loss.
TEST_F(DuplicationTest, DisplayAndDesktopChangesLoseAccess) {
  const char* two = R"({"displays": [{"left": 0, "top": 0, "width": 640, "height": 480},
                                    {"left": 640, "top": 0, "width": 320, "height": 240}]})";
  const struct {
    const char* name;
    const char* patch;
    bool lost;
  } cases[] = {
      {"resized", R"({"displays": [{"left": 0, "top": 0, "width": 800, "height": 600},
                                  {"left": 800, "top": 0, "width": 320, "height": 240}]})",
       true},
      {"moved", R"({"displays": [{"left": 320, "top": 0, "width": 640, "height": 480},
                                {"left": 0, "top": 0, "width": 320, "height": 240,
                                 "primary": true}]})",
       true},
      {"removed", R"({"displays": [{"left": 0, "top": 0, "width": 320, "height": 240,
                                  "name": "\\\\.\\DISPLAY2"}]})",
       true},
      {"secure desktop", R"({"desktop": {"secure": true}})", true},
      {"other display resized",
       R"({"displays": [{"left": 0, "top": 0, "width": 640, "height": 480},
                        {"left": 640, "top": 0, "width": 1024, "height": 768}]})",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::ResetMachine();
    winsim::UseManualClock(kStart);
    std::string error;
    ASSERT_TRUE(winsim::LoadMachineJson(two, &error)) << error;
    Open(0);
    ASSERT_EQ(Duplicate(), S_OK);
    DXGI_OUTDUPL_FRAME_INFO info{};
    ASSERT_EQ(Acquire(0, &info), S_OK);
    ASSERT_TRUE(winsim::ApplyMachinePatch(c.patch, &error)) << error;
    EXPECT_EQ(dup_->ReleaseFrame(), c.lost ? DXGI_ERROR_ACCESS_LOST : S_OK);
    winsim::AdvanceClock(kBlank);
    // The displays' desktop is still: a duplication not lost finds nothing new.
    EXPECT_EQ(Acquire(50, &info), c.lost ? DXGI_ERROR_ACCESS_LOST : DXGI_ERROR_WAIT_TIMEOUT);
    ASSERT_TRUE(winsim::ApplyMachinePatch(R"({"desktop": {"secure": false}})", &error));
    EXPECT_EQ(Acquire(0, &info), c.lost ? DXGI_ERROR_ACCESS_LOST : DXGI_ERROR_WAIT_TIMEOUT);
    Close();
  }
}

// The GPU's time per frame is spent inside AcquireNextFrame on the machine's
// clock, for desktop frames only.
TEST_F(DuplicationTest, DuplicationCostIsWaitedPerDesktopFrame) {
  winsim::SetCosts(winsim::Costs{0, 10, 0, 0});  // 10 ms per million pixels
  Open();
  ASSERT_EQ(Duplicate(), S_OK);
  Take();
  EXPECT_EQ(Now() - kStart, 20736 * 10);  // 1920 x 1080 is 2.0736 million pixels: 20.736 ms
  winsim::FillScreen(0x010203);
  winsim::GetCursor().x += 5;
  winsim::AdvanceClock(kBlank);
  const std::int64_t before = Now();
  Take();
  EXPECT_EQ(Now() - before, 20736 * 10);
  winsim::GetCursor().x += 5;  // the pointer alone costs nothing
  winsim::AdvanceClock(kBlank);
  const std::int64_t pointer_only = Now();
  EXPECT_EQ(Take().AccumulatedFrames, 0u);
  EXPECT_EQ(Now(), pointer_only);
}

TEST_F(DuplicationTest, InjectedFailuresAndAccounting) {
  const HRESULT hr = DXGI_ERROR_DEVICE_REMOVED;
  Open();
  winsim::FailCall("IDXGIOutput1::DuplicateOutput", hr);
  EXPECT_EQ(Duplicate(), hr);
  EXPECT_EQ(dup_.Get(), nullptr);
  ComRef<IDXGIOutput5> output5;
  ASSERT_EQ(output1_->QueryInterface(IID_IDXGIOutput5, output5.PutVoid()), S_OK);
  const DXGI_FORMAT bgra = DXGI_FORMAT_B8G8R8A8_UNORM;
  winsim::FailCall("IDXGIOutput5::DuplicateOutput1", hr);
  EXPECT_EQ(output5->DuplicateOutput1(device_.Get(), 0, 1, &bgra, dup_.Put()), hr);
  EXPECT_EQ(dup_.Get(), nullptr);
  ASSERT_EQ(Duplicate(), S_OK);
  EXPECT_EQ(winsim::LiveObjects()["com:IDXGIOutputDuplication"], 1);
  EXPECT_EQ(winsim::LiveObjects()["com:ID3D11Texture2D"], 1);  // the frame
  ComRef<IDXGIOutput1> parent;
  ASSERT_EQ(dup_->GetParent(IID_IDXGIOutput1, parent.PutVoid()), S_OK);
  EXPECT_EQ(parent.Get(), output1_.Get());
  DXGI_OUTDUPL_FRAME_INFO info{};
  winsim::FailCall("IDXGIOutputDuplication::AcquireNextFrame", hr);
  EXPECT_EQ(Acquire(0, &info), hr);
  ASSERT_EQ(Acquire(0, &info), S_OK);
  UINT required = 0;
  DXGI_OUTDUPL_POINTER_SHAPE_INFO shape{};
  winsim::FailCall("IDXGIOutputDuplication::GetFramePointerShape", hr);
  EXPECT_EQ(dup_->GetFramePointerShape(0, nullptr, &required, &shape), hr);
  winsim::FailCall("IDXGIOutputDuplication::GetFrameDirtyRects", hr);
  EXPECT_EQ(dup_->GetFrameDirtyRects(0, nullptr, &required), hr);
  winsim::FailCall("IDXGIOutputDuplication::GetFrameMoveRects", hr);
  EXPECT_EQ(dup_->GetFrameMoveRects(0, nullptr, &required), hr);
  winsim::FailCall("IDXGIOutputDuplication::ReleaseFrame", hr);
  EXPECT_EQ(dup_->ReleaseFrame(), hr);
  EXPECT_EQ(dup_->ReleaseFrame(), S_OK);
  Close();
  EXPECT_EQ(winsim::LiveObjects()["com:IDXGIOutputDuplication"], 0);
}

}  // namespace
