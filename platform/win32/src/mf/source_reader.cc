#include "win32sim/source_reader.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "audio/audio_packet_schedule.h"
#include "audio/audio_state.h"
#include "com/com_ref.h"
#include "mf/device_source.h"
#include "machine/machine_clock.h"
#include "mfapi.h"
#include "mferror.h"

namespace winsim {
namespace audio {
namespace {

bool IsAudioStream(DWORD index) {
  return index == MF_SOURCE_READER_FIRST_AUDIO_STREAM || index == 0;
}

// Reads the microphone source. Its native output is 32-bit float; a
// request for 16-bit PCM at the device's rate and channel count (or with
// those left unset) makes it convert.
class SourceReader final : public ComObject<IMFSourceReader> {
 public:
  SourceReader(MicrophoneMediaSource* source, IMFSourceReaderCallback* callback)
      : ComObject("IMFSourceReader"),
        source_(source),
        mic_(source->settings()),
        device_{source->device().conditions, source->device().signal},
        schedule_(mic_.rate, device_.conditions, false),
        callback_(callback) {
    source_->AddRef();
  }

  HRESULT GetStreamSelection(DWORD index, BOOL* selected) override {
    if (selected == nullptr) return E_POINTER;
    if (!IsAudioStream(index)) return MF_E_INVALIDSTREAMNUMBER;
    *selected = TRUE;
    return S_OK;
  }
  HRESULT SetStreamSelection(DWORD index, BOOL) override {
    return IsAudioStream(index) ? S_OK : MF_E_INVALIDSTREAMNUMBER;
  }

  HRESULT GetNativeMediaType(DWORD index, DWORD type_index, IMFMediaType** type) override {
    if (type == nullptr) return E_POINTER;
    *type = nullptr;
    if (!IsAudioStream(index)) return MF_E_INVALIDSTREAMNUMBER;
    if (type_index != 0) return MF_E_NO_MORE_TYPES;
    return MakeType(MFAudioFormat_Float, 32, type);
  }

  HRESULT GetCurrentMediaType(DWORD index, IMFMediaType** type) override {
    if (type == nullptr) return E_POINTER;
    *type = nullptr;
    if (HRESULT hr = InjectedFailure("IMFSourceReader::GetCurrentMediaType"); FAILED(hr)) {
      return hr;
    }
    if (!IsAudioStream(index)) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard<std::mutex> lock(mutex_);
    return MakeType(pcm_ ? MFAudioFormat_PCM : MFAudioFormat_Float, pcm_ ? 16 : 32, type);
  }

  HRESULT SetCurrentMediaType(DWORD index, DWORD* /*reserved*/, IMFMediaType* type) override {
    if (HRESULT hr = InjectedFailure("IMFSourceReader::SetCurrentMediaType"); FAILED(hr)) {
      return hr;
    }
    if (!IsAudioStream(index)) return MF_E_INVALIDSTREAMNUMBER;
    if (type == nullptr) return E_POINTER;
    GUID major{};
    GUID subtype{};
    if (FAILED(type->GetGUID(MF_MT_MAJOR_TYPE, &major)) || major != MFMediaType_Audio ||
        FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype))) {
      return MF_E_INVALIDMEDIATYPE;
    }
    const bool pcm = subtype == MFAudioFormat_PCM;
    if (!pcm && subtype != MFAudioFormat_Float) return MF_E_INVALIDMEDIATYPE;
    // Unset values take the device's; set ones must match what it can give.
    const auto matches = [type](REFGUID key, UINT32 wanted) {
      UINT32 value = 0;
      return FAILED(type->GetUINT32(key, &value)) || value == wanted;
    };
    if (!matches(MF_MT_AUDIO_BITS_PER_SAMPLE, pcm ? 16 : 32) ||
        !matches(MF_MT_AUDIO_SAMPLES_PER_SECOND, mic_.rate) ||
        !matches(MF_MT_AUDIO_NUM_CHANNELS, mic_.channels)) {
      return MF_E_INVALIDMEDIATYPE;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    pcm_ = pcm;
    return S_OK;
  }

  HRESULT SetCurrentPosition(REFGUID, REFPROPVARIANT) override { return MF_E_INVALIDREQUEST; }

