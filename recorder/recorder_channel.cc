#include "recorder/recorder_channel.h"

#include <string>
#include <utility>

#include "messaging/standard_method_codec.h"
#include "recorder/audio/audio_devices.h"
#include "recorder/capability_probe.h"
#include "recorder/video/display_list.h"
#include "recorder/start_arguments.h"
#include "win32_support/hresult_text.h"
#include "win32_support/utf_conversion.h"

namespace morl::recorder {

namespace {

using flutter::EncodableValue;
using flutter::ValueMap;
using Result = std::unique_ptr<flutter::MethodResult<EncodableValue>>;

constexpr char kChannelName[] = "morl_desktop/recorder";

void HandleStart(Recorder& recorder, const EncodableValue* arguments, Result result) {
  StartOptions options;
  std::string code;
  std::string message;
  if (!ReadStartArguments(arguments, options, code, message)) {
    result->Error(code, message);
    return;
  }
  const HRESULT hr = recorder.Start(options, code, message);
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

EncodableValue AudioDeviceList(const std::vector<AudioDevice>& devices) {
  flutter::ValueList list;
  for (const AudioDevice& device : devices) {
    ValueMap entry;
    entry[EncodableValue("id")] = EncodableValue(WideToUtf8(device.id));
    entry[EncodableValue("name")] = EncodableValue(WideToUtf8(device.name));
    entry[EncodableValue("default")] = EncodableValue(device.isDefault);
    list.emplace_back(std::move(entry));
  }
  return EncodableValue(std::move(list));
}

void HandleAudioDevices(Result result) {
  std::vector<AudioDevice> microphones;
  std::vector<AudioDevice> speakers;
  const HRESULT hr = ListAudioDevices(microphones, speakers);
  if (FAILED(hr)) {
    result->Error("devices_failed", "enumerate " + HresultText(hr));
    return;
  }
  ValueMap reply;
  reply[EncodableValue("microphones")] = AudioDeviceList(microphones);
  reply[EncodableValue("speakers")] = AudioDeviceList(speakers);
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

// "pause" and "resume": null on success, else an error without a message.
void HandlePauseOrResume(Recorder& recorder, bool pause, Result result) {
  std::string code;
  const HRESULT hr = pause ? recorder.Pause(code) : recorder.Resume(code);
  if (FAILED(hr)) {
    result->Error(code);
    return;
  }
  result->Success();
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
  } else if (method == "displays") {
    result->Success(DisplaysReply(ListDisplays()));
  } else if (method == "start") {
    HandleStart(recorder, call.arguments(), std::move(result));
  } else if (method == "stop") {
    HandleStop(recorder, std::move(result));
  } else if (method == "pause" || method == "resume") {
    HandlePauseOrResume(recorder, method == "pause", std::move(result));
  } else if (method == "status") {
    result->Success(EncodableValue(recorder.Status()));
  } else if (method == "audioDevices") {
    HandleAudioDevices(std::move(result));
  } else {
    result->NotImplemented();
  }
}

}  // namespace morl::recorder
