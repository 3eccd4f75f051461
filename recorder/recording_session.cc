#include "recorder/recording_session.h"

namespace {

RecordingSession g_session;

// Destroyed before g_session (declared after it). A recording can still run
// when the process exits, since closing the window does not stop it; its
// workers use the session, so they are stopped and joined here, and the file
// is finalised so that what was recorded stays playable.
struct EndRecordingAtExit {
  EndRecordingAtExit() = default;
  EndRecordingAtExit(const EndRecordingAtExit&) = delete;
  EndRecordingAtExit& operator=(const EndRecordingAtExit&) = delete;
  ~EndRecordingAtExit() {
    RecordingSession& s = g_session;
    s.stopRequested = true;
    if (s.videoThread.joinable()) s.videoThread.join();
    if (s.audioThread.joinable()) s.audioThread.join();
    if (s.recording && s.sinkWriter) s.sinkWriter->Finalize();
    s.recording = false;
    s.micReader.Reset();
    s.sinkWriter.Reset();
    if (s.mediaStarted) {
      MFShutdown();
      s.mediaStarted = false;
    }
  }
} g_end_recording_at_exit;

}  // namespace

RecordingSession& TheRecordingSession() { return g_session; }
