#include "win32sim/source_reader.h"

#include <bitset>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/audio_packet_schedule.h"
#include "audio/audio_state.h"
#include "audio/channel_layout.h"
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

// The PCM or float layout the reader hands out.
struct OutputFormat {
  bool is_float = true;
  UINT32 bits = 32;
  UINT32 rate = 48000;
  UINT32 channels = 2;
  DWORD channel_mask = 0;
  UINT32 BlockAlign() const { return channels * bits / 8; }
};

// Reads the microphone source. Its native output is 32-bit float at the
// device's rate and channels. Like the reader of Windows 8 and later, it
// converts to any PCM (8, 16, 24 or 32 bits) or 32-bit float type asked for,
// at another rate (8 to 192 kHz) and channel count (1 to 8): the channels
// are folded by their speaker positions, as the audio resampler does.
class SourceReader final : public ComObject<IMFSourceReader> {
 public:
  SourceReader(MicrophoneMediaSource* source, IMFSourceReaderCallback* callback)
      : ComObject("IMFSourceReader"),
        source_(source),
        mic_(source->settings()),
        device_{source->device().conditions, source->device().signal},
        native_(NativeFormat(mic_, source->device())),
        output_(native_),
        schedule_(mic_.rate, device_.conditions, false),
        callback_(callback) {
    source_->AddRef();
    UpdateLevels();
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
    return MakeType(native_, type);
  }

  HRESULT GetCurrentMediaType(DWORD index, IMFMediaType** type) override {
    if (type == nullptr) return E_POINTER;
    *type = nullptr;
    if (HRESULT hr = InjectedFailure("IMFSourceReader::GetCurrentMediaType"); FAILED(hr)) {
      return hr;
    }
    if (!IsAudioStream(index)) return MF_E_INVALIDSTREAMNUMBER;
    std::lock_guard<std::mutex> lock(mutex_);
    return MakeType(output_, type);
  }

