#include "recorder/recorder_channel.h"

#include <cstdlib>
#include <string>
#include <utility>

#include "messaging/method_call_channel.h"
#include "messaging/standard_method_codec.h"
#include "recorder/capability_probe.h"
#include "recorder/recording_control.h"
#include "recorder/recording_session.h"
#include "recorder/utf_conversion.h"

namespace {

using flutter::EncodableValue;
using flutter::ValueMap;
using Result = std::unique_ptr<flutter::MethodResult<EncodableValue>>;

constexpr char kChannelName[] = "morl_desktop/recorder";

// The channel lives until process exit or until a later registration. The
// holder itself is never destroyed: DestroyChannelAtExit ends the channel, and
// a holder with its own static destructor would be reset again after it was
// destroyed (its destructor is registered after the exit handler, so it runs
// first), deleting the channel twice.
std::unique_ptr<flutter::MethodCallChannel>& ChannelHolder() {
  static auto* channel = new std::unique_ptr<flutter::MethodCallChannel>;
  return *channel;
}

void DestroyChannelAtExit() { ChannelHolder().reset(); }

// Reads an entry of the call's argument map; null when the arguments are not
// a map or lack the key.
const EncodableValue* FindArgument(const EncodableValue* arguments, const char* key) {
  const auto* map = arguments != nullptr ? std::get_if<ValueMap>(arguments) : nullptr;
  if (map == nullptr) return nullptr;
  auto it = map->find(EncodableValue(key));
  return it == map->end() ? nullptr : &it->second;
}

void HandleStart(const EncodableValue* arguments, Result result) {
  const EncodableValue* path_value = FindArgument(arguments, "path");
  const auto* path = path_value != nullptr ? std::get_if<std::string>(path_value) : nullptr;
  if (path == nullptr || path->empty()) {
    result->Error("start_failed", "no output path given");
    return;
  }
  const EncodableValue* flag_value = FindArgument(arguments, "systemAudio");
  const auto* flag = flag_value != nullptr ? std::get_if<bool>(flag_value) : nullptr;
  const bool system_audio = flag != nullptr && *flag;

  std::string code;
  std::string message;
  const HRESULT hr = StartRecording(Utf8ToWide(*path), system_audio, code, message);
  if (FAILED(hr)) {
    result->Error(code.empty() ? "start_failed" : code, message);
    return;
  }
  const RecordingSession& session = TheRecordingSession();
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

void HandleStop(Result result) {
  std::string code;
  std::string message;
  ValueMap stats;
  const HRESULT hr = StopRecording(code, message, stats);
  if (FAILED(hr)) {
    result->Error(code.empty() ? "stop_failed" : code, message);
    return;
  }
  result->Success(EncodableValue(std::move(stats)));
}

}  // namespace

void RegisterRecorderChannel(flutter::BinaryMessenger* messenger) {
  static const bool registered_for_exit = std::atexit(DestroyChannelAtExit) == 0;
  (void)registered_for_exit;
  const auto& codec = flutter::StandardMethodCodec::SharedInstance();
  auto& holder = ChannelHolder();
  holder = std::make_unique<flutter::MethodCallChannel>(messenger, kChannelName, &codec);
  holder->InstallCallHandler(HandleRecorderCall);
}

void HandleRecorderCall(const flutter::MethodCall<EncodableValue>& call, Result result) {
  const std::string& method = call.method_name();
  if (method == "probe") {
    result->Success(EncodableValue(ProbeCapabilities()));
  } else if (method == "start") {
    HandleStart(call.arguments(), std::move(result));
  } else if (method == "stop") {
    HandleStop(std::move(result));
  } else {
    result->NotImplemented();
  }
}
