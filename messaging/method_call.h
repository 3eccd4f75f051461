// MethodCall: a method name and its arguments, as carried by a method channel.
#ifndef MORL_MESSAGING_METHOD_CALL_H_
#define MORL_MESSAGING_METHOD_CALL_H_

#include <memory>
#include <string>
#include <utility>

#include "messaging/encodable_value.h"

namespace flutter {

template <typename T = EncodableValue>
class MethodCall {
 public:
  // arguments may be null for a call without arguments.
  MethodCall(const std::string& method_name, std::unique_ptr<T> arguments)
      : call_name_(method_name), call_args_(std::move(arguments)) {}
  virtual ~MethodCall() = default;

  MethodCall(const MethodCall&) = delete;
  MethodCall& operator=(const MethodCall&) = delete;

  const std::string& method_name() const { return call_name_; }
  // Null when the call has no arguments.
  const T* arguments() const { return call_args_.get(); }

 private:
  std::string call_name_;
  std::unique_ptr<T> call_args_;
};

}  // namespace flutter

#endif  // MORL_MESSAGING_METHOD_CALL_H_
