// The stand-in engine on the simulated machine: a top-level window hosting
// the view, the UI script driven through the message loop, the transcript,
// the messenger's contract and the hooks the host relies on.
#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "standin_engine_fixture.h"

namespace {

// A channel handler that answers "00 01" (success, true) at once.
void AnswerTrue(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message, void*) {
  static const uint8_t kTrue[] = {0x00, 0x01};
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, kTrue, sizeof kTrue);
}

class StandInEngineTest : public StandInEngineFixture {
 protected:
  StandInEngineTest() : StandInEngineFixture("standin_") {}
};

TEST_F(StandInEngineTest, ScriptExchangesAreWrittenAsTranscriptLinesAndTheWindowClosesAtTheEnd) {
  FlutterDesktopEngineRef engine = CreateEngine(
      "# probe the recorder\n"
      "{\"channel\": \"test/answer\", \"method\": \"probe\"}\n"
      "\n"
      "{\"channel\": \"test/nobody\", \"hex\": \"07 01 6d 00\"}\n"
      "{\"sleep_ms\": 20}\n"
      "{\"channel\": \"test/answer\", \"method\": }\n"
      "{\"channel\": \"test/answer\", \"method\": \"stop\", \"args\": {\"int64\": 2}}\n");
  ASSERT_NE(engine, nullptr);
  FlutterDesktopMessengerSetCallback(FlutterDesktopEngineGetMessenger(engine), "test/answer",
                                     AnswerTrue, nullptr);
  ASSERT_NO_FATAL_FAILURE(Host(engine));
  RunLoop();
  EXPECT_FALSE(IsWindow(top_)) << "the end of the script closes the window";
  EXPECT_EQ(
      TranscriptLines(),
      (std::vector<std::string>{
          R"({"channel": "test/answer", "request": "07 05 70 72 6f 62 65 00", "reply": "00 01", )"
          R"("decoded": {"success": true}})",
          R"({"channel": "test/nobody", "request": "07 01 6d 00", "reply": "", "decoded": "not_implemented"})",
          R"({"script_error": "line 6: not JSON"})",
          R"({"channel": "test/answer", "request": "07 04 73 74 6f 70 04 02 00 00 00 00 00 00 00", )"
          R"("reply": "00 01", "decoded": {"success": true}})",
      }));
}

TEST_F(StandInEngineTest, CloseStepClosesTheTopLevelWindowAndLaterStepsDoNotRun) {
  FlutterDesktopEngineRef engine = CreateEngine(
      "{\"close\": true}\n"
      "{\"channel\": \"test/nobody\", \"hex\": \"00\"}\n");
  ASSERT_NO_FATAL_FAILURE(Host(engine));
  RunLoop();
  EXPECT_FALSE(IsWindow(top_));
  EXPECT_TRUE(TranscriptLines().empty());
}

TEST_F(StandInEngineTest, UnreadableScriptIsReportedAndTheWindowCloses) {
  FlutterDesktopEngineRef engine = CreateEngine(nullptr);
  ASSERT_NO_FATAL_FAILURE(Host(engine));
  RunLoop();
  ASSERT_EQ(TranscriptLines().size(), 1u);
  EXPECT_EQ(TranscriptLines()[0], "{\"script_error\": \"cannot read " + script_path_ + "\"}");
}

int g_frame_callbacks = 0;
void CountFrame(void* top) {
  ++g_frame_callbacks;
  ShowWindow(static_cast<HWND>(top), SW_SHOWNORMAL);
}

