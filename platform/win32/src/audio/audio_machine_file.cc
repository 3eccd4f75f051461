// The audio keys of the machine file:
//   "render" / "capture": null (no such endpoint), one endpoint or a list of
//     them (each with its own "id", unique on the machine, and optionally
//     "default": true; the first so marked, or else the first, is the
//     default):
//     {"id": "...", "state": "active" | "disabled" | "notpresent" | "unplugged", "name": "..." |
//     <number: not a string> (absent: no name),
//      "format": {"tag": "float" | "pcm" | "extensible-float" | "extensible-pcm" | <number>,
//                 "bits": 32, "rate": 48000, "channels": 2,
//                 "channel_mask": <speaker bits; absent: Windows' layout of the count>},
//      "signal": {"tone_hz": 440, "level": 0.5, "silent": false, "playing": true,
//                 "beep_ms": 0, "beep_period_ms": 0,
//                 "channels": [0, 1] (0-based channels it sounds on; absent: all)},
//      "clock_ppm": 0, "jitter_ms": 0, "jitter_seed": 1,
//      "stalls": [{"at_ms": 2000, "ms": 300}],
//      "pauses": [{"at_ms": 4000, "ms": 1500}]}   (render only)
//   "microphone": {"rate": 48000, "channels": 2, "tone_hz": 1000, "level": 0.5,
//                  "refused": false, "buffers_before_end": -1, "first_timestamp": 7777770000,
//                  "deliver": true}
// Members left out keep the current values (in a list, those of the
// direction's default endpoint before the list), except "name": an endpoint
// written without one has no friendly name.
#include <bitset>
#include <optional>
#include <utility>
#include <vector>

#include "audio/audio_state.h"
#include "machine/machine_areas.h"

namespace winsim {
namespace {

bool ReadDouble(const nlohmann::json& object, const char* key, double* out, std::string* error) {
  const auto it = object.find(key);
  if (it == object.end()) return true;
  if (!it->is_number()) {
    *error = std::string("\"") + key + "\" must be a number";
    return false;
  }
  *out = it->get<double>();
  return true;
}

// Reads an integer member that must lie in [low, high].
template <typename T>
bool ReadRanged(const nlohmann::json& object, const char* key, std::int64_t low, std::int64_t high,
                T* out, std::string* error) {
  std::int64_t value = static_cast<std::int64_t>(*out);
  if (!ReadInt64(object, key, &value, error)) return false;
  if (value < low || value > high) {
    *error = std::string("\"") + key + "\" must be from " + std::to_string(low) + " to " +
             std::to_string(high);
    return false;
  }
  *out = static_cast<T>(value);
  return true;
}

std::wstring Utf8ToUtf16(const std::string& text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const int extra = b < 0x80 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
    if (extra < 0 || text.size() - i <= static_cast<std::size_t>(extra)) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    std::uint32_t code = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) code = code << 6 | (text[i + k] & 0x3F);
    i += 1 + extra;
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 | (code >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 | (code & 0x3FF)));
    } else {
      out.push_back(static_cast<wchar_t>(code));
    }
  }
  return out;
}

bool ReadFormat(const nlohmann::json& value, MixFormat* format, std::string* error) {
  if (!value.is_object()) {
    *error = "\"format\" must be an object";
    return false;
  }
  if (!OnlyKnownKeys(value, {"tag", "bits", "rate", "channels", "channel_mask"}, error)) {
    return false;
  }
  if (const auto tag = value.find("tag"); tag != value.end()) {
    if (tag->is_number_integer()) {
      std::int64_t number = tag->get<std::int64_t>();
      if (number < 0 || number > 0xFFFF) {
        *error = "\"tag\" must be from 0 to 65535";
        return false;
      }
      format->kind = SampleKind::kOtherTag;
      format->other_tag = static_cast<WORD>(number);
      // A known tag given as a number means that tag.
      if (number == 1) format->kind = SampleKind::kPcm;
      if (number == 3) format->kind = SampleKind::kFloat;
    } else if (*tag == "float") {
      format->kind = SampleKind::kFloat;
    } else if (*tag == "pcm") {
      format->kind = SampleKind::kPcm;
    } else if (*tag == "extensible-float") {
      format->kind = SampleKind::kExtensibleFloat;
    } else if (*tag == "extensible-pcm") {
      format->kind = SampleKind::kExtensiblePcm;
    } else {
      *error =
          "\"tag\" must be \"float\", \"pcm\", \"extensible-float\", \"extensible-pcm\" or a "
          "number";
      return false;
    }
  }
  if (!ReadRanged(value, "bits", 8, 64, &format->bits, error) ||
      !ReadRanged(value, "rate", 1, 384000, &format->rate, error) ||
      !ReadRanged(value, "channels", 1, 32, &format->channels, error)) {
    return false;
  }
  if (value.contains("channels") && !value.contains("channel_mask")) {
    format->channel_mask = MixFormat::kLayoutOfChannelCount;
  }
  if (value.contains("channel_mask") &&
      !ReadRanged(value, "channel_mask", 0, 0x7FFFFFFF, &format->channel_mask, error)) {
    return false;
  }
  // A mask names at most one speaker per channel; channels past its
  // speakers have no position.
  if (format->channel_mask != MixFormat::kLayoutOfChannelCount &&
      std::bitset<32>(format->channel_mask).count() > format->channels) {
    *error = "\"channel_mask\" names more speakers than there are channels";
    return false;
  }
  return true;
}

