#include "recorder/video/screen_capture.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "win32_support/com_apartment.h"
#include "recorder/media_time.h"
#include "win32_support/timer_period.h"
#include "recorder/now_100ns.h"
#include "recorder/recording_pause.h"
#include "recorder/video/video_frame_writer.h"
#include "recorder/video/video_stream.h"

namespace morl::recorder {

std::unique_ptr<ScreenGrabber> MakeGrabber(const RecordingSession& session) {
  return session.capture_width > 0
             ? std::make_unique<ScreenGrabber>(session.capture_width, session.capture_height,
                                               session.capture_left, session.capture_top,
                                               session.recorded_monitor)
             : std::make_unique<ScreenGrabber>(session.width, session.height);
}

Status WriteCapturedFrame(RecordingSession& session, ScreenGrabber& grabber, bool* screen_read) {
  const bool read = grabber.Grab();
  if (screen_read != nullptr) *screen_read = read;
  // Timed after the grab: the sample carries the moment the screen was
  // really captured, so slow frames show up as wider spacing.
  const std::int64_t now = Now100ns();
  // A frame grabbed after a pause began is not part of the recording.
  if (session.clock.InPause(now)) return Status();
  if (!session.scaler) {
    return WriteVideoFrame(session, grabber.Bits(), grabber.FrameBytes(), now);
  }
  // Rows stay in the grabber's bottom-up order, the order the encoder takes.
  const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(grabber.FrameBytes()) /
                                (session.capture_height > 0 ? session.capture_height : 1);
  session.scaler->Scale(grabber.Bits(), stride, session.scaled_frame.data());
  return WriteVideoFrame(session, session.scaled_frame.data(),
                         static_cast<DWORD>(session.scaled_frame.size()), now);
}

VideoSource::VideoSource(RecordingSession& session, ScreenGrabber& grabber)
    : session_(session),
      start_grabber_(grabber),
      watch_(session.recorded_monitor, session.capture_region, StartArea(session)),
      requested_fps_(static_cast<std::int32_t>(kTicksPerSecond / session.frame_interval)) {}

CaptureArea VideoSource::StartArea(const RecordingSession& session) {
  return session.capture_width > 0
             ? CaptureArea{session.capture_left, session.capture_top, session.capture_width,
                           session.capture_height, session.recorded_monitor}
             : CaptureArea{0, 0, session.width, session.height, session.recorded_monitor};
}

bool VideoSource::Follow(const DisplayWatch::Look& look) {
  const CaptureArea start = StartArea(session_);
  own_.reset();
  scaler_.reset();
  // Black frames until the display, or the region on it, is back.
  const auto black = [this] {
    shown_ = false;
    frame_.assign(static_cast<std::size_t>(session_.width) * session_.height * 4, 0);
  };
  shown_ = look.sight == DisplayWatch::Sight::kShown;
  if (!shown_) {
    black();
    return true;
  }
  const CaptureArea& area = look.area;
  if (area.left == start.left && area.top == start.top && area.width == start.width &&
      area.height == start.height) {
    return true;  // as at the start: the session's own grabber and scaling
  }
  own_ =
      std::make_unique<ScreenGrabber>(area.width, area.height, area.left, area.top, area.monitor);
  if (!own_->Ready()) {
    own_.reset();
    session_.video_failure.Record("CreateDIBSection", E_OUTOFMEMORY);
    black();
    return false;
  }
  // The new area keeps its aspect inside the file's frame, which keeps its
  // size; the bars beside it stay black.
  const FrameSize file{session_.width, session_.height};
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
  const std::size_t file_row = static_cast<std::size_t>(session_.width) * 4;
  const std::size_t top = static_cast<std::size_t>((session_.height - fitted_.height) / 2);
  const std::size_t left = static_cast<std::size_t>((session_.width - fitted_.width) / 2) * 4;
  for (std::size_t y = 0; y < static_cast<std::size_t>(fitted_.height); ++y) {
    std::memcpy(frame_.data() + (top + y) * file_row + left, picture + y * row_bytes, row_bytes);
  }
  return WriteVideoFrame(session_, frame_.data(), static_cast<DWORD>(frame_.size()), now);
}

void VideoSource::Capture() {
  const DisplayWatch::Look look = watch_.Check();
  if (look.changed && !Follow(look)) {
    session_.frames_dropped.fetch_add(1);
    return;
  }
  bool screen_read = true;
  Status written;
  std::int64_t now = 0;
  if (!shown_) {
    now = Now100ns();
    if (session_.clock.InPause(now)) return;
    written = WriteVideoFrame(session_, frame_.data(), static_cast<DWORD>(frame_.size()), now);
  } else if (!own_) {
    written = WriteCapturedFrame(session_, start_grabber_, &screen_read);
    now = Now100ns();
    if (session_.clock.InPause(now)) return;
  } else {
    screen_read = own_->Grab();
    now = Now100ns();
    if (session_.clock.InPause(now)) return;
    written = WriteFitted(now);
  }
  if (!written.ok()) {
    session_.frames_dropped.fetch_add(1);
    session_.video_failure.Record(written.error());
  }
  Watch(look.sight, screen_read, written.ok(), now);
}

void VideoSource::Watch(DisplayWatch::Sight sight, bool screen_read, bool written,
                        std::int64_t now) {
  const std::int64_t t = session_.clock.Cut(now) - session_.start_time;
  WorkerFailure& failure = session_.video_failure;
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
  WatchSources(session_, now);
}

void CaptureFrame(RecordingSession& session, VideoSource& source) {
  if (EncoderBehind(session)) {
    session.frames_dropped.fetch_add(1);
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

void RunScreenCapture(RecordingSession& session) {
  const ComApartment apartment(COINIT_MULTITHREADED);
  // Frames 16.7 ms apart need waits that end within a millisecond of when
  // they are due, for as long as the recording runs.
  const TimerPeriod timer_period(1);
  std::unique_ptr<ScreenGrabber> own;
  ScreenGrabber* grabber = session.grabber.get();
  if (grabber == nullptr) grabber = (own = MakeGrabber(session)).get();
  if (!grabber->Ready()) {
    session.video_failure.Record("CreateDIBSection", E_OUTOFMEMORY);
    return;
  }
  VideoSource source(session, *grabber);

  const bool first_frame_written = session.frames_written > 0;
  std::int64_t next = first_frame_written ? session.start_time : Now100ns();
  bool grab_now = !first_frame_written;
  while (!session.stop.Requested()) {
    if (session.clock.Paused()) {
      // Nothing is captured while paused. The resume wakes the worker (a
      // wake left from an earlier resume only costs one more look), a stop
      // ends it, and the frame after the resume is captured at once.
      if (session.stop.WaitForWake()) break;
      next = Now100ns();
      grab_now = true;
      continue;
    }
    if (grab_now) CaptureFrame(session, source);
    grab_now = true;
    if (const auto pause = NextFramePause(next, Now100ns(), session.frame_interval)) {
      if (session.stop.WaitFor(*pause)) break;
    }
  }
}

}  // namespace morl::recorder
