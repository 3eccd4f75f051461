#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <mutex>
#include <vector>

#include "audio/audio_packet_schedule.h"
#include "audio/audio_state.h"

namespace winsim {
namespace audio {
namespace {

bool IsExtensible(const MixFormat& f) {
  return f.kind == SampleKind::kExtensibleFloat || f.kind == SampleKind::kExtensiblePcm;
}

bool IsFloat(const MixFormat& f) {
  return f.kind == SampleKind::kFloat || f.kind == SampleKind::kExtensibleFloat;
}

WORD TagOf(const MixFormat& f) {
  switch (f.kind) {
    case SampleKind::kFloat:
      return WAVE_FORMAT_IEEE_FLOAT;
    case SampleKind::kPcm:
      return WAVE_FORMAT_PCM;
    case SampleKind::kOtherTag:
      return f.other_tag;
    default:
      return WAVE_FORMAT_EXTENSIBLE;
  }
}

WORD BlockAlignOf(const MixFormat& f) { return static_cast<WORD>(f.channels * (f.bits / 8)); }

// An audio client owns the stream: its format, its running state and the
// packets it has made. Its capture service (CaptureClient below) reads the
// packets through the Capture* operations and keeps the client alive.
//
// A client of a render endpoint initialised without loopback is a render
// stream: its render service (RenderClient below) writes frames into the
// endpoint buffer through the Render* operations, and the device plays
// them at its own clock while the stream is started. The packet schedule
// then only counts the device's 10-ms periods: every period completed
// plays that many frames of what is queued (the padding).
class AudioClient final : public ComObject<IAudioClient> {
 public:
  AudioClient(bool render, const AudioEndpoint& endpoint)
      : ComObject("IAudioClient"),
        render_(render),
        endpoint_(endpoint),
        schedule_(endpoint.format.rate, endpoint.conditions) {}

  // ---- IAudioClient
  HRESULT Initialize(AUDCLNT_SHAREMODE share_mode, DWORD stream_flags,
                     REFERENCE_TIME buffer_duration, REFERENCE_TIME periodicity,
                     const WAVEFORMATEX* format, LPCGUID session_guid) override {
    AudioClientInit init;
    init.endpoint_id = endpoint_.id;
    init.render_endpoint = render_;
    init.share_mode = share_mode;
    init.stream_flags = stream_flags;
    init.buffer_duration = buffer_duration;
    init.periodicity = periodicity;
    init.session_guid_given = session_guid != nullptr;
    if (format != nullptr) {
      init.format_tag = format->wFormatTag;
      init.rate = format->nSamplesPerSec;
      init.channels = format->nChannels;
      init.bits = format->wBitsPerSample;
    }
    init.result = CheckInitialize(share_mode, stream_flags, format);
    RecordInit(init);
    if (SUCCEEDED(init.result)) {
      std::lock_guard<std::mutex> lock(mutex_);
      initialized_ = true;
      loopback_ = (stream_flags & AUDCLNT_STREAMFLAGS_LOOPBACK) != 0;
    }
    return init.result;
  }

