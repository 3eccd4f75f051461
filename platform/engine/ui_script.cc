#include "ui_script.h"

namespace morl_standin {
namespace {

ScriptStep Invalid(const std::string& why) {
  ScriptStep step;
  step.kind = ScriptStep::Kind::kInvalid;
  step.error = why;
  return step;
}

ScriptStep ParseSend(const Json& line) {
  if (!line["channel"].is_string()) return Invalid("\"channel\" must be a string");
  ScriptStep step;
  step.kind = ScriptStep::Kind::kSend;
  step.channel = line["channel"].get<std::string>();
  const bool has_method = line.contains("method");
  const bool has_hex = line.contains("hex");
  if (has_method == has_hex) return Invalid("a send needs exactly one of \"method\" and \"hex\"");
  if (has_hex) {
    if (!line["hex"].is_string() || !ParseHex(line["hex"].get<std::string>(), &step.message))
      return Invalid("\"hex\" must be a string of hex byte pairs");
    if (line.size() != 2) return Invalid("unknown key beside \"hex\"");
    return step;
  }
  if (!line["method"].is_string()) return Invalid("\"method\" must be a string");
  if (line.size() != (line.contains("args") ? 3u : 2u))
    return Invalid("unknown key in a method call");
  std::string error;
  const Json args = line.contains("args") ? line["args"] : Json(nullptr);
  if (!EncodeMethodCall(line["method"].get<std::string>(), args, step.message, &error))
    return Invalid("\"args\": " + error);
  return step;
}

}  // namespace

ScriptStep ParseScriptLine(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos || text[first] == '#') return ScriptStep{};
  Json line = Json::parse(text, nullptr, false);
  if (line.is_discarded()) return Invalid("not JSON");
  if (!line.is_object()) return Invalid("a step must be a JSON object");
  if (line.contains("channel")) return ParseSend(line);
  if (line.contains("sleep_ms")) {
    const Json& ms = line["sleep_ms"];
    if (!ms.is_number_unsigned() || ms.get<std::uint64_t>() > 24u * 3600 * 1000 || line.size() != 1)
      return Invalid("\"sleep_ms\" must be a whole number of milliseconds up to a day");
    ScriptStep step;
    step.kind = ScriptStep::Kind::kSleep;
    step.sleep_ms = static_cast<std::uint32_t>(ms.get<std::uint64_t>());
    return step;
  }
  if (line.contains("close")) {
    if (line["close"] != true || line.size() != 1) return Invalid("\"close\" must be true");
    ScriptStep step;
    step.kind = ScriptStep::Kind::kClose;
    return step;
  }
  return Invalid("unknown step");
}

}  // namespace morl_standin
