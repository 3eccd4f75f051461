// Control API of the simulated machine's audio: the render and capture
// endpoints that the Core Audio enumerator lists (one of each direction is
// the default), and the microphone device source read through Media
// Foundation.
//
// Packets: a started capture client makes one packet of rate/100 frames
// available every 10 ms of machine-clock time. The endpoint buffer holds
// 200 ms: a packet left unread longer is lost and the next one read carries
// AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY. Samples are a sine tone at
// `tone_hz` and `level` (peak, 0..1), the same on every channel.
//
// Device conditions (AudioEndpoint::conditions) bend that schedule the way
// real hardware does: a sample clock off by `clock_ppm` against the
// performance counter, packets handed over up to `jitter_ms` late, stalls
// that hold packets back and release them in one burst, and (render
// endpoints) pauses in which nothing plays. GetBuffer's device position and
// QPC position always tell when a packet's first frame was really sampled.
//
// Machine-file keys "render", "capture" (null, an endpoint object or a list
// of them) and "microphone" set the same values; see
// src/audio_machine_file.cc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "win32sim/base.h"

namespace winsim {

enum class SampleKind {
  kFloat,            // WAVEFORMATEX, WAVE_FORMAT_IEEE_FLOAT
  kPcm,              // WAVEFORMATEX, WAVE_FORMAT_PCM
  kExtensibleFloat,  // WAVEFORMATEXTENSIBLE, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT
  kExtensiblePcm,    // WAVEFORMATEXTENSIBLE, KSDATAFORMAT_SUBTYPE_PCM
  kOtherTag,         // WAVEFORMATEX with `other_tag` (samples are zero)
};

// Shared-mode engines hand out their mix format as WAVEFORMATEXTENSIBLE,
// so that is the default; the plain kinds model drivers that do otherwise.
struct MixFormat {
  SampleKind kind = SampleKind::kExtensibleFloat;
  WORD other_tag = 0;
  WORD bits = 32;
  DWORD rate = 48000;
  WORD channels = 2;
  // The speaker of each channel (WAVEFORMATEXTENSIBLE's dwChannelMask);
  // kLayoutOfChannelCount gives the layout Windows uses for the count.
  static constexpr DWORD kLayoutOfChannelCount = 0xFFFFFFFF;
  DWORD channel_mask = kLayoutOfChannelCount;
};

struct AudioSignal {
  double tone_hz = 440.0;
  double level = 0.5;
  // Packets carry AUDCLNT_BUFFERFLAGS_SILENT and zero samples.
  bool silent = false;
  // Render endpoints only: false means nothing plays, and a loopback
  // client then receives no packets at all, as on Windows.
  bool playing = true;
  // With both set (> 0), the tone sounds only for `beep_ms` from every
  // multiple of `beep_period_ms` of machine time (the performance counter
  // from the machine's start), and is silent otherwise. Each frame is placed
  // by the machine time at which the device sampled it, so a drifting
  // device clock still beeps at the right machine times.
  double beep_ms = 0;
  double beep_period_ms = 0;
  // The channels the signal sounds on, one bit per channel from bit 0; the
  // others carry silence.
  std::uint32_t sounding_channels = 0xFFFFFFFF;
};

// A span of a stream's running time, from `at_ms` after it started.
struct StreamSpan {
  double at_ms = 0;
  double ms = 0;
};

struct DeviceConditions {
  // The device makes rate x (1 + clock_ppm x 1e-6) frames per second of
  // machine time.
  double clock_ppm = 0;
  // Each packet becomes available up to this much after it is complete,
  // by a pseudo-random amount fixed by `jitter_seed` and the packet's index.
  // Packets stay in order.
  double jitter_ms = 0;
  std::uint32_t jitter_seed = 1;
  // Nothing becomes available during a stall; what the device captured
  // meanwhile is handed over at its end in one burst. Device positions keep
  // counting through it.
  std::vector<StreamSpan> stalls;
  // Render endpoints: nothing plays during a pause, so a loopback stream
  // receives no packets for it (no gap is reported).
  std::vector<StreamSpan> pauses;
};

enum class FriendlyName {
  kText,       // VT_LPWSTR holding `name`
  kAbsent,     // the property is not set: VT_EMPTY
  kNotString,  // a VT_UI4 number instead of a string
};

struct AudioEndpoint {
  std::wstring id;
  std::wstring name;
  // DEVICE_STATE_ACTIVE, _DISABLED, _NOTPRESENT or _UNPLUGGED. Only an
  // active endpoint can be the default one or be opened as a microphone
  // source; every endpoint is found by GetDevice and listed by the
  // enumerations whose state mask includes its state.
  DWORD state = 0x1;  // DEVICE_STATE_ACTIVE
  FriendlyName name_kind = FriendlyName::kText;
  MixFormat format;
  AudioSignal signal;
  DeviceConditions conditions;
};

// Makes `endpoint` the only one of its direction. std::nullopt removes
// them all: GetDefaultAudioEndpoint then fails with
// HRESULT_FROM_WIN32(ERROR_NOT_FOUND).
void SetRenderEndpoint(const std::optional<AudioEndpoint>& endpoint);
void SetCaptureEndpoint(const std::optional<AudioEndpoint>& endpoint);
// Several endpoints of one direction, listed by EnumAudioEndpoints in this
// order; the one at `default_index` (0 when out of range) is the default.
// Ids are expected to be unique across both directions, as on Windows.
void SetRenderEndpoints(const std::vector<AudioEndpoint>& endpoints, std::size_t default_index);
void SetCaptureEndpoints(const std::vector<AudioEndpoint>& endpoints, std::size_t default_index);
// The default endpoint, and every endpoint, of a direction.
std::optional<AudioEndpoint> RenderEndpoint();
std::optional<AudioEndpoint> CaptureEndpoint();
std::vector<AudioEndpoint> RenderEndpoints();
std::vector<AudioEndpoint> CaptureEndpoints();
// Changes the signal of the default endpoint; running clients follow it
// from their next read.
void SetRenderSignal(const AudioSignal& signal);
void SetCaptureSignal(const AudioSignal& signal);

// The microphone as a Media Foundation device source. Its native type is
// 32-bit float at `rate` and `channels`; the source reader converts to
// 16-bit PCM at the same rate and channel count on request. The capture
// endpoint's device conditions and beep timing apply to it too; each
// sample's time is when its first frame was sampled, on the performance
// counter's scale from the device's own origin.
//
// The source opens the capture endpoint whose id it is given (the default
// one without an id). These settings describe it whichever it is, except
// the sound: `tone_hz` and `level` are the default microphone's, and any
// other microphone sounds its own endpoint signal's tone and level.
struct MicrophoneSource {
  UINT32 rate = 48000;
  UINT32 channels = 2;
  double tone_hz = 1000.0;
  double level = 0.5;
  // MFCreateDeviceSource fails with E_ACCESSDENIED (privacy settings).
  bool refused = false;
  // After this many buffers the stream ends (ReadSample reports
  // MF_SOURCE_READERF_ENDOFSTREAM); -1 never ends.
  int buffers_before_end = -1;
  // false: the device never has a buffer (reads wait until flushed or shut
  // down), as a microphone that stopped delivering.
  bool deliver = true;
  // Device time of the first buffer, in 100-ns ticks; a device clock has
  // its own origin, unrelated to the recording's start.
  std::int64_t first_timestamp = 7'777'770'000;
};
void SetMicrophoneSource(const MicrophoneSource& source);
MicrophoneSource GetMicrophoneSource();

// One IAudioClient::Initialize call, as made.
struct AudioClientInit {
  std::wstring endpoint_id;
  bool render_endpoint = false;
  int share_mode = 0;
  DWORD stream_flags = 0;
  std::int64_t buffer_duration = 0;
  std::int64_t periodicity = 0;
  WORD format_tag = 0;
  DWORD rate = 0;
  WORD channels = 0;
  WORD bits = 0;
  bool session_guid_given = false;
  HRESULT result = 0;
};
std::vector<AudioClientInit> AudioClientInits();

// Back to the default audio machine: "Speakers (Simulated Audio)" playing
// 440 Hz at 0.5, "Microphone (Simulated Audio)" with 1 kHz at 0.5, both
// 48 kHz stereo extensible float; the microphone source 48 kHz stereo. Clears the
// record of Initialize calls. Called by ResetMachine.
void ResetAudio();

}  // namespace winsim