// "channels": the 0-based channels a signal sounds on.
bool ReadSoundingChannels(const nlohmann::json& value, std::uint32_t* sounding, std::string* error) {
  const auto it = value.find("channels");
  if (it == value.end()) return true;
  if (!it->is_array()) {
    *error = "\"channels\" must be a list of channel numbers";
    return false;
  }
  std::uint32_t bits = 0;
  for (const nlohmann::json& channel : *it) {
    if (!channel.is_number_integer() || channel.get<std::int64_t>() < 0 ||
        channel.get<std::int64_t>() > 31) {
      *error = "\"channels\" must hold channel numbers from 0 to 31";
      return false;
    }
    bits |= 1U << channel.get<std::int64_t>();
  }
  *sounding = bits;
  return true;
}

bool ReadSignal(const nlohmann::json& value, AudioSignal* signal, std::string* error) {
  if (!value.is_object()) {
    *error = "\"signal\" must be an object";
    return false;
  }
  if (!OnlyKnownKeys(value,
                     {"tone_hz", "level", "silent", "playing", "beep_ms", "beep_period_ms",
                      "channels"},
                     error) ||
      !ReadSoundingChannels(value, &signal->sounding_channels, error) ||
      !ReadDouble(value, "tone_hz", &signal->tone_hz, error) ||
      !ReadDouble(value, "level", &signal->level, error) ||
      !ReadBool(value, "silent", &signal->silent, error) ||
      !ReadBool(value, "playing", &signal->playing, error) ||
      !ReadDouble(value, "beep_ms", &signal->beep_ms, error) ||
      !ReadDouble(value, "beep_period_ms", &signal->beep_period_ms, error)) {
    return false;
  }
  if (signal->beep_ms < 0 || signal->beep_period_ms < 0) {
    *error = "\"beep_ms\" and \"beep_period_ms\" must be 0 or more";
    return false;
  }
  return true;
}

// A list of {"at_ms": t, "ms": d} spans of a stream's running time.
bool ReadSpans(const nlohmann::json& object, const char* key, std::vector<StreamSpan>* out,
               std::string* error) {
  const auto it = object.find(key);
  if (it == object.end()) return true;
  const std::string name = std::string("\"") + key + "\"";
  if (!it->is_array()) {
    *error = name + " must be a list";
    return false;
  }
  out->clear();
  for (const nlohmann::json& item : *it) {
    StreamSpan span;
    if (!item.is_object()) {
      *error = name + " must hold objects";
      return false;
    }
    if (!OnlyKnownKeys(item, {"at_ms", "ms"}, error) ||
        !ReadDouble(item, "at_ms", &span.at_ms, error) ||
        !ReadDouble(item, "ms", &span.ms, error)) {
      return false;
    }
    // A day is far beyond any recording a test makes, and keeps the
    // tick arithmetic exact.
    constexpr double kDayMs = 86'400'000;
    if (!(span.at_ms >= 0 && span.at_ms <= kDayMs && span.ms >= 0 && span.ms <= kDayMs)) {
      *error = name + " spans must be from 0 to 86400000 ms";
      return false;
    }
    out->push_back(span);
  }
  return true;
}

