#include "recorder/video/video_frame_writer.h"

#include <algorithm>

#include "recorder/media_time.h"
#include "recorder/sample_writer.h"
#include "recorder/video/gpu_frames.h"

namespace morl::recorder {

namespace {

constexpr std::int64_t kFewestFramesInFlight = 4;
constexpr std::int64_t kEncoderDelayFrames = 16;
constexpr std::int64_t kFramesInFlightBytes = std::int64_t{512} << 20;

// Writes one frame with `write` (given the sample's time and duration) at
// `now` on the time line's clock, and counts it when the writer took it.
template <typename Write>
Status WriteTimedFrame(const VideoWork& work, std::int64_t now, const Write& write) {
  const std::int64_t time = work.timeline.clock.Cut(now) - work.timeline.start_time;
  VideoTrack& track = work.track;
  Status written = write(time, track.frame_interval);
  if (written.ok()) {
    track.frames_written.fetch_add(1);
    track.end_time.exchange(time + track.frame_interval);
  }
  return written;
}

}  // namespace

Status WriteVideoFrame(const VideoWork& work, const BYTE* frame, DWORD bytes, std::int64_t now) {
  return WriteTimedFrame(work, now, [&](std::int64_t time, std::int64_t duration) {
    return work.writer.WriteVideo(frame, bytes, time, duration);
  });
}

Status WriteVideoFrameBuffer(const VideoWork& work, IMFMediaBuffer* frame, std::int64_t now) {
  return WriteTimedFrame(work, now, [&](std::int64_t time, std::int64_t duration) {
    return work.writer.WriteVideoBuffer(frame, time, duration);
  });
}

std::int64_t FramesInFlightBound(std::int64_t frame_bytes, std::int64_t frame_interval) {
  const std::int64_t half_second = frame_interval > 0 ? kTicksPerSecond / 2 / frame_interval : 0;
  const std::int64_t wanted = std::max(half_second, kEncoderDelayFrames);
  const std::int64_t fit = frame_bytes > 0 ? kFramesInFlightBytes / frame_bytes : wanted;
  return std::max(kFewestFramesInFlight, std::min(wanted, fit));
}

bool EncoderBehind(TrackWriter& writer, const VideoTrack& track) {
  MF_SINK_WRITER_STATISTICS stats{};
  stats.cb = sizeof stats;
  {
    std::lock_guard<std::mutex> lock(writer.mutex);
    if (FAILED(writer.sink_writer->GetStatistics(writer.video_stream, &stats))) {
      return false;
    }
  }
  const std::int64_t frame_bytes = std::int64_t{track.width} * track.height * 4;
  // On the duplication path a frame's texture is used again once the ring
  // of them has gone round, so fewer may be in flight.
  const QWORD bound = static_cast<QWORD>(
      track.gpu_frames ? GpuFramesInFlight(track.width, track.height)
                       : FramesInFlightBound(frame_bytes, track.frame_interval));
  return stats.qwNumSamplesReceived - stats.qwNumSamplesEncoded >= bound;
}

}  // namespace morl::recorder