  HRESULT SetCurrentMediaType(DWORD index, DWORD* /*reserved*/, IMFMediaType* type) override {
    if (HRESULT hr = InjectedFailure("IMFSourceReader::SetCurrentMediaType"); FAILED(hr)) {
      return hr;
    }
    if (!IsAudioStream(index)) return MF_E_INVALIDSTREAMNUMBER;
    if (type == nullptr) return E_POINTER;
    OutputFormat wanted;
    if (!ReadOutputFormat(type, &wanted)) return MF_E_INVALIDMEDIATYPE;
    std::lock_guard<std::mutex> lock(mutex_);
    output_ = wanted;
    UpdateLevels();
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

  // The device's own stream: float samples laid out as its endpoint's
  // format when the microphone has that many channels.
  static OutputFormat NativeFormat(const MicrophoneSource& mic, const AudioEndpoint& device) {
    OutputFormat native;
    native.rate = mic.rate;
    native.channels = mic.channels;
    native.channel_mask = device.format.channels == mic.channels ? ChannelMaskOf(device.format)
                                                                 : DefaultChannelMask(mic.channels);
    return native;
  }

  // Reads a type asked of the reader; values left unset take the device's.
  // False for a type the resampler cannot produce.
  bool ReadOutputFormat(IMFMediaType* type, OutputFormat* out) const {
    GUID major{};
    GUID subtype{};
    if (FAILED(type->GetGUID(MF_MT_MAJOR_TYPE, &major)) || major != MFMediaType_Audio ||
        FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype))) {
      return false;
    }
    OutputFormat f = native_;
    f.is_float = subtype == MFAudioFormat_Float;
    if (!f.is_float && subtype != MFAudioFormat_PCM) return false;
    const auto read = [type](REFGUID key, UINT32 fallback) {
      UINT32 value = 0;
      return SUCCEEDED(type->GetUINT32(key, &value)) ? value : fallback;
    };
    f.bits = read(MF_MT_AUDIO_BITS_PER_SAMPLE, f.is_float ? 32 : 16);
    f.rate = read(MF_MT_AUDIO_SAMPLES_PER_SECOND, native_.rate);
    f.channels = read(MF_MT_AUDIO_NUM_CHANNELS, native_.channels);
    const bool bits_ok = f.is_float ? f.bits == 32
                                    : (f.bits == 8 || f.bits == 16 || f.bits == 24 || f.bits == 32);
    if (!bits_ok || f.rate < 8000 || f.rate > 192000 || f.channels < 1 || f.channels > 8) {
      return false;
    }
    f.channel_mask = read(MF_MT_AUDIO_CHANNEL_MASK, f.channels == native_.channels
                                                        ? native_.channel_mask
                                                        : DefaultChannelMask(f.channels));
    // A mask names at most one speaker per channel; the block size and byte
    // rate, when given, must be those of the layout.
    if (static_cast<UINT32>(std::bitset<32>(f.channel_mask).count()) > f.channels ||
        read(MF_MT_AUDIO_BLOCK_ALIGNMENT, f.BlockAlign()) != f.BlockAlign() ||
        read(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, f.BlockAlign() * f.rate) !=
            f.BlockAlign() * f.rate) {
      return false;
    }
    *out = f;
    return true;
  }

  // The level of each output channel: the device's channels, sounding as
  // its endpoint signal says, folded into the output layout. Requires mutex_
  // (or the constructor).
  void UpdateLevels() {
    levels_ = ChannelLevels(native_.channels, native_.channel_mask,
                            device_.signal.sounding_channels, output_.channels,
                            output_.channel_mask);
    for (double& level : levels_) level *= mic_.level;
  }

  static HRESULT MakeType(const OutputFormat& f, IMFMediaType** out) {
    IMFMediaType* type = nullptr;
    if (HRESULT hr = MFCreateMediaType(&type); FAILED(hr)) return hr;
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    type->SetGUID(MF_MT_SUBTYPE, f.is_float ? MFAudioFormat_Float : MFAudioFormat_PCM);
    type->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, f.rate);
    type->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, f.channels);
    type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, f.bits);
    type->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, f.BlockAlign());
    type->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, f.BlockAlign() * f.rate);
    type->SetUINT32(MF_MT_AUDIO_CHANNEL_MASK, f.channel_mask);
    *out = type;
    return S_OK;
  }

  // Buffer `index` of the device as a sample stamped with the time its
  // first frame was sampled, from the device's origin. At another rate the
  // buffer holds the output frames that fall within the device's.
  HRESULT MakeBuffer(std::int64_t index, IMFSample** out, LONGLONG* time) const {
    const std::int64_t first = schedule_.FirstFrameOf(index);
    const UINT32 frames = schedule_.FramesOf(index);
    const double sampled = schedule_.SampledAt(first);
    const std::int64_t out_first = first * output_.rate / mic_.rate;
    const auto out_frames =
        static_cast<UINT32>((first + frames) * output_.rate / mic_.rate - out_first);
    const double out_period = schedule_.FramePeriod() * mic_.rate / output_.rate;
    const double out_sampled =
        sampled + (static_cast<double>(out_first) * mic_.rate / output_.rate - first) *
                      schedule_.FramePeriod();
    const DWORD bytes = out_frames * output_.BlockAlign();
    IMFMediaBuffer* buffer = nullptr;
    if (HRESULT hr = MFCreateMemoryBuffer(bytes, &buffer); FAILED(hr)) return hr;
    BYTE* data = nullptr;
    HRESULT hr = buffer->Lock(&data, nullptr, nullptr);
    if (SUCCEEDED(hr)) {
      const BeepTiming beep{out_sampled, out_period, device_.signal.beep_ms,
                            device_.signal.beep_period_ms};
      WriteTone(data, out_first, out_frames, output_.rate,
                SampleLayout{output_.channels, output_.bits, output_.is_float}, mic_.tone_hz,
                levels_, &beep);
      buffer->Unlock();
      hr = buffer->SetCurrentLength(bytes);
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
  const OutputFormat native_;
  std::mutex mutex_;
  OutputFormat output_;          // guarded by mutex_
  std::vector<double> levels_;   // of each output channel; guarded by mutex_
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