// The device conditions of an endpoint; "pauses" only on render endpoints.
bool ReadConditions(bool render, const nlohmann::json& value, DeviceConditions* conditions,
                    std::string* error) {
  std::int64_t seed = conditions->jitter_seed;
  if (!ReadDouble(value, "clock_ppm", &conditions->clock_ppm, error) ||
      !ReadDouble(value, "jitter_ms", &conditions->jitter_ms, error) ||
      !ReadInt64(value, "jitter_seed", &seed, error) ||
      !ReadSpans(value, "stalls", &conditions->stalls, error) ||
      (render && !ReadSpans(value, "pauses", &conditions->pauses, error))) {
    return false;
  }
  // A clock more than 10% off is no audio device; it would also let the
  // packet schedule run backwards.
  if (conditions->clock_ppm < -100'000 || conditions->clock_ppm > 100'000) {
    *error = "\"clock_ppm\" must be from -100000 to 100000";
    return false;
  }
  if (conditions->jitter_ms < 0 || conditions->jitter_ms > 10'000) {
    *error = "\"jitter_ms\" must be from 0 to 10000";
    return false;
  }
  if (seed < 0 || seed > 0xFFFFFFFF) {
    *error = "\"jitter_seed\" must be from 0 to 4294967295";
    return false;
  }
  conditions->jitter_seed = static_cast<std::uint32_t>(seed);
  return true;
}

bool ReadState(const nlohmann::json& object, DWORD* state, std::string* error) {
  std::string text;
  if (!ReadString(object, "state", &text, error)) return false;
  if (!object.contains("state")) return true;
  const std::pair<const char*, DWORD> states[] = {{"active", DEVICE_STATE_ACTIVE},
                                                  {"disabled", DEVICE_STATE_DISABLED},
                                                  {"notpresent", DEVICE_STATE_NOTPRESENT},
                                                  {"unplugged", DEVICE_STATE_UNPLUGGED}};
  for (const auto& [name, value] : states) {
    if (text == name) {
      *state = value;
      return true;
    }
  }
  *error = "\"state\" must be \"active\", \"disabled\", \"notpresent\" or \"unplugged\"";
  return false;
}

// Reads one endpoint object over `endpoint`, which holds the values that
// members left out keep. "default" is read into `is_default` when given.
bool ReadEndpoint(bool render, const nlohmann::json& value, AudioEndpoint* endpoint,
                  bool* is_default, std::string* error) {
  if (!value.is_object()) {
    *error = "must be null, an object or a list of objects";
    return false;
  }
  const bool known =
      render ? OnlyKnownKeys(value,
                             {"id", "name", "format", "signal", "clock_ppm", "jitter_ms",
                              "jitter_seed", "stalls", "pauses", "default", "state"},
                             error)
             : OnlyKnownKeys(value,
                             {"id", "name", "format", "signal", "clock_ppm", "jitter_ms",
                              "jitter_seed", "stalls", "default", "state"},
                             error);
  if (!known || !ReadBool(value, "default", is_default, error) ||
      !ReadState(value, &endpoint->state, error)) {
    return false;
  }
  std::string id;
  if (!ReadString(value, "id", &id, error)) return false;
  if (value.contains("id")) endpoint->id = Utf8ToUtf16(id);
  const auto name = value.find("name");
  if (name == value.end()) {
    endpoint->name_kind = FriendlyName::kAbsent;
    endpoint->name.clear();
  } else if (name->is_string()) {
    endpoint->name_kind = FriendlyName::kText;
    endpoint->name = Utf8ToUtf16(name->get<std::string>());
  } else if (name->is_number()) {
    endpoint->name_kind = FriendlyName::kNotString;
  } else {
    *error = "\"name\" must be a string or a number";
    return false;
  }
  if (const auto f = value.find("format"); f != value.end()) {
    if (!ReadFormat(*f, &endpoint->format, error)) return false;
  }
  if (const auto s = value.find("signal"); s != value.end()) {
    if (!ReadSignal(*s, &endpoint->signal, error)) return false;
  }
  const std::uint32_t channels = endpoint->format.channels;
  if (channels < 32 && (endpoint->signal.sounding_channels >> channels) != 0 &&
      endpoint->signal.sounding_channels != 0xFFFFFFFF) {
    *error = "\"signal\" sounds on a channel the format does not have";
    return false;
  }
  return ReadConditions(render, value, &endpoint->conditions, error);
}

