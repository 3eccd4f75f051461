#include "mf/sink_writer_encoder.h"

#include "machine/machine_work.h"
#include "mf/dxgi_surface_buffer.h"
#include "winsim_costs.h"

namespace winsim {

SinkWriterEncoder::SinkWriterEncoder(std::unique_ptr<mp4::Mp4Encoder> encoder, int audio_channels,
                                     std::size_t queue_limit, SinkRecordHandle record,
                                     std::shared_ptr<SinkProgress> progress, VideoWork video_work)
    : encoder_(std::move(encoder)),
      audio_channels_(audio_channels),
      queue_limit_(queue_limit),
      record_(record),
      progress_(std::move(progress)),
      video_work_(video_work) {
  thread_ = std::thread([this] { Run(); });
}

SinkWriterEncoder::~SinkWriterEncoder() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    abandon_ = true;
  }
  changed_.notify_all();
  WakeSinkEncoders();
  thread_.join();
}

void SinkWriterEncoder::Push(EncodeJob job) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (queue_limit_ > 0) {
    changed_.wait(lock, [&] { return queue_.size() < queue_limit_ || finishing_ || abandon_; });
  }
  queue_.push_back(std::move(job));
  changed_.notify_all();
}

int SinkWriterEncoder::Finish(std::string* error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finishing_ = true;
  }
  changed_.notify_all();
  thread_.join();
  if (result_ == 0 && encoder_) {
    result_ = encoder_->Finish();
    if (result_ < 0) error_ = encoder_->error();
  }
  *error = error_;
  return result_;
}

void SinkWriterEncoder::SpendVideoWork() const {
  const Costs costs = MachineCosts();
  if (video_work_.hardware) {
    WaitForDevice(CostOf(costs.hardware_encode_ms_per_mpixel, video_work_.pixels));
  } else {
    SpendProcessorTime(CostOf(costs.software_encode_ms_per_mpixel, video_work_.pixels));
  }
}

void SinkWriterEncoder::TakeSurface(EncodeJob* job) {
  const SurfaceFrame& surface = job->surface;
  if (SurfacePixelsVersion(surface.buffer.Get()) != surface.pixels_at_write) {
    record_.Update([](SinkWriterRecord& record) { ++record.frames_drawn_over; });
  }
  // The texture was checked when the sample was written and its size and
  // format cannot change, so the read cannot fail.
  if (encoder_) {
    ReadSurfaceFrame(surface.buffer.Get(), surface.width, surface.height, surface.bottom_up,
                     &job->copied);
  }
  job->surface = SurfaceFrame{};
  job->sample.Reset();
}

void SinkWriterEncoder::Run() {
  for (;;) {
    EncodeJob job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return !queue_.empty() || finishing_ || abandon_; });
      if (abandon_ || queue_.empty()) return;
    }
    WaitWhileSinkEncodingHeld(abandon_);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (abandon_) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    changed_.notify_all();
    // After a failure the rest is only counted: the file is lost anyway and
    // Finalize reports why.
    if (result_ == 0) {
      if (job.video) SpendVideoWork();
      if (job.surface.buffer) TakeSurface(&job);
      const int code =
          !encoder_   ? 0  // encoding switched off: only the cost is spent
          : job.video ? encoder_->AddVideoFrame(job.data(), job.length, job.time, job.duration)
                      : encoder_->AddAudio(reinterpret_cast<const std::int16_t*>(job.data()),
                                           job.length / (2 * audio_channels_), job.time);
      if (code < 0) {
        result_ = code;
        error_ = encoder_->error();
        failure_ = code;
      }
    }
    progress_->Done(job.stream, job.time, job.length);
    record_.Update([](SinkWriterRecord& record) { ++record.samples_encoded; });
  }
}

}  // namespace winsim
