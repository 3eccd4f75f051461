// ReplySink: the one-shot answer channel of an incoming message. Called with
// the reply bytes and their count (nullptr and 0 for an empty reply). Copyable;
// may be called from any thread.
#ifndef MORL_MESSAGING_REPLY_SINK_H_
#define MORL_MESSAGING_REPLY_SINK_H_

#include <cstddef>
#include <cstdint>
#include <functional>

namespace flutter {

using ReplySink = std::function<void(const uint8_t* reply, size_t reply_size)>;

}  // namespace flutter

#endif  // MORL_MESSAGING_REPLY_SINK_H_
