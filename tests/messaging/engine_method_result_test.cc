#include "messaging/engine_method_result.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "codec_test_support.h"
#include "messaging/standard_method_codec.h"

namespace flutter {
namespace {

using testing::StderrOf;
using testing::ToHex;

const char kDuplicate[] =
    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
    "exactly once. Ignoring duplicate result.\n";
const char kUnanswered[] = "Warning: Failed to respond to a message. This is a memory leak.\n";

// What the sink received: one entry per call, the bytes in hex, and whether
// the pointer was null.
struct SinkLog {
  std::vector<std::string> replies;
  std::vector<bool> null_pointer;
};

std::unique_ptr<MethodResult<>> MakeResult(SinkLog* log) {
  ReplySink sink = [log](const uint8_t* reply, size_t size) {
    log->replies.push_back(ToHex(std::vector<uint8_t>(reply, reply + size)));
    log->null_pointer.push_back(reply == nullptr);
  };
  return std::make_unique<EngineMethodResult<>>(sink, &StandardMethodCodec::SharedInstance());
}

TEST(EngineMethodResultTest, EachAnswerSendsItsEnvelopeOnce) {
  struct Case {
    const char* name;
    void (*answer)(MethodResult<>*);
    const char* sent;
  };
  const Case cases[] = {
      {"success with value", [](MethodResult<>* r) { r->Success(EncodableValue(int32_t{1})); },
       "00 03 01 00 00 00"},
      {"success without value", [](MethodResult<>* r) { r->Success(); }, "00 00"},
      {"error with empty message and no details",
       [](MethodResult<>* r) { r->Error("start_failed"); },
       "01 07 0C 73 74 61 72 74 5F 66 61 69 6C 65 64 00 00"},
      {"error with details", [](MethodResult<>* r) { r->Error("e", "why", EncodableValue(true)); },
       "01 07 01 65 07 03 77 68 79 01"},
      {"not implemented is an empty reply", [](MethodResult<>* r) { r->NotImplemented(); }, ""},
  };
  for (const Case& c : cases) {
    SinkLog log;
    auto result = MakeResult(&log);
    std::string err = StderrOf([&] {
      c.answer(result.get());
      result.reset();
    });
    ASSERT_EQ(log.replies.size(), 1u) << c.name;
    EXPECT_EQ(log.replies[0], c.sent) << c.name;
    EXPECT_EQ(err, "") << c.name;
  }
}

TEST(EngineMethodResultTest, NotImplementedPassesNoBytes) {
  SinkLog log;
  auto result = MakeResult(&log);
  result->NotImplemented();
  ASSERT_EQ(log.null_pointer.size(), 1u);
  EXPECT_TRUE(log.null_pointer[0]);
}

TEST(EngineMethodResultTest, LaterAnswersAreDroppedWithADiagnostic) {
  SinkLog log;
  auto result = MakeResult(&log);
  result->Success(EncodableValue(true));
  std::string err = StderrOf([&] {
    result->Error("late");
    result->NotImplemented();
    result->Success();
    result.reset();  // answered: no warning on destruction
  });
  EXPECT_EQ(err, std::string(kDuplicate) + kDuplicate + kDuplicate);
  ASSERT_EQ(log.replies.size(), 1u);
  EXPECT_EQ(log.replies[0], "00 01");
}

TEST(EngineMethodResultTest, UnansweredResultWarnsAndSendsNothing) {
  SinkLog log;
  auto result = MakeResult(&log);
  EXPECT_EQ(StderrOf([&] { result.reset(); }), kUnanswered);
  EXPECT_TRUE(log.replies.empty());
}

TEST(EngineMethodResultTest, SinkThatAnswersAgainFindsTheReplyUsed) {
  std::unique_ptr<MethodResult<>> result;
  int calls = 0;
  ReplySink sink = [&](const uint8_t*, size_t) {
    if (++calls == 1) result->NotImplemented();
  };
  result = std::make_unique<EngineMethodResult<>>(sink, &StandardMethodCodec::SharedInstance());
  EXPECT_EQ(StderrOf([&] { result->Success(); }), kDuplicate);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace flutter
