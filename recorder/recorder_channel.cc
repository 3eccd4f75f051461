#include "recorder/recorder_channel.h"

#include <string>
#include <utility>

#include "messaging/standard_method_codec.h"
#include "recorder/capability_probe.h"
#include "recorder/video/display_list.h"
#include "win32_support/utf_conversion.h"

namespace morl::recorder {

namespace {

using flutter::EncodableValue;
using flutter::ValueMap;
using Reply = std::unique_ptr<flutter::MethodResult<EncodableValue>>;

constexpr char kChannelName[] = "morl_desktop/recorder";

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

ValueMap StartReply(const StartReport& report) {
  ValueMap reply;
  reply[EncodableValue("audio")] = EncodableValue(report.audio);
  if (!report.micError.empty()) {
    reply[EncodableValue("micError")] = EncodableValue(report.micError);
  }
  if (!report.systemAudioError.empty()) {
    reply[EncodableValue("systemAudioError")] = EncodableValue(report.systemAudioError);
  }
  if (!report.recovered.empty()) {
    reply[EncodableValue("recovered")] = EncodableValue(report.recovered);
  }
  return reply;
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
    : handler_(recorder),
      channel_(messenger, kChannelName, &flutter::StandardMethodCodec::SharedInstance()) {
  channel_.InstallCallHandler([this](const flutter::MethodCall<EncodableValue>& call,
                                     Reply result) { handler_.Handle(call, std::move(result)); });
}

// No call arrives once the handler is removed; the handler then settles
// what is in flight as it goes.
RecorderChannel::~RecorderChannel() { channel_.InstallCallHandler(nullptr); }

}  // namespace morl::recorder
