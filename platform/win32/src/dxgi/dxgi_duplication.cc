// Desktop duplication: the rules are listed in dxgi_duplication.h.
#include "dxgi/dxgi_duplication.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "machine/machine_work.h"
#include "com/com_ref.h"
#include "d3d11/d3d11_device.h"
#include "d3d11/d3d11_texture.h"
#include "dxgi/dxgi_desktop_watch.h"
#include "machine/machine_clock.h"
#include "machine/machine_screen.h"
#include "winsim.h"
#include "winsim_costs.h"
#include "winsim_windows.h"

namespace winsim::dxgi {
namespace {

// The displays this process duplicates, by monitor.
struct Duplicated {
  std::mutex mutex;
  std::set<HMONITOR> monitors;
};

Duplicated& DuplicatedDisplays() {
  static Duplicated* state = new Duplicated;
  return *state;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Whether the display `output` describes is attached with that rectangle.
bool DisplayAsDescribed(const DXGI_OUTPUT_DESC& output) {
  const MonitorState state = CurrentMonitorState();
  for (std::size_t i = 0; i < state.handles.size(); ++i) {
    if (state.handles[i] == output.Monitor) {
      return SameRect(state.monitors[i].rect, output.DesktopCoordinates);
    }
  }
  return false;
}

// What one blank found new, and when.
struct Update {
  std::int64_t blank = 0;
  bool desktop = false;
  bool pointer = false;
  bool shape = false;
  bool animated = false;
  std::vector<std::uint32_t> pixels;
  PointerState pointer_state;
};

class Duplication final : public ComObject<IDXGIOutputDuplication> {
 public:
  Duplication(ComRef<IUnknown> parent, const DXGI_OUTPUT_DESC& output,
              ComRef<ID3D11Texture2D> frame)
      : ComObject("IDXGIOutputDuplication"),
        parent_(std::move(parent)),
        output_(output),
        frame_(std::move(frame)) {}
  ~Duplication() override {
    Duplicated& d = DuplicatedDisplays();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.monitors.erase(output_.Monitor);
  }

  HRESULT SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
  HRESULT SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }
  HRESULT GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
  HRESULT GetParent(REFIID riid, void** parent) override {
    if (parent == nullptr) return DXGI_ERROR_INVALID_CALL;
    return parent_->QueryInterface(riid, parent);
  }

  void GetDesc(DXGI_OUTDUPL_DESC* desc) override;
  HRESULT AcquireNextFrame(UINT timeout_ms, DXGI_OUTDUPL_FRAME_INFO* info,
                           IDXGIResource** resource) override;
  HRESULT GetFrameDirtyRects(UINT size, RECT* rects, UINT* required) override;
  HRESULT GetFrameMoveRects(UINT size, DXGI_OUTDUPL_MOVE_RECT* rects, UINT* required) override;
  HRESULT GetFramePointerShape(UINT size, void* buffer, UINT* required,
                               DXGI_OUTDUPL_POINTER_SHAPE_INFO* info) override;
  HRESULT MapDesktopSurface(DXGI_MAPPED_RECT*) override { return DXGI_ERROR_UNSUPPORTED; }
  HRESULT UnMapDesktopSurface() override { return DXGI_ERROR_INVALID_CALL; }
  HRESULT ReleaseFrame() override;

 protected:
  void* FindInterface(REFIID riid) override {
    if (riid == IID_IDXGIObject) return static_cast<IDXGIObject*>(this);
    return ComObject::FindInterface(riid);
  }

 private:
  bool Lost() {
    if (!lost_ && (SecureDesktopShowing() || !DisplayAsDescribed(output_))) lost_ = true;
    return lost_;
  }
  Update Examine(std::int64_t blank);
  HRESULT Deliver(Update update, DXGI_OUTDUPL_FRAME_INFO* info, IDXGIResource** resource);
  void ShowDesktop(const Update& update, DXGI_OUTDUPL_FRAME_INFO* info);

  ComRef<IUnknown> parent_;  // the output
  DXGI_OUTPUT_DESC output_;
  ComRef<ID3D11Texture2D> frame_;
  bool lost_ = false;
  bool holding_ = false;
  bool first_ = true;
  std::int64_t examined_ = -1;   // the last blank looked at
  std::int64_t delivered_ = -1;  // the blank of the last desktop frame handed out
  std::vector<std::uint32_t> shown_;
  std::vector<std::uint32_t> spare_;  // the picture shown before, reused for the next read
  PointerState pointer_;
  bool frame_desktop_ = false;  // of the frame held
};

void Duplication::GetDesc(DXGI_OUTDUPL_DESC* desc) {
  if (desc == nullptr) return;
  const RECT& r = output_.DesktopCoordinates;
  *desc = DXGI_OUTDUPL_DESC{};
  desc->ModeDesc.Width = static_cast<UINT>(r.right - r.left);
  desc->ModeDesc.Height = static_cast<UINT>(r.bottom - r.top);
  desc->ModeDesc.RefreshRate = DXGI_RATIONAL{kRefreshHz, 1};
  desc->ModeDesc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc->ModeDesc.ScanlineOrdering = DXGI_MODE_SCANLINE_ORDER_PROGRESSIVE;
  desc->Rotation = DXGI_MODE_ROTATION_IDENTITY;
  desc->DesktopImageInSystemMemory = FALSE;
}

Update Duplication::Examine(std::int64_t blank) {
  const GpuWork gpu;  // the compositor's work
  Update update;
  update.blank = blank;
  // An animated desktop changes at every blank: it is read straight into the
  // frame when delivered. Only a still one is read here, to be compared.
  update.animated = DesktopAnimated();
  if (!update.animated) {
    update.pixels = std::move(spare_);
    ReadDesktop(output_.DesktopCoordinates, &update.pixels);
  }
  update.desktop = first_ || update.animated || update.pixels != shown_;
  update.pointer_state = ReadPointer(output_.DesktopCoordinates);
  update.pointer = first_ || !(update.pointer_state == pointer_);
  update.shape = first_ || !update.pointer_state.SameShape(pointer_);
  return update;
}

HRESULT Duplication::AcquireNextFrame(UINT timeout_ms, DXGI_OUTDUPL_FRAME_INFO* info,
                                      IDXGIResource** resource) {
  const HRESULT injected = InjectedFailure("IDXGIOutputDuplication::AcquireNextFrame");
  if (FAILED(injected)) return injected;
  if (info == nullptr || resource == nullptr) return E_INVALIDARG;
  *resource = nullptr;
  *info = DXGI_OUTDUPL_FRAME_INFO{};
  if (Lost()) return DXGI_ERROR_ACCESS_LOST;
  if (holding_) return DXGI_ERROR_INVALID_CALL;
  const std::int64_t start = MachineNow100ns();
  const std::int64_t deadline = timeout_ms == INFINITE ? INT64_MAX
                                : timeout_ms == 0      ? start
                                                       : TickedWaitEnd(start, timeout_ms);
  for (;;) {
    const std::int64_t blank = BlankAtOrBefore(MachineNow100ns());
    if (blank > examined_) {
      examined_ = blank;
      Update update = Examine(blank);
      if (update.desktop || update.pointer) return Deliver(std::move(update), info, resource);
    }
    const std::int64_t next = BlankTime(examined_ + 1);
    if (next > deadline) {
      WaitUntilMachineTime(deadline);
      return Lost() ? DXGI_ERROR_ACCESS_LOST : DXGI_ERROR_WAIT_TIMEOUT;
    }
    WaitUntilMachineTime(next);
    if (Lost()) return DXGI_ERROR_ACCESS_LOST;
  }
}

void Duplication::ShowDesktop(const Update& update, DXGI_OUTDUPL_FRAME_INFO* info) {
  d3d11::OverwriteTexturePixels(frame_.Get(), [&](const d3d11::TexturePixels& pixels) {
    if (update.animated) {
      ReadDesktop(output_.DesktopCoordinates, reinterpret_cast<std::uint32_t*>(pixels.bits),
                  pixels.row_pitch / 4);
      return;
    }
    const std::size_t row_bytes = std::size_t{pixels.desc.Width} * 4;
    for (UINT row = 0; row < pixels.desc.Height; ++row) {
      std::memcpy(pixels.bits + std::size_t{row} * pixels.row_pitch,
                  update.pixels.data() + std::size_t{row} * pixels.desc.Width, row_bytes);
    }
  });
  info->LastPresentTime.QuadPart = CounterAt(BlankTime(update.blank));
  info->AccumulatedFrames =
      first_ || !update.animated ? 1 : static_cast<UINT>(update.blank - delivered_);
  info->TotalMetadataBufferSize = sizeof(RECT);
  delivered_ = update.blank;
  // The GPU's copy takes its time on the machine's clock.
  const RECT& r = output_.DesktopCoordinates;
  const double mpixels = static_cast<double>(r.right - r.left) * (r.bottom - r.top) / 1e6;
  const double cost_ms = MachineCosts().duplication_ms_per_mpixel * mpixels;
  if (cost_ms > 0) {
    WaitUntilMachineTime(MachineNow100ns() + std::llround(cost_ms * 10'000));
  }
}

HRESULT Duplication::Deliver(Update update, DXGI_OUTDUPL_FRAME_INFO* info,
                             IDXGIResource** resource) {
  frame_desktop_ = update.desktop;
  if (update.desktop) ShowDesktop(update, info);
  if (update.pointer) info->LastMouseUpdateTime.QuadPart = CounterAt(BlankTime(update.blank));
  if (update.shape) {
    info->PointerShapeBufferSize = static_cast<UINT>(update.pointer_state.shape.size() * 4);
  }
  info->PointerPosition.Position = update.pointer_state.position;
  info->PointerPosition.Visible = update.pointer_state.visible ? TRUE : FALSE;
  if (update.desktop) {
    spare_ = std::move(shown_);
    shown_ = std::move(update.pixels);
  } else {
    spare_ = std::move(update.pixels);
  }
  pointer_ = std::move(update.pointer_state);
  first_ = false;
  holding_ = true;
  return frame_->QueryInterface(IID_IDXGIResource, reinterpret_cast<void**>(resource));
}

HRESULT Duplication::ReleaseFrame() {
  const HRESULT injected = InjectedFailure("IDXGIOutputDuplication::ReleaseFrame");
  if (FAILED(injected)) return injected;
  if (Lost()) return DXGI_ERROR_ACCESS_LOST;
  if (!holding_) return DXGI_ERROR_INVALID_CALL;
  holding_ = false;
  return S_OK;
}

HRESULT Duplication::GetFrameDirtyRects(UINT size, RECT* rects, UINT* required) {
  const HRESULT injected = InjectedFailure("IDXGIOutputDuplication::GetFrameDirtyRects");
  if (FAILED(injected)) return injected;
  if (!holding_) return DXGI_ERROR_INVALID_CALL;
  if (required == nullptr) return E_INVALIDARG;
  *required = frame_desktop_ ? sizeof(RECT) : 0;
  if (size < *required) return DXGI_ERROR_MORE_DATA;
  if (*required == 0) return S_OK;
  if (rects == nullptr) return E_INVALIDARG;
  const RECT& r = output_.DesktopCoordinates;
  rects[0] = RECT{0, 0, r.right - r.left, r.bottom - r.top};
  return S_OK;
}

HRESULT Duplication::GetFrameMoveRects(UINT, DXGI_OUTDUPL_MOVE_RECT*, UINT* required) {
  const HRESULT injected = InjectedFailure("IDXGIOutputDuplication::GetFrameMoveRects");
  if (FAILED(injected)) return injected;
  if (!holding_) return DXGI_ERROR_INVALID_CALL;
  if (required == nullptr) return E_INVALIDARG;
  *required = 0;
  return S_OK;
}

HRESULT Duplication::GetFramePointerShape(UINT size, void* buffer, UINT* required,
                                          DXGI_OUTDUPL_POINTER_SHAPE_INFO* info) {
  const HRESULT injected = InjectedFailure("IDXGIOutputDuplication::GetFramePointerShape");
  if (FAILED(injected)) return injected;
  if (!holding_) return DXGI_ERROR_INVALID_CALL;
  if (required == nullptr || info == nullptr) return E_INVALIDARG;
  const std::size_t bytes = pointer_.shape.size() * 4;
  *required = static_cast<UINT>(bytes);
  if (size < bytes) return DXGI_ERROR_MORE_DATA;
  if (buffer == nullptr && bytes != 0) return E_INVALIDARG;
  if (bytes != 0) std::memcpy(buffer, pointer_.shape.data(), bytes);
  *info = DXGI_OUTDUPL_POINTER_SHAPE_INFO{
      DXGI_OUTDUPL_POINTER_SHAPE_TYPE_COLOR, static_cast<UINT>(pointer_.width),
      static_cast<UINT>(pointer_.height), static_cast<UINT>(pointer_.width) * 4, pointer_.hot_spot};
  return S_OK;
}

// The checks of DuplicateOutput, in the order of its page.
HRESULT CheckDuplication(const DXGI_OUTPUT_DESC& output, const DXGI_ADAPTER_DESC1& adapter,
                         ID3D11Device* device) {
  if (device == nullptr) return E_INVALIDARG;
  const LUID luid = d3d11::AdapterLuidOf(device);
  if (luid.LowPart != adapter.AdapterLuid.LowPart ||
      luid.HighPart != adapter.AdapterLuid.HighPart || !DisplayAsDescribed(output)) {
    return E_INVALIDARG;
  }
  if ((adapter.Flags & DXGI_ADAPTER_FLAG_SOFTWARE) != 0) return DXGI_ERROR_UNSUPPORTED;
  if (SecureDesktopShowing()) return E_ACCESSDENIED;
  return S_OK;
}

}  // namespace

HRESULT DuplicateDisplay(IUnknown* parent, const DXGI_OUTPUT_DESC& output,
                         const DXGI_ADAPTER_DESC1& adapter, IUnknown* device,
                         IDXGIOutputDuplication** duplication) {
  if (duplication == nullptr) return E_INVALIDARG;
  *duplication = nullptr;
  ID3D11Device* d3d = device == nullptr ? nullptr : d3d11::FindDevice(device);
  const HRESULT checked = CheckDuplication(output, adapter, d3d);
  if (FAILED(checked)) return checked;
  Duplicated& d = DuplicatedDisplays();
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    if (!d.monitors.insert(output.Monitor).second) return E_INVALIDARG;
  }
  const RECT& r = output.DesktopCoordinates;
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = static_cast<UINT>(r.right - r.left);
  desc.Height = static_cast<UINT>(r.bottom - r.top);
  desc.MipLevels = desc.ArraySize = desc.SampleDesc.Count = 1;
  desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc.BindFlags = D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE;
  *duplication =
      new Duplication(ComRef<IUnknown>::Share(parent), output, d3d11::MakeTexture(d3d, desc));
  return S_OK;
}

}  // namespace winsim::dxgi
