#include "recorder/audio/microphone_reader.h"

#include <mfapi.h>
#include <mferror.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "recorder/media_time.h"
#include "recorder/audio/mic_aligner.h"
#include "recorder/audio/microphone.h"
#include "recorder/now_100ns.h"
#include "recorder/sample_writer.h"
#include "win32_support/buffer_lock.h"

namespace morl::recorder {

namespace {

constexpr int kReadRetries = 3;
// How long a stop waits for the reader to confirm its flush. A reader that
// never confirms is released anyway; it can no longer reach the recording.
constexpr DWORD kFlushWaitMs = 200;

constexpr DWORD kAudioStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);

// The first buffers are held this long (in 100-ns ticks of audio) before any
// is written. Their arrival times are all the timeline has to place the
// device's clock on the recording's, and one buffer that arrived late (a
// jittery device, a busy machine) would place everything after it late too;
// by the end of this window a buffer that arrived promptly has been seen.
// No longer than the track may lag the clock: the sink holds the video back
// meanwhile.
constexpr std::int64_t kSettleTicks = kLongestAudioLag;

}  // namespace

MicrophoneReader::MicrophoneReader(const AudioWork& work, MicrophoneInput& input)
    : work_(work),
      input_(input),
      timeline_(input.sample_rate, input.channels),
      aligner_(input.sample_rate, input.channels),
      flushed_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

MicrophoneReader::~MicrophoneReader() {
  if (flushed_ != nullptr) CloseHandle(flushed_);
}

HRESULT MicrophoneReader::Start(IMFSourceReader* reader) {
  std::lock_guard<std::mutex> lock(mutex_);
  reader_ = reader;
  timeline_ = MicTimeline(input_.sample_rate, input_.channels);
  aligner_ = MicAligner(input_.sample_rate, input_.channels);
  held_.clear();
  held_ticks_ = 0;
  settled_ = false;
  return RequestNext();
}

HRESULT MicrophoneReader::SwitchTo(ComRef<IMFSourceReader> reader) {
  ComRef<IMFSourceReader> old;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) return S_OK;
    // With no reader, callbacks still under way from the old one return at
    // once; what it held back is written before the new device's buffers.
    reader_ = nullptr;
    WriteHeld();
    old = std::move(input_.reader);
  }
  // Released outside the lock: releasing a reader waits for its thread,
  // which may be waiting for the lock in a callback.
  if (old) {
    if (SUCCEEDED(old->Flush(MF_SOURCE_READER_ALL_STREAMS))) {
      WaitForSingleObject(flushed_, kFlushWaitMs);
    }
    old.Reset();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_) return S_OK;
  input_.reader = std::move(reader);
  reader_ = input_.reader.Get();
  // A new device has a clock of its own: its time line is learnt again.
  // The aligner keeps the track's place, so the time between is silence.
  timeline_ = MicTimeline(input_.sample_rate, input_.channels);
  aligner_.Rejoin();
  held_.clear();
  held_ticks_ = 0;
  settled_ = false;
  failures_in_a_row_ = 0;
  lost_ = S_OK;
  return RequestNext();
}

void MicrophoneReader::Stop() {
  IMFSourceReader* reader = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) return;
    stopped_ = true;
    reader = reader_;
  }
  // No reader while the follower switches devices: nothing to flush.
  if (reader != nullptr && SUCCEEDED(reader->Flush(MF_SOURCE_READER_ALL_STREAMS)) &&
      flushed_ != nullptr) {
    WaitForSingleObject(flushed_, kFlushWaitMs);
  }
  // A recording shorter than the settling window still keeps its audio.
  std::lock_guard<std::mutex> lock(mutex_);
  WriteHeld();
}

HRESULT MicrophoneReader::RequestNext() {
  return reader_->ReadSample(kAudioStream, 0, nullptr, nullptr, nullptr, nullptr);
}

void MicrophoneReader::Write(IMFSample* sample, LONGLONG timestamp) {
  WorkerFailure& failure = work_.track.failure;
  ComRef<IMFMediaBuffer> input;
  HRESULT hr = sample->ConvertToContiguousBuffer(input.Put());
  if (FAILED(hr)) return failure.Record("IMFSample::ConvertToContiguousBuffer", hr);
  {
    const BufferLock lock(input.Get());
    if (FAILED(lock.Result())) return failure.Record("IMFMediaBuffer::Lock", lock.Result());
    DWORD length = 0;
    input->GetCurrentLength(&length);
    const std::size_t frame_bytes = 2 * static_cast<std::size_t>(input_.channels);
    const std::size_t frames = frame_bytes == 0 ? 0 : length / frame_bytes;
    const std::int64_t duration = timeline_.Duration(length);
    timeline_.Observe(timestamp, duration, Now100ns(), work_.timeline.start_time);
    longest_buffer_ = std::max(longest_buffer_, duration);
    in_.resize(frames * input_.channels);
    if (!in_.empty()) {
      std::memcpy(in_.data(), lock.Data(), in_.size() * 2);
      // The level shows what is recorded, as it arrives.
      const RecordingClock::Run run = RecordedRun(frames, timestamp);
      if (run.keep > 0) {
        const std::int16_t* kept = in_.data() + run.skip * input_.channels;
        work_.track.mic_level.Add(
            LevelMeter::Peak(kept, static_cast<std::size_t>(run.keep) * input_.channels),
            Now100ns());
      }
    }
    if (!settled_) {
      if (held_.empty()) held_since_ = RecordedTime(Now100ns());
      held_.push_back(HeldBuffer{in_, frames, timestamp});
      held_ticks_ += duration;
      if (held_ticks_ >= kSettleTicks) WriteHeld();
      return;
    }
    WriteFrames(in_.data(), frames, timestamp);
  }
}

