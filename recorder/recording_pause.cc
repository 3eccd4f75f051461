#include "recorder/recording_pause.h"

#include <string>

#include "recorder/audio/audio_track.h"
#include "recorder/media_time.h"
#include "recorder/now_100ns.h"

namespace morl::recorder {

namespace {

std::int64_t BytesWrittenSoFar(const std::wstring& recording_path) {
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  if (!GetFileAttributesExW(recording_path.c_str(), GetFileExInfoStandard, &attributes)) {
    return 0;
  }
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(attributes.nFileSizeHigh) << 32) |
                                   attributes.nFileSizeLow);
}

RecorderError Refusal(const char* code) { return RecorderError{code, "", E_FAIL}; }

}  // namespace

Status PauseRecording(RecordingClock& clock) {
  if (!clock.Pause()) return Refusal("already_paused");
  return Status();
}

Status ResumeRecording(RecordingTimeline& timeline) {
  if (!timeline.clock.Resume()) return Refusal("not_paused");
  // The video worker sleeps until told; the audio threads follow the clock.
  timeline.stop.Wake();
  return Status();
}

RecorderStatus RecordingStatus(const RecordingTimeline& timeline, const VideoTrack& video,
                               const AudioSources& audio, SourceWatch& watch,
                               const std::wstring& recording_path) {
  RecorderStatus status;
  status.recording = true;
  status.paused = timeline.clock.Paused();
  status.elapsed_ms = TicksToMilliseconds(timeline.clock.Elapsed());
  status.frames = video.frames_written;
  status.bytes = BytesWrittenSoFar(recording_path);
  status.capture = video.capture_method.load();
  status.encoder = video.encoder;
  const std::int64_t now = Now100ns();
  if (audio.MicrophoneRecorded()) status.mic_level = audio.track.mic_level.Level(now);
  if (audio.ComputerAudioRecorded()) {
    status.system_audio_level = audio.track.system_audio_level.Level(now);
  }
  watch.Check(now);
  status.video_error = video.failure.Report(video.frames_dropped);
  status.audio_error = audio.track.failure.Report();
  return status;
}

}  // namespace morl::recorder
