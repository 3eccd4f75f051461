// Typed JSON values to standard-codec bytes.
#include <cmath>
#include <cstring>
#include <limits>

#include "value_json.h"

namespace morl_standin {
namespace {

constexpr int kMaxDepth = 256;

template <typename T>
void PutRaw(Bytes& out, T value) {
  std::uint8_t raw[sizeof(T)];
  std::memcpy(raw, &value, sizeof(T));  // little-endian on every target
  out.insert(out.end(), raw, raw + sizeof(T));
}

void PutSize(Bytes& out, std::size_t size) {
  if (size < 254) {
    out.push_back(static_cast<std::uint8_t>(size));
  } else if (size <= 0xffff) {
    out.push_back(254);
    PutRaw(out, static_cast<std::uint16_t>(size));
  } else {
    out.push_back(255);
    PutRaw(out, static_cast<std::uint32_t>(size));
  }
}

void Pad(Bytes& out, std::size_t alignment) {
  while (out.size() % alignment != 0) out.push_back(0);
}

bool Fail(std::string* error, const std::string& text) {
  *error = text;
  return false;
}

bool ToInt64(const Json& v, std::int64_t* out) {
  if (v.is_number_unsigned()) {
    if (v.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) return false;
    *out = static_cast<std::int64_t>(v.get<std::uint64_t>());
    return true;
  }
  if (!v.is_number_integer()) return false;
  *out = v.get<std::int64_t>();
  return true;
}

bool ToInt32(const Json& v, std::int32_t* out) {
  std::int64_t wide = 0;
  if (!ToInt64(v, &wide) || wide < INT32_MIN || wide > INT32_MAX) return false;
  *out = static_cast<std::int32_t>(wide);
  return true;
}

bool ToDouble(const Json& v, double* out) {
  if (v.is_number()) {
    *out = v.get<double>();
    return true;
  }
  if (!v.is_string()) return false;
  const std::string& s = v.get_ref<const std::string&>();
  if (s == "NaN")
    *out = std::numeric_limits<double>::quiet_NaN();
  else if (s == "Infinity")
    *out = std::numeric_limits<double>::infinity();
  else if (s == "-Infinity")
    *out = -std::numeric_limits<double>::infinity();
  else
    return false;
  return true;
}

void PutString(Bytes& out, const std::string& s) {
  out.push_back(7);
  PutSize(out, s.size());
  out.insert(out.end(), s.begin(), s.end());
}

template <typename T, typename Convert>
bool PutTypedList(Bytes& out, std::uint8_t tag, const Json& items, Convert convert,
                  std::string* error, const char* name) {
  if (!items.is_array()) return Fail(error, std::string(name) + " needs an array");
  out.push_back(tag);
  PutSize(out, items.size());
  if (items.empty()) return true;
  if (sizeof(T) > 1) Pad(out, sizeof(T));
  for (const Json& item : items) {
    T value{};
    if (!convert(item, &value))
      return Fail(error, std::string(name) + " holds a value out of range");
    PutRaw(out, value);
  }
  return true;
}

bool Encode(const Json& v, Bytes& out, std::string* error, int depth);

bool EncodeTyped(const std::string& type, const Json& inner, Bytes& out, std::string* error,
                 int depth) {
  if (type == "int32") {
    std::int32_t n = 0;
    if (!ToInt32(inner, &n)) return Fail(error, "int32 needs an integer in range");
    out.push_back(3);
    PutRaw(out, n);
    return true;
  }
  if (type == "int64") {
    std::int64_t n = 0;
    if (!ToInt64(inner, &n)) return Fail(error, "int64 needs an integer in range");
    out.push_back(4);
    PutRaw(out, n);
    return true;
  }
  if (type == "double") {
    double x = 0;
    if (!ToDouble(inner, &x)) return Fail(error, "double needs a number");
    out.push_back(6);
    Pad(out, 8);
    PutRaw(out, x);
    return true;
  }
  if (type == "uint8_list") {
    return PutTypedList<std::uint8_t>(
        out, 8, inner,
        [](const Json& j, std::uint8_t* o) {
          std::int64_t n = 0;
          if (!ToInt64(j, &n) || n < 0 || n > 255) return false;
          *o = static_cast<std::uint8_t>(n);
          return true;
        },
        error, "uint8_list");
  }
  if (type == "int32_list")
    return PutTypedList<std::int32_t>(out, 9, inner, ToInt32, error, "int32_list");
  if (type == "int64_list")
    return PutTypedList<std::int64_t>(out, 10, inner, ToInt64, error, "int64_list");
  if (type == "double_list")
    return PutTypedList<double>(out, 11, inner, ToDouble, error, "double_list");
  if (type == "float32_list") {
    return PutTypedList<float>(
        out, 14, inner,
        [](const Json& j, float* o) {
          double x = 0;
          if (!ToDouble(j, &x)) return false;
          *o = static_cast<float>(x);
          return true;
        },
        error, "float32_list");
  }
  // "map": pairs of any key and value.
  if (!inner.is_array()) return Fail(error, "map needs an array of [key, value] pairs");
  out.push_back(13);
  PutSize(out, inner.size());
  for (const Json& pair : inner) {
    if (!pair.is_array() || pair.size() != 2)
      return Fail(error, "map entries are [key, value] pairs");
    if (!Encode(pair[0], out, error, depth + 1) || !Encode(pair[1], out, error, depth + 1))
      return false;
  }
  return true;
}

bool IsTypedForm(const Json& v) {
  if (!v.is_object() || v.size() != 1) return false;
  static const char* const kNames[] = {"int32",       "int64",        "double",
                                       "uint8_list",  "int32_list",   "int64_list",
                                       "double_list", "float32_list", "map"};
  for (const char* name : kNames)
    if (v.begin().key() == name) return true;
  return false;
}

bool Encode(const Json& v, Bytes& out, std::string* error, int depth) {
  if (depth > kMaxDepth) return Fail(error, "value nested too deeply");
  switch (v.type()) {
    case Json::value_t::null:
      out.push_back(0);
      return true;
    case Json::value_t::boolean:
      out.push_back(v.get<bool>() ? 1 : 2);
      return true;
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: {
      std::int32_t small = 0;
      std::int64_t wide = 0;
      if (ToInt32(v, &small)) return EncodeTyped("int32", v, out, error, depth);
      if (ToInt64(v, &wide)) return EncodeTyped("int64", v, out, error, depth);
      return EncodeTyped("double", v, out, error, depth);
    }
    case Json::value_t::number_float:
      return EncodeTyped("double", v, out, error, depth);
    case Json::value_t::string:
      PutString(out, v.get_ref<const std::string&>());
      return true;
    case Json::value_t::array:
      out.push_back(12);
      PutSize(out, v.size());
      for (const Json& item : v)
        if (!Encode(item, out, error, depth + 1)) return false;
      return true;
    case Json::value_t::object:
      if (IsTypedForm(v)) return EncodeTyped(v.begin().key(), v.begin().value(), out, error, depth);
      out.push_back(13);
      PutSize(out, v.size());
      for (auto it = v.begin(); it != v.end(); ++it) {
        PutString(out, it.key());
        if (!Encode(it.value(), out, error, depth + 1)) return false;
      }
      return true;
    default:
      return Fail(error, "value has no channel form");
  }
}

}  // namespace

bool EncodeValue(const Json& value, Bytes& out, std::string* error) {
  return Encode(value, out, error, 0);
}

bool EncodeMethodCall(const std::string& method, const Json& args, Bytes& out, std::string* error) {
  PutString(out, method);
  return Encode(args, out, error, 0);
}

bool IsReservedKey(const std::string& key) { return IsTypedForm(Json::object({{key, nullptr}})); }

}  // namespace morl_standin
