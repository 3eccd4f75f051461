// Internal to the simulated audio devices: the machine's audio settings
// under one lock, the machine clock in 100-ns ticks, and sample synthesis.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "audioclient.h"
#include "mmdeviceapi.h"
#include "winsim_audio.h"

namespace winsim {
namespace audio {

// The default endpoint of a direction as set now.
std::optional<AudioEndpoint> Endpoint(bool render);
// Every endpoint of a direction, in the enumerator's order.
std::vector<AudioEndpoint> Endpoints(bool render);
// The endpoint with `id` in either direction; `render` (when given) tells
// which one it is in.
std::optional<AudioEndpoint> EndpointById(const std::wstring& id, bool* render = nullptr);
// Whether an endpoint with `id` exists in either direction and is active.
bool EndpointActive(const std::wstring& id);
// Whether `id` is the default endpoint of that direction now.
bool IsDefault(bool render, const std::wstring& id);
// The current signal of the endpoint `id` of that direction, or `fallback`
// when the endpoint has since been removed or replaced.
AudioSignal CurrentSignal(bool render, const std::wstring& id, const AudioSignal& fallback);
void RecordInit(const AudioClientInit& init);

// The render streams of this process that are started. While one runs on a
// render endpoint, the audio engine keeps that endpoint's mix going, so its
// loopback keeps delivering packets (silent ones) even when nothing else
// plays. A stream is registered by its Start and forgotten by its Stop,
// its loss or its release.
void RenderStreamStarted(const void* stream, const std::wstring& endpoint_id, std::int64_t since);
void RenderStreamStopped(const void* stream);
// The machine time since which a render stream of this process has run on
// the endpoint `endpoint_id` (the earliest start of those running), or
// nothing when none runs.
std::optional<std::int64_t> RenderStreamRunningSince(const std::wstring& endpoint_id);

// The endpoints of one direction as notification clients see them.
struct EndpointSnapshot {
  std::vector<std::pair<std::wstring, DWORD>> states;  // id and DEVICE_STATE_*
  std::wstring default_id;  // empty: no default (no active endpoint)
};
// Queues, for every registered IMMNotificationClient, what changed between
// `before` and `after`: endpoints removed, added, changed state, and a new
// default for each role. They are delivered in that order on the machine's
// notification thread.
void NotifyEndpointChanges(bool render, const EndpointSnapshot& before,
                           const EndpointSnapshot& after);
HRESULT RegisterNotificationClient(IMMNotificationClient* client);
HRESULT UnregisterNotificationClient(IMMNotificationClient* client);

// The machine clock (the performance counter) in 100-ns ticks.
std::int64_t Now100ns();
// Returns once the machine clock reads `time` or later. A manual clock is
// moved forward instead of waited on, so single-threaded tests never block.
void WaitUntil(std::int64_t time);

// Frames before packet or buffer `index` when every 10 ms carries rate/100
// frames; exact for any rate (44100 gives 441 per packet).
inline std::int64_t FramesBefore(std::int64_t index, std::uint32_t rate) {
  return index * static_cast<std::int64_t>(rate) / 100;
}

// When a beeping signal sounds in a run of frames: frame i of the run was
// sampled at machine time `first_sampled` + i x `frame_period` (100-ns
// ticks), and sounds while that time lies within `beep_ms` of a multiple of
// `period_ms`. Without a beep (either length not positive) every frame sounds.
struct BeepTiming {
  double first_sampled = 0;
  double frame_period = 0;
  double beep_ms = 0;
  double period_ms = 0;
  bool Sounds(std::uint32_t frame) const;
};

// How samples are laid out in a buffer: `is_float` with 32 or 64 bits, or
// integer with 8 (unsigned), 16, 24 or 32 bits. Other layouts are written
// as zeros.
struct SampleLayout {
  std::uint32_t channels = 2;
  std::uint32_t bits = 32;
  bool is_float = true;
  std::uint32_t BytesPerFrame() const { return channels * (bits / 8); }
};

// Writes `frames` frames of the tone starting at absolute frame `first`,
// channel c at `channel_levels[c]` (channels beyond the list are silent).
// Frames outside the beeps of `beep` (when given) are silence.
void WriteTone(BYTE* out, std::int64_t first, std::uint32_t frames, std::uint32_t rate,
               const SampleLayout& layout, double tone_hz,
               const std::vector<double>& channel_levels, const BeepTiming* beep = nullptr);

// The level of each channel of a device's own stream: `level` on the
// channels the signal sounds on, silence on the others.
std::vector<double> DeviceChannelLevels(std::uint32_t channels, double level,
                                        std::uint32_t sounding_channels);

// The channel mask a format stands for: its own, or the layout of its count.
DWORD ChannelMaskOf(const MixFormat& format);

// The COM objects of the audio devices. Each returns a new object with one
// reference owned by the caller.
IMMDeviceEnumerator* NewDeviceEnumerator();
IMMDevice* NewDevice(bool render, const AudioEndpoint& endpoint);
IPropertyStore* NewDevicePropertyStore(const AudioEndpoint& endpoint);
IAudioClient* NewAudioClient(bool render, const AudioEndpoint& endpoint);

}  // namespace audio
}  // namespace winsim
