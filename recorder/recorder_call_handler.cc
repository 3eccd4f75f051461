#include "recorder/recorder_call_handler.h"

#include <functional>
#include <string>
#include <system_error>
#include <utility>

#include "recorder/audio/audio_devices.h"
#include "recorder/capability_probe.h"
#include "recorder/recorder_channel.h"
#include "recorder/start_arguments.h"
#include "recorder/video/display_list.h"
#include "win32_support/com_apartment.h"
#include "win32_support/hresult_text.h"
#include "win32_support/utf_conversion.h"

namespace morl::recorder {

namespace {

using flutter::EncodableValue;
using flutter::ValueMap;
using Reply = RecorderCallHandler::Reply;

// An error reply; an error without a code is `fallback`.
void SendError(const Reply& result, const RecorderError& error, const char* fallback) {
  result->Error(error.code.empty() ? fallback : error.code, error.message);
}

void SendNotRecording(const Reply& result) { result->Error("not_recording", ""); }

EncodableValue AudioDeviceList(const std::vector<AudioDevice>& devices) {
  flutter::ValueList list;
  for (const AudioDevice& device : devices) {
    ValueMap entry;
    entry[EncodableValue("id")] = EncodableValue(WideToUtf8(device.id));
    entry[EncodableValue("name")] = EncodableValue(WideToUtf8(device.name));
    entry[EncodableValue("default")] = EncodableValue(device.is_default);
    list.emplace_back(std::move(entry));
  }
  return EncodableValue(std::move(list));
}

void HandleAudioDevices(Reply result) {
  std::vector<AudioDevice> microphones;
  std::vector<AudioDevice> speakers;
  const HRESULT hr = ListAudioDevices(microphones, speakers);
  if (FAILED(hr)) {
    result->Error("devices_failed", "enumerate " + HresultText(hr));
    return;
  }
  ValueMap reply;
  reply[EncodableValue("microphones")] = AudioDeviceList(microphones);
  reply[EncodableValue("speakers")] = AudioDeviceList(speakers);
  result->Success(EncodableValue(std::move(reply)));
}

// "pause" and "resume": null on success, else an error without a message.
void HandlePauseOrResume(Recorder& recorder, bool pause, Reply result) {
  const Status done = pause ? recorder.Pause() : recorder.Resume();
  if (!done) {
    result->Error(done.error().code);
    return;
  }
  result->Success();
}

}  // namespace

RecorderCallHandler::RecorderCallHandler(Recorder& recorder) : recorder_(recorder) {}

RecorderCallHandler::~RecorderCallHandler() { Settle(); }

void RecorderCallHandler::Handle(const flutter::MethodCall<EncodableValue>& call, Reply result) {
  const std::string& method = call.method_name();
  if (method == "probe") {
    result->Success(EncodableValue(ProbeReply(ProbeCapabilities())));
  } else if (method == "displays") {
    result->Success(DisplaysReply(ListDisplays()));
  } else if (method == "start") {
    const Result<StartOptions> options = ReadStartArguments(call.arguments());
    if (!options) {
      SendError(result, options.error(), "start_failed");
    } else if (busy() || recorder_.recording()) {
      result->Error("already_recording", "");
    } else {
      BeginStart(*options, std::move(result));
    }
  } else if (method == "stop") {
    if (phase_ == Phase::kStarting && !queued_stop_) {
      queued_stop_ = std::move(result);
    } else if (busy() || !recorder_.recording()) {
      SendNotRecording(result);
    } else {
      BeginStop(std::move(result));
    }
  } else if (method == "pause" || method == "resume") {
    HandlePauseOrResume(recorder_, method == "pause", std::move(result));
  } else if (method == "status") {
    result->Success(EncodableValue(StatusReply(recorder_.Status())));
  } else if (method == "audioDevices") {
    HandleAudioDevices(std::move(result));
  } else {
    result->NotImplemented();
  }
}

void RecorderCallHandler::Settle() {
  while (busy()) {
    // A worker that ran has posted its outcome before it ends.
    if (worker_.joinable()) worker_.join();
    queue_.RunPending();
  }
  if (worker_.joinable()) worker_.join();
}

void RecorderCallHandler::BeginStart(const StartOptions& options, Reply result) {
  phase_ = Phase::kStarting;
  in_flight_ = std::move(result);
  const WorkerLauncher launcher = recorder_.worker_launcher();
  RunOnWorker([this, options, launcher]() -> std::function<void()> {
    auto started =
        std::make_shared<Result<std::unique_ptr<Recording>>>(StartRecording(options, launcher));
    return [this, started] { FinishStart(*started); };
  });
}

void RecorderCallHandler::BeginStop(Reply result) {
  phase_ = Phase::kStopping;
  in_flight_ = std::move(result);
  RunOnWorker([this, recording = recorder_.TakeRecording()]() mutable -> std::function<void()> {
    auto stopped = std::make_shared<Result<StopStatistics>>(StopRecording(std::move(recording)));
    return [this, stopped] { FinishStop(*stopped); };
  });
}

// The state is settled before the reply goes out, and a stop that waited
// for the start is taken up only after it.
void RecorderCallHandler::FinishStart(Result<std::unique_ptr<Recording>>& started) {
  phase_ = Phase::kSettled;
  const Reply result = std::move(in_flight_);
  if (started) {
    const StartReport report = (*started)->report();
    recorder_.Install(std::move(*started));
    result->Success(EncodableValue(StartReply(report)));
  } else {
    SendError(result, started.error(), "start_failed");
  }
  if (queued_stop_) {
    Reply stop = std::move(queued_stop_);
    if (busy() || !recorder_.recording()) {
      SendNotRecording(stop);
    } else {
      BeginStop(std::move(stop));
    }
  }
}

void RecorderCallHandler::FinishStop(const Result<StopStatistics>& stopped) {
  phase_ = Phase::kSettled;
  const Reply result = std::move(in_flight_);
  if (stopped) {
    result->Success(EncodableValue(StopReply(*stopped)));
  } else {
    SendError(result, stopped.error(), "stop_failed");
  }
}

// The work is shared with the thread so that it stays here, the Recording
// of a stop included, when no thread can be launched.
template <typename Work>
void RecorderCallHandler::RunOnWorker(Work work) {
  // The previous worker posted its outcome, which is what got us here.
  if (worker_.joinable()) worker_.join();
  const auto shared = std::make_shared<Work>(std::move(work));
  if (queue_.ok()) {
    try {
      worker_ = std::thread([this, shared] {
        std::function<void()> done;
        {
          const ComApartment apartment(COINIT_MULTITHREADED);
          done = (*shared)();
        }
        queue_.Post(std::move(done));
      });
      return;
    } catch (const std::system_error&) {
      // No thread to be had: the work runs here, as before there were workers.
    }
  }
  (*shared)()();
}

}  // namespace morl::recorder
