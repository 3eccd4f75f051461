#include "recorder/video/desktop_duplication.h"

namespace morl::recorder {

namespace {

constexpr char kCode[] = "start_failed";

// Hands the acquired frame back when it goes out of scope: the next
// AcquireNextFrame fails while a frame is held.
class HeldFrame {
 public:
  explicit HeldFrame(IDXGIOutputDuplication* duplication) : duplication_(duplication) {}
  ~HeldFrame() { duplication_->ReleaseFrame(); }
  HeldFrame(const HeldFrame&) = delete;
  HeldFrame& operator=(const HeldFrame&) = delete;

 private:
  IDXGIOutputDuplication* duplication_;
};

PointerFormat FormatOf(UINT type) {
  switch (type) {
    case DXGI_OUTDUPL_POINTER_SHAPE_TYPE_MONOCHROME:
      return PointerFormat::kMonochrome;
    case DXGI_OUTDUPL_POINTER_SHAPE_TYPE_MASKED_COLOR:
      return PointerFormat::kMaskedColor;
    default:
      return PointerFormat::kColor;
  }
}

}  // namespace

DesktopDuplication::DesktopDuplication(GpuDevice& gpu, std::int32_t left, std::int32_t top,
                                       std::int32_t width, std::int32_t height)
    : gpu_(gpu), left_(left), top_(top), width_(width), height_(height) {}

Result<std::unique_ptr<DesktopDuplication>> DesktopDuplication::Open(GpuDevice& gpu,
                                                                     std::int32_t left,
                                                                     std::int32_t top,
                                                                     std::int32_t width,
                                                                     std::int32_t height) {
  std::unique_ptr<DesktopDuplication> made(new DesktopDuplication(gpu, left, top, width, height));
  MORL_RETURN_IF_ERROR(made->CreatePicture());
  MORL_RETURN_IF_ERROR(made->Duplicate());
  return made;
}

Status DesktopDuplication::CreatePicture() {
  // Black until the first image arrives, like the GDI grabber's bitmap.
  const D3D11_TEXTURE2D_DESC desc = BgraTextureDesc(width_, height_);
  MORL_RETURN_IF_FAILED(gpu_.device()->CreateTexture2D(&desc, nullptr, picture_.Put()), kCode,
                        "CreateTexture2D");
  ComRef<ID3D11RenderTargetView> view;
  MORL_RETURN_IF_FAILED(
      gpu_.device()->CreateRenderTargetView(picture_.Get(), nullptr, view.Put()), kCode,
      "CreateRenderTargetView");
  static constexpr FLOAT kBlack[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  gpu_.context()->ClearRenderTargetView(view.Get(), kBlack);
  return Status();
}

Status DesktopDuplication::Duplicate() {
  // Windows 10 1703 and later take the formats the program reads: BGRA, the
  // format the desktop is composed in for an ordinary (non-HDR) display.
  ComRef<IDXGIOutput5> output5;
  if (SUCCEEDED(gpu_.output()->QueryInterface(IID_PPV_ARGS(output5.Put())))) {
    static constexpr DXGI_FORMAT kFormats[] = {DXGI_FORMAT_B8G8R8A8_UNORM};
    return CheckCall(output5->DuplicateOutput1(gpu_.device(), 0, 1, kFormats, duplication_.Put()),
                     kCode, "DuplicateOutput1");
  }
  return CheckCall(gpu_.output()->DuplicateOutput(gpu_.device(), duplication_.Put()), kCode,
                   "DuplicateOutput");
}

Result<DesktopDuplication::Frame> DesktopDuplication::Next(DWORD timeout_ms) {
  if (!duplication_ && !Duplicate().ok()) {
    duplication_.Reset();
    return Frame::kUnreadable;
  }
  DXGI_OUTDUPL_FRAME_INFO info{};
  ComRef<IDXGIResource> resource;
  const HRESULT hr = duplication_->AcquireNextFrame(timeout_ms, &info, resource.Put());
  if (hr == DXGI_ERROR_WAIT_TIMEOUT) return Frame::kSameImage;
  if (hr == DXGI_ERROR_ACCESS_LOST) {
    // Made again at once when Windows allows it (a mode change); on the
    // secure desktop the next calls try again.
    duplication_.Reset();
    if (Duplicate().ok()) return Frame::kSameImage;
    duplication_.Reset();
    return Frame::kUnreadable;
  }
  if (FAILED(hr)) {
    // Any other failure (a driver reset, a device removed) ends this
    // duplication too; the last image stays until a new one gives frames.
    duplication_.Reset();
    return Frame::kUnreadable;
  }
  const HeldFrame held(duplication_.Get());
  MORL_RETURN_IF_ERROR(ReadFrame(info, resource.Get()));
  return info.LastPresentTime.QuadPart != 0 ? Frame::kNewImage : Frame::kSameImage;
}

Status DesktopDuplication::ReadFrame(const DXGI_OUTDUPL_FRAME_INFO& info,
                                     IDXGIResource* resource) {
  // A zero update time: the pointer neither moved nor changed visibility.
  if (info.LastMouseUpdateTime.QuadPart != 0) {
    pointer_.visible = info.PointerPosition.Visible != FALSE;
    pointer_x_ = info.PointerPosition.Position.x;
    pointer_y_ = info.PointerPosition.Position.y;
  }
  pointer_.x = pointer_x_ - left_;
  pointer_.y = pointer_y_ - top_;
  if (info.PointerShapeBufferSize > 0) {
    MORL_RETURN_IF_ERROR(ReadPointerShape(info.PointerShapeBufferSize));
  }
  if (info.LastPresentTime.QuadPart == 0 || resource == nullptr) return Status();
  ComRef<ID3D11Texture2D> desktop;
  MORL_RETURN_IF_FAILED(resource->QueryInterface(IID_PPV_ARGS(desktop.Put())), kCode,
                        "ID3D11Texture2D");
  const D3D11_BOX area{static_cast<UINT>(left_), static_cast<UINT>(top_), 0,
                       static_cast<UINT>(left_ + width_), static_cast<UINT>(top_ + height_), 1};
  gpu_.context()->CopySubresourceRegion(picture_.Get(), 0, 0, 0, 0, desktop.Get(), 0, &area);
  return Status();
}

Status DesktopDuplication::ReadPointerShape(UINT size) {
  PointerShape& shape = pointer_.shape;
  shape.bytes.resize(size);
  DXGI_OUTDUPL_POINTER_SHAPE_INFO info{};
  UINT required = 0;
  MORL_RETURN_IF_FAILED(
      duplication_->GetFramePointerShape(size, shape.bytes.data(), &required, &info), kCode,
      "GetFramePointerShape");
  shape.format = FormatOf(info.Type);
  shape.width = static_cast<std::int32_t>(info.Width);
  // A monochrome shape's height counts both of its masks.
  shape.height = static_cast<std::int32_t>(
      shape.format == PointerFormat::kMonochrome ? info.Height / 2 : info.Height);
  shape.pitch = static_cast<std::int32_t>(info.Pitch);
  shape.hotspot_x = info.HotSpot.x;
  shape.hotspot_y = info.HotSpot.y;
  return Status();
}

}  // namespace morl::recorder
