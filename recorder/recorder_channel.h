// The recorder's method channel "morl_desktop/recorder": "probe", "start",
// "stop", "pause", "resume", "status", "audioDevices" and "displays" from the
// user interface, each answered exactly once.
//
// "start" takes a map: "path" (string, required), "systemAudio" and
// "fragmented" (bools, default false; a value of another type reads as
// false). With "fragmented" true the file is fragmented MP4 with a key frame
// at least every two seconds, so a crash or a killed process loses at most
// the last two seconds or so. Until a recording is finished it is written
// beside its path, as the path followed by ".partial" and the path's own
// extension ("clip.mp4" is written as "clip.mp4.partial.mp4"), and renamed to
// the path by "stop". A killed fragmented recording is found there.
//
// "audioDevices" lists the active microphones and playback devices:
// {"microphones": [...], "speakers": [...]}, each entry {"id" (the endpoint
// id), "name" (friendly name, or "Default microphone"/"Default speakers"
// when it has none), "default" (bool)}; "devices_failed" with "enumerate "
// and the HRESULT text when the endpoints cannot be listed. "start" takes
// such ids as "microphoneId" and "speakersId" (the latter with "systemAudio"
// true). A chosen device that is not there does not fail the start: the
// recording goes on without it, and "micError" ("mic lookup ...", or "mic
// mix unavailable: mic lookup ..." with computer audio) or
// "systemAudioError" ("render lookup ...") says so.
//
// "displays" lists the displays in EnumDisplayMonitors' order, one map each:
// "id" (int32, its place in that order), "name" (the device name), "left",
// "top", "width", "height" (int32, physical pixels on the virtual screen),
// "primary" (bool) and "dpi" (int32, effective DPI, 96 when unknown).
// "start" may name one of them with "display" (default: the primary; an id
// not listed is "bad_argument"), record only a "region" of it ({"left",
// "top", "width", "height"} in the display's pixels, clipped to it, rounded
// down to even width and height; nothing left is "bad_region") and set "fps"
// (1 to 60, default 15). The cursor is drawn only while it is on the
// recorded display. Without these arguments a recording is the whole primary
// display at 15 frames a second.
//
// "encoder" ("auto", the default, "hardware" or "software") chooses the H.264
// encoder: "auto" takes the GPU's when it has one that takes the frame size,
// else the software one; "hardware" fails the start with
// "encoder_unavailable" ("no hardware H.264 encoder takes the video (W x H)")
// instead of falling back; "software" never uses the GPU's. "videoBitrate"
// (100,000 to 100,000,000 bits per second, constant; default from the frame
// size and rate) sets the video's bit rate. Other values are "bad_argument".
//
// "stop" answers with the recording's statistics: "path", "durationMs",
// "width", "height", "frames", "bytes", "hadAudio", and "videoError" /
// "audioError" when a worker failed or a condition held: the first failed
// call, then "screen unavailable for N ms", "display unavailable for N ms",
// "region off its display for N ms", "capture below requested rate: R of F
// fps" or "microphone delivered nothing for N ms", then "frames dropped: N",
// joined by "; ". While the recorded display is gone or the screen cannot be
// read the file goes on with black or repeated frames; a display that
// changed size is fitted into the file's unchanged frame with black bars.
// "stop" answers "stop_failed" with "finalize " and the HRESULT text when the
// file cannot be finished, a full disk (hr=0x80070070) included; no
// statistics are sent and the recorder is idle and ready for a new start. An
// ordinary file is then removed; a fragmented one is kept at its partial
// path, which the message names after " -- the recording was kept as ", and
// plays up to the last fragment written before the failure.
//
// "pause" and "resume" answer null. While paused nothing is captured or
// written, and the resumed recording continues right after what preceded the
// pause: the file has no gap, and the stop's "durationMs" counts recorded time
// only. A paused recording can be stopped. Refusals, with no message:
// "not_recording" (either, when idle), "already_paused", "not_paused".
// "status" answers {"recording", "paused": bool, "elapsedMs" (recorded time),
// "frames", "bytes" (the file so far, 0 when unknown): int64}, and
// "micLevel" / "systemAudioLevel" (double, the peak sample of the last
// 100 ms, 0.0 to 1.0) only for the sources being recorded, "capture"
// ("gdi") and "encoder" ("hardware" or "software", the one that took the
// video) while recording, and "videoError" / "audioError" as soon as a worker
// fails, with the texts "stop" would give at that moment. When idle it is
// false, false and zeros without levels, capture, encoder or errors. It never
// waits on the recording.
//
// "start" and "stop" do their work on a worker thread and answer when it is
// done; every other call is answered at once meanwhile (see
// RecorderCallHandler for what it answers then).
#pragma once

#include <memory>

#include "messaging/binary_messenger.h"
#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/method_call_channel.h"
#include "messaging/method_result.h"
#include "recorder/capability_probe.h"
#include "recorder/recorder.h"
#include "recorder/recorder_call_handler.h"
#include "recorder/video/display_list.h"

namespace morl::recorder {

// The channel's registration on one messenger, for one recorder, made on
// the platform thread. Installs the handler when created and removes it when
// destroyed, so it must go before the messenger (the engine) and the
// recorder do. Going, it waits for a start or stop in flight and sends its
// reply (see RecorderCallHandler).
class RecorderChannel {
 public:
  RecorderChannel(flutter::BinaryMessenger* messenger, Recorder& recorder);
  ~RecorderChannel();
  RecorderChannel(const RecorderChannel&) = delete;
  RecorderChannel& operator=(const RecorderChannel&) = delete;

  // Waits for a start or stop in flight and sends its reply; for the end of
  // the session, before the recorder is stopped there.
  void Settle() { handler_.Settle(); }

 private:
  RecorderCallHandler handler_;
  flutter::MethodCallChannel channel_;
};

// The "start" reply: "audio", and "micError", "systemAudioError" and
// "recovered" only when not empty.
flutter::ValueMap StartReply(const StartReport& report);
// The "stop" and "status" replies of the recorder's plain results: "path",
// "durationMs", "width", "height", "frames", "bytes", "hadAudio", and
// "videoError" / "audioError" only when not empty; "recording", "paused",
// "elapsedMs", "frames", "bytes", "capture" and "encoder" and each level
// when present, and "videoError" / "audioError" only when not empty.
flutter::ValueMap StopReply(const StopStatistics& stats);
flutter::ValueMap StatusReply(const RecorderStatus& status);
// The "probe" reply: "screenAvailable", "screenWidth", "screenHeight",
// "systemAudioAvailable", and each name and error that is present.
flutter::ValueMap ProbeReply(const Capabilities& capabilities);
// The "displays" reply: one map per display, {"id", "name", "left", "top",
// "width", "height", "primary", "dpi"}.
flutter::EncodableValue DisplaysReply(const std::vector<DisplayInfo>& displays);

}  // namespace morl::recorder
