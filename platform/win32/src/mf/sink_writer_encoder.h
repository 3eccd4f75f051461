// The sink writer's own encoding thread. Samples are queued by reference and
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
#include <utility>
#include <vector>

#include "com/com_ref.h"
#include "mfapi.h"
#include "mp4/mp4_encoder.h"
#include "mf/sink_writer_progress.h"
#include "mf/sink_writer_record.h"

namespace winsim {

// A media buffer kept locked while its bytes wait for the encoder, so the
// pointer stays valid without a copy. Unlocked when the holder goes.
class LockedBuffer {
 public:
  LockedBuffer() = default;
  LockedBuffer(ComRef<IMFMediaBuffer> buffer, const std::uint8_t* data)
      : buffer_(std::move(buffer)), data_(data) {}
  LockedBuffer(LockedBuffer&& other) noexcept
      : buffer_(std::move(other.buffer_)), data_(std::exchange(other.data_, nullptr)) {}
  LockedBuffer& operator=(LockedBuffer&& other) noexcept {
    if (this != &other) {
      Unlock();
      buffer_ = std::move(other.buffer_);
      data_ = std::exchange(other.data_, nullptr);
    }
    return *this;
  }
  ~LockedBuffer() { Unlock(); }

  const std::uint8_t* data() const { return data_; }

 private:
  void Unlock() {
    if (buffer_) buffer_->Unlock();
    buffer_.Reset();
    data_ = nullptr;
  }

  ComRef<IMFMediaBuffer> buffer_;
  const std::uint8_t* data_ = nullptr;
};

// A video frame in a texture, read by the encoder when it takes the frame,
// as a GPU's encoder reads the texture the sample carries: a caller that
// draws into a texture the writer still holds changes what is encoded.
struct SurfaceFrame {
  ComRef<IMFMediaBuffer> buffer;
  std::shared_ptr<const void> pixels_at_write;  // SurfacePixelsVersion at WriteSample
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool bottom_up = false;
};

struct EncodeJob {
  DWORD stream = 0;
  bool video = true;
  // A sample of one buffer is held as it is, as the writer's caller made it;
  // the bytes of a sample of several buffers are gathered into `copied`, and
  // so are those of a frame in a texture (`surface`) once it is read.
  ComRef<IMFSample> sample;
  LockedBuffer held;
  SurfaceFrame surface;
  std::uint32_t first_pixel = 0;  // of a surface's frame, in the stream's row order
  std::vector<std::uint8_t> copied;
  std::size_t length = 0;  // the bytes to encode: a whole frame, or whole PCM frames
  std::int64_t time = 0;
  std::int64_t duration = 0;

  const std::uint8_t* data() const {
    return sample && !surface.buffer ? held.data() : copied.data();
  }
};

// Which H.264 encoder the video frames go to and their size, for what each
// frame costs (the machine file's "costs"): the software encoder spends
// processor time on the encoding thread, the GPU's takes time on the GPU,
// which the thread waits out.
struct VideoWork {
  bool hardware = false;
  double pixels = 0;
};

class SinkWriterEncoder {
 public:
  // `queue_limit` 0: Push never waits.
  // Each finished job is counted in `progress`.
  SinkWriterEncoder(std::unique_ptr<mp4::Mp4Encoder> encoder, int audio_channels,
                    std::size_t queue_limit, SinkRecordHandle record,
                    std::shared_ptr<SinkProgress> progress, VideoWork video_work);
  // Without Finish: stops after the job in hand and leaves the file unfinished.
  ~SinkWriterEncoder();
  SinkWriterEncoder(const SinkWriterEncoder&) = delete;
  SinkWriterEncoder& operator=(const SinkWriterEncoder&) = delete;

  void Push(EncodeJob job);
  // Encodes what is queued, completes the file and ends the thread. Returns
  // the first failure of the whole run (0 or a negative errno-style code).
  int Finish(std::string* error);
  // The first failure so far (0 or a negative errno-style code).
  int Failure() const { return failure_.load(); }

 private:
  void Run();
  void SpendVideoWork() const;
  // Takes the frame of a job that carries a texture: counts it drawn over
  // when the texture was written since WriteSample, and reads it into the
  // job's `copied` for the encoder.
  void TakeSurface(EncodeJob* job);

  std::unique_ptr<mp4::Mp4Encoder> encoder_;
  int audio_channels_;
  std::size_t queue_limit_;
  SinkRecordHandle record_;
  std::shared_ptr<SinkProgress> progress_;
  const VideoWork video_work_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<EncodeJob> queue_;
  bool finishing_ = false;
  std::atomic<bool> abandon_{false};
  int result_ = 0;               // written by the thread; read after join
  std::atomic<int> failure_{0};  // result_ as it stands, for other threads
  std::string error_;
  std::thread thread_;
};

}  // namespace winsim
