#include "recorder/video/duplication_start.h"

#include "recorder/now_100ns.h"
#include "recorder/video/video_frame_writer.h"

namespace morl::recorder {

namespace {

// How long the start waits for the duplication's first image; Windows hands
// the current desktop to the first acquire at once.
constexpr DWORD kFirstImageWaitMs = 500;

Result<std::unique_ptr<DesktopDuplication>> DuplicateArea(GpuDevice& gpu,
                                                          const CaptureArea& area) {
  DXGI_OUTPUT_DESC desc{};
  MORL_RETURN_IF_FAILED(gpu.output()->GetDesc(&desc), "start_failed", "IDXGIOutput::GetDesc");
  const RECT& output = desc.DesktopCoordinates;
  const std::int32_t left = area.left - output.left;
  const std::int32_t top = area.top - output.top;
  if (left < 0 || top < 0 || left + area.width > output.right - output.left ||
      top + area.height > output.bottom - output.top) {
    return RecorderError{"start_failed", "area outside its output", E_INVALIDARG};
  }
  return DesktopDuplication::Open(gpu, left, top, area.width, area.height);
}

void Diagnose(const RecorderError& error) {
  WriteRecorderDiagnostic("screen read through GDI: " + error.message);
}

Status OpenDuplication(VideoTrack& video, const CaptureArea& area) {
  Result<std::unique_ptr<GpuDevice>> gpu = GpuDevice::Open(area.monitor);
  MORL_RETURN_IF_ERROR(gpu);
  Result<std::unique_ptr<DesktopDuplication>> duplication = DuplicateArea(**gpu, area);
  MORL_RETURN_IF_ERROR(duplication);
  Result<std::unique_ptr<GpuFrames>> frames = GpuFrames::Create(**gpu, area.width, area.height);
  MORL_RETURN_IF_ERROR(frames);
  video.gpu = std::move(*gpu);
  video.duplication = std::move(*duplication);
  video.gpu_frames = std::move(*frames);
  video.capture_method = CaptureMethod::kDuplication;
  return Status();
}

}  // namespace

bool SetUpDuplication(VideoTrack& video, const CaptureArea& area, FrameSize recorded) {
  if (recorded.width != area.width || recorded.height != area.height) return false;
  const Status opened = OpenDuplication(video, area);
  if (!opened.ok()) Diagnose(opened.error());
  return opened.ok();
}

Result<bool> WriteFirstDuplicatedFrame(const VideoWork& work) {
  VideoTrack& track = work.track;
  const Result<DesktopDuplication::Frame> frame = track.duplication->Next(kFirstImageWaitMs);
  Result<ComRef<IMFMediaBuffer>> composed =
      RecorderError{"start_failed", "no first desktop image", E_FAIL};
  if (!frame) composed = frame.error();
  if (frame && *frame == DesktopDuplication::Frame::kNewImage) {
    composed = track.gpu_frames->Compose(*track.duplication);
  }
  if (!composed) {
    Diagnose(composed.error());
    StopDuplication(track);
    return false;
  }
  MORL_RETURN_IF_ERROR(WriteVideoFrameBuffer(work, composed->Get(), Now100ns()));
  return true;
}

void StopDuplication(VideoTrack& video) {
  video.capture_method = CaptureMethod::kGdi;
  video.gpu_frames.reset();
  video.duplication.reset();
}

}  // namespace morl::recorder
