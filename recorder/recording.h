// Recording: everything one recording needs, from Media Foundation coming up
// to the file being finished: the sink writer, the captures, the workers and
// their shared state, the clock and the workers' failures. Start builds it
// with its first frame written and its workers running; Finish stops the
// workers and finalises the file. Destroying it joins the workers and
// releases everything in the reverse order of its making; the file being
// written is removed then unless Finish kept it. So a start that fails part
// way is undone by the object going, and nothing of one recording reaches
// the next.
//
// One thread at a time uses it, one call at a time: Start and Finish run on
// the recorder channel's start/stop worker, Pause, Resume and Status on the
// platform thread while the recorder holds it; the recording's own workers
// get only the parts of the RecordingSession inside that they use.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "recorder/recorder_error.h"
#include "recorder/recording_control.h"
#include "recorder/recording_pause.h"
#include "recorder/recording_session.h"
#include "recorder/start_options.h"

namespace morl::recorder {

// One MFStartup, shut down when this goes.
class MediaFoundationUse {
 public:
  MediaFoundationUse() = default;
  ~MediaFoundationUse();
  MediaFoundationUse(const MediaFoundationUse&) = delete;
  MediaFoundationUse& operator=(const MediaFoundationUse&) = delete;
  Status Start();

 private:
  bool started_ = false;
};

// The file a recording writes until it is finished; removed when this goes
// unless kept.
class PartialFile {
 public:
  PartialFile() = default;
  ~PartialFile();
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;
  void Track(const std::wstring& path) { path_ = path; }
  void Keep() { keep_ = true; }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  bool keep_ = false;
};

class Recording {
 public:
  static Result<std::unique_ptr<Recording>> Start(const StartOptions& options,
                                                  WorkerLauncher launcher);
  ~Recording();
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  // Stops and joins the workers and finalises the file. The file can be
  // moved only once the recording is destroyed, which closes it.
  FinishedRecording Finish();
  recorder::Status Pause();
  recorder::Status Resume();
  RecorderStatus Status();

  const StartOptions& options() const { return options_; }
  const StartReport& report() const { return report_; }

 private:
  explicit Recording(const StartOptions& options) : options_(options) {}
  recorder::Status Begin(WorkerLauncher launcher);
  recorder::Status LaunchWorkers(WorkerLauncher launcher);
  void JoinWorkers();

  StartOptions options_;
  StartReport report_;
  // Members go in reverse order: the session (workers joined before, the
  // captures and the writer released with it), then the partial file, then
  // Media Foundation.
  MediaFoundationUse media_;
  PartialFile partial_;
  RecordingSession session_;
};

}  // namespace morl::recorder
