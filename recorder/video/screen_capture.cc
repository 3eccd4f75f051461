#include "recorder/video/screen_capture.h"

#include <memory>

#include "win32_support/com_apartment.h"
#include "recorder/media_time.h"
#include "win32_support/timer_period.h"
#include "recorder/now_100ns.h"
#include "recorder/video/video_frame_writer.h"
#include "recorder/video/video_stream.h"

namespace morl::recorder {

std::unique_ptr<ScreenGrabber> MakeGrabber(const RecordingSession& session) {
  return session.captureWidth > 0
             ? std::make_unique<ScreenGrabber>(session.captureWidth, session.captureHeight,
                                               session.captureLeft, session.captureTop,
                                               session.recordedMonitor)
             : std::make_unique<ScreenGrabber>(session.width, session.height);
}

Status WriteCapturedFrame(RecordingSession& session, ScreenGrabber& grabber) {
  grabber.Grab();
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
                                (session.captureHeight > 0 ? session.captureHeight : 1);
  session.scaler->Scale(grabber.Bits(), stride, session.scaledFrame.data());
  return WriteVideoFrame(session, session.scaledFrame.data(),
                         static_cast<DWORD>(session.scaledFrame.size()), now);
}

void CaptureFrame(RecordingSession& session, ScreenGrabber& grabber) {
  if (EncoderBehind(session)) {
    session.framesDropped.fetch_add(1);
    return;
  }
  const Status written = WriteCapturedFrame(session, grabber);
  if (!written.ok()) {
    session.framesDropped.fetch_add(1);
    session.videoFailure.Record(written.error());
  }
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
  const TimerPeriod timerPeriod(1);
  std::unique_ptr<ScreenGrabber> own;
  ScreenGrabber* grabber = session.grabber.get();
  if (grabber == nullptr) grabber = (own = MakeGrabber(session)).get();
  if (!grabber->Ready()) {
    session.videoFailure.Record("CreateDIBSection", E_OUTOFMEMORY);
    return;
  }

  const bool firstFrameWritten = session.framesWritten > 0;
  std::int64_t next = firstFrameWritten ? session.startTime : Now100ns();
  bool grabNow = !firstFrameWritten;
  while (!session.stop.Requested()) {
    if (session.clock.Paused()) {
      // Nothing is captured while paused. The resume wakes the worker (a
      // wake left from an earlier resume only costs one more look), a stop
      // ends it, and the frame after the resume is captured at once.
      if (session.stop.WaitForWake()) break;
      next = Now100ns();
      grabNow = true;
      continue;
    }
    if (grabNow) CaptureFrame(session, *grabber);
    grabNow = true;
    if (const auto pause = NextFramePause(next, Now100ns(), session.frameInterval)) {
      if (session.stop.WaitFor(*pause)) break;
    }
  }
}

}  // namespace morl::recorder
