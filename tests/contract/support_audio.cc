#include "support_audio.h"

#include <ksmedia.h>
#include <mmreg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace contract {
namespace {

float SampleAt(const BYTE* at, const SampleLayout& layout) {
  if (layout.is_float) {
    float v;
    std::memcpy(&v, at, sizeof v);
    return v;
  }
  if (layout.bytes_per_sample == 2) {
    std::int16_t v;
    std::memcpy(&v, at, sizeof v);
    return static_cast<float>(v) / 32768.0f;
  }
  std::int32_t v;
  std::memcpy(&v, at, sizeof v);
  return static_cast<float>(static_cast<double>(v) / 2147483648.0);
}

double SecondsNow() {
  LARGE_INTEGER counter{}, frequency{};
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

SampleLayout LayoutOf(const WAVEFORMATEX& format) {
  SampleLayout layout;
  bool is_float = format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT;
  bool is_pcm = format.wFormatTag == WAVE_FORMAT_PCM;
  if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
      format.cbSize >= sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX)) {
    const auto& ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format);
    is_float = IsEqualGUID(ext.SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
    is_pcm = IsEqualGUID(ext.SubFormat, KSDATAFORMAT_SUBTYPE_PCM);
  }
  layout.is_float = is_float;
  layout.bytes_per_sample = format.wBitsPerSample / 8u;
  layout.readable = (is_float && format.wBitsPerSample == 32) ||
                    (is_pcm && (format.wBitsPerSample == 16 || format.wBitsPerSample == 32));
  return layout;
}

EndpointStream::~EndpointStream() {
  if (mix_ != nullptr) CoTaskMemFree(mix_);
}

HRESULT EndpointStream::Open(EDataFlow flow) {
  HRESULT hr = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                IID_IMMDeviceEnumerator, enumerator_.PutVoid());
  if (SUCCEEDED(hr)) hr = enumerator_->GetDefaultAudioEndpoint(flow, eConsole, device_.Put());
  if (SUCCEEDED(hr))
    hr = device_->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, client_.PutVoid());
  if (SUCCEEDED(hr)) hr = client_->GetMixFormat(&mix_);
  return hr;
}

HRESULT EndpointStream::Initialize(DWORD stream_flags, REFERENCE_TIME buffer_duration) {
  if (client_.Get() == nullptr || mix_ == nullptr) return E_POINTER;
  return client_->Initialize(AUDCLNT_SHAREMODE_SHARED, stream_flags, buffer_duration, 0, mix_,
                             nullptr);
}

HRESULT EndpointStream::StartCapture() {
  HRESULT hr = client_->GetService(IID_IAudioCaptureClient, capture_.PutVoid());
  if (SUCCEEDED(hr)) hr = client_->Start();
  return hr;
}

PacketRecord ReadPackets(const EndpointStream& stream, DWORD ms) {
  PacketRecord record;
  const SampleLayout layout = LayoutOf(*stream.Mix());
  const UINT32 channels = stream.Mix()->nChannels;
  const std::size_t frame_bytes = static_cast<std::size_t>(channels) * layout.bytes_per_sample;
  IAudioCaptureClient* capture = stream.Capture();
  // A started stream takes a moment to deliver its first packet (Windows
  // and audio servers alike); the measured stretch starts with it.
  const double give_up = SecondsNow() + 1.0;
  UINT32 first = 0;
  while (SUCCEEDED(capture->GetNextPacketSize(&first)) && first == 0 && SecondsNow() < give_up) {
    Sleep(2);
  }
  const double start = SecondsNow();
  const double end = start + ms / 1000.0;
  double previous_read = start;
  bool have_position = false;
  UINT64 next_position = 0;
  double first_read = start;
  for (bool opening = true, last = false; !last; opening = false) {
    const double read_at = SecondsNow();
    last = read_at >= end;
    record.longest_wait_ms = std::max(record.longest_wait_ms, (read_at - previous_read) * 1000.0);
    previous_read = read_at;
    UINT32 announced = 0;
    HRESULT hr = capture->GetNextPacketSize(&announced);
    while (SUCCEEDED(hr) && announced != 0) {
      BYTE* data = nullptr;
      UINT32 frames = 0;
      DWORD flags = 0;
      UINT64 position = 0;
      hr = capture->GetBuffer(&data, &frames, &flags, &position, nullptr);
      if (FAILED(hr) || hr == AUDCLNT_S_BUFFER_EMPTY) break;
      ++record.packets;
      record.frames += frames;
      record.largest_packet = std::max(record.largest_packet, frames);
      if (frames != announced) ++record.size_mismatches;
      if ((flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) != 0) ++record.discontinuities;
      if (have_position && position != next_position) ++record.position_gaps;
      have_position = true;
      next_position = position + frames;
      const bool silent = (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0;
      if (silent) ++record.silent_packets;
      for (UINT32 i = 0; i < frames; ++i) {
        const float v =
            layout.readable && data != nullptr ? SampleAt(data + i * frame_bytes, layout) : 0.0f;
        if (silent) {
          record.loudest_in_silent = std::max(record.loudest_in_silent, std::fabs(v));
          record.first.push_back(0.0f);
        } else {
          record.first.push_back(v);
        }
      }
      hr = capture->ReleaseBuffer(frames);
      if (SUCCEEDED(hr)) hr = capture->GetNextPacketSize(&announced);
    }
    if (FAILED(hr)) {
      record.failure = hr;
      break;
    }
    if (opening) {
      record.first_read_frames = record.frames;
      first_read = read_at;
    }
    if (last) {
      record.seconds = read_at - first_read;
    } else {
      Sleep(5);
    }
  }
  return record;
}

PacketRecord CaptureFor(EDataFlow flow, DWORD ms, DWORD* rate) {
  EndpointStream stream;
  HRESULT hr = stream.Open(flow);
  if (SUCCEEDED(hr)) {
    hr = stream.Initialize(flow == eRender ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0, 2'000'000);
  }
  if (SUCCEEDED(hr)) hr = stream.StartCapture();
  if (FAILED(hr)) {
    PacketRecord failed;
    failed.failure = hr;
    return failed;
  }
  if (rate != nullptr) *rate = stream.Mix()->nSamplesPerSec;
  PacketRecord record = ReadPackets(stream, ms);
  stream.Client()->Stop();
  return record;
}

}  // namespace contract
