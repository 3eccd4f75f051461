#include "recorder/recorder_channel.h"

#include <string>
#include <utility>

#include "messaging/standard_method_codec.h"
#include "recorder/capability_probe.h"
#include "win32_support/utf_conversion.h"

namespace morl::recorder {

namespace {

using flutter::EncodableValue;
using flutter::ValueMap;
using Result = std::unique_ptr<flutter::MethodResult<EncodableValue>>;

constexpr char kChannelName[] = "morl_desktop/recorder";

// Reads an entry of the call's argument map; null when the arguments are not
// a map or lack the key.
const EncodableValue* FindArgument(const EncodableValue* arguments, const char* key) {
  const auto* map = arguments != nullptr ? std::get_if<ValueMap>(arguments) : nullptr;
  if (map == nullptr) return nullptr;
  auto it = map->find(EncodableValue(key));
  return it == map->end() ? nullptr : &it->second;
}

// A flag of the call's arguments: true only when present and a bool true; a
// value of any other type (1, "true", null) reads as false.
bool BoolArgument(const EncodableValue* arguments, const char* key) {
  const EncodableValue* value = FindArgument(arguments, key);
  const auto* flag = value != nullptr ? std::get_if<bool>(value) : nullptr;
  return flag != nullptr && *flag;
}

void HandleStart(Recorder& recorder, const EncodableValue* arguments, Result result) {
  const EncodableValue* pathValue = FindArgument(arguments, "path");
  const auto* path = pathValue != nullptr ? std::get_if<std::string>(pathValue) : nullptr;
  if (path == nullptr || path->empty()) {
    result->Error("start_failed", "no output path given");
    return;
  }
  // The file system would stop at the NUL and record somewhere else than the
  // path the reply names.
  if (path->find('\0') != std::string::npos) {
    result->Error("start_failed", "output path contains a NUL character");
    return;
  }
  const bool systemAudio = BoolArgument(arguments, "systemAudio");
  const bool fragmented = BoolArgument(arguments, "fragmented");

  std::string code;
  std::string message;
  const HRESULT hr = recorder.Start(Utf8ToWide(*path), systemAudio, fragmented, code, message);
  if (FAILED(hr)) {
    result->Error(code.empty() ? "start_failed" : code, message);
    return;
  }
  const RecordingSession& session = recorder.session();
  ValueMap reply;
  reply[EncodableValue("audio")] = EncodableValue(session.audioEnabled);
  if (!session.micError.empty()) {
    reply[EncodableValue("micError")] = EncodableValue(session.micError);
  }
  if (!session.systemAudioError.empty()) {
    reply[EncodableValue("systemAudioError")] = EncodableValue(session.systemAudioError);
  }
  result->Success(EncodableValue(std::move(reply)));
}

void HandleStop(Recorder& recorder, Result result) {
  std::string code;
  std::string message;
  ValueMap stats;
  const HRESULT hr = recorder.Stop(code, message, stats);
  if (FAILED(hr)) {
    result->Error(code.empty() ? "stop_failed" : code, message);
    return;
  }
  result->Success(EncodableValue(std::move(stats)));
}

}  // namespace

RecorderChannel::RecorderChannel(flutter::BinaryMessenger* messenger, Recorder& recorder)
    : channel_(messenger, kChannelName, &flutter::StandardMethodCodec::SharedInstance()) {
  channel_.InstallCallHandler(
      [&recorder](const flutter::MethodCall<EncodableValue>& call, Result result) {
        HandleRecorderCall(recorder, call, std::move(result));
      });
}

RecorderChannel::~RecorderChannel() { channel_.InstallCallHandler(nullptr); }

void HandleRecorderCall(Recorder& recorder, const flutter::MethodCall<EncodableValue>& call,
                        Result result) {
  const std::string& method = call.method_name();
  if (method == "probe") {
    result->Success(EncodableValue(ProbeCapabilities()));
  } else if (method == "start") {
    HandleStart(recorder, call.arguments(), std::move(result));
  } else if (method == "stop") {
    HandleStop(recorder, std::move(result));
  } else {
    result->NotImplemented();
  }
}

}  // namespace morl::recorder
