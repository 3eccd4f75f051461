#include "messaging/one_shot_reply.h"

#include <utility>

#include "messaging/diagnostic.h"

namespace flutter {

OneShotReply::OneShotReply(ReplySink sink) : sink_(std::move(sink)) {}

OneShotReply::~OneShotReply() {
  if (sink_) WriteDiagnosticLine("Warning: Failed to respond to a message. This is a memory leak.");
}

void OneShotReply::SendReplyBytes(std::unique_ptr<std::vector<uint8_t>> bytes) {
  if (!sink_) {
    WriteDiagnosticLine(
        "Error: Only one of Success, Error, or NotImplemented can be called,"
        " and it can be called exactly once. Ignoring duplicate result.");
    return;
  }
  // Taken out before the call, so a sink that answers again (or destroys this
  // reply) finds it already used.
  ReplySink sink = std::move(sink_);
  sink_ = nullptr;
  if (bytes && !bytes->empty()) {
    sink(bytes->data(), bytes->size());
  } else {
    sink(nullptr, 0);
  }
}

}  // namespace flutter
