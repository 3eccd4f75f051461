// RecorderCallHandler: answers the recorder channel's calls for one recorder
// on the platform thread, without ever waiting there on a start or a stop.
//
// "start" (making the recording and writing its first frame) and "stop"
// (finishing the file and moving it into place) run on a worker thread in
// the multithreaded apartment, one at a time; the worker hands the outcome
// back through a PlatformTaskQueue and the reply is sent on the platform
// thread. The platform thread alone owns the state: idle or recording (the
// recorder holds a Recording or not), starting or stopping (a worker runs).
// The worker never touches the recorder: it gets the options, or the
// Recording taken out of the recorder, and the platform thread installs a
// started Recording when the start's outcome arrives.
//
// Every other call is answered at once, as the recorder's state then is:
// while starting there is no recording yet and while stopping there is none
// any more, so "status" is the idle status and "pause" and "resume" are
// "not_recording"; a second "start" is "already_recording" either way. A
// "stop" while starting is kept and runs once the start is done, so its
// reply (statistics, or "not_recording" when the start failed) comes after
// the start's; a further "stop" then, or one while stopping, is
// "not_recording".
//
// When no worker thread or no queue can be had, the start or stop runs in
// the call as it would on the worker.
#pragma once

#include <memory>
#include <thread>

#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/method_result.h"
#include "recorder/recorder.h"
#include "win32_support/platform_task_queue.h"

namespace morl::recorder {

class RecorderCallHandler {
 public:
  using Reply = std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>>;

  // On the platform thread; `recorder` must outlive the handler.
  explicit RecorderCallHandler(Recorder& recorder);
  // Settles first: a start or stop in flight is waited for and answered,
  // so the recorder is left idle or recording, never half-way.
  ~RecorderCallHandler();
  RecorderCallHandler(const RecorderCallHandler&) = delete;
  RecorderCallHandler& operator=(const RecorderCallHandler&) = delete;

  // Runs the operation `call` names and answers `result`, now or, for a
  // start or stop, once it is done.
  void Handle(const flutter::MethodCall<flutter::EncodableValue>& call, Reply result);

  // Blocks until no start or stop is in flight or queued, sending their
  // replies; for the end of the process, when waiting is fine.
  void Settle();

  // Whether a start or a stop is in flight.
  bool busy() const { return phase_ != Phase::kSettled; }

 private:
  enum class Phase { kSettled, kStarting, kStopping };

  void BeginStart(const StartOptions& options, Reply result);
  void BeginStop(Reply result);
  void FinishStart(Result<std::unique_ptr<Recording>>& started);
  void FinishStop(const Result<StopStatistics>& stopped);
  // Runs `work` on a new worker thread inside the multithreaded apartment
  // and posts its returned closure to the platform thread; runs both here
  // when that cannot be done.
  template <typename Work>
  void RunOnWorker(Work work);

  Recorder& recorder_;
  PlatformTaskQueue queue_;
  std::thread worker_;
  Phase phase_ = Phase::kSettled;
  Reply in_flight_;    // the reply of the start or stop that runs
  Reply queued_stop_;  // a stop that came while starting
};

}  // namespace morl::recorder
