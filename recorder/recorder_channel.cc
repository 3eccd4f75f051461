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

const char* CaptureName(CaptureMethod method) {
  switch (method) {
    case CaptureMethod::kGdi:
      return "gdi";
    case CaptureMethod::kDuplication:
      return "duplication";
  }
  return "gdi";
}

const char* EncoderName(VideoEncoderKind encoder) {
  return encoder == VideoEncoderKind::kHardware ? "hardware" : "software";
}

}  // namespace

ValueMap ProbeReply(const Capabilities& capabilities) {
  ValueMap map;
  map[EncodableValue("screenAvailable")] =
      EncodableValue(capabilities.screen_width > 0 && capabilities.screen_height > 0);
  map[EncodableValue("screenWidth")] = EncodableValue(capabilities.screen_width);
  map[EncodableValue("screenHeight")] = EncodableValue(capabilities.screen_height);
  if (capabilities.mic_name) {
    map[EncodableValue("micName")] = EncodableValue(WideToUtf8(*capabilities.mic_name));
  }
  if (capabilities.mic_error)
    map[EncodableValue("micError")] = EncodableValue(*capabilities.mic_error);
  map[EncodableValue("systemAudioAvailable")] =
      EncodableValue(capabilities.system_audio_name.has_value());
  if (capabilities.system_audio_name) {
    map[EncodableValue("systemAudioName")] =
        EncodableValue(WideToUtf8(*capabilities.system_audio_name));
  }
  if (capabilities.system_audio_error) {
    map[EncodableValue("systemAudioError")] = EncodableValue(*capabilities.system_audio_error);
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
  if (!report.mic_error.empty()) {
    reply[EncodableValue("micError")] = EncodableValue(report.mic_error);
  }
  if (!report.system_audio_error.empty()) {
    reply[EncodableValue("systemAudioError")] = EncodableValue(report.system_audio_error);
  }
  if (!report.recovered.empty()) {
    reply[EncodableValue("recovered")] = EncodableValue(report.recovered);
  }
  return reply;
}

ValueMap StopReply(const StopStatistics& stats) {
  ValueMap reply;
  reply[EncodableValue("path")] = EncodableValue(WideToUtf8(stats.path));
  reply[EncodableValue("durationMs")] = EncodableValue(stats.duration_ms);
  reply[EncodableValue("width")] = EncodableValue(stats.width);
  reply[EncodableValue("height")] = EncodableValue(stats.height);
  reply[EncodableValue("frames")] = EncodableValue(stats.frames);
  reply[EncodableValue("bytes")] = EncodableValue(stats.bytes);
  reply[EncodableValue("hadAudio")] = EncodableValue(stats.had_audio);
  if (!stats.video_error.empty()) {
    reply[EncodableValue("videoError")] = EncodableValue(stats.video_error);
  }
  if (!stats.audio_error.empty()) {
    reply[EncodableValue("audioError")] = EncodableValue(stats.audio_error);
  }
  return reply;
}

ValueMap StatusReply(const RecorderStatus& status) {
  ValueMap reply;
  reply[EncodableValue("recording")] = EncodableValue(status.recording);
  reply[EncodableValue("paused")] = EncodableValue(status.paused);
  reply[EncodableValue("elapsedMs")] = EncodableValue(status.elapsed_ms);
  reply[EncodableValue("frames")] = EncodableValue(status.frames);
  reply[EncodableValue("bytes")] = EncodableValue(status.bytes);
  if (status.capture) {
    reply[EncodableValue("capture")] = EncodableValue(CaptureName(*status.capture));
  }
  if (status.encoder) {
    reply[EncodableValue("encoder")] = EncodableValue(EncoderName(*status.encoder));
  }
  if (status.mic_level) reply[EncodableValue("micLevel")] = EncodableValue(*status.mic_level);
  if (status.system_audio_level) {
    reply[EncodableValue("systemAudioLevel")] = EncodableValue(*status.system_audio_level);
  }
  if (!status.video_error.empty()) {
    reply[EncodableValue("videoError")] = EncodableValue(status.video_error);
  }
  if (!status.audio_error.empty()) {
    reply[EncodableValue("audioError")] = EncodableValue(status.audio_error);
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
