// Channel values written as JSON in UI scripts and transcripts, and their
// standard-codec bytes.
//
// JSON null, booleans and strings stand for themselves; integers are int32
// when they fit, else int64; other numbers are doubles; arrays are lists and
// objects maps with string keys. A one-key object forces a type:
// {"int32": n}, {"int64": n}, {"double": x} (x may also be "NaN",
// "Infinity", "-Infinity"), {"uint8_list": [...]}, {"int32_list": [...]},
// {"int64_list": [...]}, {"float32_list": [...]}, {"double_list": [...]}, and
// {"map": [[key, value], ...]} for maps with keys of any type. Decoding writes
// int64 and double values, typed lists, and maps whose keys are not all
// distinct strings (or whose one key is one of these names) in those forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace morl_standin {

using Json = nlohmann::ordered_json;
using Bytes = std::vector<std::uint8_t>;

// Appends one value to `out`, whose first byte is the message's first byte
// (alignment counts from there). False with `error` set for a value that has
// no channel form.
bool EncodeValue(const Json& value, Bytes& out, std::string* error);
// A method call: the name, then the arguments (null when absent).
bool EncodeMethodCall(const std::string& method, const Json& args, Bytes& out, std::string* error);

// The reply as the user interface sees it: {"success": V},
// {"error": {"code": C, "message": M, "details": V}} (a null message reads as
// ""), "not_implemented" for an empty reply, or "undecodable" for bytes that
// are not exactly one well-formed envelope.
Json DecodeReply(const Bytes& reply);

// Whether a one-key object with `key` is one of the typed forms above.
bool IsReservedKey(const std::string& key);

// Lowercase hex bytes separated by single spaces.
std::string Hex(const Bytes& bytes);
// Hex digits in pairs, whitespace allowed between bytes. False on anything else.
bool ParseHex(const std::string& text, Bytes* out);

// A JSON line with ", " and ": " separators, invalid UTF-8 replaced.
std::string FormatLine(const Json& value);

}  // namespace morl_standin
