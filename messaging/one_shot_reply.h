// OneShotReply: sends the answer to one incoming message through its
// ReplySink, at most once. A second answer prints a diagnostic and is
// dropped; destroying the reply unanswered prints a warning and sends
// nothing.
#ifndef MORL_MESSAGING_ONE_SHOT_REPLY_H_
#define MORL_MESSAGING_ONE_SHOT_REPLY_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "messaging/reply_sink.h"

namespace flutter {

class OneShotReply {
 public:
  explicit OneShotReply(ReplySink sink);
  ~OneShotReply();
  OneShotReply(const OneShotReply&) = delete;
  OneShotReply& operator=(const OneShotReply&) = delete;

  // Sends the bytes; null or empty bytes send an empty reply.
  void SendReplyBytes(std::unique_ptr<std::vector<uint8_t>> bytes);

 private:
  // Empty once used.
  ReplySink sink_;
};

}  // namespace flutter

#endif  // MORL_MESSAGING_ONE_SHOT_REPLY_H_
