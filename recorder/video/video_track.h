// VideoTrack: the video worker's part of a recording: where and how it
// captures, and what it reports.
//
// Threads: the start sets every field before it launches the worker (and
// writes the first frame with `grabber`); the stop destroys the grabber on
// the start's thread once the worker is joined. `capture_method`,
// `frames_written`, `frames_dropped` and `end_time` are changed only by the
// video worker (and by the start, before the launch), and read by the status
// at any time; the failure is safe from any thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "recorder/recording_timeline.h"
#include "recorder/sample_writer.h"
#include "recorder/start_options.h"
#include "recorder/video/capture_area.h"
#include "recorder/video/desktop_duplication.h"
#include "recorder/video/frame_scaler.h"
#include "recorder/video/gpu_device.h"
#include "recorder/video/gpu_frames.h"
#include "recorder/video/screen_grabber.h"
#include "recorder/video/video_encoder.h"
#include "recorder/worker_failure.h"

namespace morl::recorder {

// How frames are taken from the screen, as the status names it.
enum class CaptureMethod { kGdi, kDuplication };

struct VideoTrack {
  std::int32_t width = 0;  // the file's frame
  std::int32_t height = 0;
  // A display larger than the encoder takes is captured at its own size
  // (capture_width x capture_height) and scaled to width x height, the
  // file's size, into `scaled_frame`. Without a scaler both sizes are the
  // same; a capture size of 0 means the file's.
  std::int32_t capture_width = 0;
  std::int32_t capture_height = 0;
  // The captured rectangle's top-left corner on the virtual screen, and the
  // display it lies on: the cursor is drawn only while it is on that display.
  std::int32_t capture_left = 0;
  std::int32_t capture_top = 0;
  HMONITOR recorded_monitor = nullptr;
  // The region of the recorded display asked for, in its pixels, so that a
  // display that changes size can be clipped to again; none: all of it.
  std::optional<CaptureRegion> capture_region;
  // The frame interval at the frame rate asked for (100-ns, truncated),
  // which is also every video sample's duration.
  std::int64_t frame_interval = 666666;
  // Made by the start, which captures the first frame with it; the video
  // worker goes on with it.
  std::unique_ptr<ScreenGrabber> grabber;
  std::unique_ptr<FrameScaler> scaler;
  std::vector<std::uint8_t> scaled_frame;
  // The duplication path, set up by the start when the recorded display can
  // be duplicated (and scaled on the GPU where the frame needs it): frames
  // stay on the GPU from the desktop to the encoder. The worker follows a
  // display that changes size on it, and leaves it for the grabber when the
  // display goes away or cannot be duplicated again. `gpu` is used by the
  // others and goes last.
  std::unique_ptr<GpuDevice> gpu;
  std::unique_ptr<DesktopDuplication> duplication;
  std::unique_ptr<GpuFrames> gpu_frames;
  CaptureArea duplicated_area;  // of the virtual screen, what `duplication` reads
  // Set where the grabber is chosen; read by the status at any time.
  std::atomic<CaptureMethod> capture_method{CaptureMethod::kGdi};
  VideoEncoderKind encoder = VideoEncoderKind::kSoftware;  // the one that took the stream
  std::atomic<std::int64_t> frames_written{0};
  std::atomic<std::int64_t> frames_dropped{0};  // captured frames the writer never took
  std::atomic<std::int64_t> end_time{0};        // end of the last accepted video sample
  WorkerFailure failure{"video"};
};

// What the video worker works with: the time line it follows, the writer
// its frames go to and its own track.
struct VideoWork {
  const RecordingTimeline& timeline;
  TrackWriter& writer;
  VideoTrack& track;
};

}  // namespace morl::recorder
