// BinaryMessengerImpl: the BinaryMessenger over the embedding library's
// messenger handle. Incoming messages arrive on the platform thread through
// DeliverIncoming; each gets a reply callable that holds a counted reference
// to the messenger and answers under the messenger lock, so it may be called
// from any thread, also after the engine has gone (it then sends nothing).
#ifndef MORL_MESSAGING_BINARY_MESSENGER_IMPL_H_
#define MORL_MESSAGING_BINARY_MESSENGER_IMPL_H_

#include <map>
#include <string>

#include "embedding/flutter_windows.h"
#include "messaging/binary_messenger.h"

namespace flutter {

class BinaryMessengerImpl : public BinaryMessenger {
 public:
  // `messenger` is not owned.
  explicit BinaryMessengerImpl(FlutterDesktopMessengerRef messenger);
  // Destroys the handlers without removing their registrations: the engine
  // behind the messenger is shut down before this runs.
  ~BinaryMessengerImpl() override;

  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            ReplySink reply = nullptr) const override;
  void InstallMessageHandler(const std::string& channel, ChannelHandler handler) override;

 private:
  FlutterDesktopMessengerRef messenger_;
  // The engine is given each handler's address; std::map keeps it fixed while
  // the entry exists.
  std::map<std::string, ChannelHandler> handlers_;
};

}  // namespace flutter

#endif  // MORL_MESSAGING_BINARY_MESSENGER_IMPL_H_
