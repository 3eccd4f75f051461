#include "recorder/recording_pause.h"

#include "recorder/now_100ns.h"
#include "recorder/recording_session.h"

namespace morl::recorder {

namespace {

using flutter::EncodableValue;

std::int64_t BytesWrittenSoFar(const RecordingSession& session) {
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  if (!GetFileAttributesExW(session.recordingPath.c_str(), GetFileExInfoStandard, &attributes)) {
    return 0;
  }
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(attributes.nFileSizeHigh) << 32) |
                                   attributes.nFileSizeLow);
}

// Whether each source feeds the recording's audio track: the microphone
// alone through its reader, or computer audio with the microphone mixed in.
bool MicrophoneRecorded(const RecordingSession& session) {
  if (!session.audioEnabled) return false;
  return session.systemAudio ? session.micCapture.active : static_cast<bool>(session.micReader);
}

bool ComputerAudioRecorded(const RecordingSession& session) {
  return session.audioEnabled && session.systemAudio && session.loopbackCapture.active;
}

}  // namespace

HRESULT PauseRecording(RecordingSession& session, std::string& code) {
  if (!session.recording) {
    code = "not_recording";
    return E_FAIL;
  }
  if (!session.clock.Pause()) {
    code = "already_paused";
    return E_FAIL;
  }
  return S_OK;
}

HRESULT ResumeRecording(RecordingSession& session, std::string& code) {
  if (!session.recording) {
    code = "not_recording";
    return E_FAIL;
  }
  if (!session.clock.Resume()) {
    code = "not_paused";
    return E_FAIL;
  }
  // The video worker sleeps until told; the audio threads follow the clock.
  session.stop.Wake();
  return S_OK;
}

flutter::ValueMap RecordingStatus(const RecordingSession& session) {
  const bool recording = session.recording;
  flutter::ValueMap status;
  status[EncodableValue("recording")] = EncodableValue(recording);
  status[EncodableValue("paused")] = EncodableValue(recording && session.clock.Paused());
  std::int64_t elapsed = 0, frames = 0, bytes = 0;
  if (recording) {
    elapsed = session.clock.Elapsed() / 10'000;
    frames = session.framesWritten;
    bytes = BytesWrittenSoFar(session);
  }
  status[EncodableValue("elapsedMs")] = EncodableValue(elapsed);
  status[EncodableValue("frames")] = EncodableValue(frames);
  status[EncodableValue("bytes")] = EncodableValue(bytes);
  if (!recording) return status;
  const std::int64_t now = Now100ns();
  if (MicrophoneRecorded(session)) {
    status[EncodableValue("micLevel")] = EncodableValue(session.micLevel.Level(now));
  }
  if (ComputerAudioRecorded(session)) {
    status[EncodableValue("systemAudioLevel")] =
        EncodableValue(session.systemAudioLevel.Level(now));
  }
  return status;
}

}  // namespace morl::recorder
