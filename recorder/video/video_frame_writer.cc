#include "recorder/video/video_frame_writer.h"

#include "recorder/sample_writer.h"

namespace morl::recorder {

Status WriteVideoFrame(RecordingSession& session, const BYTE* frame, DWORD bytes,
                       std::int64_t now) {
  const std::int64_t time = session.clock.Cut(now) - session.startTime;
  Status written = session.writer.WriteVideo(frame, bytes, time, session.frameInterval);
  if (written.ok()) {
    session.framesWritten.fetch_add(1);
    session.videoEndTime.exchange(time + session.frameInterval);
  }
  return written;
}

}  // namespace morl::recorder
