// The sink writer's own encoding thread. Samples are queued as copies and
// encoded in order into the writer's Mp4Encoder, so WriteSample never waits
// for the encoder unless the writer throttles (a bounded queue).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mp4_encoder.h"
#include "sink_writer_record.h"

namespace winsim {

struct EncodeJob {
  bool video = true;
  std::vector<std::uint8_t> bytes;  // a whole frame, or whole PCM frames
  std::int64_t time = 0;
  std::int64_t duration = 0;
};

class SinkWriterEncoder {
 public:
  // `queue_limit` 0: Push never waits.
  SinkWriterEncoder(std::unique_ptr<mp4::Mp4Encoder> encoder, int audio_channels,
                    std::size_t queue_limit, SinkRecordHandle record);
  // Without Finish: stops after the job in hand and leaves the file unfinished.
  ~SinkWriterEncoder();
  SinkWriterEncoder(const SinkWriterEncoder&) = delete;
  SinkWriterEncoder& operator=(const SinkWriterEncoder&) = delete;

  void Push(EncodeJob job);
  // Encodes what is queued, completes the file and ends the thread. Returns
  // the first failure of the whole run (0 or a negative errno-style code).
  int Finish(std::string* error);

 private:
  void Run();

  std::unique_ptr<mp4::Mp4Encoder> encoder_;
  int audio_channels_;
  std::size_t queue_limit_;
  SinkRecordHandle record_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<EncodeJob> queue_;
  bool finishing_ = false;
  std::atomic<bool> abandon_{false};
  int result_ = 0;  // written by the thread; read after join
  std::string error_;
  std::thread thread_;
};

}  // namespace winsim
