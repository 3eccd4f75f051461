#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>

#include <cstdint>
#include <string>
#include <thread>

#include "win32_support/com_ref.h"
#include "win32_support/hresult_text.h"
#include "recorder/recorder.h"
#include "recorder/now_100ns.h"
#include "recorder/recording_session.h"
#include "recorder/worker_stop.h"
#include "win32_support/utf_conversion.h"

using morl::ComRef;
using morl::HresultText;
using morl::Utf8ToWide;
using morl::WideToUtf8;

using namespace morl::recorder;

namespace {

TEST(CounterTo100ns, SplitsSecondsFromRemainder) {
  struct Case {
    std::int64_t counter, frequency, expected;
  } const cases[] = {
      {0, 10'000'000, 0},
      {123'456'789, 10'000'000, 123'456'789},  // a 10 MHz counter is already in ticks
      {10, 3, 33'333'333},                     // 3 s + (1 x 10^7) / 3, truncated
      {2, 3, 6'666'666},
      {3'000'000'000'000, 24'000'000, 1'250'000'000'000},
      // Close to the int64 limit: a single counter x 10^7 product would overflow.
      {INT64_MAX, 10'000'000, INT64_MAX},
      {3'000'000'000'000'000'000, 3'579'545, 8'380'953'445'200'437'485},
      {5, 0, 0},  // no frequency: no division by zero
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CounterTo100ns(c.counter, c.frequency), c.expected)
        << c.counter << " at " << c.frequency;
  }
}

TEST(Now100ns, FollowsTheManualCounter) {
  winsim::UseManualClock(5'000'000, 10'000'000);
  EXPECT_EQ(Now100ns(), 5'000'000);
  winsim::AdvanceClock(1234);
  EXPECT_EQ(Now100ns(), 5'001'234);
  winsim::UseRealClock();
  const std::int64_t a = Now100ns();
  EXPECT_LE(a, Now100ns());
}

TEST(HresultText, LowercaseHexWithoutPadding) {
  struct Case {
    HRESULT hr;
    const char* text;
  } const cases[] = {
      {static_cast<HRESULT>(0x80070005u), "hr=0x80070005"},
      {0, "hr=0x0"},
      {1, "hr=0x1"},
      {static_cast<HRESULT>(0xC00D36B4u), "hr=0xc00d36b4"},
      {static_cast<HRESULT>(0x0000ABCDu), "hr=0xabcd"},
      {static_cast<HRESULT>(0xFFFFFFFFu), "hr=0xffffffff"},
  };
  for (const Case& c : cases) EXPECT_EQ(HresultText(c.hr), c.text);
}