  HRESULT ReadSample(DWORD index, DWORD /*flags*/, DWORD* actual_index, DWORD* stream_flags,
                     LONGLONG* timestamp, IMFSample** sample) override {
    if (callback_) {
      // Asynchronous: the answer comes through the callback, never here.
      if (actual_index != nullptr || stream_flags != nullptr || timestamp != nullptr ||
          sample != nullptr) {
        return E_INVALIDARG;
      }
      if (!IsAudioStream(index)) return MF_E_INVALIDSTREAMNUMBER;
      std::lock_guard<std::mutex> lock(mutex_);
      ++requests_;
      StartThread();
      changed_.notify_all();
      return S_OK;
    }
    if (actual_index != nullptr) *actual_index = 0;
    if (stream_flags != nullptr) *stream_flags = 0;
    if (timestamp != nullptr) *timestamp = 0;
    if (sample == nullptr) return E_POINTER;  // a synchronous reader must return the sample
    *sample = nullptr;
    if (HRESULT hr = InjectedFailure("IMFSourceReader::ReadSample"); FAILED(hr)) return hr;
    if (!IsAudioStream(index)) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard<std::mutex> lock(mutex_);
    // The device starts capturing with the first read, as a source reader
    // starts its source; it hands over 10 ms buffers as its device
    // conditions let it.
    if (!schedule_.running()) schedule_.Start(Now100ns());
    if (!mic_.deliver) {
      while (!Ended() && !DeviceLost()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    while (!Ended() && !DeviceLost()) {
      schedule_.Advance(Now100ns(), false);
      if (schedule_.pending() > 0) break;
      WaitUntil(schedule_.NextAvailableAt());
    }
    if (DeviceLost()) return MF_E_AUDIO_RECORDING_DEVICE_INVALIDATED;
    if (Ended()) {
      if (stream_flags != nullptr) *stream_flags = MF_SOURCE_READERF_ENDOFSTREAM;
      return S_OK;
    }
    LONGLONG time = 0;
    if (HRESULT hr = MakeBuffer(schedule_.next_index(), sample, &time); FAILED(hr)) return hr;
    schedule_.Consume();
    ++next_;
    if (timestamp != nullptr) *timestamp = time;
    return S_OK;
  }

  HRESULT Flush(DWORD index) override {
    if (!IsAudioStream(index) && index != MF_SOURCE_READER_ALL_STREAMS) {
      return MF_E_INVALIDSTREAMNUMBER;
    }
    if (callback_) {
      std::lock_guard<std::mutex> lock(mutex_);
      ++flushes_;
      StartThread();
      changed_.notify_all();
    }
    return S_OK;
  }
  HRESULT GetServiceForStream(DWORD, REFGUID, REFIID, LPVOID* object) override {
    if (object != nullptr) *object = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT GetPresentationAttribute(DWORD, REFGUID, PROPVARIANT*) override {
    return MF_E_ATTRIBUTENOTFOUND;
  }

 protected:
  // Releasing the reader shuts its source down, as Media Foundation does
  // for a source the reader was given.
  ~SourceReader() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    // The last reference may be dropped by the callback on the reader's own
    // thread, which cannot wait for itself; it ends at `quit_` on its own.
    if (thread_.joinable()) {
      if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();
      } else {
        thread_.join();
      }
    }
    source_->Shutdown();
    source_->Release();
  }

 private:
  bool Ended() const {
    return source_->shut_down() ||
           (mic_.buffers_before_end >= 0 && next_ >= mic_.buffers_before_end);
  }

  // Whether the endpoint the source opened went away (unplugged, disabled or
  // removed). The source stays broken after that, even when the endpoint
  // returns: the application opens a new one. Requires mutex_.
  bool DeviceLost() {
    if (!device_lost_ && !EndpointActive(source_->device().id)) device_lost_ = true;
    return device_lost_;
  }

  UINT32 BytesPerFrame() const { return mic_.channels * (pcm_ ? 2 : 4); }

  HRESULT MakeType(REFGUID subtype, UINT32 bits, IMFMediaType** out) const {
    IMFMediaType* type = nullptr;
    if (HRESULT hr = MFCreateMediaType(&type); FAILED(hr)) return hr;
    const UINT32 block = mic_.channels * bits / 8;
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    type->SetGUID(MF_MT_SUBTYPE, subtype);
    type->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, mic_.rate);
    type->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, mic_.channels);
    type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, bits);
    type->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, block);
    type->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, block * mic_.rate);
    *out = type;
    return S_OK;
  }

  // Buffer `index` of the device as a sample stamped with the time its
  // first frame was sampled, from the device's origin.
  HRESULT MakeBuffer(std::int64_t index, IMFSample** out, LONGLONG* time) const {
    const std::int64_t first = schedule_.FirstFrameOf(index);
    const UINT32 frames = schedule_.FramesOf(index);
    const double sampled = schedule_.SampledAt(first);
    const DWORD bytes = frames * BytesPerFrame();
    IMFMediaBuffer* buffer = nullptr;
    if (HRESULT hr = MFCreateMemoryBuffer(bytes, &buffer); FAILED(hr)) return hr;
    BYTE* data = nullptr;
    HRESULT hr = buffer->Lock(&data, nullptr, nullptr);
    if (SUCCEEDED(hr)) {
      const BeepTiming beep{sampled, schedule_.FramePeriod(), device_.signal.beep_ms,
                            device_.signal.beep_period_ms};
      WriteTone(data, first, frames, mic_.rate, mic_.channels, pcm_ ? 16 : 32, !pcm_, mic_.tone_hz,
                mic_.level, &beep);
      buffer->Unlock();
      buffer->SetCurrentLength(bytes);
    }
    IMFSample* sample = nullptr;
    if (SUCCEEDED(hr)) hr = MFCreateSample(&sample);
    if (SUCCEEDED(hr)) hr = sample->AddBuffer(buffer);
    buffer->Release();
    if (FAILED(hr)) {
      if (sample != nullptr) sample->Release();
      return hr;
    }
    const double origin = schedule_.SampledAt(0);
    *time = mic_.first_timestamp + std::llround(sampled - origin);
    sample->SetSampleTime(*time);
    sample->SetSampleDuration(std::llround(schedule_.SampledAt(first + frames) - sampled));
    *out = sample;
    return S_OK;
  }

  // Asynchronous mode. Called with mutex_ held.
  void StartThread() {
    if (!thread_.joinable()) thread_ = std::thread([this] { Answer(); });
  }

  // Whether the request at the head has something to say now: a buffer is
  // due, the device ended, or a flush or the reader's end interrupts it.
  bool Interrupted() const { return flushes_ > 0 || quit_; }

  // Waits with mutex_ held (as `lock`) until the device hands over its next
  // buffer or the wait is interrupted. A manual clock is moved to the
  // buffer's time, as a synchronous read does.
  void WaitForBuffer(std::unique_lock<std::mutex>& lock) {
    if (!schedule_.running()) schedule_.Start(Now100ns());
    if (!mic_.deliver) {
      // The device is looked at every few milliseconds: its loss ends the wait.
      while (!Interrupted() && !source_->shut_down() && !DeviceLost()) {
        changed_.wait_for(lock, std::chrono::milliseconds(5));
      }
      return;
    }
    while (!Interrupted() && !Ended() && !DeviceLost()) {
      schedule_.Advance(Now100ns(), false);
      if (schedule_.pending() > 0) return;
      const std::int64_t due = schedule_.NextAvailableAt();
      const std::int64_t now = Now100ns();
      if (now >= due) continue;
      if (ManualClockRunning()) {
        lock.unlock();
        WaitUntil(due);
        lock.lock();
        continue;
      }
      changed_.wait_for(lock, WallDurationOf(due - now));
    }
  }

  // The reader's thread: answers each request in turn through the callback,
  // and each flush by dropping what waits and calling OnFlush.
  void Answer() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return requests_ > 0 || Interrupted(); });
      if (quit_) return;
      if (flushes_ > 0) {
        --flushes_;
        requests_ = 0;
        lock.unlock();
        callback_->OnFlush(MF_SOURCE_READER_ALL_STREAMS);
        lock.lock();
        continue;
      }
      WaitForBuffer(lock);
      if (Interrupted()) continue;
      --requests_;
      HRESULT hr = InjectedFailure("IMFSourceReader::ReadSample");
      DWORD flags = 0;
      LONGLONG time = 0;
      IMFSample* sample = nullptr;
      if (SUCCEEDED(hr) && DeviceLost()) hr = MF_E_AUDIO_RECORDING_DEVICE_INVALIDATED;
      if (SUCCEEDED(hr)) {
        if (Ended() || !mic_.deliver) {
          flags = MF_SOURCE_READERF_ENDOFSTREAM;
        } else {
          hr = MakeBuffer(schedule_.next_index(), &sample, &time);
          if (SUCCEEDED(hr)) {
            schedule_.Consume();
            ++next_;
          }
        }
      }
      lock.unlock();
      callback_->OnReadSample(hr, 0, flags, time, sample);
      if (sample != nullptr) sample->Release();
      lock.lock();
    }
  }

  MicrophoneMediaSource* source_;
  const MicrophoneSource mic_;
  struct Device {
    DeviceConditions conditions;
    AudioSignal signal;
  } const device_;
  std::mutex mutex_;
  bool pcm_ = false;
  PacketSchedule schedule_;
  std::int64_t next_ = 0;  // buffers delivered
  bool device_lost_ = false;
  ComRef<IMFSourceReaderCallback> callback_;  // null: synchronous
  std::condition_variable changed_;
  std::thread thread_;
  int requests_ = 0;
  int flushes_ = 0;
  bool quit_ = false;
};

}  // namespace
}  // namespace audio
}  // namespace winsim

HRESULT MFCreateSourceReaderFromMediaSource(IMFMediaSource* media_source, IMFAttributes* attributes,
                                            IMFSourceReader** reader) {
  if (reader == nullptr) return E_POINTER;
  *reader = nullptr;
  if (HRESULT hr = winsim::InjectedFailure("MFCreateSourceReaderFromMediaSource"); FAILED(hr)) {
    return hr;
  }
  if (HRESULT hr = winsim::ComApartmentCheck(); FAILED(hr)) return hr;
  if (media_source == nullptr) return E_POINTER;
  auto* microphone = dynamic_cast<winsim::audio::MicrophoneMediaSource*>(media_source);
  if (microphone == nullptr) return MF_E_UNSUPPORTED_FORMAT;
  if (microphone->shut_down()) return MF_E_SHUTDOWN;
  IMFSourceReaderCallback* callback = nullptr;
  if (attributes != nullptr) {
    attributes->GetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, IID_IMFSourceReaderCallback,
                           reinterpret_cast<void**>(&callback));
  }
  *reader = new winsim::audio::SourceReader(microphone, callback);
  return S_OK;
}