// Endpoint ids name one device on the whole machine, whichever its
// direction, so a repeated id (also one of the other direction) is refused.
bool IdsUnique(bool render, const std::vector<AudioEndpoint>& endpoints, std::string* error) {
  std::vector<AudioEndpoint> seen = render ? CaptureEndpoints() : RenderEndpoints();
  for (const AudioEndpoint& e : endpoints) {
    for (const AudioEndpoint& other : seen) {
      if (other.id == e.id) {
        *error = "endpoint ids must be unique on the machine";
        return false;
      }
    }
    seen.push_back(e);
  }
  return true;
}

// A list: every entry starts from the direction's current default endpoint
// and must name its own "id"; the first entry with "default": true (which
// must be active), or else the first active entry, becomes the default.
bool ApplyEndpointList(bool render, const nlohmann::json& list, std::string* error) {
  const AudioEndpoint base =
      (render ? RenderEndpoint() : CaptureEndpoint()).value_or(AudioEndpoint{});
  std::vector<AudioEndpoint> endpoints;
  std::optional<std::size_t> default_index;
  for (const nlohmann::json& item : list) {
    AudioEndpoint endpoint = base;
    bool is_default = false;
    if (!ReadEndpoint(render, item, &endpoint, &is_default, error)) return false;
    if (!item.contains("id") || endpoint.id.empty()) {
      *error = "each endpoint of a list needs a non-empty \"id\"";
      return false;
    }
    if (is_default && endpoint.state != DEVICE_STATE_ACTIVE) {
      *error = "the default endpoint must be active";
      return false;
    }
    if (is_default && !default_index) default_index = endpoints.size();
    endpoints.push_back(std::move(endpoint));
  }
  for (std::size_t i = 0; i < endpoints.size() && !default_index; ++i) {
    if (endpoints[i].state == DEVICE_STATE_ACTIVE) default_index = i;
  }
  if (!IdsUnique(render, endpoints, error)) return false;
  (render ? SetRenderEndpoints : SetCaptureEndpoints)(endpoints, default_index.value_or(0));
  return true;
}

bool ApplyEndpointKey(bool render, const nlohmann::json& value, std::string* error) {
  if (value.is_null()) {
    (render ? SetRenderEndpoint : SetCaptureEndpoint)(std::nullopt);
    return true;
  }
  if (value.is_array()) return ApplyEndpointList(render, value, error);
  const std::optional<AudioEndpoint> current = render ? RenderEndpoint() : CaptureEndpoint();
  AudioEndpoint endpoint = current.value_or(AudioEndpoint{});
  bool is_default = false;  // the only endpoint is the default anyway
  if (!ReadEndpoint(render, value, &endpoint, &is_default, error)) return false;
  if (endpoint.id.empty()) endpoint.id = render ? L"{simulated-render}" : L"{simulated-capture}";
  if (!IdsUnique(render, {endpoint}, error)) return false;
  (render ? SetRenderEndpoint : SetCaptureEndpoint)(endpoint);
  return true;
}

}  // namespace

void ResetAudioArea() { ResetAudio(); }

bool ApplyRenderKey(const nlohmann::json& value, std::string* error) {
  return ApplyEndpointKey(true, value, error);
}

bool ApplyCaptureKey(const nlohmann::json& value, std::string* error) {
  return ApplyEndpointKey(false, value, error);
}

bool ApplyMicrophoneKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_object()) {
    *error = "must be an object";
    return false;
  }
  MicrophoneSource mic = GetMicrophoneSource();
  if (!OnlyKnownKeys(value,
                     {"rate", "channels", "tone_hz", "level", "refused", "buffers_before_end",
                      "first_timestamp", "deliver"},
                     error) ||
      !ReadRanged(value, "rate", 1, 384000, &mic.rate, error) ||
      !ReadRanged(value, "channels", 1, 32, &mic.channels, error) ||
      !ReadDouble(value, "tone_hz", &mic.tone_hz, error) ||
      !ReadDouble(value, "level", &mic.level, error) ||
      !ReadBool(value, "refused", &mic.refused, error) ||
      !ReadInt(value, "buffers_before_end", &mic.buffers_before_end, error) ||
      !ReadInt64(value, "first_timestamp", &mic.first_timestamp, error) ||
      !ReadBool(value, "deliver", &mic.deliver, error)) {
    return false;
  }
  SetMicrophoneSource(mic);
  return true;
}

}  // namespace winsim
