// The stand-in's channel values: typed JSON to standard-codec bytes, reply
// bytes back to typed JSON, and the UI script's line forms.
#include <gtest/gtest.h>

#include "ui_script.h"
#include "value_json.h"

namespace {

using morl_standin::Bytes;
using morl_standin::Json;

std::string CallHex(const std::string& args_json) {
  Bytes out;
  std::string error;
  if (!morl_standin::EncodeMethodCall("m", Json::parse(args_json), out, &error))
    return "error: " + error;
  return morl_standin::Hex(out);
}

TEST(StandInValues, ArgumentFormsEncodeToTheirWireTypes) {
  // Every call starts with the method name "m": 07 01 6d.
  struct Case {
    const char* args;
    const char* hex;
  };
  const Case cases[] = {
      {"null", "07 01 6d 00"},
      {"true", "07 01 6d 01"},
      {"false", "07 01 6d 02"},
      {"5", "07 01 6d 03 05 00 00 00"},
      {"-2147483648", "07 01 6d 03 00 00 00 80"},
      {"2147483648", "07 01 6d 04 00 00 00 80 00 00 00 00"},
      {"{\"int64\": 1}", "07 01 6d 04 01 00 00 00 00 00 00 00"},
      {"{\"int32\": -1}", "07 01 6d 03 ff ff ff ff"},
      // The double's tag sits at offset 3; its bytes start at the next multiple of 8.
      {"1.0", "07 01 6d 06 00 00 00 00 00 00 00 00 00 00 f0 3f"},
      {"{\"double\": 2}", "07 01 6d 06 00 00 00 00 00 00 00 00 00 00 00 40"},
      {"18446744073709551615", "07 01 6d 06 00 00 00 00 00 00 00 00 00 00 f0 43"},
      {"\"\\u00e9\"", "07 01 6d 07 02 c3 a9"},
      {"[1, \"a\"]", "07 01 6d 0c 02 03 01 00 00 00 07 01 61"},
      {"{\"b\": null, \"a\": true}", "07 01 6d 0d 02 07 01 62 00 07 01 61 01"},
      {"{\"map\": [[1, \"x\"]]}", "07 01 6d 0d 01 03 01 00 00 00 07 01 78"},
      {"{\"int32_list\": [1, 2]}", "07 01 6d 09 02 00 00 00 01 00 00 00 02 00 00 00"},
      {"{\"int32_list\": []}", "07 01 6d 09 00"},
      {"{\"uint8_list\": [1, 255]}", "07 01 6d 08 02 01 ff"},
      {"{\"int32\": 2147483648}", "error: int32 needs an integer in range"},
      {"{\"uint8_list\": [256]}", "error: uint8_list holds a value out of range"},
      {"{\"map\": [1]}", "error: map entries are [key, value] pairs"},
      {"{\"double\": \"x\"}", "error: double needs a number"},
  };
  for (const Case& c : cases) EXPECT_EQ(CallHex(c.args), c.hex) << c.args;
}

TEST(StandInValues, SizeFormAtItsLimits) {
  struct Case {
    std::size_t length;
    const char* prefix;
  };
  const Case cases[] = {
      {253, "07 fd"}, {254, "07 fe fe 00"}, {65535, "07 fe ff ff"}, {65536, "07 ff 00 00 01 00"}};
  for (const Case& c : cases) {
    Bytes out;
    std::string error;
    ASSERT_TRUE(morl_standin::EncodeValue(Json(std::string(c.length, 'x')), out, &error));
    const std::string prefix = c.prefix;
    EXPECT_EQ(morl_standin::Hex(out).substr(0, prefix.size()), prefix) << c.length;
    EXPECT_EQ(out.size(), c.length + (prefix.size() + 1) / 3);
  }
}

TEST(StandInValues, RepliesDecodeAsTheUserInterfaceSeesThem) {
  struct Case {
    const char* hex;
    const char* decoded;
  };
  const Case cases[] = {
      {"", "\"not_implemented\""},
      {"00 00", "{\"success\": null}"},
      {"00 0d 01 07 05 61 75 64 69 6f 01", "{\"success\": {\"audio\": true}}"},
      {"00 04 02 00 00 00 00 00 00 00", "{\"success\": {\"int64\": 2}}"},
      {"00 06 00 00 00 00 00 00 00 00 00 00 00 00 f8 7f", "{\"success\": {\"double\": \"NaN\"}}"},
      {"00 0d 02 03 01 00 00 00 07 01 61 07 01 62 02",
       "{\"success\": {\"map\": [[1, \"a\"], [\"b\", false]]}}"},
      {"00 0d 02 07 01 61 01 07 01 61 02",
       "{\"success\": {\"map\": [[\"a\", true], [\"a\", false]]}}"},
      {"00 0d 01 07 05 69 6e 74 33 32 00", "{\"success\": {\"map\": [[\"int32\", null]]}}"},
      {"00 0a 01 00 00 00 00 00 07 00 00 00 00 00 00 00", "{\"success\": {\"int64_list\": [7]}}"},
      {"01 07 03 62 61 64 00 00",
       "{\"error\": {\"code\": \"bad\", \"message\": \"\", \"details\": null}}"},
      {"01 07 01 63 07 01 6d 03 07 00 00 00",
       "{\"error\": {\"code\": \"c\", \"message\": \"m\", \"details\": 7}}"},
      // Malformed replies are shown as such, never guessed at.
      {"02", "\"undecodable\""},
      {"00", "\"undecodable\""},
      {"00 03 01", "\"undecodable\""},
      {"00 00 00", "\"undecodable\""},
      {"00 0f", "\"undecodable\""},
      {"00 07 ff ff ff ff 7f 61", "\"undecodable\""},
      {"00 0c ff ff ff ff 7f", "\"undecodable\""},
  };
  for (const Case& c : cases) {
    Bytes bytes;
    ASSERT_TRUE(morl_standin::ParseHex(c.hex, &bytes)) << c.hex;
    EXPECT_EQ(morl_standin::FormatLine(morl_standin::DecodeReply(bytes)), c.decoded) << c.hex;
  }
}

TEST(StandInValues, DeeplyNestedReplyIsRefusedNotRecursedInto) {
  Bytes bytes{0};
  for (int i = 0; i < 100000; ++i) bytes.insert(bytes.end(), {0x0c, 0x01});
  bytes.push_back(0);
  EXPECT_EQ(morl_standin::DecodeReply(bytes), Json("undecodable"));
}

TEST(StandInValues, TypedFormsSurviveARoundTrip) {
  const char* values[] = {
      "{\"int64\": -5}",
      "{\"double\": 0.5}",
      "{\"double\": \"-Infinity\"}",
      "{\"float32_list\": [1.5, -2.0]}",
      "{\"double_list\": [0.25]}",
      "{\"map\": [[{\"int64\": 1}, [1, 2]]]}",
      "{\"k\": {\"uint8_list\": [9]}}",
  };
  for (const char* text : values) {
    Bytes out{0};  // a success envelope around the value
    std::string error;
    ASSERT_TRUE(morl_standin::EncodeValue(Json::parse(text), out, &error)) << text;
    EXPECT_EQ(morl_standin::DecodeReply(out), Json::object({{"success", Json::parse(text)}}))
        << text;
  }
}

TEST(StandInScript, LinesParseIntoStepsOrReasons) {
  using Kind = morl_standin::ScriptStep::Kind;
  struct Case {
    const char* line;
    Kind kind;
    const char* detail;  // hex of the message, or the error
  };
  const Case cases[] = {
      {"", Kind::kSkip, ""},
      {"   # a comment", Kind::kSkip, ""},
      {R"({"channel": "c", "method": "probe"})", Kind::kSend, "07 05 70 72 6f 62 65 00"},
      {R"({"channel": "c", "method": "go", "args": {"int64": 3}})", Kind::kSend,
       "07 02 67 6f 04 03 00 00 00 00 00 00 00"},
      {R"({"channel": "c", "hex": "07 01 6D 00"})", Kind::kSend, "07 01 6d 00"},
      {R"({"channel": "c", "hex": ""})", Kind::kSend, ""},
      {R"({"sleep_ms": 250})", Kind::kSleep, ""},
      {R"({"close": true})", Kind::kClose, ""},
      {"{not json", Kind::kInvalid, "not JSON"},
      {"[1]", Kind::kInvalid, "a step must be a JSON object"},
      {R"({"channel": 1, "method": "m"})", Kind::kInvalid, "\"channel\" must be a string"},
      {R"({"channel": "c"})", Kind::kInvalid, "a send needs exactly one of \"method\" and \"hex\""},
      {R"({"channel": "c", "hex": "0"})", Kind::kInvalid,
       "\"hex\" must be a string of hex byte pairs"},
      {R"({"channel": "c", "hex": "zz"})", Kind::kInvalid,
       "\"hex\" must be a string of hex byte pairs"},
      {R"({"channel": "c", "method": "m", "args": {"int32": 1.5}})", Kind::kInvalid,
       "\"args\": int32 needs an integer in range"},
      {R"({"channel": "c", "method": "m", "arg": 1})", Kind::kInvalid,
       "unknown key in a method call"},
      {R"({"sleep_ms": -1})", Kind::kInvalid,
       "\"sleep_ms\" must be a whole number of milliseconds up to a day"},
      {R"({"close": false})", Kind::kInvalid, "\"close\" must be true"},
      {R"({"wait": 1})", Kind::kInvalid, "unknown step"},
  };
  for (const Case& c : cases) {
    const morl_standin::ScriptStep step = morl_standin::ParseScriptLine(c.line);
    EXPECT_EQ(step.kind, c.kind) << c.line;
    if (c.kind == Kind::kSend) {
      EXPECT_EQ(morl_standin::Hex(step.message), c.detail) << c.line;
    }
    if (c.kind == Kind::kInvalid) {
      EXPECT_EQ(step.error, c.detail) << c.line;
    }
  }
}

}  // namespace
