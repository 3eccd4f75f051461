#include "recorder/start_arguments.h"

#include <algorithm>
#include <iterator>
#include <limits>

#include "win32_support/utf_conversion.h"

namespace morl::recorder {

namespace {

using flutter::EncodableValue;
using flutter::ValueMap;

// An entry of `map`; null when the map is null or lacks the key, and when the
// value is an explicit null.
const EncodableValue* Find(const ValueMap* map, const char* key) {
  if (map == nullptr) return nullptr;
  auto it = map->find(EncodableValue(key));
  if (it == map->end() || std::holds_alternative<std::monostate>(it->second)) return nullptr;
  return &it->second;
}

// A flag: true only when present and a bool true; a value of any other type
// (1, "true", null) reads as false.
bool Flag(const ValueMap* map, const char* key) {
  const EncodableValue* value = Find(map, key);
  const auto* flag = value != nullptr ? std::get_if<bool>(value) : nullptr;
  return flag != nullptr && *flag;
}

// An integer that fits 32 bits. The codec sends small integers as int32 and
// larger ones as int64, so both are accepted.
bool Int32Value(const EncodableValue& value, std::int32_t& out) {
  if (const auto* small = std::get_if<std::int32_t>(&value)) {
    out = *small;
    return true;
  }
  if (const auto* large = std::get_if<std::int64_t>(&value)) {
    if (*large < std::numeric_limits<std::int32_t>::min() ||
        *large > std::numeric_limits<std::int32_t>::max()) {
      return false;
    }
    out = static_cast<std::int32_t>(*large);
    return true;
  }
  return false;
}

RecorderError Refusal(std::string text) {
  return RecorderError{"bad_argument", std::move(text), E_INVALIDARG};
}

Result<CaptureRegion> ReadRegion(const EncodableValue& value) {
  const auto* map = std::get_if<ValueMap>(&value);
  const char* const kText = "region must be a map of the integers left, top, width and height";
  CaptureRegion region;
  std::int32_t* const fields[] = {&region.left, &region.top, &region.width, &region.height};
  const char* const names[] = {"left", "top", "width", "height"};
  for (int i = 0; i < 4; ++i) {
    const EncodableValue* field = Find(map, names[i]);
    if (field == nullptr || !Int32Value(*field, *fields[i])) return Refusal(kText);
  }
  return region;
}

// "encoder" and "videoBitrate", each optional.
Status ReadEncoderChoices(const ValueMap* map, StartOptions& options) {
  if (const EncodableValue* encoder = Find(map, "encoder")) {
    const auto* text = std::get_if<std::string>(encoder);
    const struct {
      const char* name;
      EncoderChoice choice;
    } kChoices[] = {{"auto", EncoderChoice::kAuto},
                    {"hardware", EncoderChoice::kHardware},
                    {"software", EncoderChoice::kSoftware}};
    const auto* found = std::find_if(std::begin(kChoices), std::end(kChoices), [&](const auto& c) {
      return text != nullptr && *text == c.name;
    });
    if (found == std::end(kChoices)) {
      return Refusal("encoder must be one of the strings auto, hardware and software");
    }
    options.encoder = found->choice;
  }
  if (const EncodableValue* bitrate = Find(map, "videoBitrate")) {
    std::int32_t value = 0;
    if (!Int32Value(*bitrate, value) || value < kMinVideoBitrate || value > kMaxVideoBitrate) {
      return Refusal("videoBitrate must be an integer from 100000 to 100000000");
    }
    options.video_bitrate = value;
  }
  return Status();
}

Status ReadEndpointId(const ValueMap* map, const char* key, std::wstring& id) {
  const EncodableValue* value = Find(map, key);
  if (value == nullptr) return Status();
  const auto* text = std::get_if<std::string>(value);
  if (text == nullptr || text->find('\0') != std::string::npos) {
    return Refusal(std::string(key) + " must be an endpoint id string");
  }
  id = Utf8ToWide(*text);
  return Status();
}

// "path": required, valid UTF-8 and without NUL, which the file system would
// stop at, recording somewhere else than the path the reply names.
Result<std::wstring> ReadPath(const ValueMap* map) {
  const EncodableValue* path_value = Find(map, "path");
  const auto* path = path_value != nullptr ? std::get_if<std::string>(path_value) : nullptr;
  if (path == nullptr || path->empty()) {
    return RecorderError{"start_failed", "no output path given", E_INVALIDARG};
  }
  if (path->find('\0') != std::string::npos) {
    return RecorderError{"start_failed", "output path contains a NUL character", E_INVALIDARG};
  }
  // Converted leniently, broken UTF-8 would name another file than the one
  // the reply names.
  if (!IsValidUtf8(*path)) {
    return RecorderError{"start_failed", "output path is not valid UTF-8", E_INVALIDARG};
  }
  return Utf8ToWide(*path);
}

// "fps", "display" and "region", each optional.
Status ReadCaptureChoices(const ValueMap* map, StartOptions& options) {
  if (const EncodableValue* fps = Find(map, "fps")) {
    std::int32_t value = 0;
    if (!Int32Value(*fps, value) || value < kMinFramesPerSecond || value > kMaxFramesPerSecond) {
      return Refusal(kFrameRateRangeText);
    }
    options.fps = value;
  }
  if (const EncodableValue* display = Find(map, "display")) {
    std::int32_t value = 0;
    if (!Int32Value(*display, value)) return Refusal("display must be an integer display id");
    options.display = value;
  }
  if (const EncodableValue* region = Find(map, "region")) {
    Result<CaptureRegion> value = ReadRegion(*region);
    if (!value) return value.error();
    options.region = *value;
  }
  return Status();
}

}  // namespace

Result<StartOptions> ReadStartArguments(const EncodableValue* arguments) {
  const auto* map = arguments != nullptr ? std::get_if<ValueMap>(arguments) : nullptr;
  Result<std::wstring> path = ReadPath(map);
  if (!path) return path.error();
  StartOptions options;
  options.path = std::move(*path);
  options.system_audio = Flag(map, "systemAudio");
  options.fragmented = Flag(map, "fragmented");
  MORL_RETURN_IF_ERROR(ReadCaptureChoices(map, options));
  MORL_RETURN_IF_ERROR(ReadEncoderChoices(map, options));
  MORL_RETURN_IF_ERROR(ReadEndpointId(map, "microphoneId", options.microphone_id));
  MORL_RETURN_IF_ERROR(ReadEndpointId(map, "speakersId", options.speakers_id));
  return options;
}

}  // namespace morl::recorder
