#include "recorder/recording_pause.h"

#include <algorithm>
#include <mutex>
#include <string>

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
// The reader's callback, not the reader, tells the first: the follower swaps
// readers on its own thread while the callback lasts the whole recording.
bool MicrophoneRecorded(const RecordingSession& session) {
  if (!session.audioEnabled) return false;
  return session.systemAudio ? session.micCapture.endpoint.active()
                             : static_cast<bool>(session.micCallback);
}

bool ComputerAudioRecorded(const RecordingSession& session) {
  return session.audioEnabled && session.systemAudio && session.loopbackCapture.endpoint.active();
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

void WatchSources(RecordingSession& session, std::int64_t now) {
  if (!MicrophoneRecorded(session)) return;
  // Recorded time: a pause is no silence of the microphone.
  const std::int64_t last = std::max(session.micLevel.LastAdded(), session.startTime);
  const std::int64_t silent = session.clock.Cut(now) - session.clock.Cut(last);
  if (silent < kMicSilenceLimit) return;
  std::lock_guard<std::mutex> lock(session.micSilence.mutex);
  if (silent <= session.micSilence.longest) return;
  session.micSilence.longest = silent;
  session.audioFailure.Note(
      "microphone silence",
      "microphone delivered nothing for " + std::to_string(TicksToMilliseconds(silent)) + " ms");
}

RecorderStatus RecordingStatus(RecordingSession& session) {
  RecorderStatus status;
  status.recording = true;
  status.paused = session.clock.Paused();
  status.elapsedMs = TicksToMilliseconds(session.clock.Elapsed());
  status.frames = session.framesWritten;
  status.bytes = BytesWrittenSoFar(session);
  const std::int64_t now = Now100ns();
  if (MicrophoneRecorded(session)) status.micLevel = session.micLevel.Level(now);
  if (ComputerAudioRecorded(session)) status.systemAudioLevel = session.systemAudioLevel.Level(now);
  WatchSources(session, now);
  status.videoError = session.videoFailure.Report(session.framesDropped);
  status.audioError = session.audioFailure.Report();
  return status;
}

}  // namespace morl::recorder
