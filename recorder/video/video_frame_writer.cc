#include "recorder/video/video_frame_writer.h"

#include <algorithm>

#include "recorder/media_time.h"
#include "recorder/sample_writer.h"

namespace morl::recorder {

namespace {

constexpr std::int64_t kFewestFramesInFlight = 4;
constexpr std::int64_t kEncoderDelayFrames = 16;
constexpr std::int64_t kFramesInFlightBytes = std::int64_t{512} << 20;

}  // namespace

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

std::int64_t FramesInFlightBound(std::int64_t frameBytes, std::int64_t frameInterval) {
  const std::int64_t halfSecond = frameInterval > 0 ? kTicksPerSecond / 2 / frameInterval : 0;
  const std::int64_t wanted = std::max(halfSecond, kEncoderDelayFrames);
  const std::int64_t fit = frameBytes > 0 ? kFramesInFlightBytes / frameBytes : wanted;
  return std::max(kFewestFramesInFlight, std::min(wanted, fit));
}

bool EncoderBehind(RecordingSession& session) {
  MF_SINK_WRITER_STATISTICS stats{};
  stats.cb = sizeof stats;
  {
    std::lock_guard<std::mutex> lock(session.writer.mutex);
    if (FAILED(session.writer.sinkWriter->GetStatistics(session.writer.videoStream, &stats))) {
      return false;
    }
  }
  const std::int64_t frameBytes = std::int64_t{session.width} * session.height * 4;
  const QWORD bound = static_cast<QWORD>(FramesInFlightBound(frameBytes, session.frameInterval));
  return stats.qwNumSamplesReceived - stats.qwNumSamplesEncoded >= bound;
}

}  // namespace morl::recorder
