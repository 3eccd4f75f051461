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
  if (!GetFileAttributesExW(session.recording_path.c_str(), GetFileExInfoStandard, &attributes)) {
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
  if (!session.audio_enabled) return false;
  return session.system_audio ? session.mic_capture.endpoint.active()
                             : static_cast<bool>(session.mic_callback);
}

bool ComputerAudioRecorded(const RecordingSession& session) {
  return session.audio_enabled && session.system_audio && session.loopback_capture.endpoint.active();
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
  const std::int64_t last = std::max(session.mic_level.LastAdded(), session.start_time);
  const std::int64_t silent = session.clock.Cut(now) - session.clock.Cut(last);
  if (silent < kMicSilenceLimit) return;
  std::lock_guard<std::mutex> lock(session.mic_silence.mutex);
  if (silent <= session.mic_silence.longest) return;
  session.mic_silence.longest = silent;
  session.audio_failure.Note(
      "microphone silence",
      "microphone delivered nothing for " + std::to_string(TicksToMilliseconds(silent)) + " ms");
}

RecorderStatus RecordingStatus(RecordingSession& session) {
  RecorderStatus status;
  status.recording = true;
  status.paused = session.clock.Paused();
  status.elapsed_ms = TicksToMilliseconds(session.clock.Elapsed());
  status.frames = session.frames_written;
  status.bytes = BytesWrittenSoFar(session);
  const std::int64_t now = Now100ns();
  if (MicrophoneRecorded(session)) status.mic_level = session.mic_level.Level(now);
  if (ComputerAudioRecorded(session)) status.system_audio_level = session.system_audio_level.Level(now);
  WatchSources(session, now);
  status.video_error = session.video_failure.Report(session.frames_dropped);
  status.audio_error = session.audio_failure.Report();
  return status;
}

}  // namespace morl::recorder