TEST_F(StandInEngineTest, NextFrameCallbackRunsOnceAfterTheFirstFrameWhileTheWindowIsHidden) {
  g_frame_callbacks = 0;
  FlutterDesktopEngineRef engine = CreateEngine("{\"sleep_ms\": 30}\n");
  ASSERT_NO_FATAL_FAILURE(Host(engine));
  FlutterDesktopEngineSetNextFrameCallback(engine, CountFrame, top_);
  FlutterDesktopViewControllerForceRedraw(controller);
  EXPECT_EQ(g_frame_callbacks, 0) << "frames are drawn by the message loop";
  EXPECT_FALSE(IsWindowVisible(view_));
  MSG msg;
  while (g_frame_callbacks == 0 && GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
  EXPECT_TRUE(IsWindowVisible(view_));
  RunLoop();
  EXPECT_EQ(g_frame_callbacks, 1);
}

TEST_F(StandInEngineTest, TopLevelMessagesAreConsumedOnlyWhenATestSaysSo) {
  FlutterDesktopEngineRef engine = CreateEngine("");
  ASSERT_NO_FATAL_FAILURE(Host(engine));
  LRESULT result = -1;
  EXPECT_FALSE(FlutterDesktopViewControllerHandleTopLevelWindowProc(controller, top_, WM_SIZE, 0,
                                                                    0, &result));
  MorlStandInConsumeTopLevelMessage(WM_SIZE, 42);
  EXPECT_TRUE(FlutterDesktopViewControllerHandleTopLevelWindowProc(controller, top_, WM_SIZE, 0,
                                                                   0, &result));
  EXPECT_EQ(result, 42);
  EXPECT_FALSE(FlutterDesktopViewControllerHandleTopLevelWindowProc(controller, top_, WM_MOVE, 0,
                                                                    0, &result));
  FlutterDesktopEngineReloadSystemFonts(engine);
  EXPECT_EQ(MorlStandInFontReloads(engine), 1);
  RunLoop();
}

TEST_F(StandInEngineTest, RegistrarsAreOnePerNameAndLogToTheTranscript) {
  FlutterDesktopEngineRef engine = CreateEngine("");
  FlutterDesktopPluginRegistrarRef a =
      FlutterDesktopEngineGetPluginRegistrar(engine, "UrlLauncherWindows");
  EXPECT_EQ(FlutterDesktopEngineGetPluginRegistrar(engine, "UrlLauncherWindows"), a);
  EXPECT_NE(FlutterDesktopEngineGetPluginRegistrar(engine, "Other"), a);
  MorlStandInRegistrarLog(a, "plugin registered: UrlLauncherWindows");
  EXPECT_TRUE(FlutterDesktopEngineDestroy(engine));
  EXPECT_EQ(TranscriptLines(),
            std::vector<std::string>{"{\"registrar\": \"UrlLauncherWindows\", "
                                     "\"log\": \"plugin registered: UrlLauncherWindows\"}"});
}

TEST_F(StandInEngineTest, FailedViewControllerEndsTheEngineItWasGiven) {
  FlutterDesktopEngineRef engine = CreateEngine("");
  MorlStandInFailNextViewController();
  EXPECT_EQ(FlutterDesktopViewControllerCreate(100, 100, engine), nullptr);
  // TearDown finds nothing alive: the engine's window and classes are gone.
}

// A handler that keeps the message's handle and answers later from a worker,
// the way a reply object holding a messenger reference does.
struct Deferred {
  FlutterDesktopMessengerRef messenger = nullptr;
  const FlutterDesktopMessageResponseHandle* handle = nullptr;
};

void Keep(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
          void* user_data) {
  auto* deferred = static_cast<Deferred*>(user_data);
  deferred->messenger = FlutterDesktopMessengerAddRef(messenger);
  deferred->handle = message->response_handle;
}

// Answers under the lock if the engine is still there; true when sent.
bool AnswerLocked(const Deferred& d, uint8_t byte) {
  FlutterDesktopMessengerRef locked = FlutterDesktopMessengerLock(d.messenger);
  const bool available = FlutterDesktopMessengerIsAvailable(d.messenger);
  if (available) FlutterDesktopMessengerSendResponse(d.messenger, d.handle, &byte, 1);
  if (locked != nullptr) FlutterDesktopMessengerUnlock(locked);
  return available;
}

TEST_F(StandInEngineTest, ResponsesFromAWorkerAreDeliveredOnceAndRefusedAfterTheEngineIsGone) {
  Deferred deferred;
  FlutterDesktopEngineRef engine = CreateEngine(
      "{\"channel\": \"test/later\", \"hex\": \"01\"}\n"
      "{\"channel\": \"test/later\", \"hex\": \"02\"}\n");
  FlutterDesktopMessengerSetCallback(FlutterDesktopEngineGetMessenger(engine), "test/later", Keep,
                                     &deferred);
  ASSERT_NO_FATAL_FAILURE(Host(engine));
  MSG msg;
  while (deferred.handle == nullptr && GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
  std::thread worker([&] {
    EXPECT_TRUE(AnswerLocked(deferred, 0x0a));
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(AnswerLocked(deferred, 0x0b));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "stand-in engine: refused a second response to one message\n");
  });
  worker.join();
  FlutterDesktopMessengerRef first = deferred.messenger;
  const FlutterDesktopMessageResponseHandle* first_handle = deferred.handle;
  while (deferred.handle == first_handle && GetMessageW(&msg, nullptr, 0, 0))
    DispatchMessageW(&msg);
  FlutterDesktopMessengerRelease(first);

  // The second message's answer comes after the window (and engine) are gone.
  DestroyWindow(top_);
  RunLoop();
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(AnswerLocked(deferred, 0x0c));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "a late reply is dropped silently";
  FlutterDesktopMessengerRelease(deferred.messenger);
  const auto lines = TranscriptLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(
      lines[0],
      R"({"channel": "test/later", "request": "01", "reply": "0a", "decoded": "undecodable"})");
}

TEST_F(StandInEngineTest, UnansweredSendIsWrittenAsNoReplyAndTheScriptGoesOn) {
  Deferred deferred;
  FlutterDesktopEngineRef engine = CreateEngine(
      "{\"channel\": \"test/later\", \"hex\": \"01\"}\n"
      "{\"channel\": \"test/nobody\", \"hex\": \"02\"}\n",
      "--reply-timeout-ms=30");
  FlutterDesktopMessengerSetCallback(FlutterDesktopEngineGetMessenger(engine), "test/later", Keep,
                                     &deferred);
  ASSERT_NO_FATAL_FAILURE(Host(engine));
  RunLoop();
  FlutterDesktopMessengerRelease(deferred.messenger);
  EXPECT_EQ(
      TranscriptLines(),
      (std::vector<std::string>{
          R"({"channel": "test/later", "request": "01", "reply": null, "decoded": "no_reply"})",
          R"({"channel": "test/nobody", "request": "02", "reply": "", "decoded": "not_implemented"})"}));
}

int g_ui_replies = 0;
void CountUiReply(const uint8_t*, size_t size, void* user_data) {
  ++g_ui_replies;
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(user_data, &g_ui_replies);
}

TEST_F(StandInEngineTest, MessagesToTheUserInterfaceAreRecordedAndEachReplyRunsOnce) {
  g_ui_replies = 0;
  FlutterDesktopEngineRef engine = CreateEngine("");
  FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(engine);
  const uint8_t bytes[] = {0x07, 0x00};
  EXPECT_TRUE(FlutterDesktopMessengerSend(messenger, "ui/a", bytes, sizeof bytes));
  EXPECT_TRUE(FlutterDesktopMessengerSendWithReply(messenger, "ui/b", bytes, 1, CountUiReply,
                                                   &g_ui_replies));
  EXPECT_TRUE(FlutterDesktopMessengerSendWithReply(messenger, "ui/c", nullptr, 0, CountUiReply,
                                                   &g_ui_replies));
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  DispatchMessageW(&msg);
  EXPECT_EQ(g_ui_replies, 1);
  FlutterDesktopMessengerAddRef(messenger);
  EXPECT_TRUE(FlutterDesktopEngineDestroy(engine));
  EXPECT_EQ(g_ui_replies, 2) << "the reply still pending at shut-down runs too";
  EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(messenger));
  EXPECT_FALSE(FlutterDesktopMessengerSend(messenger, "ui/a", bytes, 1));
  FlutterDesktopMessengerRelease(messenger);
  EXPECT_EQ(TranscriptLines(), (std::vector<std::string>{R"({"channel": "ui/a", "to_ui": "07 00"})",
                                                         R"({"channel": "ui/b", "to_ui": "07"})",
                                                         R"({"channel": "ui/c", "to_ui": ""})"}));
}

}  // namespace
