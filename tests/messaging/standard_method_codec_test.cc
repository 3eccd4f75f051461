#include "messaging/standard_method_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec_test_support.h"
#include "recording_method_result.h"

namespace flutter {
namespace {

using testing::Hex;
using testing::kInvalidRead;
using testing::StderrOf;
using testing::ToHex;

const StandardMethodCodec& Codec() { return StandardMethodCodec::SharedInstance(); }

TEST(StandardMethodCodecTest, CallsDecodeAndEncode) {
  std::vector<uint8_t> probe = Hex("07 05 70 72 6F 62 65 00");
  auto call = Codec().DecodeCall(probe.data(), probe.size());
  ASSERT_TRUE(call);
  EXPECT_EQ(call->method_name(), "probe");
  ASSERT_NE(call->arguments(), nullptr);
  EXPECT_EQ(call->arguments()->index(), 0u);
  EXPECT_EQ(ToHex(*Codec().EncodeCall(MethodCall<>("probe", nullptr))), ToHex(probe));

  ValueMap arguments{{EncodableValue("path"), EncodableValue("C:\\a.mp4")},
                     {EncodableValue("systemAudio"), EncodableValue(true)}};
  auto bytes =
      Codec().EncodeCall(MethodCall<>("start", std::make_unique<EncodableValue>(arguments)));
  auto start = Codec().DecodeCall(bytes->data(), bytes->size());
  ASSERT_TRUE(start);
  EXPECT_EQ(start->method_name(), "start");
  const auto* map = std::get_if<ValueMap>(start->arguments());
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(std::get<std::string>(map->at(EncodableValue("path"))), "C:\\a.mp4");
  EXPECT_TRUE(std::get<bool>(map->at(EncodableValue("systemAudio"))));
}

TEST(StandardMethodCodecTest, MalformedCalls) {
  // A name alone: null arguments and the reader's diagnostic.
  std::vector<uint8_t> name_only = Hex("07 05 70 72 6F 62 65");
  std::unique_ptr<MethodCall<>> call;
  EXPECT_EQ(StderrOf([&] { call = Codec().DecodeCall(name_only.data(), name_only.size()); }),
            kInvalidRead);
  ASSERT_TRUE(call);
  EXPECT_EQ(call->arguments()->index(), 0u);

  for (const char* message : {"03 01 00 00 00 00", "", "0C 00 00"}) {
    std::vector<uint8_t> bytes = Hex(message);
    std::string err = StderrOf([&] { call = Codec().DecodeCall(bytes.data(), bytes.size()); });
    EXPECT_FALSE(call) << message;
    EXPECT_NE(err.find("Invalid method call; method name is not a string.\n"), std::string::npos)
        << message;
  }
}

// The double argument must start at a multiple of 8 counted from the first
// byte of the message, whatever the length of the name before it.
TEST(StandardMethodCodecTest, ArgumentsAlignAfterNamesOfEveryLength) {
  for (size_t length = 1; length <= 9; ++length) {
    std::string name(length, 'm');
    auto bytes = Codec().EncodeCall(MethodCall<>(name, std::make_unique<EncodableValue>(2.5)));
    size_t tag_offset = 2 + length;
    size_t payload_offset = (tag_offset + 1 + 7) / 8 * 8;
    ASSERT_EQ(bytes->size(), payload_offset + 8) << length;
    EXPECT_EQ((*bytes)[tag_offset], 0x06) << length;
    for (size_t i = tag_offset + 1; i < payload_offset; ++i) EXPECT_EQ((*bytes)[i], 0) << length;
    auto call = Codec().DecodeCall(bytes->data(), bytes->size());
    ASSERT_TRUE(call);
    EXPECT_EQ(std::get<double>(*call->arguments()), 2.5) << length;
  }
  // The two cases named in the wire format: a 5-byte name needs no padding, a
  // 6-byte one seven bytes.
  EXPECT_EQ(
      Codec().EncodeCall(MethodCall<>("abcde", std::make_unique<EncodableValue>(0.0)))->size(),
      16u);
  EXPECT_EQ(
      Codec().EncodeCall(MethodCall<>("abcdef", std::make_unique<EncodableValue>(0.0)))->size(),
      24u);
}

TEST(StandardMethodCodecTest, Envelopes) {
  EncodableValue audio(ValueMap{{EncodableValue("audio"), EncodableValue(true)}});
  EncodableValue details(int32_t{5});
  EncodableValue yes(true);
  struct Case {
    const char* name;
    std::unique_ptr<std::vector<uint8_t>> bytes;
    const char* expected;
  };
  Case cases[] = {
      {"success without result", Codec().EncodeSuccessReply(nullptr), "00 00"},
      {"success true", Codec().EncodeSuccessReply(&yes), "00 01"},
      {"success map", Codec().EncodeSuccessReply(&audio), "00 0D 01 07 05 61 75 64 69 6F 01"},
      {"error without message or details", Codec().EncodeErrorReply("start_failed", "", nullptr),
       "01 07 0C 73 74 61 72 74 5F 66 61 69 6C 65 64 00 00"},
      {"error with message and details", Codec().EncodeErrorReply("c", "m", &details),
       "01 07 01 63 07 01 6D 03 05 00 00 00"},
  };
  for (const Case& c : cases) EXPECT_EQ(ToHex(*c.bytes), c.expected) << c.name;
}

TEST(StandardMethodCodecTest, DecodeReply) {
  struct Case {
    const char* name;
    const char* reply;
    bool recognised;
    const char* kind;
    const char* code;
    const char* message;
    bool has_value;
    std::string diagnostics;
  };
  const Case cases[] = {
      {"success without result", "00 00", true, "success", "", "", false, ""},
      {"success true", "00 01", true, "success", "", "", true, ""},
      {"empty reply reads as success", "", true, "success", "", "", false,
       std::string(kInvalidRead) + kInvalidRead},
      {"error with null message and details", "01 07 01 63 00 00", true, "error", "c", "", false,
       ""},
      {"error with everything", "01 07 01 63 07 01 6D 03 05 00 00 00", true, "error", "c", "m",
       true, ""},
      {"unknown envelope", "02 00", false, "", "", "", false, ""},
      {"code not a string", "01 03 01 00 00 00 00 00", false, "", "", "", false,
       "Invalid error reply; error code is not a string.\n"},
      {"message not a string", "01 07 01 63 01 00", false, "", "", "", false,
       "Invalid error reply; error message is neither a string nor null.\n"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = Hex(c.reply);
    testing::RecordingMethodResult result;
    bool recognised = false;
    std::string err =
        StderrOf([&] { recognised = Codec().DecodeReply(bytes.data(), bytes.size(), &result); });
    EXPECT_EQ(recognised, c.recognised) << c.name;
    EXPECT_EQ(result.answers, c.kind[0] ? 1 : 0) << c.name;
    EXPECT_EQ(result.kind, c.kind) << c.name;
    EXPECT_EQ(result.code, c.code) << c.name;
    EXPECT_EQ(result.message, c.message) << c.name;
    EXPECT_EQ(result.value.has_value(), c.has_value) << c.name;
    EXPECT_EQ(err, c.diagnostics) << c.name;
  }
}

// Writes CustomValue holding an int as tag 0x80 and a little-endian int32.
class IntCustomSerializer : public StandardCodecSerializer {
 public:
  void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const override {
    if (const auto* custom = std::get_if<CustomValue>(&value)) {
      stream->PutByte(0x80);
      int32_t payload = *custom->TryGet<int32_t>();
      stream->PutBytes(reinterpret_cast<const uint8_t*>(&payload), 4);
      return;
    }
    StandardCodecSerializer::WriteValue(value, stream);
  }
  EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const override {
    if (type != 0x80) return StandardCodecSerializer::ReadValueOfType(type, stream);
    int32_t payload = 0;
    stream->NextBytes(reinterpret_cast<uint8_t*>(&payload), 4);
    return EncodableValue(CustomValue(payload));
  }
};

TEST(StandardMethodCodecTest, RegistryGivesOneCodecPerSerializerAndUsesItForNestedValues) {
  EXPECT_EQ(&StandardMethodCodec::SharedInstance(), &StandardMethodCodec::SharedInstance(nullptr));
  EXPECT_EQ(&StandardMethodCodec::SharedInstance(),
            &StandardMethodCodec::SharedInstance(&StandardCodecSerializer::SharedInstance()));

  static const IntCustomSerializer custom_serializer;
  const auto& codec = StandardMethodCodec::SharedInstance(&custom_serializer);
  EXPECT_NE(&codec, &StandardMethodCodec::SharedInstance());
  EXPECT_EQ(&codec, &StandardMethodCodec::SharedInstance(&custom_serializer));

  EncodableValue nested(ValueList{
      EncodableValue(ValueMap{{EncodableValue("k"), EncodableValue(CustomValue(int32_t{7}))}})});
  auto bytes = codec.EncodeSuccessReply(&nested);
  EXPECT_EQ(ToHex(*bytes), "00 0C 01 0D 01 07 01 6B 80 07 00 00 00");
  testing::RecordingMethodResult result;
  ASSERT_TRUE(codec.DecodeReply(bytes->data(), bytes->size(), &result));
  const auto& map = std::get<ValueMap>(std::get<ValueList>(*result.value).front());
  EXPECT_EQ(*std::get<CustomValue>(map.at(EncodableValue("k"))).TryGet<int32_t>(), 7);
}

}  // namespace
}  // namespace flutter
