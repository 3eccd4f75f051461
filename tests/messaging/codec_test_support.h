// Helpers for the codec tests: hex byte tables, encode/decode through the
// in-memory streams, and stderr capture that also works under Wine.
#ifndef MORL_TESTS_MESSAGING_CODEC_TEST_SUPPORT_H_
#define MORL_TESTS_MESSAGING_CODEC_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "messaging/byte_buffer_streams.h"
#include "messaging/encodable_value.h"
#include "messaging/standard_codec_serializer.h"

namespace flutter::testing {

// "07 05 61" -> {0x07, 0x05, 0x61}; spaces are ignored.
inline std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::string digits;
  for (char c : text) {
    if (c == ' ') continue;
    digits.push_back(c);
    if (digits.size() == 2) {
      bytes.push_back(static_cast<uint8_t>(std::stoul(digits, nullptr, 16)));
      digits.clear();
    }
  }
  return bytes;
}

inline std::string ToHex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char buffer[4];
  for (uint8_t byte : bytes) {
    std::snprintf(buffer, sizeof(buffer), "%02X ", byte);
    text += buffer;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

inline std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  StandardCodecSerializer::SharedInstance().WriteValue(value, &writer);
  return bytes;
}

struct Decoded {
  EncodableValue value;
  size_t remaining;     // bytes left unread after the value
  std::string stderr_;  // every diagnostic line printed while decoding
};

inline Decoded Decode(const std::vector<uint8_t>& bytes) {
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  ::testing::internal::CaptureStderr();
  EncodableValue value = StandardCodecSerializer::SharedInstance().ReadTaggedValue(&reader);
  std::string diagnostics = ::testing::internal::GetCapturedStderr();
  return {std::move(value), reader.RemainingBytes(), diagnostics};
}

// Runs f and gives what it printed on stderr.
template <typename F>
std::string StderrOf(F&& f) {
  ::testing::internal::CaptureStderr();
  f();
  return ::testing::internal::GetCapturedStderr();
}

inline bool Equivalent(const EncodableValue& a, const EncodableValue& b) {
  return !(a < b) && !(b < a);
}

constexpr char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader\n";

}  // namespace flutter::testing

#endif  // MORL_TESTS_MESSAGING_CODEC_TEST_SUPPORT_H_
