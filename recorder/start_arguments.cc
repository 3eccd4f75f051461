#include "recorder/start_arguments.h"

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

bool Refuse(const std::string& text, std::string& code, std::string& message) {
  code = "bad_argument";
  message = text;
  return false;
}

bool ReadRegion(const EncodableValue& value, CaptureRegion& region, std::string& code,
                std::string& message) {
  const auto* map = std::get_if<ValueMap>(&value);
  const char* const kText = "region must be a map of the integers left, top, width and height";
  if (map == nullptr) return Refuse(kText, code, message);
  std::int32_t* const fields[] = {&region.left, &region.top, &region.width, &region.height};
  const char* const names[] = {"left", "top", "width", "height"};
  for (int i = 0; i < 4; ++i) {
    const EncodableValue* field = Find(map, names[i]);
    if (field == nullptr || !Int32Value(*field, *fields[i])) return Refuse(kText, code, message);
  }
  return true;
}

bool ReadEndpointId(const ValueMap* map, const char* key, std::wstring& id, std::string& code,
                    std::string& message) {
  const EncodableValue* value = Find(map, key);
  if (value == nullptr) return true;
  const auto* text = std::get_if<std::string>(value);
  if (text == nullptr || text->find('\0') != std::string::npos) {
    return Refuse(std::string(key) + " must be an endpoint id string", code, message);
  }
  id = Utf8ToWide(*text);
  return true;
}

}  // namespace

bool ReadStartArguments(const EncodableValue* arguments, StartOptions& options, std::string& code,
                        std::string& message) {
  const auto* map = arguments != nullptr ? std::get_if<ValueMap>(arguments) : nullptr;
  const EncodableValue* pathValue = Find(map, "path");
  const auto* path = pathValue != nullptr ? std::get_if<std::string>(pathValue) : nullptr;
  if (path == nullptr || path->empty()) {
    code = "start_failed";
    message = "no output path given";
    return false;
  }
  // The file system would stop at the NUL and record somewhere else than the
  // path the reply names.
  if (path->find('\0') != std::string::npos) {
    code = "start_failed";
    message = "output path contains a NUL character";
    return false;
  }
  options.path = Utf8ToWide(*path);
  options.systemAudio = Flag(map, "systemAudio");
  options.fragmented = Flag(map, "fragmented");

  if (const EncodableValue* fps = Find(map, "fps")) {
    std::int32_t value = 0;
    if (!Int32Value(*fps, value) || value < kMinFramesPerSecond || value > kMaxFramesPerSecond) {
      return Refuse(kFrameRateRangeText, code, message);
    }
    options.fps = value;
  }
  if (const EncodableValue* display = Find(map, "display")) {
    std::int32_t value = 0;
    if (!Int32Value(*display, value)) {
      return Refuse("display must be an integer display id", code, message);
    }
    options.display = value;
  }
  if (const EncodableValue* region = Find(map, "region")) {
    CaptureRegion value;
    if (!ReadRegion(*region, value, code, message)) return false;
    options.region = value;
  }
  return ReadEndpointId(map, "microphoneId", options.microphoneId, code, message) &&
         ReadEndpointId(map, "speakersId", options.speakersId, code, message);
}

}  // namespace morl::recorder
