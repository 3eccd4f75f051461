// The messenger and the method channel against the stand-in engine: handlers
// installed, replaced and removed, replies answered once, late, from another
// thread and after the engine is gone, undecodable calls, and exceptions
// kept from unwinding into the engine. The engine's UI script sends the
// messages through the message loop and its transcript shows what the user
// interface received.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "messaging/binary_messenger_impl.h"
#include "messaging/method_call_channel.h"
#include "messaging/standard_method_codec.h"
#include "standin_engine_fixture.h"

namespace {

using flutter::BinaryMessengerImpl;
using flutter::ReplySink;

const uint8_t kSuccessTrue[] = {0x00, 0x01};

// Counts how many copies of a handler's captured state are alive.
struct Witness {
  explicit Witness(int* counter) : alive(counter) { ++*alive; }
  Witness(const Witness& other) : alive(other.alive) { ++*alive; }
  ~Witness() { --*alive; }
  int* alive;
};

class MessengerEngineTest : public StandInEngineFixture {
 protected:
  MessengerEngineTest() : StandInEngineFixture("messenger_") {}

  void TearDown() override {
    messenger_.reset();
    StandInEngineFixture::TearDown();
  }

  // An engine that will run `script`, with the messenger wrapper over it.
  void CreateEngine(const std::string& script) {
    engine_ = StandInEngineFixture::CreateEngine(script.c_str());
    ASSERT_NE(engine_, nullptr);
    messenger_ = std::make_unique<BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine_));
  }

  // Hosts the view in a hidden top-level window and runs the loop until the
  // script has closed it.
  void Run() {
    ASSERT_NO_FATAL_FAILURE(Host(engine_));
    RunLoop();
  }

  // The "reply" field of each exchange in the transcript.
  std::vector<std::string> Replies() const {
    std::vector<std::string> replies;
    for (const std::string& line : TranscriptLines()) {
      const auto at = line.find("\"reply\": \"");
      if (at == std::string::npos) continue;
      const auto start = at + 10;
      replies.push_back(line.substr(start, line.find('"', start) - start));
    }
    return replies;
  }

  FlutterDesktopEngineRef engine_ = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
};

TEST_F(MessengerEngineTest, ReplacingAHandlerDestroysTheOldOneAndOnlyTheNewOneReceives) {
  CreateEngine(R"({"channel": "t/a", "hex": "00"})" "\n" R"({"channel": "t/a", "hex": "00"})");
  int old_alive = 0;
  int old_calls = 0;
  int new_calls = 0;
  messenger_->InstallMessageHandler(
      "t/a", [w = Witness(&old_alive), &old_calls](const uint8_t*, size_t, ReplySink reply) {
        ++old_calls;
        reply(nullptr, 0);
      });
  ASSERT_EQ(old_alive, 1);
  messenger_->InstallMessageHandler("t/a", [&new_calls](const uint8_t*, size_t, ReplySink reply) {
    ++new_calls;
    reply(kSuccessTrue, sizeof kSuccessTrue);
  });
  EXPECT_EQ(old_alive, 0) << "the replaced handler is destroyed at once";
  Run();
  EXPECT_EQ(old_calls, 0);
  EXPECT_EQ(new_calls, 2);
  EXPECT_EQ(Replies(), (std::vector<std::string>{"00 01", "00 01"}));
}

TEST_F(MessengerEngineTest, RemovedHandlersReceiveNothingAndRemovingNothingIsHarmless) {
  CreateEngine(R"({"channel": "t/a", "hex": "00"})");
  int calls = 0;
  messenger_->InstallMessageHandler("t/a", [&calls](const uint8_t*, size_t, ReplySink) { ++calls; });
  messenger_->InstallMessageHandler("t/a", nullptr);
  messenger_->InstallMessageHandler("t/never", nullptr);
  Run();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(Replies(), (std::vector<std::string>{""})) << "the engine answers unhandled channels";
}

TEST_F(MessengerEngineTest, ASecondReplyIsRefusedWithOneDiagnostic) {
  CreateEngine(R"({"channel": "t/a", "hex": "00"})");
  std::string diagnostics;
  messenger_->InstallMessageHandler("t/a", [&](const uint8_t*, size_t, ReplySink reply) {
    ::testing::internal::CaptureStderr();
    reply(kSuccessTrue, sizeof kSuccessTrue);
    ReplySink copy = reply;
    copy(nullptr, 0);  // a copy shares the one response
    diagnostics = ::testing::internal::GetCapturedStderr();
  });
  Run();
  EXPECT_EQ(Replies(), (std::vector<std::string>{"00 01"}));
  EXPECT_EQ(diagnostics, "Error: Response can be set only once. Ignoring duplicate response.\n");
}

