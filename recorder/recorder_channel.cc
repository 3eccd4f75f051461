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
using Reply = std::unique_ptr<flutter::MethodResult<EncodableValue>>;

constexpr char kChannelName[] = "morl_desktop/recorder";

void HandleStart(Recorder& recorder, const EncodableValue* arguments, Reply result) {
  const Result<StartOptions> options = ReadStartArguments(arguments);
  if (!options) {
    result->Error(options.error().code, options.error().message);
    return;
  }
  const Result<StartReport> started = recorder.Start(*options);
  if (!started) {
    const RecorderError& error = started.error();
    result->Error(error.code.empty() ? "start_failed" : error.code, error.message);
    return;
  }
  ValueMap reply;
  reply[EncodableValue("audio")] = EncodableValue(started->audio);
  if (!started->micError.empty()) {
    reply[EncodableValue("micError")] = EncodableValue(started->micError);
  }
  if (!started->systemAudioError.empty()) {
    reply[EncodableValue("systemAudioError")] = EncodableValue(started->systemAudioError);
  }
  if (!started->recovered.empty()) {
    reply[EncodableValue("recovered")] = EncodableValue(started->recovered);
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

void HandleAudioDevices(Reply result) {
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

void HandleStop(Recorder& recorder, Reply result) {
  const Result<StopStatistics> stopped = recorder.Stop();
  if (!stopped) {
    const RecorderError& error = stopped.error();
    result->Error(error.code.empty() ? "stop_failed" : error.code, error.message);
    return;
  }
  result->Success(EncodableValue(StopReply(*stopped)));
}

// "pause" and "resume": null on success, else an error without a message.
void HandlePauseOrResume(Recorder& recorder, bool pause, Reply result) {
  const Status done = pause ? recorder.Pause() : recorder.Resume();
  if (!done) {
    result->Error(done.error().code);
    return;
  }
  result->Success();
}

}  // namespace

ValueMap ProbeReply(const Capabilities& capabilities) {
  ValueMap map;
  map[EncodableValue("screenAvailable")] =
      EncodableValue(capabilities.screenWidth > 0 && capabilities.screenHeight > 0);
  map[EncodableValue("screenWidth")] = EncodableValue(capabilities.screenWidth);
  map[EncodableValue("screenHeight")] = EncodableValue(capabilities.screenHeight);
  if (capabilities.micName) {
    map[EncodableValue("micName")] = EncodableValue(WideToUtf8(*capabilities.micName));
  }
  if (capabilities.micError)
    map[EncodableValue("micError")] = EncodableValue(*capabilities.micError);
  map[EncodableValue("systemAudioAvailable")] =
      EncodableValue(capabilities.systemAudioName.has_value());
  if (capabilities.systemAudioName) {
    map[EncodableValue("systemAudioName")] =
        EncodableValue(WideToUtf8(*capabilities.systemAudioName));
  }
  if (capabilities.systemAudioError) {
    map[EncodableValue("systemAudioError")] = EncodableValue(*capabilities.systemAudioError);
  }
  return map;
}

EncodableValue DisplaysReply(const std::vector<DisplayInfo>& displays) {
  flutter::ValueList list;
  for (const DisplayInfo& display : displays) {
    flutter::ValueMap map;
    map[EncodableValue("id")] = EncodableValue(display.id);
    map[EncodableValue("name")] = EncodableValue(WideToUtf8(display.name));
    map[EncodableValue("left")] = EncodableValue(display.left);
    map[EncodableValue("top")] = EncodableValue(display.top);
    map[EncodableValue("width")] = EncodableValue(display.width);
    map[EncodableValue("height")] = EncodableValue(display.height);
    map[EncodableValue("primary")] = EncodableValue(display.primary);
    map[EncodableValue("dpi")] = EncodableValue(display.dpi);
    list.push_back(EncodableValue(std::move(map)));
  }
  return EncodableValue(std::move(list));
}

ValueMap StopReply(const StopStatistics& stats) {
  ValueMap reply;
  reply[EncodableValue("path")] = EncodableValue(WideToUtf8(stats.path));
  reply[EncodableValue("durationMs")] = EncodableValue(stats.durationMs);
  reply[EncodableValue("width")] = EncodableValue(stats.width);
  reply[EncodableValue("height")] = EncodableValue(stats.height);
  reply[EncodableValue("frames")] = EncodableValue(stats.frames);
  reply[EncodableValue("bytes")] = EncodableValue(stats.bytes);
  reply[EncodableValue("hadAudio")] = EncodableValue(stats.hadAudio);
  if (!stats.videoError.empty()) {
    reply[EncodableValue("videoError")] = EncodableValue(stats.videoError);
  }
  if (!stats.audioError.empty()) {
    reply[EncodableValue("audioError")] = EncodableValue(stats.audioError);
  }
  return reply;
}

ValueMap StatusReply(const RecorderStatus& status) {
  ValueMap reply;
  reply[EncodableValue("recording")] = EncodableValue(status.recording);
  reply[EncodableValue("paused")] = EncodableValue(status.paused);
  reply[EncodableValue("elapsedMs")] = EncodableValue(status.elapsedMs);
  reply[EncodableValue("frames")] = EncodableValue(status.frames);
  reply[EncodableValue("bytes")] = EncodableValue(status.bytes);
  if (status.micLevel) reply[EncodableValue("micLevel")] = EncodableValue(*status.micLevel);
  if (status.systemAudioLevel) {
    reply[EncodableValue("systemAudioLevel")] = EncodableValue(*status.systemAudioLevel);
  }
  if (!status.videoError.empty()) {
    reply[EncodableValue("videoError")] = EncodableValue(status.videoError);
  }
  if (!status.audioError.empty()) {
    reply[EncodableValue("audioError")] = EncodableValue(status.audioError);
  }
  return reply;
}

RecorderChannel::RecorderChannel(flutter::BinaryMessenger* messenger, Recorder& recorder)
    : channel_(messenger, kChannelName, &flutter::StandardMethodCodec::SharedInstance()) {
  channel_.InstallCallHandler(
      [&recorder](const flutter::MethodCall<EncodableValue>& call, Reply result) {
        HandleRecorderCall(recorder, call, std::move(result));
      });
}

RecorderChannel::~RecorderChannel() { channel_.InstallCallHandler(nullptr); }

void HandleRecorderCall(Recorder& recorder, const flutter::MethodCall<EncodableValue>& call,
                        Reply result) {
  const std::string& method = call.method_name();
  if (method == "probe") {
    result->Success(EncodableValue(ProbeReply(ProbeCapabilities())));
  } else if (method == "displays") {
    result->Success(DisplaysReply(ListDisplays()));
  } else if (method == "start") {
    HandleStart(recorder, call.arguments(), std::move(result));
  } else if (method == "stop") {
    HandleStop(recorder, std::move(result));
  } else if (method == "pause" || method == "resume") {
    HandlePauseOrResume(recorder, method == "pause", std::move(result));
  } else if (method == "status") {
    result->Success(EncodableValue(StatusReply(recorder.Status())));
  } else if (method == "audioDevices") {
    HandleAudioDevices(std::move(result));
  } else {
    result->NotImplemented();
  }
}

}  // namespace morl::recorder
