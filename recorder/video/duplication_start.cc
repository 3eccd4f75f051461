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

// Duplicates `area` on `video`'s device, its pictures made into frames of
// `frame` size; `video` is changed only when every step succeeded.
Status DuplicateInto(VideoTrack& video, const CaptureArea& area, FrameSize frame) {
  Result<std::unique_ptr<DesktopDuplication>> duplication = DuplicateArea(*video.gpu, area);
  MORL_RETURN_IF_ERROR(duplication);
  Result<std::unique_ptr<GpuFrames>> frames =
      GpuFrames::Create(*video.gpu, frame, FrameSize{area.width, area.height});
  MORL_RETURN_IF_ERROR(frames);
  video.gpu_frames = std::move(*frames);
  video.duplication = std::move(*duplication);
  video.duplicated_area = area;
  return Status();
}

Status OpenDuplication(VideoTrack& video, const CaptureArea& area, FrameSize recorded) {
  Result<std::unique_ptr<GpuDevice>> gpu = GpuDevice::Open(area.monitor);
  MORL_RETURN_IF_ERROR(gpu);
  video.gpu = std::move(*gpu);
  const Status duplicated = DuplicateInto(video, area, recorded);
  if (!duplicated.ok()) {
    video.gpu.reset();
    return duplicated;
  }
  video.capture_method = CaptureMethod::kDuplication;
  return Status();
}

}  // namespace

bool SetUpDuplication(VideoTrack& video, const CaptureArea& area, FrameSize recorded) {
  const Status opened = OpenDuplication(video, area, recorded);
  if (!opened.ok()) Diagnose(opened.error());
  return opened.ok();
}

bool FitDuplication(VideoTrack& video, FrameSize recorded) {
  const FrameSize picture{video.duplication->width(), video.duplication->height()};
  Result<std::unique_ptr<GpuFrames>> frames = GpuFrames::Create(*video.gpu, recorded, picture);
  if (!frames) {
    Diagnose(frames.error());
    StopDuplication(video);
    return false;
  }
  video.gpu_frames = std::move(*frames);
  return true;
}

bool FollowDuplicatedArea(VideoTrack& video, const CaptureArea& area) {
  // A process duplicates an output once at a time (E_INVALIDARG): the old
  // duplication goes first.
  video.duplication.reset();
  Status followed = video.gpu->FindOutputAgain(area.monitor);
  if (followed.ok()) {
    followed = DuplicateInto(video, area, FrameSize{video.width, video.height});
  }
  if (!followed.ok()) {
    WriteRecorderDiagnostic("screen read through GDI from now on: " + followed.error().message);
    StopDuplication(video);
  }
  return followed.ok();
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
  video.duplicated_area = CaptureArea{};
}

}  // namespace morl::recorder
