// A MethodResult that records what it was answered with, for codec tests.
#ifndef MORL_TESTS_MESSAGING_RECORDING_METHOD_RESULT_H_
#define MORL_TESTS_MESSAGING_RECORDING_METHOD_RESULT_H_

#include <optional>
#include <string>

#include "messaging/method_result.h"

namespace flutter::testing {

class RecordingMethodResult : public MethodResult<EncodableValue> {
 public:
  using MethodResult<EncodableValue>::Success;
  using MethodResult<EncodableValue>::Error;

  void Success(const EncodableValue* result) override {
    ++answers;
    kind = "success";
    if (result) value = *result;
  }
  void Error(const std::string& error_code, const std::string& error_message,
             const EncodableValue* error_details) override {
    ++answers;
    kind = "error";
    code = error_code;
    message = error_message;
    if (error_details) value = *error_details;
  }
  void NotImplemented() override {
    ++answers;
    kind = "not implemented";
  }

  int answers = 0;
  std::string kind;
  std::string code;
  std::string message;
  std::optional<EncodableValue> value;  // result or details, when present
};

}  // namespace flutter::testing

#endif  // MORL_TESTS_MESSAGING_RECORDING_METHOD_RESULT_H_
