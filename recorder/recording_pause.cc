#include "recorder/recording_pause.h"

#include "recorder/media_time.h"
#include "recorder/now_100ns.h"
#include "recorder/recording_session.h"

namespace morl::recorder {

namespace {

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

RecorderError Refusal(const char* code) { return RecorderError{code, "", E_FAIL}; }

}  // namespace

Status PauseRecording(RecordingSession& session) {
  if (!session.clock.Pause()) return Refusal("already_paused");
  return Status();
}

Status ResumeRecording(RecordingSession& session) {
  if (!session.clock.Resume()) return Refusal("not_paused");
  // The video worker sleeps until told; the audio threads follow the clock.
  session.stop.Wake();
  return Status();
}

RecorderStatus RecordingStatus(const RecordingSession& session) {
  RecorderStatus status;
  status.recording = true;
  status.paused = session.clock.Paused();
  status.elapsedMs = TicksToMilliseconds(session.clock.Elapsed());
  status.frames = session.framesWritten;
  status.bytes = BytesWrittenSoFar(session);
  const std::int64_t now = Now100ns();
  if (MicrophoneRecorded(session)) status.micLevel = session.micLevel.Level(now);
  if (ComputerAudioRecorded(session)) status.systemAudioLevel = session.systemAudioLevel.Level(now);
  return status;
}

}  // namespace morl::recorder
