// Reads the argument map of a "start" call into StartOptions.
//
// "path" (string, required, no NUL) fails with "start_failed", the code the
// user interface knows for a target it cannot use. The flags "systemAudio"
// and "fragmented" count only as a bool true. The optional "display" (int),
// "region" (a map of the ints "left", "top", "width", "height"), "fps" (an
// int from 1 to 60), "microphoneId" and "speakersId" (strings), "encoder"
// ("auto", "hardware" or "software") and "videoBitrate" (an int from 100,000
// to 100,000,000 bits per second) fail with "bad_argument" and a message
// naming the argument when present with another type or value; an explicit
// null reads as absent. Whether a display, region or endpoint exists is
// decided by the start, not here.
#pragma once

#include <string>

#include "messaging/encodable_value.h"
#include "recorder/recorder_error.h"
#include "recorder/start_options.h"

namespace morl::recorder {

// The options the arguments ask for, or the refusal.
Result<StartOptions> ReadStartArguments(const flutter::EncodableValue* arguments);

}  // namespace morl::recorder