TEST_F(MessengerEngineTest, AReplyKeptBeyondItsHandlerMaySendFromAnotherThread) {
  CreateEngine(R"({"channel": "t/a", "hex": "00"})" "\n" R"({"channel": "t/b", "hex": "00"})");
  std::thread worker;
  messenger_->InstallMessageHandler("t/a", [&](const uint8_t*, size_t, ReplySink reply) {
    worker = std::thread([reply] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      reply(kSuccessTrue, sizeof kSuccessTrue);
    });
  });
  messenger_->InstallMessageHandler("t/b", [](const uint8_t*, size_t, ReplySink reply) {
    reply(nullptr, 0);
  });
  Run();
  worker.join();
  EXPECT_EQ(Replies(), (std::vector<std::string>{"00 01", ""}))
      << "the script waited for the late reply before its next step";
}

TEST_F(MessengerEngineTest, AReplyAfterTheEngineIsGoneSendsAndPrintsNothing) {
  CreateEngine(R"({"channel": "t/a", "hex": "00"})" "\n" R"({"close": true})");
  ReplySink kept;
  messenger_->InstallMessageHandler("t/a", [&](const uint8_t*, size_t, ReplySink reply) {
    kept = reply;  // never answered while the engine runs
  });
  // The script waits for an answer that never comes; close the window from
  // a timer so the engine shuts down with the reply still outstanding.
  std::thread closer([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    PostMessageW(top_, WM_CLOSE, 0, 0);
  });
  Run();
  closer.join();
  ASSERT_TRUE(kept);
  ::testing::internal::CaptureStderr();
  kept(kSuccessTrue, sizeof kSuccessTrue);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  kept = nullptr;  // the last copy releases the messenger
  EXPECT_EQ(Replies(), std::vector<std::string>{});
}

TEST_F(MessengerEngineTest, UndecodableCallsGetTwoDiagnosticsAndAnEmptyReply) {
  // An int32 where the method name belongs.
  CreateEngine(R"({"channel": "t/calls", "hex": "03 01 00 00 00 00"})");
  flutter::MethodCallChannel channel(messenger_.get(), "t/calls",
                                     &flutter::StandardMethodCodec::SharedInstance());
  int calls = 0;
  std::string diagnostics;
  channel.InstallCallHandler([&](const auto&, auto) { ++calls; });
  ::testing::internal::CaptureStderr();
  Run();
  diagnostics = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(Replies(), (std::vector<std::string>{""}));
  EXPECT_NE(diagnostics.find("Invalid method call; method name is not a string.\n"
                             "Unable to construct method call from message on channel t/calls\n"),
            std::string::npos)
      << diagnostics;
}

TEST_F(MessengerEngineTest, MethodCallsReachTheHandlerAndAreAnsweredThroughTheCodec) {
  CreateEngine(R"({"channel": "t/calls", "method": "ping", "args": {"int32": 7}})");
  flutter::MethodCallChannel channel(messenger_.get(), "t/calls",
                                     &flutter::StandardMethodCodec::SharedInstance());
  channel.InstallCallHandler([](const flutter::MethodCall<flutter::EncodableValue>& call,
                                std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> r) {
    EXPECT_EQ(call.method_name(), "ping");
    r->Success(flutter::EncodableValue(std::get<int32_t>(*call.arguments()) + 1));
  });
  Run();
  EXPECT_EQ(Replies(), (std::vector<std::string>{"00 03 08 00 00 00"}));
}

TEST_F(MessengerEngineTest, AnExceptionFromAHandlerStopsAtTheEngineBoundaryWithOneLine) {
  CreateEngine(R"({"channel": "t/a", "hex": "00"})" "\n" R"({"channel": "t/a", "hex": "00"})");
  int calls = 0;
  messenger_->InstallMessageHandler("t/a", [&](const uint8_t*, size_t, ReplySink reply) {
    reply(nullptr, 0);
    if (++calls == 1) throw std::runtime_error("handler broke");
  });
  ::testing::internal::CaptureStderr();
  Run();
  const std::string diagnostics = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(calls, 2) << "the engine went on after the exception";
  EXPECT_NE(diagnostics.find("Exception in channel message handler: handler broke\n"),
            std::string::npos)
      << diagnostics;
}

}  // namespace
