#include "recorder/video/screen_capture.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "win32_support/com_apartment.h"
#include "recorder/media_time.h"
#include "win32_support/timer_period.h"
#include "recorder/now_100ns.h"
#include "recorder/video/duplication_start.h"
#include "recorder/video/video_frame_writer.h"
#include "recorder/video/video_stream.h"

namespace morl::recorder {

std::unique_ptr<ScreenGrabber> MakeGrabber(const VideoTrack& track) {
  return track.capture_width > 0
             ? std::make_unique<ScreenGrabber>(track.capture_width, track.capture_height,
                                               track.capture_left, track.capture_top,
                                               track.recorded_monitor)
             : std::make_unique<ScreenGrabber>(track.width, track.height);
}

Status WriteCapturedFrame(const VideoWork& work, ScreenGrabber& grabber, bool* screen_read) {
  const bool read = grabber.Grab();
  if (screen_read != nullptr) *screen_read = read;
  // Timed after the grab: the sample carries the moment the screen was
  // really captured, so slow frames show up as wider spacing.
  const std::int64_t now = Now100ns();
  // A frame grabbed after a pause began is not part of the recording.
  if (work.timeline.clock.InPause(now)) return Status();
  VideoTrack& track = work.track;
  if (!track.scaler) {
    return WriteVideoFrame(work, grabber.Bits(), grabber.FrameBytes(), now);
  }
  // Rows stay in the grabber's bottom-up order, the order the encoder takes.
  const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(grabber.FrameBytes()) /
                                (track.capture_height > 0 ? track.capture_height : 1);
  track.scaler->Scale(grabber.Bits(), stride, track.scaled_frame.data());
  return WriteVideoFrame(work, track.scaled_frame.data(),
                         static_cast<DWORD>(track.scaled_frame.size()), now);
}

VideoSource::VideoSource(const VideoWork& work, SourceWatch& watch, ScreenGrabber* grabber)
    : work_(work),
      track_(work.track),
      sources_(watch),
      start_grabber_(grabber),
      watch_(track_.recorded_monitor, track_.capture_region, StartArea(track_)),
      requested_fps_(static_cast<std::int32_t>(kTicksPerSecond / track_.frame_interval)) {}

CaptureArea VideoSource::StartArea(const VideoTrack& track) {
  return track.capture_width > 0
             ? CaptureArea{track.capture_left, track.capture_top, track.capture_width,
                           track.capture_height, track.recorded_monitor}
             : CaptureArea{0, 0, track.width, track.height, track.recorded_monitor};
}

bool VideoSource::Follow(const DisplayWatch::Look& look) {
  const CaptureArea start = StartArea(track_);
  own_.reset();
  scaler_.reset();
  // Black frames until the display, or the region on it, is back.
  const auto black = [this] {
    shown_ = false;
    frame_.assign(static_cast<std::size_t>(track_.width) * track_.height * 4, 0);
  };
  shown_ = look.sight == DisplayWatch::Sight::kShown;
  if (!shown_) {
    black();
    return true;
  }
  const CaptureArea& area = look.area;
  if (SameRectangle(area, start)) {
    return true;  // as at the start: the track's own grabber and scaling
  }
  own_ =
      std::make_unique<ScreenGrabber>(area.width, area.height, area.left, area.top, area.monitor);
  if (!own_->Ready()) {
    own_.reset();
    track_.failure.Record("CreateDIBSection", E_OUTOFMEMORY);
    black();
    return false;
  }
  // The new area keeps its aspect inside the file's frame, which keeps its
  // size; the bars beside it stay black.
  const FrameSize file{track_.width, track_.height};
  fitted_ = FitInside(FrameSize{area.width, area.height}, file);
  if (fitted_.width != area.width || fitted_.height != area.height) {
    scaler_ = std::make_unique<FrameScaler>(FrameSize{area.width, area.height}, fitted_);
    scaled_.resize(static_cast<std::size_t>(fitted_.width) * fitted_.height * 4);
  }
  frame_.assign(static_cast<std::size_t>(file.width) * file.height * 4, 0);
  return true;
}

Status VideoSource::WriteFitted(std::int64_t now) {
  const std::uint8_t* picture = own_->Bits();
  const std::size_t row_bytes = static_cast<std::size_t>(fitted_.width) * 4;
  if (scaler_) {
    scaler_->Scale(picture, static_cast<std::ptrdiff_t>(own_->FrameBytes() / own_->Height()),
                   scaled_.data());
    picture = scaled_.data();
  }
  // Centred: the bars above and below are alike, so the bottom-up rows go
  // in at the same offset as top-down ones would.
  const std::size_t file_row = static_cast<std::size_t>(track_.width) * 4;
  const std::size_t top = static_cast<std::size_t>((track_.height - fitted_.height) / 2);
  const std::size_t left = static_cast<std::size_t>((track_.width - fitted_.width) / 2) * 4;
  for (std::size_t y = 0; y < static_cast<std::size_t>(fitted_.height); ++y) {
    std::memcpy(frame_.data() + (top + y) * file_row + left, picture + y * row_bytes, row_bytes);
  }
  return WriteVideoFrame(work_, frame_.data(), static_cast<DWORD>(frame_.size()), now);
}

ScreenGrabber* VideoSource::StartGrabber() {
  if (start_grabber_ != nullptr) return start_grabber_;
  std::unique_ptr<ScreenGrabber> made = MakeGrabber(track_);
  if (!made->Ready()) {
    track_.failure.Record("CreateDIBSection", E_OUTOFMEMORY);
    return nullptr;
  }
  made_grabber_ = std::move(made);
  return start_grabber_ = made_grabber_.get();
}

void VideoSource::FollowDuplicated(const DisplayWatch::Look& look) {
  // A display that went away gives black frames through the grabber's path
  // until it is back.
  if (look.sight != DisplayWatch::Sight::kShown) {
    StopDuplication(track_);
    return;
  }
  if (!SameRectangle(look.area, track_.duplicated_area)) FollowDuplicatedArea(track_, look.area);
}

void VideoSource::CaptureDuplicated(const DisplayWatch::Look& look) {
  // The worker's own pacing waits until the frame is due; the duplication
  // then gives the latest image, or none when nothing changed since.
  const Result<DesktopDuplication::Frame> frame = track_.duplication->Next(0);
  if (!frame) track_.failure.Record(frame.error());
  const bool screen_read = frame.ok() && *frame != DesktopDuplication::Frame::kUnreadable;
  const std::int64_t now = Now100ns();
  if (work_.timeline.clock.InPause(now)) return;
  const Status written = track_.gpu_frames->Write(work_, *track_.duplication, now);
  if (!written.ok()) {
    track_.frames_dropped.fetch_add(1);
    track_.failure.Record(written.error());
  }
  Watch(look.sight, screen_read, written.ok(), now);
}

void VideoSource::Capture() {
  const DisplayWatch::Look look = watch_.Check();
  if (track_.duplication && look.changed) FollowDuplicated(look);
  if (track_.duplication) return CaptureDuplicated(look);
  if (look.changed && !Follow(look)) {
    track_.frames_dropped.fetch_add(1);
    return;
  }
  bool screen_read = true;
  Status written;
  std::int64_t now = 0;
  if (!shown_) {
    now = Now100ns();
    if (work_.timeline.clock.InPause(now)) return;
    written = WriteVideoFrame(work_, frame_.data(), static_cast<DWORD>(frame_.size()), now);
  } else if (!own_) {
    ScreenGrabber* grabber = StartGrabber();
    if (grabber == nullptr) {
      track_.frames_dropped.fetch_add(1);
      return;
    }
    written = WriteCapturedFrame(work_, *grabber, &screen_read);
    now = Now100ns();
    if (work_.timeline.clock.InPause(now)) return;
  } else {
    screen_read = own_->Grab();
    now = Now100ns();
    if (work_.timeline.clock.InPause(now)) return;
    written = WriteFitted(now);
  }
  if (!written.ok()) {
    track_.frames_dropped.fetch_add(1);
    track_.failure.Record(written.error());
  }
  Watch(look.sight, screen_read, written.ok(), now);
}

void VideoSource::Watch(DisplayWatch::Sight sight, bool screen_read, bool written,
                        std::int64_t now) {
  const std::int64_t t = work_.timeline.clock.Cut(now) - work_.timeline.start_time;
  WorkerFailure& failure = track_.failure;
  if (screen_unread_.Observe(!screen_read, t)) {
    failure.Note("screen unavailable", screen_unread_.Text("screen unavailable"));
  }
  if (display_gone_.Observe(sight == DisplayWatch::Sight::kGone, t)) {
    failure.Note("display unavailable", display_gone_.Text("display unavailable"));
  }
  if (region_off_.Observe(sight == DisplayWatch::Sight::kRegionOff, t)) {
    failure.Note("region off display", region_off_.Text("region off its display"));
  }
  if (written) {
    const std::optional<double> rate = rate_.Frame(t);
    // More than a tenth below the rate asked for, and lower than noted before.
    if (rate && *rate < 0.9 * requested_fps_ && (!lowest_rate_ || *rate < *lowest_rate_)) {
      lowest_rate_ = rate;
      failure.Note("slow capture", SlowCaptureText(*rate, requested_fps_));
    }
  }
  sources_.Check(now);
}

void CaptureFrame(TrackWriter& writer, VideoTrack& track, VideoSource& source) {
  if (EncoderBehind(writer, track)) {
    track.frames_dropped.fetch_add(1);
    return;
  }
  source.Capture();
}

std::optional<DWORD> NextFramePause(std::int64_t& next, std::int64_t now, std::int64_t interval) {
  next += interval;
  const std::int64_t ahead = next - now;
  if (ahead > 0) return static_cast<DWORD>(TicksToMilliseconds(ahead));
  next = now;
  return std::nullopt;
}

void RunScreenCapture(const VideoWork& work, SourceWatch& watch) {
  const ComApartment apartment(COINIT_MULTITHREADED);
  // Frames 16.7 ms apart need waits that end within a millisecond of when
  // they are due, for as long as the recording runs.
  const TimerPeriod timer_period(1);
  const RecordingTimeline& timeline = work.timeline;
  VideoTrack& track = work.track;
  std::unique_ptr<ScreenGrabber> own;
  ScreenGrabber* grabber = track.grabber.get();
  if (grabber == nullptr && !track.duplication) {
    grabber = (own = MakeGrabber(track)).get();
    if (!grabber->Ready()) {
      track.failure.Record("CreateDIBSection", E_OUTOFMEMORY);
      return;
    }
  }
  VideoSource source(work, watch, grabber);

  const bool first_frame_written = track.frames_written > 0;
  std::int64_t next = first_frame_written ? timeline.start_time : Now100ns();
  bool grab_now = !first_frame_written;
  while (!timeline.stop.Requested()) {
    if (timeline.clock.Paused()) {
      // Nothing is captured while paused. The resume wakes the worker (a
      // wake left from an earlier resume only costs one more look), a stop
      // ends it, and the frame after the resume is captured at once.
      if (timeline.stop.WaitForWake()) break;
      next = Now100ns();
      grab_now = true;
      continue;
    }
    if (grab_now) CaptureFrame(work.writer, track, source);
    grab_now = true;
    if (const auto pause = NextFramePause(next, Now100ns(), track.frame_interval)) {
      if (timeline.stop.WaitFor(*pause)) break;
    }
  }
}

}  // namespace morl::recorder
