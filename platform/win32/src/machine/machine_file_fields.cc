#include <cctype>
#include <cstdlib>
#include <limits>

#include "machine/machine_areas.h"

namespace winsim {
namespace {

bool WrongType(const char* key, const char* expected, std::string* error) {
  *error = std::string("\"") + key + "\" must be " + expected;
  return false;
}

}  // namespace

bool ReadInt64(const nlohmann::json& object, const char* key, std::int64_t* out,
               std::string* error) {
  const auto it = object.find(key);
  if (it == object.end()) return true;
  if (!it->is_number_integer()) return WrongType(key, "an integer", error);
  if (it->is_number_unsigned() &&
      it->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) {
    return WrongType(key, "a 64-bit integer", error);
  }
  *out = it->get<std::int64_t>();
  return true;
}

bool ReadInt(const nlohmann::json& object, const char* key, int* out, std::string* error) {
  std::int64_t wide = *out;
  if (!ReadInt64(object, key, &wide, error)) return false;
  if (wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max()) {
    return WrongType(key, "a 32-bit integer", error);
  }
  *out = static_cast<int>(wide);
  return true;
}

bool ReadBool(const nlohmann::json& object, const char* key, bool* out, std::string* error) {
  const auto it = object.find(key);
  if (it == object.end()) return true;
  if (!it->is_boolean()) return WrongType(key, "true or false", error);
  *out = it->get<bool>();
  return true;
}

bool ReadNumber(const nlohmann::json& object, const char* key, double* out, std::string* error) {
  const auto it = object.find(key);
  if (it == object.end()) return true;
  if (!it->is_number()) return WrongType(key, "a number", error);
  *out = it->get<double>();
  return true;
}

bool ReadString(const nlohmann::json& object, const char* key, std::string* out,
                std::string* error) {
  const auto it = object.find(key);
  if (it == object.end()) return true;
  if (!it->is_string()) return WrongType(key, "a string", error);
  *out = it->get<std::string>();
  return true;
}

bool ReadColor(const nlohmann::json& object, const char* key, std::uint32_t* out,
               std::string* error) {
  const auto it = object.find(key);
  if (it == object.end()) return true;
  if (it->is_number_unsigned() && it->get<std::uint64_t>() <= 0xFFFFFF) {
    *out = static_cast<std::uint32_t>(it->get<std::uint64_t>());
    return true;
  }
  if (it->is_string()) {
    std::string text = it->get<std::string>();
    if (text.rfind("#", 0) == 0)
      text = text.substr(1);
    else if (text.rfind("0x", 0) == 0)
      text = text.substr(2);
    bool hex = text.size() == 6;
    for (char c : text) hex = hex && std::isxdigit(static_cast<unsigned char>(c));
    if (hex) {
      *out = static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 16));
      return true;
    }
  }
  return WrongType(key, "a colour such as \"#RRGGBB\"", error);
}

bool OnlyKnownKeys(const nlohmann::json& object, std::initializer_list<const char*> known,
                   std::string* error) {
  for (const auto& [key, value] : object.items()) {
    bool found = false;
    for (const char* name : known) found = found || key == name;
    if (!found) {
      *error = "unknown key \"" + key + "\"";
      return false;
    }
  }
  return true;
}

}  // namespace winsim
