#include "recorder/video/screen_capture.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "recorder/now_100ns.h"
#include "recorder/video/video_frame_writer.h"
#include "video_test_support.h"

using namespace morl::recorder;

namespace {

TEST(NextFramePause, SleepsUntilTheNextSlotOrRestartsWhenLate) {
  struct Case {
    std::int64_t next, now;
    std::optional<DWORD> pause;
    std::int64_t next_after;
  } const cases[] = {
      {0, 0, 66, 666'666},                      // a whole interval ahead
      {0, 6'666, 66, 666'666},                  // 66.0 ms left
      {0, 6'667, 65, 666'666},                  // 65.9999 ms left: truncated
      {0, 660'000, 0, 666'666},                 // under a millisecond: Sleep(0)
      {0, 666'665, 0, 666'666},                 // one tick ahead still sleeps
      {0, 666'666, std::nullopt, 666'666},      // exactly on time: restart, no sleep
      {0, 2'000'000, std::nullopt, 2'000'000},  // late: restart from now, no catch-up
      {5'000'000, 5'100'000, 56, 5'666'666},
  };
  for (const Case& c : cases) {
    std::int64_t next = c.next;
    EXPECT_EQ(NextFramePause(next, c.now), c.pause) << c.next << " at " << c.now;
    EXPECT_EQ(next, c.next_after) << c.next << " at " << c.now;
  }
}

TEST(NextFramePause, FollowsTheIntervalOfEachFrameRate) {
  struct Case {
    std::int32_t fps;
    std::int64_t now;
    std::optional<DWORD> pause;
    std::int64_t next_after;
  } const cases[] = {
      {15, 0, 66, 666'666},  // the interval is truncated, not rounded
      {60, 0, 16, 166'666},
      {60, 166'666, std::nullopt, 166'666},
      {60, 166'665, 0, 166'666},
      {5, 0, 200, 2'000'000},
      {5, 1'999'999, 0, 2'000'000},
      {1, 0, 1000, 10'000'000},
      {30, 400'000, std::nullopt, 400'000},  // late by 66'667: restart from now
  };
  for (const Case& c : cases) {
    std::int64_t next = 0;
    EXPECT_EQ(NextFramePause(next, c.now, FrameInterval(c.fps)), c.pause) << c.fps << " fps";
    EXPECT_EQ(next, c.next_after) << c.fps << " fps";
  }
}

class ScreenCaptureTest : public VideoTest {
 protected:
  static constexpr std::int64_t kStart = 1'000'000;

  void SetUp() override {
    VideoTest::SetUp();
    winsim::UseManualClock(kStart);
    winsim::SetScreenSize(16, 8);
    OpenWriter(16, 8);
    session_.timeline.start_time = Now100ns();
  }

  // Runs the worker on this thread until it has slept `sleeps` times, and
  // records every pause it took.
  void RunUntilSleeps(int sleeps) {
    winsim::SetSleepHook([this, sleeps](DWORD ms) {
      pauses_.push_back(ms);
      if (static_cast<int>(pauses_.size()) == sleeps) session_.timeline.stop.Request();
    });
    RunScreenCapture(session_.VideoParts(), session_.watch);
  }

  std::vector<std::int64_t> SampleTimes() const {
    std::vector<std::int64_t> times;
    const auto writers = winsim::SinkWriters();
    for (const auto& s : writers.back().samples) times.push_back(s.time);
    return times;
  }

  std::vector<DWORD> pauses_;
};

TEST_F(ScreenCaptureTest, WriteVideoFrameTimesFromStartAndKeepsCounters) {
  session_.timeline.start_time = 1000;
  const std::vector<BYTE> frame(16 * 8 * 4, 0x7F);
  ASSERT_EQ(WriteVideoFrame(session_.VideoParts(), frame.data(), 16 * 8 * 4, 19'934'320).hr(),
            S_OK);
  EXPECT_EQ(session_.video.frames_written, 1);
  EXPECT_EQ(session_.video.end_time, 20'599'986);  // reported as 2059 ms
  const auto samples = winsim::SinkWriters().back().samples;
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ(samples[0].stream, session_.writer.video_stream);
  EXPECT_EQ(samples[0].time, 19'933'320);
  EXPECT_EQ(samples[0].duration, 666'666);
  EXPECT_EQ(samples[0].bytes, 16u * 8u * 4u);
  EXPECT_EQ(samples[0].first_pixel, 0x7F7F7F7Fu);

  winsim::FailCall("IMFSinkWriter::WriteSample", E_FAIL);
  EXPECT_EQ(WriteVideoFrame(session_.VideoParts(), frame.data(), 16 * 8 * 4, 30'000'000).hr(),
            E_FAIL);
  EXPECT_EQ(session_.video.frames_written, 1);
  EXPECT_EQ(session_.video.end_time, 20'599'986);
}

TEST_F(ScreenCaptureTest, HoldsFifteenFramesPerSecondAndStopsAfterTheSleep) {
  winsim::AdvanceClock(5'000);  // the worker starts a little after startTime
  RunUntilSleeps(5);
  // The worker holds a 1-ms timer period, so each wait ends on the first
  // whole millisecond of machine time at or after its due time, not on the
  // default 15.625-ms ticks; the schedule absorbs the rounding instead of
  // drifting.
  EXPECT_EQ(pauses_, (std::vector<DWORD>{66, 66, 67, 67, 66}));
  EXPECT_EQ(SampleTimes(),
            (std::vector<std::int64_t>{5'000, 670'000, 1'330'000, 2'000'000, 2'670'000}));
  EXPECT_EQ(session_.video.frames_written, 5);  // none after the stop seen during the last sleep
  EXPECT_EQ(session_.video.end_time, 2'670'000 + 666'666);
}

TEST_F(ScreenCaptureTest, HoldsTheSessionsFrameRateAndSampleDuration) {
  for (const std::int32_t fps : {60, 5}) {
    SCOPED_TRACE(fps);
    const std::int64_t interval = FrameInterval(fps);
    session_.video.frame_interval = interval;
    session_.video.frames_written = 0;  // so the worker captures at once
    const std::size_t before = SampleTimes().size();
    pauses_.clear();
    RunUntilSleeps(6);
    session_.timeline.stop.Close();
    ASSERT_EQ(session_.timeline.stop.Open(), S_OK);
    const auto samples = winsim::SinkWriters().back().samples;
    ASSERT_EQ(samples.size() - before, 6u);
    for (std::size_t i = before; i < samples.size(); ++i) {
      EXPECT_EQ(samples[i].duration, interval);
      if (i > before) {
        // Whole-millisecond sleeps put each frame within 1 ms of its slot.
        EXPECT_NEAR(samples[i].time - samples[i - 1].time, interval, 10'000);
      }
    }
    EXPECT_NEAR(samples.back().time - samples[before].time, 5 * interval, 10'000);
    EXPECT_EQ(session_.video.end_time, samples.back().time + interval);
  }
}

TEST_F(ScreenCaptureTest, SlowFrameRestartsTheScheduleWithoutDuplicates) {
  // Every blit costs 1 ms; the third one costs 101 ms.
  int blits = 0;
  winsim::GetScreen().animate = [&blits](winsim::Screen&, std::int64_t) {
    winsim::AdvanceClock(++blits == 3 ? 1'010'000 : 10'000);
  };
  RunUntilSleeps(4);
  const auto times = SampleTimes();
  ASSERT_EQ(static_cast<int>(times.size()), blits);
  ASSERT_EQ(times.size(), 5u);  // frames 1, 2, 3 slept; 4 came at once; 5 slept and stopped
  EXPECT_EQ(pauses_.size(), 4u);
  EXPECT_EQ(times[3] - times[2], 10'000);  // captured at once, one blit later
  EXPECT_GE(times[4] - times[3], 666'666 - 10'000);
  EXPECT_LE(times[4] - times[3], 666'666 + 10'000);
  for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GT(times[i], times[i - 1]);
}

TEST_F(ScreenCaptureTest, DropsAFailedFrameAndGoesOn) {
  struct Case {
    const char* call;
    const char* reported;  // the writer locks the buffer too, in WriteSample
  } const cases[] = {
      {"MFCreateMemoryBuffer", "MFCreateMemoryBuffer"},
      {"IMFMediaBuffer::Lock", "IMFSinkWriter::WriteSample"},
      {"MFCreateSample", "MFCreateSample"},
      {"IMFSinkWriter::WriteSample", "IMFSinkWriter::WriteSample"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    const std::size_t before = SampleTimes().size();
    const std::int64_t frames_before = session_.video.frames_written;
    ASSERT_EQ(session_.timeline.stop.Open(), S_OK);
    session_.video.failure.Clear();
    const std::int64_t dropped_before = session_.video.frames_dropped;
    pauses_.clear();
    winsim::FailCall(c.call, E_OUTOFMEMORY, 2);
    RunUntilSleeps(4);
    EXPECT_EQ(pauses_.size(), 4u);  // the dropped frame still waits its turn
    EXPECT_EQ(SampleTimes().size() - before, 3u);
    EXPECT_EQ(session_.video.frames_written - frames_before, 3);
    EXPECT_EQ(session_.video.frames_dropped - dropped_before, 1);
    EXPECT_EQ(session_.video.failure.Text(), std::string(c.reported) + " hr=0x8007000e");
    EXPECT_EQ(session_.video.end_time, SampleTimes().back() + 666'666);
    for (const auto& [key, count] : winsim::LiveObjects()) {
      EXPECT_EQ(key.rfind("gdi:", 0), std::string::npos) << key << " x" << count;
    }
  }
}

TEST_F(ScreenCaptureTest, EndsWithoutFramesWhenTheBitmapCannotBeCreated) {
  winsim::FailCall("CreateDIBSection", E_OUTOFMEMORY);
  RunUntilSleeps(1);
  EXPECT_TRUE(pauses_.empty());
  EXPECT_TRUE(SampleTimes().empty());
  EXPECT_EQ(session_.video.frames_written, 0);
  EXPECT_EQ(session_.video.end_time, 0);
  EXPECT_EQ(session_.video.failure.Text(), "CreateDIBSection hr=0x8007000e");
}

TEST_F(ScreenCaptureTest, ReturnsAtOnceWhenAlreadyStopped) {
  session_.timeline.stop.Request();
  RunScreenCapture(session_.VideoParts(), session_.watch);
  EXPECT_TRUE(SampleTimes().empty());
}

}  // namespace

namespace {

class EncoderBacklogTest : public VideoTest {
 protected:
  void SetUp() override {
    encode_ = true;
    VideoTest::SetUp();
    winsim::UseManualClock(1'000'000);
    winsim::SetScreenSize(64, 48);
  }
  void TearDown() override {
    winsim::HoldSinkEncoding(false);
    VideoTest::TearDown();
  }
  static bool EncoderIdle() {
    const winsim::SinkWriterRecord record = winsim::SinkWriters().back();
    return record.samples_encoded == record.samples.size();
  }
  // A writer whose encoder holds `latency_frames` frames, at `fps`.
  void Open(int latency_frames, std::int32_t fps) {
    std::string error;
    ASSERT_TRUE(winsim::LoadMachineJson(
        R"({"encoder": {"latency_frames": )" + std::to_string(latency_frames) + "}}", &error))
        << error;
    OpenWriter(64, 48);
    session_.video.frame_interval = morl::recorder::FrameInterval(fps);
    session_.timeline.start_time = Now100ns();
  }
  // Captures until the `pauses`-th wait between frames. `keep_up`: each
  // wait lasts until the encoder has taken every frame written.
  void RunFor(int pauses, bool keep_up = false) {
    int seen = 0;
    winsim::SetSleepHook([this, pauses, keep_up, &seen](DWORD) {
      for (int i = 0; keep_up && i < 1000 && !EncoderIdle(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (++seen == pauses) session_.timeline.stop.Request();
    });
    RunScreenCapture(session_.VideoParts(), session_.watch);
    winsim::SetSleepHook(nullptr);
  }
};

TEST(FramesInFlightBound, HalfASecondAtLeastSixteenWithinMemory) {
  struct Case {
    std::int64_t width, height, fps, bound;
  } const cases[] = {
      {64, 48, 15, 16},  {1920, 1080, 15, 16}, {1920, 1080, 60, 30},
      {3840, 2160, 60, 16},  // 33 MB frames: 512 MB holds 16
      {4096, 2304, 60, 14},  // the largest the encoder takes
      {7680, 4320, 60, 4},   // never fewer than 4
  };
  for (const Case& c : cases) {
    EXPECT_EQ(morl::recorder::FramesInFlightBound(c.width * c.height * 4,
                                                  morl::recorder::FrameInterval(c.fps)),
              c.bound)
        << c.width << " x " << c.height << " at " << c.fps;
  }
}

// An encoder that never finishes: the frames beyond the bound are dropped
// until it catches up, then capture goes on.
TEST_F(EncoderBacklogTest, FramesBeyondTheBoundAreDroppedUntilTheEncoderCatchesUp) {
  Open(0, 15);
  winsim::HoldSinkEncoding(true);
  RunFor(20);
  EXPECT_EQ(session_.video.frames_written, 16);
  EXPECT_EQ(session_.video.frames_dropped, 4);
  EXPECT_FALSE(session_.video.failure.Failed());

  winsim::HoldSinkEncoding(false);
  for (int i = 0; i < 500 && winsim::SinkWriters().back().samples_encoded < 16; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(session_.timeline.stop.Open(), S_OK);
  RunFor(3);
  EXPECT_EQ(session_.video.frames_written, 19);
  EXPECT_EQ(session_.video.frames_dropped, 4);
}

// An encoder that keeps up but holds frames back (look-ahead, reordering)
// loses none of them at 60 fps; only a latency beyond the bound (30 frames
// at 60 fps) is an encoder that has fallen behind.
TEST_F(EncoderBacklogTest, AnEncoderThatKeepsUpLosesNoFrameWhateverItsLatency) {
  struct Case {
    int latency;
    std::int64_t dropped;
  } const cases[] = {{0, 0}, {6, 0}, {8, 0}, {20, 0}, {40, 90}};
  for (const Case& c : cases) {
    SCOPED_TRACE("latency " + std::to_string(c.latency));
    Open(c.latency, 60);
    RunFor(120, true);
    EXPECT_EQ(session_.video.frames_written + session_.video.frames_dropped, 120);
    EXPECT_EQ(session_.video.frames_dropped, c.dropped);
    session_.writer.sink_writer->Finalize();
    session_.writer.sink_writer.Reset();
    session_.video.frames_written = 0;
    session_.video.frames_dropped = 0;
  }
  began_ = false;
}

}  // namespace

namespace {

TEST(CaptureWatchTest, RateOverTheWindowAndConditionTimes) {
  // Frame times: `count` frames `spacing` apart from `from` (100-ns).
  struct Run {
    std::int64_t from, spacing;
    int count;
  };
  struct Case {
    const char* what;
    std::vector<Run> runs;
    double lowest;  // the lowest rate reported; -1: none reported
  } const cases[] = {
      {"15 fps held", {{0, 666'666, 120}}, 15.0},
      {"1 fps a millisecond late each time", {{0, 10'010'000, 8}}, 0.999},
      {"60 fps for under a window", {{0, 166'666, 170}}, -1},
      {"6 fps of 15", {{0, 1'666'666, 30}}, 6.0},
      {"a 2-s stall inside 15 fps", {{0, 666'666, 60}, {60'000'000, 666'666, 60}}, 4.77},
      {"a stall longer than the window", {{0, 666'666, 60}, {80'000'000, 666'666, 2}}, 0.0},
  };
  for (const Case& c : cases) {
    CaptureRate rate;
    double lowest = -1;
    for (const Run& run : c.runs) {
      for (int i = 0; i < run.count; ++i) {
        if (const auto r = rate.Frame(run.from + i * run.spacing)) {
          lowest = lowest < 0 ? *r : std::min(lowest, *r);
        }
      }
    }
    EXPECT_NEAR(lowest, c.lowest, 0.1) << c.what;
  }

  // Stretches seen with frames 100 ms apart: from the first frame that saw
  // the condition to the first that did not; one still going counts to now.
  ConditionTime condition;
  const bool holds[] = {false, true, true, true, false, false, true, true};
  for (int i = 0; i < 8; ++i) condition.Observe(holds[i], i * 1'000'000);
  EXPECT_EQ(condition.Text("screen unavailable"), "screen unavailable for 400 ms in 2 stretches");
  EXPECT_EQ(SlowCaptureText(6.04, 15), "capture below requested rate: 6.0 of 15 fps");
}

}  // namespace
