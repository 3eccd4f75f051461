#include "recorder/screen_capture.h"

#include <optional>

#include "recorder/com_apartment.h"
#include "recorder/frame_pacing.h"
#include "recorder/now_100ns.h"
#include "recorder/video_frame_writer.h"

namespace {

// Frames the sink writer may hold unencoded. The writer does not throttle (a
// capture must never wait for the encoder), so when encoding falls behind,
// frames beyond these are dropped instead of queueing without limit: at 4K
// each one is 33 MB.
constexpr QWORD kMaxFramesInFlight = 4;

bool EncoderBehind(RecordingSession& session) {
  MF_SINK_WRITER_STATISTICS stats{};
  stats.cb = sizeof stats;
  std::lock_guard<std::mutex> lock(session.writerMutex);
  // A writer without statistics cannot say; the frame is written.
  if (FAILED(session.sinkWriter->GetStatistics(session.videoStreamIndex, &stats))) return false;
  return stats.qwNumSamplesReceived - stats.qwNumSamplesProcessed >= kMaxFramesInFlight;
}

}  // namespace

void CaptureFrame(RecordingSession& session, ScreenGrabber& grabber) {
  if (EncoderBehind(session)) {
    session.framesDropped.fetch_add(1);
    return;
  }
  grabber.Grab();
  // Timed after the grab: the sample carries the moment the screen was
  // really captured, so slow frames show up as wider spacing.
  const char* failedCall = nullptr;
  const HRESULT hr =
      WriteVideoFrame(session, grabber.Bits(), grabber.FrameBytes(), Now100ns(), &failedCall);
  if (FAILED(hr)) {
    session.framesDropped.fetch_add(1);
    session.videoFailure.Record(failedCall, hr);
  }
}

void RunScreenCapture(RecordingSession& session) {
  const ComApartment apartment(COINIT_MULTITHREADED);
  std::optional<ScreenGrabber> own;
  ScreenGrabber* grabber = session.grabber.get();
  if (grabber == nullptr) grabber = &own.emplace(session.width, session.height);
  if (!grabber->Ready()) {
    session.videoFailure.Record("CreateDIBSection", E_OUTOFMEMORY);
    return;
  }

  const bool firstFrameWritten = session.framesWritten > 0;
  std::int64_t next = firstFrameWritten ? session.startTime : Now100ns();
  bool grabNow = !firstFrameWritten;
  while (!session.stop.Requested()) {
    if (grabNow) CaptureFrame(session, *grabber);
    grabNow = true;
    if (const auto pause = NextFramePause(next, Now100ns())) {
      if (session.stop.WaitFor(*pause)) break;
    }
  }
}
