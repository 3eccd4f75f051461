// RecordingSession: the state the workers of one recording share with it.
// Its Recording owns it and joins the workers before it goes.
//
// Threads: the workers end when `stop` is signalled and hold the writer's
// mutex around every sample write; `frames_written`, `frames_dropped` and
// `video_end_time` are changed only by the video worker (and by the start,
// before it is launched), `audio_samples_written` only by the audio worker.
// `clock` and the level meters are safe to use from any thread.
// Each worker records its first failure in its own WorkerFailure. Every other
// field a worker reads is written before it is launched and released only
// after it has been joined.
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "win32_support/com_ref.h"
#include "recorder/media_time.h"
#include "recorder/video/frame_scaler.h"
#include "recorder/audio/level_meter.h"
#include "recorder/audio/microphone_reader.h"
#include "recorder/audio/mix_source.h"
#include "recorder/recording_clock.h"
#include "recorder/start_options.h"
#include "recorder/sample_writer.h"
#include "recorder/video/screen_grabber.h"
#include "recorder/worker_failure.h"
#include "recorder/worker_stop.h"

namespace morl::recorder {

struct RecordingSession {
  WorkerStop stop;
  std::thread video_thread;
  std::thread audio_thread;
  TrackWriter writer;                           // what every worker writes to
  ComRef<IMFSourceReader> mic_reader;            // asynchronous, answering micCallback
  ComRef<MicrophoneReader> mic_callback;         // the reader's callback
  std::wstring mic_endpoint_id;   // the microphone read now
  bool mic_follows_default = false;  // it moves with the default microphone
  std::uint32_t mic_sample_rate = kMixRate;
  std::uint32_t mic_channels = 2;
  bool audio_enabled = false;
  bool system_audio = false;
  MixSource loopback_capture;
  MixSource mic_capture;
  std::wstring recording_path;  // UTF-16, the file written until it is finished
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int64_t start_time = 0;  // Now100ns at the start of the recording
  // Recorded time: the wall clock with the recording's pauses cut out. Every
  // sample time is startTime subtracted from a time this clock has cut.
  RecordingClock clock;
  // The peaks of the microphone and of the computer audio, for the status.
  LevelMeter mic_level;
  LevelMeter system_audio_level;
  std::atomic<std::int64_t> frames_written{0};
  std::atomic<std::int64_t> video_end_time{0};   // end of the last accepted video sample
  std::atomic<std::int64_t> frames_dropped{0};  // captured frames the writer never took
  std::atomic<std::int64_t> audio_samples_written{0};
  // Made by the start, which captures the first frame with it; the video
  // worker goes on with it and the stop destroys it on the start's thread.
  std::unique_ptr<ScreenGrabber> grabber;
  // A display larger than the encoder takes is captured at its own size
  // (captureWidth x captureHeight) and scaled to width x height, the file's
  // size, into `scaled_frame`. Without a scaler both sizes are the same; a
  // capture size of 0 means the file's.
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
  std::unique_ptr<FrameScaler> scaler;
  std::vector<std::uint8_t> scaled_frame;
  WorkerFailure video_failure{"video"};
  WorkerFailure audio_failure{"audio"};
  // The longest time, recorded, the recorded microphone delivered nothing,
  // once it reached the limit that makes it a condition (see WatchSources).
  struct {
    std::mutex mutex;
    std::int64_t longest = 0;
  } mic_silence;
};

}  // namespace morl::recorder
