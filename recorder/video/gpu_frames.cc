#include "recorder/video/gpu_frames.h"

#include <mfapi.h>

#include <algorithm>

#include "recorder/video/video_frame_writer.h"
#include "recorder/video/video_track.h"

namespace morl::recorder {

namespace {

constexpr char kCode[] = "start_failed";
constexpr std::int64_t kGpuFramesBytes = std::int64_t{256} << 20;
constexpr std::int64_t kFewestGpuFrames = 4;
constexpr std::int64_t kMostGpuFrames = 16;

// Unmaps a mapped subresource when it goes out of scope.
class MappedTexture {
 public:
  MappedTexture(ID3D11DeviceContext* context, ID3D11Texture2D* texture)
      : context_(context), texture_(texture) {
    hr_ = context_->Map(texture_, 0, D3D11_MAP_READ_WRITE, 0, &mapped_);
  }
  ~MappedTexture() {
    if (SUCCEEDED(hr_)) context_->Unmap(texture_, 0);
  }
  MappedTexture(const MappedTexture&) = delete;
  MappedTexture& operator=(const MappedTexture&) = delete;

  HRESULT Result() const { return hr_; }
  const D3D11_MAPPED_SUBRESOURCE& mapped() const { return mapped_; }

 private:
  ID3D11DeviceContext* context_;
  ID3D11Texture2D* texture_;
  D3D11_MAPPED_SUBRESOURCE mapped_{};
  HRESULT hr_ = E_FAIL;
};

}  // namespace

std::int64_t GpuFramesInFlight(std::int32_t width, std::int32_t height) {
  const std::int64_t frame_bytes = std::max<std::int64_t>(std::int64_t{width} * height * 4, 1);
  return std::clamp(kGpuFramesBytes / frame_bytes, kFewestGpuFrames, kMostGpuFrames);
}

GpuFrames::GpuFrames(GpuDevice& gpu, FrameSize frame, FrameSize picture)
    : gpu_(gpu), frame_(frame), picture_(picture) {}

Result<std::unique_ptr<GpuFrames>> GpuFrames::Create(GpuDevice& gpu, FrameSize frame,
                                                     FrameSize picture) {
  std::unique_ptr<GpuFrames> made(new GpuFrames(gpu, frame, picture));
  // One more than may be in flight: the one being drawn.
  MORL_RETURN_IF_ERROR(made->CreateTextures(
      static_cast<std::size_t>(GpuFramesInFlight(frame.width, frame.height) + 1)));
  if (picture.width != frame.width || picture.height != frame.height) {
    MORL_RETURN_IF_ERROR(made->CreateScaling());
  }
  return made;
}

Status GpuFrames::CreateScaling() {
  const D3D11_TEXTURE2D_DESC desc = BgraTextureDesc(picture_.width, picture_.height);
  MORL_RETURN_IF_FAILED(gpu_.device()->CreateTexture2D(&desc, nullptr, composed_.Put()), kCode,
                        "CreateTexture2D");
  Result<std::unique_ptr<GpuScaler>> scaler =
      GpuScaler::Create(gpu_, picture_, frame_, CentredPlacement(picture_, frame_));
  MORL_RETURN_IF_ERROR(scaler);
  scaler_ = std::move(*scaler);
  return Status();
}

Status GpuFrames::CreateTextures(std::size_t count) {
  const D3D11_TEXTURE2D_DESC desc = BgraTextureDesc(frame_.width, frame_.height);
  ring_.resize(count);
  for (ComRef<ID3D11Texture2D>& texture : ring_) {
    MORL_RETURN_IF_FAILED(gpu_.device()->CreateTexture2D(&desc, nullptr, texture.Put()), kCode,
                          "CreateTexture2D");
  }
  return Status();
}

Result<ComRef<IMFMediaBuffer>> GpuFrames::Compose(const DesktopDuplication& source) {
  ID3D11Texture2D* frame = ring_[next_].Get();
  next_ = (next_ + 1) % ring_.size();
  ID3D11Texture2D* canvas = scaler_ ? composed_.Get() : frame;
  gpu_.context()->CopyResource(canvas, source.picture());
  MORL_RETURN_IF_ERROR(DrawPointer(canvas, source.pointer()));
  if (scaler_) MORL_RETURN_IF_ERROR(scaler_->Scale(canvas, frame));

  ComRef<IMFMediaBuffer> buffer;
  MORL_RETURN_IF_FAILED(
      MFCreateDXGISurfaceBuffer(IID_ID3D11Texture2D, frame, 0, FALSE, buffer.Put()), "",
      "MFCreateDXGISurfaceBuffer");
  // A surface buffer's length is the picture's size in contiguous form.
  ComRef<IMF2DBuffer> planes;
  DWORD length = 0;
  MORL_RETURN_IF_FAILED(buffer->QueryInterface(IID_PPV_ARGS(planes.Put())), "", "IMF2DBuffer");
  MORL_RETURN_IF_FAILED(planes->GetContiguousLength(&length), "",
                        "IMF2DBuffer::GetContiguousLength");
  MORL_RETURN_IF_FAILED(buffer->SetCurrentLength(length), "", "IMFMediaBuffer::SetCurrentLength");
  return buffer;
}

Status GpuFrames::Write(const VideoWork& work, const DesktopDuplication& source,
                        std::int64_t now) {
  Result<ComRef<IMFMediaBuffer>> frame = Compose(source);
  MORL_RETURN_IF_ERROR(frame);
  return WriteVideoFrameBuffer(work, frame->Get(), now);
}

Status GpuFrames::DrawPointer(ID3D11Texture2D* canvas, const PointerState& pointer) {
  const PointerBox box = CoveredBox(pointer, 0, 0, picture_.width, picture_.height);
  if (box.width == 0 || box.height == 0) return Status();
  MORL_RETURN_IF_ERROR(EnsureStaging(box.width, box.height));
  ID3D11DeviceContext* context = gpu_.context();
  const D3D11_BOX under{static_cast<UINT>(box.left), static_cast<UINT>(box.top), 0,
                        static_cast<UINT>(box.left + box.width),
                        static_cast<UINT>(box.top + box.height), 1};
  context->CopySubresourceRegion(staging_.Get(), 0, 0, 0, 0, canvas, 0, &under);
  {
    const MappedTexture mapped(context, staging_.Get());
    MORL_RETURN_IF_FAILED(mapped.Result(), "", "ID3D11DeviceContext::Map");
    const PictureView view{static_cast<std::uint8_t*>(mapped.mapped().pData),
                           static_cast<std::int32_t>(mapped.mapped().RowPitch),
                           box.width,
                           box.height,
                           box.left,
                           box.top};
    BlendPointer(pointer, view);
  }
  const D3D11_BOX drawn{0, 0, 0, static_cast<UINT>(box.width), static_cast<UINT>(box.height), 1};
  context->CopySubresourceRegion(canvas, 0, static_cast<UINT>(box.left),
                                 static_cast<UINT>(box.top), 0, staging_.Get(), 0, &drawn);
  return Status();
}

Status GpuFrames::EnsureStaging(std::int32_t width, std::int32_t height) {
  if (staging_ && staging_width_ >= width && staging_height_ >= height) return Status();
  staging_width_ = std::max(staging_width_, width);
  staging_height_ = std::max(staging_height_, height);
  D3D11_TEXTURE2D_DESC desc = BgraTextureDesc(staging_width_, staging_height_);
  desc.Usage = D3D11_USAGE_STAGING;
  desc.BindFlags = 0;
  desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ | D3D11_CPU_ACCESS_WRITE;
  return CheckCall(gpu_.device()->CreateTexture2D(&desc, nullptr, staging_.Put()), kCode,
                   "CreateTexture2D");
}

}  // namespace morl::recorder
