// The UI script: JSON lines, each one step. Blank lines and lines starting
// with '#' are skipped.
//   {"channel": C, "method": M, "args": V}  send a method call (args may be absent: null)
//   {"channel": C, "hex": "07 05 ..."}      send these bytes
//   {"sleep_ms": N}                          wait N ms with the message loop running
//   {"close": true}                          close the top-level window as a user would
// Sends wait for their reply before the next step. A line that is none of
// these is reported and skipped; the script goes on.
//
// The engine's arguments choose the script and the transcript:
// --ui-script=PATH (default: demo.uiscript in the assets directory; without
// one the window stays open), --transcript=PATH (default: standard output),
// --reply-timeout-ms=N (default 30000). Each exchange is one transcript line:
//   {"channel": C, "request": "<hex>", "reply": "<hex>", "decoded": D}
// with D as DecodeReply gives it; a reply that did not come in time is
// written as "reply": null, "decoded": "no_reply". Other lines:
// {"script_error": TEXT}, {"channel": C, "to_ui": "<hex>"} for messages that
// native code sends, and {"registrar": NAME, "log": TEXT}.
#pragma once

#include <cstdint>
#include <string>

#include "value_json.h"

namespace morl_standin {

struct ScriptStep {
  enum class Kind { kSkip, kSend, kSleep, kClose, kInvalid };
  Kind kind = Kind::kSkip;
  std::string channel;
  Bytes message;
  std::uint32_t sleep_ms = 0;
  std::string error;  // kInvalid: what is wrong with the line
};

ScriptStep ParseScriptLine(const std::string& line);

}  // namespace morl_standin
