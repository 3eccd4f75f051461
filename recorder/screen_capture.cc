#include "recorder/screen_capture.h"

#include "recorder/com_apartment.h"
#include "recorder/frame_pacing.h"
#include "recorder/now_100ns.h"
#include "recorder/screen_grabber.h"
#include "recorder/video_frame_writer.h"

void RunScreenCapture(RecordingSession& session) {
  const ComApartment apartment(COINIT_MULTITHREADED);
  ScreenGrabber grabber(session.width, session.height);
  if (!grabber.Ready()) return;

  std::int64_t next = Now100ns();
  while (!session.stopRequested) {
    grabber.Grab();
    // Timed after the grab: the sample carries the moment the screen was
    // really captured, so slow frames show up as wider spacing.
    WriteVideoFrame(session, grabber.Bits(), grabber.FrameBytes(), Now100ns());
    if (const auto pause = NextFramePause(next, Now100ns())) Sleep(*pause);
  }
}
