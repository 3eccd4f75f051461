// The recorder's method channel "morl_desktop/recorder": "probe", "start" and
// "stop" from the user interface, each answered exactly once.
#pragma once

#include <memory>

#include "messaging/binary_messenger.h"
#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/method_result.h"

// Creates the process-wide recorder channel on `messenger` (not owned) and
// installs HandleRecorderCall; a channel registered before is destroyed.
void RegisterRecorderChannel(flutter::BinaryMessenger* messenger);

// Runs the recorder operation that `call` names and answers `result`.
void HandleRecorderCall(const flutter::MethodCall<flutter::EncodableValue>& call,
                        std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result);
