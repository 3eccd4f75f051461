#include "mf/sink_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "com/com_ref.h"
#include "mf/dxgi_surface_buffer.h"
#include "mf/sink_writer_path.h"
#include "winsim_costs.h"

namespace winsim {
namespace {

// Takes the sample's bytes into `job`. A sample of one buffer is held by
// reference with that buffer locked until the job is encoded, as the writer
// only reads it later; several buffers are gathered into one copy, as
// ConvertToContiguousBuffer would, without changing the caller's sample.
// A video frame in a texture (a DXGI surface buffer) is checked and held;
// the encoder reads it from the texture in the stream's row order (the
// texture's rows are top-down whatever the input type's stride says).
HRESULT TakeSampleBytes(IMFSample* sample, const SinkStreamFormat& stream, EncodeJob* job) {
  DWORD count = 0;
  if (HRESULT hr = sample->GetBufferCount(&count); FAILED(hr)) return hr;
  for (DWORD i = 0; i < count; ++i) {
    IMFMediaBuffer* raw = nullptr;
    if (HRESULT hr = sample->GetBufferByIndex(i, &raw); FAILED(hr)) return hr;
    ComRef<IMFMediaBuffer> buffer(raw);
    if (count == 1 && stream.video && IsSurfaceBuffer(buffer.Get())) {
      const HRESULT hr = CheckSurfaceFrame(buffer.Get(), stream.width, stream.height,
                                           stream.bottom_up, &job->first_pixel);
      if (FAILED(hr)) return hr;
      job->sample = ComRef<IMFSample>::Share(sample);
      job->surface = SurfaceFrame{buffer, SurfacePixelsVersion(buffer.Get()), stream.width,
                                  stream.height, stream.bottom_up};
      job->length = std::size_t{stream.width} * stream.height * 4;
      return S_OK;
    }
    BYTE* data = nullptr;
    DWORD length = 0;
    if (HRESULT hr = buffer->Lock(&data, nullptr, &length); FAILED(hr)) return hr;
    if (count == 1) {
      job->sample = ComRef<IMFSample>::Share(sample);
      job->held = LockedBuffer(std::move(buffer), data);
      job->length = length;
      return S_OK;
    }
    job->copied.insert(job->copied.end(), data, data + length);
    buffer->Unlock();
  }
  job->length = job->copied.size();
  return S_OK;
}

int ErrnoOf(int code) { return code < 0 ? -code : 0; }

HRESULT HresultFromEncoder(int code) {
  const HRESULT hr = HresultFromErrno(ErrnoOf(code));
  return hr == E_FAIL && code == -EINVAL ? MF_E_INVALIDMEDIATYPE : hr;
}

}  // namespace

SinkWriter::SinkWriter(std::string path, bool throttled, bool hardware_allowed,
                       mp4::OutputOptions output, SinkRecordHandle record, int video_latency_frames,
                       std::unique_ptr<FileOpen> file)
    : ComObject<IMFSinkWriterEx>("IMFSinkWriter"),
      path_(std::move(path)),
      throttled_(throttled),
      hardware_allowed_(hardware_allowed),
      output_(output),
      record_(record),
      progress_(std::make_shared<SinkProgress>(video_latency_frames)),
      file_(std::move(file)) {}

void SinkWriter::Note(const char* call) {
  record_.Update([call](SinkWriterRecord& record) { record.calls.push_back(call); });
}

HRESULT SinkWriter::AddStream(IMFMediaType* type, DWORD* index) {
  if (HRESULT hr = InjectedFailure("IMFSinkWriter::AddStream"); FAILED(hr)) return hr;
  std::lock_guard<std::mutex> lock(mutex_);
  Note("AddStream");
  if (type == nullptr || index == nullptr) return E_POINTER;
  if (state_ != State::kConfiguring) return MF_E_INVALIDREQUEST;
  SinkStreamFormat format;
  if (HRESULT hr = ReadOutputType(type, &format); FAILED(hr)) return hr;
  // The MP4 file carries one video and one audio track at most.
  for (const SinkStreamFormat& other : streams_) {
    if (other.video == format.video) return MF_E_INVALIDMEDIATYPE;
  }
  *index = static_cast<DWORD>(streams_.size());
  streams_.push_back(format);
  transforms_.emplace_back();
  progress_->AddStream(format.video);
  record_.Update([&format](SinkWriterRecord& record) { record.streams.push_back(format.record); });
  return S_OK;
}

HRESULT SinkWriter::SetInputMediaType(DWORD index, IMFMediaType* type, IMFAttributes* parameters) {
  if (HRESULT hr = InjectedFailure("IMFSinkWriter::SetInputMediaType"); FAILED(hr)) return hr;
  std::lock_guard<std::mutex> lock(mutex_);
  Note("SetInputMediaType");
  if (type == nullptr) return E_POINTER;
  if (index >= streams_.size()) return MF_E_INVALIDSTREAMNUMBER;
  if (state_ != State::kConfiguring) return MF_E_INVALIDREQUEST;
  SinkStreamFormat format = streams_[index];
  if (HRESULT hr = ReadInputType(type, parameters, hardware_allowed_, &format); FAILED(hr)) {
    return hr;
  }
  streams_[index] = format;
  if (format.video) {
    auto settings = std::make_shared<H264Settings>();
    settings->default_bitrate = format.bitrate;
    settings->mean_bitrate = format.bitrate;
    settings->gop_size = format.key_frame_interval;
    transforms_[index] = VideoTransforms(format.hardware, std::move(settings));
  } else {
    transforms_[index] = AudioTransforms();
  }
  record_.Update([&](SinkWriterRecord& record) { record.streams[index] = format.record; });
  return S_OK;
}

HRESULT SinkWriter::BeginWriting() {
  if (HRESULT hr = InjectedFailure("IMFSinkWriter::BeginWriting"); FAILED(hr)) return hr;
  std::lock_guard<std::mutex> lock(mutex_);
  Note("BeginWriting");
  if (state_ != State::kConfiguring || streams_.empty()) return MF_E_INVALIDREQUEST;
  if (HRESULT hr = OpenEncoder(); FAILED(hr)) return hr;
  state_ = State::kWriting;
  written_.assign(streams_.size(), StreamWritten{});
  for (const StreamTransforms& stream : transforms_) {
    if (stream.h264) stream.h264->writing = true;
  }
  return S_OK;
}

HRESULT SinkWriter::OpenEncoder() {
  mp4::VideoFormat video;
  mp4::AudioFormat audio;
  VideoWork video_work;
  const mp4::VideoFormat* with_video = nullptr;
  const mp4::AudioFormat* with_audio = nullptr;
  // A stream without an input type still gets its (empty) track.
  for (std::size_t i = 0; i < streams_.size(); ++i) {
    const SinkStreamFormat& stream = streams_[i];
    if (stream.video) {
      video.width = static_cast<int>(stream.width);
      video.height = static_cast<int>(stream.height);
      video.fps_num = static_cast<int>(stream.fps_num);
      video.fps_den = static_cast<int>(stream.fps_den);
      video.bitrate = stream.bitrate;
      video.bottom_up = stream.bottom_up;
      video.key_frame_interval = static_cast<int>(stream.key_frame_interval);
      if (const std::shared_ptr<H264Settings>& h264 = transforms_[i].h264) {
        video.bitrate = h264->mean_bitrate;
        video.key_frame_interval = static_cast<int>(h264->gop_size.load());
      }
      video_work.hardware = stream.hardware;
      video_work.pixels = static_cast<double>(stream.width) * stream.height;
      with_video = &video;
    } else {
      audio.sample_rate = static_cast<int>(stream.rate);
      audio.channels = static_cast<int>(stream.channels);
      audio.bitrate = stream.bitrate;
      with_audio = &audio;
    }
  }
  if (path_.empty()) {
    // Encoding is switched off: a sample is done once recorded, unless the
    // machine gives video encoding a cost, which a thread without an encoder
    // then spends per frame as the encoder would.
    const Costs costs = MachineCosts();
    if (with_video == nullptr || (costs.software_encode_ms_per_mpixel <= 0 &&
                                  costs.hardware_encode_ms_per_mpixel <= 0)) {
      return S_OK;
    }
    encoder_ = std::make_shared<SinkWriterEncoder>(nullptr, audio.channels,
                                                   throttled_ ? kThrottleQueue : 0, record_,
                                                   progress_, video_work);
    return S_OK;
  }
  std::unique_ptr<mp4::Mp4Encoder> encoder;
  std::string error;
  const int code = mp4::Mp4Encoder::Open(path_, with_video, with_audio, output_, &encoder, &error);
  if (code < 0) {
    std::fprintf(stderr, "sink writer: %s\n", error.c_str());
    std::fflush(stderr);
    return HresultFromEncoder(code);
  }
  encoder_ = std::make_shared<SinkWriterEncoder>(std::move(encoder), audio.channels,
                                                 throttled_ ? kThrottleQueue : 0, record_,
                                                 progress_, video_work);
  return S_OK;
}

HRESULT SinkWriter::WriteSample(DWORD index, IMFSample* sample) {
  if (HRESULT hr = InjectedFailure("IMFSinkWriter::WriteSample"); FAILED(hr)) return hr;
  std::unique_lock<std::mutex> lock(mutex_);
  if (sample == nullptr) return E_POINTER;
  if (state_ != State::kWriting) return MF_E_INVALIDREQUEST;
  if (index >= streams_.size()) return MF_E_INVALIDSTREAMNUMBER;
  if (encoder_ && encoder_->Failure() < 0) return HresultFromEncoder(encoder_->Failure());
  const SinkStreamFormat& stream = streams_[index];
  // Without an input type the writer would take the sample as already
  // encoded, which the simulation cannot check; it refuses instead.
  if (!stream.has_input) return MF_E_INVALIDREQUEST;
  EncodeJob job;
  job.stream = index;
  job.video = stream.video;
  if (FAILED(sample->GetSampleTime(&job.time))) return MF_E_NO_SAMPLE_TIMESTAMP;
  if (FAILED(sample->GetSampleDuration(&job.duration))) job.duration = 0;
  // The AAC encoder needs every sample's duration; one of zero would end
  // in a division by zero inside it, so it is refused here as well.
  if (!stream.video && job.duration <= 0) return MF_E_NO_SAMPLE_DURATION;
  if (HRESULT hr = TakeSampleBytes(sample, stream, &job); FAILED(hr)) return hr;
  if (stream.video) {
    const std::size_t frame = std::size_t{stream.width} * stream.height * 4;
    if (job.length < frame) return MF_E_BUFFERTOOSMALL;
    job.length = frame;
  } else {
    job.length -= job.length % stream.block_align;
  }

  SinkSample recorded;
  recorded.stream = index;
  recorded.time = job.time;
  recorded.duration = job.duration;
  recorded.bytes = job.length;
  if (stream.video && job.surface.buffer) {
    recorded.first_pixel = job.first_pixel;
  } else if (stream.video) {
    std::memcpy(&recorded.first_pixel, job.data(), 4);
  }
  record_.Update([&recorded](SinkWriterRecord& record) { record.samples.push_back(recorded); });
  WrittenUntil(index, job.time, job.time + job.duration);
  progress_->Received(index, job.time, job.length);
  if (!encoder_) {
    // Nothing to encode: the sample is finished as soon as it is recorded.
    progress_->Done(index, job.time, job.length);
  } else {
    // A throttled writer may wait here for the encoder; other calls must
    // not wait behind it, so the writer's lock is not held meanwhile.
    const std::shared_ptr<SinkWriterEncoder> encoder = encoder_;
    lock.unlock();
    encoder->Push(std::move(job));
  }
  return S_OK;
}

HRESULT SinkWriter::Finalize() {
  if (HRESULT hr = InjectedFailure("IMFSinkWriter::Finalize"); FAILED(hr)) return hr;
  std::lock_guard<std::mutex> lock(mutex_);
  Note("Finalize");
  if (state_ != State::kWriting) return MF_E_INVALIDREQUEST;
  state_ = State::kFinalized;
  // The MP4 sink cannot complete a file that holds no sample at all; the
  // file stays as it was, without an index.
  if (progress_->TotalReceived() == 0) {
    encoder_.reset();
    file_.reset();
    return MF_E_SINK_NO_SAMPLES_PROCESSED;
  }
  if (encoder_) {
    std::string error;
    const int code = encoder_->Finish(&error);
    encoder_.reset();
    file_.reset();
    if (code < 0) {
      std::fprintf(stderr, "sink writer: finalize %s: %s\n", path_.c_str(), error.c_str());
      std::fflush(stderr);
      return HresultFromEncoder(code);
    }
  }
  progress_->Drain();
  record_.Update([](SinkWriterRecord& record) { record.finalized = true; });
  return S_OK;
}

// A gap in a stream: nothing is written for it, and the next sample after it
// simply starts later in the track. The call shows in the record's calls.
HRESULT SinkWriter::SendStreamTick(DWORD index, LONGLONG timestamp) {
  if (HRESULT hr = InjectedFailure("IMFSinkWriter::SendStreamTick"); FAILED(hr)) return hr;
  std::lock_guard<std::mutex> lock(mutex_);
  Note("SendStreamTick");
  if (state_ != State::kWriting) return MF_E_INVALIDREQUEST;
  if (index >= streams_.size()) return MF_E_INVALIDSTREAMNUMBER;
  // A tick covers the stream's time up to it; it is no sample to hold.
  WrittenUntil(index, written_[index].start, timestamp);
  return S_OK;
}

// The media sink interleaves the streams by time: it holds a sample until
// every other stream has been written up to the sample's start.
void SinkWriter::WrittenUntil(DWORD index, std::int64_t start, std::int64_t end) {
  StreamWritten& written = written_[index];
  written.start = std::max(written.start, start);
  written.until = std::max(written.until, end);
  std::int64_t lag = 0;
  for (const StreamWritten& leading : written_) {
    for (const StreamWritten& trailing : written_) {
      lag = std::max(lag, leading.start - trailing.until);
    }
  }
  record_.Update([lag](SinkWriterRecord& record) {
    record.longest_stream_lag = std::max(record.longest_stream_lag, lag);
  });
}

HRESULT SinkWriter::PlaceMarker(DWORD, LPVOID) { return E_NOTIMPL; }
HRESULT SinkWriter::NotifyEndOfSegment(DWORD) { return E_NOTIMPL; }
HRESULT SinkWriter::Flush(DWORD) { return E_NOTIMPL; }
// The encoder of a stream answers for its interfaces (GUID_NULL: by
// QueryInterface); the writer models no media sink services, so anything
// else, and a stream without an encoder yet, is MF_E_UNSUPPORTED_SERVICE.
HRESULT SinkWriter::GetServiceForStream(DWORD index, REFGUID service, REFIID riid, LPVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (HRESULT hr = InjectedFailure("IMFSinkWriter::GetServiceForStream"); FAILED(hr)) return hr;
  std::lock_guard<std::mutex> lock(mutex_);
  if (index == MF_SINK_WRITER_MEDIASINK) return MF_E_UNSUPPORTED_SERVICE;
  if (index >= streams_.size()) return MF_E_INVALIDSTREAMNUMBER;
  const std::vector<ComRef<IMFTransform>>& chain = transforms_[index].transforms;
  if (service != GUID_NULL || chain.empty()) return MF_E_UNSUPPORTED_SERVICE;
  return chain.back()->QueryInterface(riid, object);
}

HRESULT SinkWriter::GetTransformForStream(DWORD index, DWORD transform_index, GUID* category,
                                          IMFTransform** transform) {
  if (transform == nullptr) return E_POINTER;
  *transform = nullptr;
  if (HRESULT hr = InjectedFailure("IMFSinkWriterEx::GetTransformForStream"); FAILED(hr)) {
    return hr;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= streams_.size()) return MF_E_INVALIDSTREAMNUMBER;
  const StreamTransforms& stream = transforms_[index];
  if (transform_index >= stream.transforms.size()) return MF_E_INVALIDINDEX;
  if (category != nullptr) *category = stream.categories[transform_index];
  *transform = ComRef<IMFTransform>::Share(stream.transforms[transform_index].Get()).Detach();
  return S_OK;
}

// Answers from the shared progress without the writer's lock, so a caller
// bounding its frames in flight is never held up by a WriteSample that waits
// for a throttled encoder.
HRESULT SinkWriter::GetStatistics(DWORD index, MF_SINK_WRITER_STATISTICS* stats) {
  if (stats == nullptr) return E_POINTER;
  if (index != MF_SINK_WRITER_ALL_STREAMS && index >= progress_->StreamCount()) {
    return MF_E_INVALIDSTREAMNUMBER;
  }
  if (stats->cb != sizeof(*stats)) return E_INVALIDARG;
  progress_->Fill(index, stats);
  return S_OK;
}

}  // namespace winsim