  HRESULT GetBufferSize(UINT32* buffer_frames) override {
    if (buffer_frames == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (Invalidated()) return AUDCLNT_E_DEVICE_INVALIDATED;
    if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
    *buffer_frames =
        static_cast<UINT32>(FramesBefore(PacketSchedule::kBufferPackets, endpoint_.format.rate));
    return S_OK;
  }

  // Render: frames written and not played yet. Capture: frames of the
  // packets waiting to be read.
  HRESULT GetCurrentPadding(UINT32* padding_frames) override {
    if (padding_frames == nullptr) return E_POINTER;
    *padding_frames = 0;
    if (HRESULT hr = InjectedFailure("IAudioClient::GetCurrentPadding"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (Invalidated()) return AUDCLNT_E_DEVICE_INVALIDATED;
    if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
    if (RenderStream()) {
      *padding_frames = static_cast<UINT32>(Padding());
      return S_OK;
    }
    if (lent_frames_ == 0) Advance();
    *padding_frames = static_cast<UINT32>(schedule_.PendingFrames());
    return S_OK;
  }

  HRESULT GetMixFormat(WAVEFORMATEX** device_format) override {
    if (device_format == nullptr) return E_POINTER;
    *device_format = nullptr;
    if (HRESULT hr = InjectedFailure("IAudioClient::GetMixFormat"); FAILED(hr)) return hr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (Invalidated()) return AUDCLNT_E_DEVICE_INVALIDATED;
    }
    const MixFormat& f = endpoint_.format;
    const std::size_t size = IsExtensible(f) ? sizeof(WAVEFORMATEXTENSIBLE) : sizeof(WAVEFORMATEX);
    auto* memory = static_cast<BYTE*>(CoTaskMemAlloc(size));
    if (memory == nullptr) return E_OUTOFMEMORY;
    std::memset(memory, 0, size);
    WAVEFORMATEX wave{};
    wave.wFormatTag = TagOf(f);
    wave.nChannels = f.channels;
    wave.nSamplesPerSec = f.rate;
    wave.nBlockAlign = BlockAlignOf(f);
    wave.nAvgBytesPerSec = f.rate * wave.nBlockAlign;
    wave.wBitsPerSample = f.bits;
    if (IsExtensible(f)) {
      WAVEFORMATEXTENSIBLE ext{};
      wave.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
      ext.Format = wave;
      ext.Samples.wValidBitsPerSample = f.bits;
      ext.dwChannelMask = ChannelMaskOf(f);
      ext.SubFormat = IsFloat(f) ? KSDATAFORMAT_SUBTYPE_IEEE_FLOAT : KSDATAFORMAT_SUBTYPE_PCM;
      std::memcpy(memory, &ext, sizeof(ext));
    } else {
      std::memcpy(memory, &wave, sizeof(wave));
    }
    *device_format = reinterpret_cast<WAVEFORMATEX*>(memory);
    return S_OK;
  }

  HRESULT Start() override {
    if (HRESULT hr = InjectedFailure("IAudioClient::Start"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (Invalidated()) return AUDCLNT_E_DEVICE_INVALIDATED;
    if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
    if (schedule_.running()) return AUDCLNT_E_NOT_STOPPED;
    const std::int64_t now = Now100ns();
    if (RenderStream()) {
      Padding();  // what was queued before the start waits for it
      RenderStreamStarted(this, endpoint_.id, now);
    }
    schedule_.Start(now);
    return S_OK;
  }

  HRESULT Stop() override {
    if (HRESULT hr = InjectedFailure("IAudioClient::Stop"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
    if (!schedule_.running()) return S_FALSE;
    if (RenderStream()) {
      Padding();  // what played up to the stop is gone from the buffer
      RenderStreamStopped(this);
    }
    schedule_.Stop(Now100ns());
    return S_OK;
  }

  HRESULT Reset() override {
    if (HRESULT hr = InjectedFailure("IAudioClient::Reset"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (Invalidated()) return AUDCLNT_E_DEVICE_INVALIDATED;
    if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
    if (schedule_.running()) return AUDCLNT_E_NOT_STOPPED;
    if (lent_frames_ != 0 || render_lent_ != 0) return AUDCLNT_E_BUFFER_OPERATION_PENDING;
    schedule_.Reset();
    played_ = written_;  // a render stream's queued frames are flushed
    return S_OK;
  }

  HRESULT GetService(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (HRESULT hr = InjectedFailure("IAudioClient::GetService"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (Invalidated()) return AUDCLNT_E_DEVICE_INVALIDATED;
    if (!initialized_) return AUDCLNT_E_NOT_INITIALIZED;
    if (iid == IID_IAudioRenderClient) {
      // Only a render stream has frames to play.
      if (!RenderStream()) return AUDCLNT_E_WRONG_ENDPOINT_TYPE;
      *object = NewRenderClient();
      return S_OK;
    }
    if (iid != IID_IAudioCaptureClient) return E_NOINTERFACE;
    // A render stream without loopback plays; it has nothing to capture.
    if (RenderStream()) return AUDCLNT_E_WRONG_ENDPOINT_TYPE;
    *object = NewCaptureClient();
    return S_OK;
  }

  // ---- The capture service's operations
  HRESULT CaptureGetBuffer(BYTE** data, UINT32* frames_to_read, DWORD* flags,
                           UINT64* device_position, UINT64* qpc_position) {
    if (data == nullptr || frames_to_read == nullptr || flags == nullptr) return E_POINTER;
    *data = nullptr;
    *frames_to_read = 0;
    *flags = 0;
    if (HRESULT hr = InjectedFailure("IAudioCaptureClient::GetBuffer"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (Invalidated()) return AUDCLNT_E_DEVICE_INVALIDATED;
    if (lent_frames_ != 0) return AUDCLNT_E_OUT_OF_ORDER;
    const AudioSignal signal = Advance();
    if (schedule_.pending() == 0) return AUDCLNT_S_BUFFER_EMPTY;
    const std::int64_t index = schedule_.next_index();
    const std::uint32_t frames = schedule_.FramesOf(index);
    const MixFormat& f = endpoint_.format;
    packet_.resize(static_cast<std::size_t>(frames) * BlockAlignOf(f));
    const bool tone = !signal.silent && f.kind != SampleKind::kOtherTag;
    const std::int64_t first = schedule_.FirstFrameOf(index);
    const double sampled = schedule_.SampledAt(first);
    if (tone) {
      const BeepTiming beep{sampled, schedule_.FramePeriod(), signal.beep_ms,
                            signal.beep_period_ms};
      WriteTone(packet_.data(), first, frames, f.rate, SampleLayout{f.channels, f.bits, IsFloat(f)},
                signal.tone_hz,
                DeviceChannelLevels(f.channels, signal.level, signal.sounding_channels), &beep);
    } else {
      std::fill(packet_.begin(), packet_.end(), BYTE{0});
    }
    DWORD packet_flags = signal.silent ? AUDCLNT_BUFFERFLAGS_SILENT : 0;
    if (schedule_.TakeDiscontinuity()) packet_flags |= AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY;
    // Both positions describe the packet's first frame: its place in the
    // stream, and the performance counter when the device sampled it.
    if (device_position != nullptr) *device_position = static_cast<UINT64>(first);
    if (qpc_position != nullptr) *qpc_position = static_cast<UINT64>(std::llround(sampled));
    lent_frames_ = frames;
    *data = packet_.data();
    *frames_to_read = frames;
    *flags = packet_flags;
    return S_OK;
  }

  HRESULT CaptureReleaseBuffer(UINT32 frames_read) {
    if (HRESULT hr = InjectedFailure("IAudioCaptureClient::ReleaseBuffer"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (Invalidated()) return AUDCLNT_E_DEVICE_INVALIDATED;
    if (lent_frames_ == 0) return AUDCLNT_E_OUT_OF_ORDER;
    // Releasing 0 frames keeps the packet for the next GetBuffer; anything
    // else must be the whole packet.
    if (frames_read != 0 && frames_read != lent_frames_) return AUDCLNT_E_INVALID_SIZE;
    if (frames_read != 0) schedule_.Consume();
    lent_frames_ = 0;
    return S_OK;
  }

  HRESULT CaptureGetNextPacketSize(UINT32* frames_in_next_packet) {
    if (frames_in_next_packet == nullptr) return E_POINTER;
    *frames_in_next_packet = 0;
    if (HRESULT hr = InjectedFailure("IAudioCaptureClient::GetNextPacketSize"); FAILED(hr)) {
      return hr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (Invalidated()) return AUDCLNT_E_DEVICE_INVALIDATED;
    if (lent_frames_ == 0) Advance();
    if (schedule_.pending() > 0) {
      *frames_in_next_packet = schedule_.FramesOf(schedule_.next_index());
    }
    return S_OK;
  }

  // ---- The render service's operations
  HRESULT RenderGetBuffer(UINT32 frames_requested, BYTE** data) {
    if (data == nullptr) return E_POINTER;
    *data = nullptr;
    if (HRESULT hr = InjectedFailure("IAudioRenderClient::GetBuffer"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (Invalidated()) return AUDCLNT_E_DEVICE_INVALIDATED;
    if (render_lent_ != 0) return AUDCLNT_E_OUT_OF_ORDER;
    if (frames_requested > BufferFrames() - Padding()) return AUDCLNT_E_BUFFER_TOO_LARGE;
    // A packet of 0 frames needs no release.
    if (frames_requested == 0) return S_OK;
    render_buffer_.assign(
        static_cast<std::size_t>(frames_requested) * BlockAlignOf(endpoint_.format), BYTE{0});
    render_lent_ = frames_requested;
    *data = render_buffer_.data();
    return S_OK;
  }

  HRESULT RenderReleaseBuffer(UINT32 frames_written, DWORD flags) {
    if (HRESULT hr = InjectedFailure("IAudioRenderClient::ReleaseBuffer"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (Invalidated()) return AUDCLNT_E_DEVICE_INVALIDATED;
    if ((flags & ~DWORD{AUDCLNT_BUFFERFLAGS_SILENT}) != 0) return E_INVALIDARG;
    // Releasing 0 frames is always allowed, with or without a packet.
    if (render_lent_ == 0) return frames_written == 0 ? S_OK : AUDCLNT_E_OUT_OF_ORDER;
    if (frames_written > render_lent_) return AUDCLNT_E_INVALID_SIZE;
    // The samples themselves go nowhere: nothing listens to what this
    // process plays, and the loopback's signal stays the endpoint's own.
    Padding();
    written_ += frames_written;
    render_lent_ = 0;
    return S_OK;
  }

  IAudioCaptureClient* NewCaptureClient();
  IAudioRenderClient* NewRenderClient();

 protected:
  ~AudioClient() override { RenderStreamStopped(this); }

 private:
  HRESULT CheckInitialize(AUDCLNT_SHAREMODE share_mode, DWORD stream_flags,
                          const WAVEFORMATEX* format) {
    if (HRESULT hr = InjectedFailure("IAudioClient::Initialize"); FAILED(hr)) return hr;
    if (format == nullptr) return E_POINTER;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (Invalidated()) return AUDCLNT_E_DEVICE_INVALIDATED;
      if (initialized_) return AUDCLNT_E_ALREADY_INITIALIZED;
    }
    if ((stream_flags & AUDCLNT_STREAMFLAGS_LOOPBACK) != 0 &&
        (!render_ || share_mode != AUDCLNT_SHAREMODE_SHARED)) {
      return AUDCLNT_E_WRONG_ENDPOINT_TYPE;
    }
    // Shared mode runs at the engine's mix format and nothing else.
    const MixFormat& f = endpoint_.format;
    if (share_mode != AUDCLNT_SHAREMODE_SHARED || format->wFormatTag != TagOf(f) ||
        format->nSamplesPerSec != f.rate || format->nChannels != f.channels ||
        format->wBitsPerSample != f.bits) {
      return AUDCLNT_E_UNSUPPORTED_FORMAT;
    }
    return S_OK;
  }

  // Whether the endpoint went away (unplugged, disabled or removed) since
  // this client was made. Windows never revives such a client: once its
  // device is invalid the application must open a new one, even after the
  // endpoint returns. Requires mutex_.
  bool Invalidated() {
    if (!invalidated_ && !EndpointActive(endpoint_.id)) {
      invalidated_ = true;
      RenderStreamStopped(this);  // a lost stream keeps no engine running
    }
    return invalidated_;
  }

  bool RenderStream() const { return render_ && !loopback_; }

  std::int64_t BufferFrames() const {
    return FramesBefore(PacketSchedule::kBufferPackets, endpoint_.format.rate);
  }

  // Brings the packet schedule up to the machine clock and gives the
  // signal to synthesise. A loopback of an endpoint where nothing plays
  // gets no packets, except those made while a render stream of this
  // process ran there: the engine then mixes that stream's silence, and
  // the packets carry AUDCLNT_BUFFERFLAGS_SILENT and zero samples (the
  // engine knows its mix is silent; a reader that ignores the flag still
  // reads silence).
  AudioSignal Advance() {
    AudioSignal signal = CurrentSignal(render_, endpoint_.id, endpoint_.signal);
    const bool idle = render_ && !signal.playing;
    std::int64_t kept_from = std::numeric_limits<std::int64_t>::max();
    if (idle) {
      if (const std::optional<std::int64_t> since = RenderStreamRunningSince(endpoint_.id)) {
        kept_from = *since;
        signal.silent = true;
      }
    }
    schedule_.Advance(Now100ns(), idle, kept_from);
    return signal;
  }

  // A render stream's frames written and not played yet, after playing
  // what the device's periods completed since the last look. A device that
  // runs dry plays nothing more until frames are written again.
  std::int64_t Padding() {
    schedule_.Advance(Now100ns(), /*discard=*/true);
    const std::int64_t device = FramesBefore(schedule_.made(), endpoint_.format.rate);
    played_ = std::min(written_, played_ + (device - device_played_));
    device_played_ = device;
    return written_ - played_;
  }

  const bool render_;
  const AudioEndpoint endpoint_;
  std::mutex mutex_;
  bool initialized_ = false;
  bool loopback_ = false;
  bool invalidated_ = false;
  PacketSchedule schedule_;
  std::vector<BYTE> packet_;
  UINT32 lent_frames_ = 0;
  // Render stream: frames written and played since the start, frames of
  // device time the device has played, and the space lent by GetBuffer.
  std::int64_t written_ = 0;
  std::int64_t played_ = 0;
  std::int64_t device_played_ = 0;
  UINT32 render_lent_ = 0;
  std::vector<BYTE> render_buffer_;
};

class CaptureClient final : public ComObject<IAudioCaptureClient> {
 public:
  explicit CaptureClient(AudioClient* client) : ComObject("IAudioCaptureClient"), client_(client) {
    client_->AddRef();
  }

  HRESULT GetBuffer(BYTE** data, UINT32* frames_to_read, DWORD* flags, UINT64* device_position,
                    UINT64* qpc_position) override {
    return client_->CaptureGetBuffer(data, frames_to_read, flags, device_position, qpc_position);
  }
  HRESULT ReleaseBuffer(UINT32 frames_read) override {
    return client_->CaptureReleaseBuffer(frames_read);
  }
  HRESULT GetNextPacketSize(UINT32* frames_in_next_packet) override {
    return client_->CaptureGetNextPacketSize(frames_in_next_packet);
  }

 protected:
  ~CaptureClient() override { client_->Release(); }

 private:
  AudioClient* client_;
};

IAudioCaptureClient* AudioClient::NewCaptureClient() { return new CaptureClient(this); }

class RenderClient final : public ComObject<IAudioRenderClient> {
 public:
  explicit RenderClient(AudioClient* client) : ComObject("IAudioRenderClient"), client_(client) {
    client_->AddRef();
  }

  HRESULT GetBuffer(UINT32 frames_requested, BYTE** data) override {
    return client_->RenderGetBuffer(frames_requested, data);
  }
  HRESULT ReleaseBuffer(UINT32 frames_written, DWORD flags) override {
    return client_->RenderReleaseBuffer(frames_written, flags);
  }

 protected:
  ~RenderClient() override { client_->Release(); }

 private:
  AudioClient* client_;
};

IAudioRenderClient* AudioClient::NewRenderClient() { return new RenderClient(this); }

}  // namespace

IAudioClient* NewAudioClient(bool render, const AudioEndpoint& endpoint) {
  return new AudioClient(render, endpoint);
}

}  // namespace audio
}  // namespace winsim
