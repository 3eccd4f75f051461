// Control API of the simulated machine's audio: the default render and
// capture endpoints that the Core Audio enumerator finds, and the
// microphone device source read through Media Foundation.
//
// Packets: a started capture client makes one packet of rate/100 frames
// available every 10 ms of machine-clock time. The endpoint buffer holds
// 200 ms; older packets are lost and the next one read carries
// AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY. Samples are a sine tone at
// `tone_hz` and `level` (peak, 0..1), the same on every channel.
//
// Machine-file keys "render", "capture" (null or an endpoint object) and
// "microphone" set the same values; see src/audio_machine_file.cc.
#pragma once

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

struct MixFormat {
  SampleKind kind = SampleKind::kFloat;
  WORD other_tag = 0;
  WORD bits = 32;
  DWORD rate = 48000;
  WORD channels = 2;
};

struct AudioSignal {
  double tone_hz = 440.0;
  double level = 0.5;
  // Packets carry AUDCLNT_BUFFERFLAGS_SILENT and zero samples.
  bool silent = false;
  // Render endpoints only: false means nothing plays, and a loopback
  // client then receives no packets at all, as on Windows.
  bool playing = true;
};

enum class FriendlyName {
  kText,       // VT_LPWSTR holding `name`
  kAbsent,     // the property is not set: VT_EMPTY
  kNotString,  // a VT_UI4 number instead of a string
};

struct AudioEndpoint {
  std::wstring id;
  std::wstring name;
  FriendlyName name_kind = FriendlyName::kText;
  MixFormat format;
  AudioSignal signal;
};

// std::nullopt removes the endpoint: GetDefaultAudioEndpoint then fails
// with HRESULT_FROM_WIN32(ERROR_NOT_FOUND).
void SetRenderEndpoint(const std::optional<AudioEndpoint>& endpoint);
void SetCaptureEndpoint(const std::optional<AudioEndpoint>& endpoint);
std::optional<AudioEndpoint> RenderEndpoint();
std::optional<AudioEndpoint> CaptureEndpoint();
// Changes the signal of an existing endpoint; running clients follow it
// from their next read.
void SetRenderSignal(const AudioSignal& signal);
void SetCaptureSignal(const AudioSignal& signal);

// The microphone as a Media Foundation device source. Its native type is
// 32-bit float at `rate` and `channels`; the source reader converts to
// 16-bit PCM at the same rate and channel count on request.
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
// 48 kHz stereo float; the microphone source 48 kHz stereo. Clears the
// record of Initialize calls. Called by ResetMachine.
void ResetAudio();

}  // namespace winsim
