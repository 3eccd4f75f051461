// Standard-codec bytes of a reply to typed JSON. Decoding is strict: a read
// past the end, an unknown tag or a trailing byte makes the reply undecodable,
// so a malformed reply shows in the transcript instead of being guessed at.
#include <cmath>
#include <cstring>
#include <set>

#include "value_json.h"

namespace morl_standin {
namespace {

constexpr int kMaxDepth = 256;

class Reader {
 public:
  explicit Reader(const Bytes& bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  bool AtEnd() const { return pos_ == bytes_.size(); }
  std::size_t Left() const { return ok_ ? bytes_.size() - pos_ : 0; }
  void Fail() { ok_ = false; }

  std::uint8_t Byte() {
    std::uint8_t b = 0;
    Raw(&b, 1);
    return b;
  }
  void Raw(void* out, std::size_t n) {
    if (!ok_ || n > bytes_.size() - pos_) {
      ok_ = false;
      return;
    }
    std::memcpy(out, bytes_.data() + pos_, n);
    pos_ += n;
  }
  template <typename T>
  T Get() {
    T value{};
    Raw(&value, sizeof(T));
    return value;
  }
  void Align(std::size_t alignment) {
    while (ok_ && pos_ % alignment != 0) Byte();
  }
  std::size_t Size() {
    const std::uint8_t first = Byte();
    if (first < 254) return first;
    if (first == 254) return Get<std::uint16_t>();
    return Get<std::uint32_t>();
  }
  // Refuses a count that the bytes left could not carry, before any allocation.
  bool Fits(std::size_t count, std::size_t min_bytes_each) {
    if (min_bytes_each != 0 && count > Left() / min_bytes_each) Fail();
    return ok_;
  }

 private:
  const Bytes& bytes_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

Json DoubleJson(double x) {
  if (std::isnan(x)) return Json::object({{"double", "NaN"}});
  if (std::isinf(x)) return Json::object({{"double", x > 0 ? "Infinity" : "-Infinity"}});
  return Json::object({{"double", x}});
}

template <typename T>
Json TypedList(Reader& r, const char* name) {
  const std::size_t count = r.Size();
  if (sizeof(T) > 1) r.Align(sizeof(T));
  Json items = Json::array();
  if (!r.Fits(count, sizeof(T))) return nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    const T value = r.template Get<T>();
    if constexpr (std::is_floating_point_v<T>) {
      items.push_back(DoubleJson(value)["double"]);
    } else {
      items.push_back(value);
    }
  }
  return Json::object({{name, std::move(items)}});
}

Json Read(Reader& r, int depth);

Json ReadMap(Reader& r, int depth) {
  const std::size_t count = r.Size();
  if (!r.Fits(count, 2)) return nullptr;
  Json pairs = Json::array();
  bool string_keys = true;
  std::set<std::string> seen;
  for (std::size_t i = 0; i < count && r.ok(); ++i) {
    Json key = Read(r, depth + 1);
    Json value = Read(r, depth + 1);
    if (!key.is_string() || !seen.insert(key.get<std::string>()).second) string_keys = false;
    pairs.push_back(Json::array({std::move(key), std::move(value)}));
  }
  if (string_keys && !(count == 1 && IsReservedKey(pairs[0][0].get<std::string>()))) {
    Json object = Json::object();
    for (Json& pair : pairs) object[pair[0].get<std::string>()] = std::move(pair[1]);
    return object;
  }
  return Json::object({{"map", std::move(pairs)}});
}

Json Read(Reader& r, int depth) {
  if (depth > kMaxDepth) {
    r.Fail();
    return nullptr;
  }
  switch (r.Byte()) {
    case 0:
      return nullptr;
    case 1:
      return true;
    case 2:
      return false;
    case 3:
      return r.Get<std::int32_t>();
    case 4:
      return Json::object({{"int64", r.Get<std::int64_t>()}});
    case 6:
      r.Align(8);
      return DoubleJson(r.Get<double>());
    case 5:
    case 7: {
      const std::size_t size = r.Size();
      if (!r.Fits(size, 1)) return nullptr;
      std::string s(size, '\0');
      r.Raw(s.data(), size);
      return s;
    }
    case 8:
      return TypedList<std::uint8_t>(r, "uint8_list");
    case 9:
      return TypedList<std::int32_t>(r, "int32_list");
    case 10:
      return TypedList<std::int64_t>(r, "int64_list");
    case 11:
      return TypedList<double>(r, "double_list");
    case 14:
      return TypedList<float>(r, "float32_list");
    case 12: {
      const std::size_t count = r.Size();
      if (!r.Fits(count, 1)) return nullptr;
      Json items = Json::array();
      for (std::size_t i = 0; i < count && r.ok(); ++i) items.push_back(Read(r, depth + 1));
      return items;
    }
    case 13:
      return ReadMap(r, depth);
    default:
      r.Fail();
      return nullptr;
  }
}

}  // namespace

Json DecodeReply(const Bytes& reply) {
  if (reply.empty()) return "not_implemented";
  Reader r(reply);
  Json decoded;
  switch (r.Byte()) {
    case 0:
      decoded = Json::object({{"success", Read(r, 0)}});
      break;
    case 1: {
      Json code = Read(r, 0);
      Json message = Read(r, 0);
      Json details = Read(r, 0);
      if (message.is_null()) message = "";
      decoded = Json::object(
          {{"error", Json::object({{"code", code}, {"message", message}, {"details", details}})}});
      break;
    }
    default:
      return "undecodable";
  }
  if (!r.ok() || !r.AtEnd()) return "undecodable";
  return decoded;
}

std::string Hex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) out += ' ';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

bool ParseHex(const std::string& text, Bytes* out) {
  auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  out->clear();
  for (std::size_t i = 0; i < text.size();) {
    if (std::isspace(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    if (i + 1 >= text.size() || digit(text[i]) < 0 || digit(text[i + 1]) < 0) return false;
    out->push_back(static_cast<std::uint8_t>(digit(text[i]) * 16 + digit(text[i + 1])));
    i += 2;
  }
  return true;
}

std::string FormatLine(const Json& value) {
  if (value.is_object()) {
    std::string out = "{";
    for (auto it = value.begin(); it != value.end(); ++it) {
      if (it != value.begin()) out += ", ";
      out += Json(it.key()).dump(-1, ' ', false, Json::error_handler_t::replace);
      out += ": " + FormatLine(it.value());
    }
    return out + "}";
  }
  if (value.is_array()) {
    std::string out = "[";
    for (std::size_t i = 0; i < value.size(); ++i) out += (i ? ", " : "") + FormatLine(value[i]);
    return out + "]";
  }
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace morl_standin
