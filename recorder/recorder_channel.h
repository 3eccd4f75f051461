// The recorder's method channel "morl_desktop/recorder": "probe", "start" and
// "stop" from the user interface, each answered exactly once.
#pragma once

#include <memory>

#include "messaging/binary_messenger.h"
#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/method_call_channel.h"
#include "messaging/method_result.h"
#include "recorder/recorder.h"

namespace morl::recorder {

// The channel's registration on one messenger, for one recorder. Installs the
// handler when created and removes it when destroyed, so it must go before
// the messenger (the engine) and the recorder do.
class RecorderChannel {
 public:
  RecorderChannel(flutter::BinaryMessenger* messenger, Recorder& recorder);
  ~RecorderChannel();
  RecorderChannel(const RecorderChannel&) = delete;
  RecorderChannel& operator=(const RecorderChannel&) = delete;

 private:
  flutter::MethodCallChannel channel_;
};

// Runs the operation of `recorder` that `call` names and answers `result`.
void HandleRecorderCall(Recorder& recorder,
                        const flutter::MethodCall<flutter::EncodableValue>& call,
                        std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result);

}  // namespace morl::recorder
