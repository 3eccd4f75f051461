// MethodResult: how a handler answers one method call, exactly once, with a
// success value, an error, or "not implemented" (an empty reply). Answering
// again only prints a diagnostic; what happens to an unanswered result is up
// to the implementation.
#ifndef MORL_MESSAGING_METHOD_RESULT_H_
#define MORL_MESSAGING_METHOD_RESULT_H_

#include <string>

#include "messaging/encodable_value.h"

namespace flutter {

template <typename T = EncodableValue>
class MethodResult {
 public:
  MethodResult() = default;
  virtual ~MethodResult() = default;
  MethodResult(const MethodResult&) = delete;
  MethodResult& operator=(const MethodResult&) = delete;

  // result may be null: success without a value.
  virtual void Success(const T* result) = 0;
  // message may be empty and details null.
  virtual void Error(const std::string& code, const std::string& message, const T* details) = 0;
  virtual void NotImplemented() = 0;

  void Success(const T& result) { Success(&result); }
  void Success() { Success(static_cast<const T*>(nullptr)); }
  void Error(const std::string& code, const std::string& message = std::string()) {
    Error(code, message, static_cast<const T*>(nullptr));
  }
  void Error(const std::string& code, const std::string& message, const T& details) {
    Error(code, message, &details);
  }
};

}  // namespace flutter

#endif  // MORL_MESSAGING_METHOD_RESULT_H_
