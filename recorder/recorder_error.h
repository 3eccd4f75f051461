// RecorderError: why an operation of the recorder failed, as the channel
// reports it (`code`, `message`) with the HRESULT behind it. Result<T> holds
// either a T or a RecorderError; Status is the Result of an operation with no
// value. Every failure of the recorder travels as one of these, and the one
// diagnostic writer puts a recorder line on standard error.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace morl::recorder {

struct RecorderError {
  std::string code;     // the reply's error code ("sink_failed", ...)
  std::string message;  // UTF-8; empty when the reply carries none
  HRESULT hr = E_FAIL;
};

// A failed call: "<step> hr=0x…" under `code`.
RecorderError CallError(const char* code, const std::string& step, HRESULT hr);

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}              // NOLINT: implicit by design
  Result(RecorderError error) : state_(std::move(error)) {}  // NOLINT

  bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<T>(state_); }
  const T& value() const { return std::get<T>(state_); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  const RecorderError& error() const { return std::get<RecorderError>(state_); }
  // S_OK on success, else the failure's HRESULT.
  HRESULT hr() const { return ok() ? S_OK : error().hr; }

 private:
  std::variant<T, RecorderError> state_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(RecorderError error) : error_(std::move(error)) {}  // NOLINT

  bool ok() const { return !error_; }
  explicit operator bool() const { return ok(); }
  const RecorderError& error() const { return *error_; }
  HRESULT hr() const { return ok() ? S_OK : error_->hr; }

 private:
  std::optional<RecorderError> error_;
};

using Status = Result<void>;

// A Status from an HRESULT: success, or CallError(code, step, hr).
inline Status CheckCall(HRESULT hr, const char* code, const char* step) {
  if (SUCCEEDED(hr)) return Status();
  return CallError(code, step, hr);
}

// Writes one diagnostic line of the recorder to standard error.
void WriteRecorderDiagnostic(const std::string& line);

}  // namespace morl::recorder

// Returns the failure of a Status or Result expression from the enclosing
// function, whose result type takes a RecorderError.
#define MORL_RETURN_IF_ERROR(expression)                 \
  do {                                                   \
    const auto& morl_status_ = (expression);             \
    if (!morl_status_.ok()) return morl_status_.error(); \
  } while (false)

// Returns CallError(code, step, hr) when the HRESULT expression failed.
#define MORL_RETURN_IF_FAILED(expression, code, step)                               \
  do {                                                                              \
    const HRESULT morl_hr_ = (expression);                                          \
    if (FAILED(morl_hr_)) return ::morl::recorder::CallError(code, step, morl_hr_); \
  } while (false)