void MicrophoneReader::WriteHeld() {
  settled_ = true;
  for (const HeldBuffer& buffer : held_) {
    WriteFrames(buffer.pcm.data(), buffer.frames, buffer.timestamp);
  }
  held_.clear();
}

void MicrophoneReader::KeepUpWithClock(std::int64_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_) return;
  const std::int64_t recorded = RecordedTime(now);
  if (!settled_ && !held_.empty()) {
    // The device delivers, and its first buffers wait for its time line to
    // settle; unless it stalled before enough of them came.
    if (recorded - held_since_ < kSettleTicks + kLongestAudioLag) return;
    WriteHeld();
  }
  // A buffer comes only once it is whole: silence stays a buffer's length
  // further back, so that a device delivering long buffers loses nothing.
  const std::int64_t until =
      TicksToFrames(recorded - kLongestAudioLag - longest_buffer_, input_.sample_rate);
  const std::int64_t from = aligner_.written();
  if (until <= from) return;
  pcm_.clear();
  aligner_.FillTo(until, pcm_);
  WriteAligned(from, false);
}

std::int64_t MicrophoneReader::RecordedTime(std::int64_t now) const {
  return work_.timeline.clock.Cut(now) - work_.timeline.start_time;
}

RecordingClock::Run MicrophoneReader::RecordedRun(std::size_t frames, LONGLONG timestamp) const {
  return work_.timeline.clock.Recorded(work_.timeline.start_time + timeline_.TimeOf(timestamp),
                                       static_cast<std::int64_t>(frames), input_.sample_rate);
}

void MicrophoneReader::WriteFrames(const std::int16_t* pcm, std::size_t frames,
                                   LONGLONG timestamp) {
  // The track holds recorded time only: the frames captured while paused
  // are left out and the rest placed with the paused time cut out.
  const RecordingClock::Run run = RecordedRun(frames, timestamp);
  if (run.keep <= 0) return;
  const std::int64_t rate = input_.sample_rate;
  const std::int64_t first_kept =
      work_.timeline.start_time + timeline_.TimeOf(timestamp) + FramesToTicks(run.skip, rate);
  const std::int64_t before = aligner_.written();
  pcm_.clear();
  aligner_.Add(pcm + run.skip * input_.channels, static_cast<std::size_t>(run.keep),
               work_.timeline.clock.Cut(first_kept) - work_.timeline.start_time, pcm_);
  WriteAligned(before, true);
}

void MicrophoneReader::WriteAligned(std::int64_t from, bool delivered) {
  const std::int64_t rate = input_.sample_rate;
  if (aligner_.written() <= from) return;  // all of it already past
  // Times come from the running frame count, so truncation never accumulates.
  const std::int64_t time = FramesToTicks(from, rate);
  const Status written =
      work_.writer.WriteAudio(pcm_.data(), static_cast<DWORD>(pcm_.size() * 2), time,
                              FramesToTicks(aligner_.written(), rate) - time);
  if (!written.ok()) return work_.track.failure.Record(written.error());
  // Silence standing in for a device that delivered nothing is no audio.
  if (delivered) work_.track.samples_written.fetch_add(1);
}

HRESULT STDMETHODCALLTYPE MicrophoneReader::OnReadSample(HRESULT hr, DWORD, DWORD stream_flags,
                                                         LONGLONG timestamp, IMFSample* sample) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_ || reader_ == nullptr) return S_OK;
  if (hr == MF_E_AUDIO_RECORDING_DEVICE_INVALIDATED) {
    // The device went away: this reader never delivers again.
    work_.track.failure.Record("mic device lost", hr);
    lost_ = hr;
    return S_OK;
  }
  if (FAILED(hr)) {
    if (++failures_in_a_row_ > kReadRetries) {
      work_.track.failure.Record("IMFSourceReader::ReadSample", hr);
      lost_ = hr;
      return S_OK;
    }
  } else {
    failures_in_a_row_ = 0;
    if ((stream_flags & MF_SOURCE_READERF_ENDOFSTREAM) != 0) return S_OK;
    if (sample != nullptr) Write(sample, timestamp);
  }
  hr = RequestNext();
  if (FAILED(hr)) work_.track.failure.Record("IMFSourceReader::ReadSample", hr);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MicrophoneReader::OnFlush(DWORD) {
  if (flushed_ != nullptr) SetEvent(flushed_);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MicrophoneReader::OnEvent(DWORD, IMFMediaEvent*) { return S_OK; }

HRESULT STDMETHODCALLTYPE MicrophoneReader::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IMFSourceReaderCallback) {
    *object = static_cast<IMFSourceReaderCallback*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE MicrophoneReader::AddRef() { return ++refs_; }

ULONG STDMETHODCALLTYPE MicrophoneReader::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

ComRef<MicrophoneReader> MakeMicrophoneReader(const AudioWork& work, MicrophoneInput& input) {
  return ComRef<MicrophoneReader>(new MicrophoneReader(work, input));
}

HRESULT SwitchMicrophoneReader(MicrophoneInput& input, ComRef<IMFSourceReader> reader) {
  if (!input.callback) return E_POINTER;
  return input.callback->SwitchTo(std::move(reader));
}

HRESULT MicrophoneLost(const MicrophoneInput& input) {
  if (!input.callback) return S_OK;
  return input.callback->lost();
}

HRESULT StartMicrophoneReader(MicrophoneInput& input) {
  if (!input.callback || !input.reader) return E_POINTER;
  return input.callback->Start(input.reader.Get());
}

void StopMicrophoneReader(MicrophoneInput& input) {
  if (input.callback) input.callback->Stop();
}

}  // namespace morl::recorder
