#include "mf/sink_writer_progress.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace winsim {

void SinkProgress::Count::Add(LONGLONG time, std::size_t length) {
  ++samples;
  bytes += length;
  last_time = time;
}

SinkProgress::SinkProgress(int video_latency_frames)
    : latency_(video_latency_frames > 0 ? static_cast<QWORD>(video_latency_frames) : 0) {}

void SinkProgress::AddStream(bool video) {
  std::lock_guard<std::mutex> lock(mutex_);
  streams_.emplace_back();
  streams_.back().video = video;
}

void SinkProgress::Release(Stream& stream) {
  while (!stream.held.empty() &&
         (drained_ || stream.received.samples >= stream.done.samples + 1 + latency_)) {
    stream.done.Add(stream.held.front().time, stream.held.front().bytes);
    stream.held.pop_front();
  }
}

void SinkProgress::Drain() {
  std::lock_guard<std::mutex> lock(mutex_);
  drained_ = true;
  for (Stream& stream : streams_) Release(stream);
}

std::size_t SinkProgress::StreamCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return streams_.size();
}

void SinkProgress::Received(DWORD stream, LONGLONG time, std::size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stream >= streams_.size()) return;
  streams_[stream].received.Add(time, bytes);
  Release(streams_[stream]);
}

void SinkProgress::Done(DWORD stream, LONGLONG time, std::size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stream >= streams_.size()) return;
  Stream& s = streams_[stream];
  if (!s.video || latency_ == 0) {
    s.done.Add(time, bytes);
    return;
  }
  s.held.push_back(Finished{time, bytes});
  Release(s);
}

QWORD SinkProgress::TotalReceived() const {
  std::lock_guard<std::mutex> lock(mutex_);
  QWORD total = 0;
  for (const Stream& stream : streams_) total += stream.received.samples;
  return total;
}

void SinkProgress::Fill(DWORD stream, MF_SINK_WRITER_STATISTICS* stats) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::memset(stats, 0, sizeof(*stats));
  stats->cb = sizeof(*stats);
  const std::size_t first = stream == MF_SINK_WRITER_ALL_STREAMS ? 0 : stream;
  const std::size_t end = stream == MF_SINK_WRITER_ALL_STREAMS ? streams_.size() : stream + 1;
  QWORD queued = 0;
  for (std::size_t i = first; i < end && i < streams_.size(); ++i) {
    const Stream& s = streams_[i];
    if (s.received.samples > 0) {
      stats->llLastTimestampReceived =
          stats->qwNumSamplesReceived == 0
              ? s.received.last_time
              : std::max(stats->llLastTimestampReceived, s.received.last_time);
    }
    if (s.done.samples > 0) {
      const LONGLONG done_time = stats->qwNumSamplesProcessed == 0
                                     ? s.done.last_time
                                     : std::max(stats->llLastTimestampProcessed, s.done.last_time);
      stats->llLastTimestampEncoded = done_time;
      stats->llLastTimestampProcessed = done_time;
    }
    stats->qwNumSamplesReceived += s.received.samples;
    stats->qwNumSamplesEncoded += s.done.samples;
    stats->qwNumSamplesProcessed += s.done.samples;
    stats->qwByteCountProcessed += s.done.bytes;
    queued += s.received.bytes - s.done.bytes;
  }
  stats->dwByteCountQueued =
      static_cast<DWORD>(std::min<QWORD>(queued, std::numeric_limits<DWORD>::max()));
}

}  // namespace winsim
