// How far each stream of a sink writer has got: the samples WriteSample
// accepted, the samples its encoder thread has finished, and the bytes still
// waiting between the two. The writer and its encoder thread both update it;
// GetStatistics reads it. Thread-safe.
//
// A video encoder with a latency of N frames holds each frame until N more
// have come in: a finished frame counts as processed only once N later frames
// were received, or once the writer is drained (Finalize).
#pragma once

#include <mfreadwrite.h>

#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

namespace winsim {

class SinkProgress {
 public:
  explicit SinkProgress(int video_latency_frames = 0);
  void AddStream(bool video);
  std::size_t StreamCount() const;
  // A sample accepted by WriteSample.
  void Received(DWORD stream, LONGLONG time, std::size_t bytes);
  // A sample the encoder has finished with: encoded and handed to the file.
  void Done(DWORD stream, LONGLONG time, std::size_t bytes);
  // Every finished frame counts as processed from now on.
  void Drain();
  // Samples accepted on all streams together.
  QWORD TotalReceived() const;
  // The statistics of one stream, or of all together for
  // MF_SINK_WRITER_ALL_STREAMS: counts and bytes add up, the last times are
  // the latest of any stream. The caller checks `stream`.
  void Fill(DWORD stream, MF_SINK_WRITER_STATISTICS* stats) const;

 private:
  struct Count {
    QWORD samples = 0;
    QWORD bytes = 0;
    LONGLONG last_time = 0;
    void Add(LONGLONG time, std::size_t length);
  };
  struct Finished {
    LONGLONG time;
    std::size_t bytes;
  };
  struct Stream {
    bool video = false;
    Count received;
    Count done;
    std::deque<Finished> held;  // finished by the encoder, still in its latency
  };

  // Counts the held frames whose latency has passed. Call under mutex_.
  void Release(Stream& stream);

  const QWORD latency_;
  bool drained_ = false;
  mutable std::mutex mutex_;
  std::vector<Stream> streams_;
};

}  // namespace winsim
