// EncodableValue: the one value type that travels over platform channels.
//
// A variant of fourteen alternatives whose positions are part of the wire
// contract: the standard codec maps the index to the type tag, and values of
// different alternatives order by it. A value whose assignment failed part-way
// holds no alternative (index() == std::variant_npos); it orders before every
// other value and encodes as null.
//
//   0 null            5 string            10 ValueList
//   1 bool            6 uint8 list        11 ValueMap
//   2 int32           7 int32 list        12 CustomValue
//   3 int64           8 int64 list        13 float32 list
//   4 double          9 double list
//
// Integers keep the width they were built with: int32_t gives int32 and
// int64_t gives int64, never one for the other.
#ifndef MORL_MESSAGING_ENCODABLE_VALUE_H_
#define MORL_MESSAGING_ENCODABLE_VALUE_H_

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "messaging/custom_value.h"

namespace flutter {

class EncodableValue;

// Elements stay in the order they were appended or decoded.
using ValueList = std::vector<EncodableValue>;
// Unique keys in ascending order of operator< below.
using ValueMap = std::map<EncodableValue, EncodableValue>;

namespace internal {
using EncodableValueVariant =
    std::variant<std::monostate, bool, int32_t, int64_t, double, std::string, std::vector<uint8_t>,
                 std::vector<int32_t>, std::vector<int64_t>, std::vector<double>, ValueList,
                 ValueMap, CustomValue, std::vector<float>>;
}  // namespace internal

class EncodableValue : public internal::EncodableValueVariant {
 public:
  using super = internal::EncodableValueVariant;
  using super::super;
  using super::operator=;

  EncodableValue() = default;

  // A string literal or C string is a string, never a bool.
  EncodableValue(const char* string) : super(std::string(string)) {}
  EncodableValue& operator=(const char* string) {
    super::operator=(std::string(string));
    return *this;
  }
};

// The total order used for map keys: alternative index first, then payload.
// Doubles use IEEE less-than (0.0 and -0.0 are one key), strings and byte
// lists compare as unsigned bytes, sequences lexicographically, maps entry by
// entry (key, then value), custom values by address.
namespace internal {
bool ValueLess(const EncodableValue& a, const EncodableValue& b);

// Strings order as unsigned bytes, a prefix first, as std::string::compare
// does. Short ones, which is what map keys are, are compared here byte by
// byte: a map insertion compares the key just copied into the new node, and
// the library's memcmp, reading it back with wide loads, measured slower.
inline bool StringLess(const std::string& x, const std::string& y) {
  constexpr size_t kShort = 16;
  if (x.size() > kShort && y.size() > kShort) return x.compare(y) < 0;
  size_t common = x.size() < y.size() ? x.size() : y.size();
  const auto* p = reinterpret_cast<const unsigned char*>(x.data());
  const auto* q = reinterpret_cast<const unsigned char*>(y.data());
  for (size_t i = 0; i < common; ++i) {
    if (p[i] != q[i]) return p[i] < q[i];
  }
  return x.size() < y.size();
}
}  // namespace internal

inline bool operator<(const EncodableValue& a, const EncodableValue& b) {
  // Map keys are nearly always strings; comparing two of them here spares
  // every map lookup and insertion a call through the general ordering.
  const auto* x = std::get_if<std::string>(static_cast<const EncodableValue::super*>(&a));
  const auto* y = std::get_if<std::string>(static_cast<const EncodableValue::super*>(&b));
  if (x != nullptr && y != nullptr) return internal::StringLess(*x, *y);
  return internal::ValueLess(a, b);
}

}  // namespace flutter

#endif  // MORL_MESSAGING_ENCODABLE_VALUE_H_
