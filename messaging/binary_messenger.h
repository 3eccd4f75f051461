// BinaryMessenger: raw byte messages on named channels between native code
// and the application's user interface.
#ifndef MORL_MESSAGING_BINARY_MESSENGER_H_
#define MORL_MESSAGING_BINARY_MESSENGER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "messaging/reply_sink.h"

namespace flutter {

// Handles one incoming message; `reply` answers it once, now or later, from
// any thread. May be empty.
using ChannelHandler =
    std::function<void(const uint8_t* message, size_t message_size, ReplySink reply)>;

class BinaryMessenger {
 public:
  BinaryMessenger() = default;
  virtual ~BinaryMessenger() = default;
  BinaryMessenger(const BinaryMessenger&) = delete;
  BinaryMessenger& operator=(const BinaryMessenger&) = delete;

  // Sends a message to the user interface; `reply`, when not empty, receives
  // its answer once.
  virtual void Send(const std::string& channel, const uint8_t* message, size_t message_size,
                    ReplySink reply = nullptr) const = 0;
  // Installs, replaces or (with an empty handler) removes a channel's handler.
  virtual void InstallMessageHandler(const std::string& channel, ChannelHandler handler) = 0;
};

}  // namespace flutter

#endif  // MORL_MESSAGING_BINARY_MESSENGER_H_