TEST(Utf8ToWide, ConvertsAndReplacesInvalidSequences) {
  struct Case {
    std::string utf8;
    std::wstring wide;
  } const cases[] = {
      {"", L""},
      {"C:\\out\\a.mp4", L"C:\\out\\a.mp4"},
      {"\xC3\xA9t\xC3\xA9", {0x00E9, L't', 0x00E9}},
      // U+1F3A5 outside the BMP becomes a surrogate pair.
      {"\xF0\x9F\x8E\xA5", {static_cast<wchar_t>(0xD83C), static_cast<wchar_t>(0xDFA5)}},
      {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
      {"a\xFF"
       "b",
       {L'a', 0xFFFD, L'b'}},
      {"\xC3", {0xFFFD}},  // cut-off two-byte sequence
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToWide(c.utf8), c.wide) << c.utf8;
}

TEST(WideToUtf8, ConvertsAndReplacesLoneSurrogates) {
  struct Case {
    std::wstring wide;
    std::string utf8;
  } const cases[] = {
      {L"", ""},
      {L"Mikrofon (USB)", "Mikrofon (USB)"},
      {{0x00E9, 0x20AC}, "\xC3\xA9\xE2\x82\xAC"},
      {{static_cast<wchar_t>(0xD83C), static_cast<wchar_t>(0xDFA5)}, "\xF0\x9F\x8E\xA5"},
      {{L'x', static_cast<wchar_t>(0xD800)}, "x\xEF\xBF\xBD"},  // lone high surrogate
      {{static_cast<wchar_t>(0xDC00), L'y'}, "\xEF\xBF\xBDy"},  // lone low surrogate
  };
  for (const Case& c : cases) EXPECT_EQ(WideToUtf8(c.wide), c.utf8) << c.utf8;
}

TEST(RecordingSession, StartsIdleWithDefaultMicrophoneFormat) {
  const Recorder idle;
  EXPECT_FALSE(idle.recording());
  EXPECT_FALSE(idle.Status().recording);
  const RecordingSession s;
  EXPECT_FALSE(s.video.failure.Failed() || s.audio.failure.Failed());
  EXPECT_FALSE(s.video_thread.joinable());
  EXPECT_FALSE(s.audio_thread.joinable());
  EXPECT_FALSE(s.writer.sink_writer);
  EXPECT_FALSE(s.microphone.reader);
  EXPECT_EQ(s.microphone.sample_rate, 48000u);
  EXPECT_EQ(s.microphone.channels, 2u);
  EXPECT_FALSE(s.audio.enabled);
  EXPECT_EQ(s.video.frames_written, 0);
  EXPECT_EQ(s.video.end_time, 0);
  for (const MixSource* c : {&s.captures.loopback, &s.captures.mic}) {
    const CaptureFormat& format = c->endpoint.format();
    EXPECT_FALSE(c->endpoint.holds_client());
    EXPECT_EQ(format.sample_rate + format.channels + format.bytes_per_sample, 0u);
    EXPECT_FALSE(format.is_float || c->endpoint.started() || c->endpoint.active());
    EXPECT_TRUE(c->samples.empty());
    EXPECT_EQ(c->resampler.position(), 0.0);
    EXPECT_EQ(c->resampler.step(), 1.0);
  }
}

// A COM object that counts its references, to check the holder's ownership.
struct CountedUnknown final : IUnknown {
  virtual ~CountedUnknown() = default;
  int refs = 1;
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG Release() override { return static_cast<ULONG>(--refs); }
};

TEST(ComRef, ReleasesExactlyOnceOnEveryPath) {
  CountedUnknown a, b;
  {
    ComRef<IUnknown> ref(&a);
    ComRef<IUnknown> moved(std::move(ref));
    EXPECT_FALSE(ref);
    EXPECT_EQ(moved.Get(), &a);
    ComRef<IUnknown> other(&b);
    other = std::move(moved);  // drops b, takes a
    EXPECT_EQ(b.refs, 0);
    EXPECT_EQ(a.refs, 1);
    *other.Put() = nullptr;  // Put drops what it held
    EXPECT_EQ(a.refs, 0);
  }
  EXPECT_EQ(a.refs, 0);
  EXPECT_EQ(b.refs, 0);
}

// The paused video worker waits without a timeout, so a lost wake would hang
// it (and this test) and a wake read as a stop would end the recording.
TEST(WorkerStop, WakeEndsOneWaitAndStopEndsEveryWait) {
  WorkerStop stop;
  EXPECT_TRUE(stop.WaitForWake());  // not open: nothing may wait forever
  ASSERT_EQ(stop.Open(), S_OK);

  stop.Wake();  // before the wait: kept for it
  EXPECT_FALSE(stop.WaitForWake());
  std::thread waker([&stop] {
    Sleep(20);
    stop.Wake();
  });
  EXPECT_FALSE(stop.WaitForWake());  // woken while waiting, not stopped
  waker.join();
  EXPECT_FALSE(stop.Requested());

  stop.Wake();
  stop.Request();  // a stop and a wake together read as the stop
  EXPECT_TRUE(stop.WaitForWake());
  EXPECT_TRUE(stop.WaitForWake());  // and go on reading so

  ASSERT_EQ(stop.Open(), S_OK);  // a new recording forgets both
  EXPECT_FALSE(stop.Requested());
  std::thread stopper([&stop] {
    Sleep(20);
    stop.Request();
  });
  EXPECT_TRUE(stop.WaitForWake());
  stopper.join();
  stop.Close();
  EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
}

}  // namespace
