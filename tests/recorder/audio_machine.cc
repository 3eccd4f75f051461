#include "audio_machine.h"

#include <mmreg.h>

#include <optional>

#include "winsim_audio.h"

namespace audio_machine {
namespace {

std::optional<winsim::AudioEndpoint> Get(const std::string& key) {
  return key == "render" ? winsim::RenderEndpoint() : winsim::CaptureEndpoint();
}

void Put(const std::string& key, const std::optional<winsim::AudioEndpoint>& endpoint) {
  if (key == "render") {
    winsim::SetRenderEndpoint(endpoint);
  } else {
    winsim::SetCaptureEndpoint(endpoint);
  }
}

template <typename Change>
void Edit(const std::string& key, Change change) {
  std::optional<winsim::AudioEndpoint> endpoint = Get(key);
  if (!endpoint) return;
  change(*endpoint);
  Put(key, endpoint);
}

}  // namespace

void RemoveEndpoint(const std::string& key) {
  // The microphone's device source is reached through the capture endpoint.
  if (key == "microphone") return Put("capture", std::nullopt);
  Put(key, std::nullopt);
}

void SetMixFormat(const std::string& key, WORD tag, WORD bits, DWORD rate, WORD channels) {
  Edit(key, [&](winsim::AudioEndpoint& e) {
    switch (tag) {
      case WAVE_FORMAT_IEEE_FLOAT:
        e.format.kind = winsim::SampleKind::kFloat;
        break;
      case WAVE_FORMAT_PCM:
        e.format.kind = winsim::SampleKind::kPcm;
        break;
      case WAVE_FORMAT_EXTENSIBLE:
        e.format.kind = bits == 32 ? winsim::SampleKind::kExtensibleFloat
                                   : winsim::SampleKind::kExtensiblePcm;
        break;
      default:
        e.format.kind = winsim::SampleKind::kOtherTag;
        e.format.other_tag = tag;
    }
    e.format.bits = bits;
    e.format.rate = rate;
    e.format.channels = channels;
  });
}

void SetFriendlyName(const std::string& key, const std::wstring& name) {
  Edit(key, [&](winsim::AudioEndpoint& e) {
    e.name = name;
    e.name_kind = winsim::FriendlyName::kText;
  });
}

void RemoveFriendlyName(const std::string& key) {
  Edit(key, [](winsim::AudioEndpoint& e) { e.name_kind = winsim::FriendlyName::kAbsent; });
}

void SetNonStringFriendlyName(const std::string& key) {
  Edit(key, [](winsim::AudioEndpoint& e) { e.name_kind = winsim::FriendlyName::kNotString; });
}

void PlayTone(const std::string& key, double frequency, double amplitude) {
  Edit(key, [&](winsim::AudioEndpoint& e) {
    e.signal.tone_hz = frequency;
    e.signal.level = amplitude;
    e.signal.silent = false;
    e.signal.playing = true;
  });
}

void SoundOnChannels(const std::string& key, std::uint32_t channels) {
  Edit(key, [&](winsim::AudioEndpoint& e) { e.signal.sounding_channels = channels; });
}

void SetMicrophoneFormat(DWORD rate, WORD channels) {
  winsim::MicrophoneSource source = winsim::GetMicrophoneSource();
  source.rate = rate;
  source.channels = channels;
  winsim::SetMicrophoneSource(source);
}

}  // namespace audio_machine
