// The recording clock: wall times mapped to recorded time across pauses, and
// which frames of an audio buffer a pause leaves in the recording.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "recorder/recording_clock.h"

using namespace morl::recorder;

namespace {

std::int64_t fake_now = 0;
std::int64_t FakeNow() { return fake_now; }

// A step of a sequence: move the wall clock to `at`, then do `what`.
enum class Do { kStart, kPause, kResume };
struct Step {
  std::int64_t at;
  Do what;
  bool accepted;
};

void Play(RecordingClock& clock, const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    fake_now = step.at;
    bool accepted = true;
    if (step.what == Do::kStart) clock.Start();
    if (step.what == Do::kPause) accepted = clock.Pause();
    if (step.what == Do::kResume) accepted = clock.Resume();
    EXPECT_EQ(accepted, step.accepted) << "step at " << step.at;
  }
}

TEST(RecordingClock, CutsPausedStretchesOutOfWallTime) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::int64_t now;  // the wall clock when the mapping is checked
    std::vector<std::pair<std::int64_t, std::int64_t>> cuts;  // wall -> cut
    std::int64_t elapsed;
  } cases[] = {
      {"no pause", {{100, Do::kStart, true}}, 500, {{100, 100}, {350, 350}, {500, 500}}, 400},
      {"one pause",
       {{100, Do::kStart, true}, {200, Do::kPause, true}, {260, Do::kResume, true}},
       400,
       {{150, 150}, {200, 200}, {230, 200}, {259, 200}, {260, 200}, {300, 240}},
       240},
      {"still paused: time stands at the pause",
       {{100, Do::kStart, true}, {200, Do::kPause, true}},
       900,
       {{199, 199}, {200, 200}, {900, 200}},
       100},
      {"two pauses add up",
       {{0, Do::kStart, true},
        {100, Do::kPause, true},
        {150, Do::kResume, true},
        {300, Do::kPause, true},
        {400, Do::kResume, true}},
       500,
       {{120, 100}, {200, 150}, {300, 250}, {350, 250}, {400, 250}, {500, 350}},
       350},
      {"second pause and resume refused",
       {{0, Do::kStart, true},
        {10, Do::kResume, false},
        {20, Do::kPause, true},
        {30, Do::kPause, false},
        {40, Do::kResume, true},
        {50, Do::kResume, false}},
       100,
       {{25, 20}, {40, 20}, {100, 80}},
       80},
      {"a pause of no length cuts nothing",
       {{0, Do::kStart, true}, {70, Do::kPause, true}, {70, Do::kResume, true}},
       100,
       {{69, 69}, {70, 70}, {100, 100}},
       100},
      {"a new start forgets the old pauses",
       {{0, Do::kStart, true}, {10, Do::kPause, true}, {1000, Do::kStart, true}},
       1100,
       {{1050, 1050}, {5, 5}},
       100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingClock clock(FakeNow);
    Play(clock, c.steps);
    fake_now = c.now;
    for (const auto& [wall, cut] : c.cuts) {
      EXPECT_EQ(clock.Cut(wall), cut) << "wall " << wall;
    }
    EXPECT_EQ(clock.Elapsed(), c.elapsed);
  }
}

TEST(RecordingClock, KeepsOnlyTheFramesOutsidePauses) {
  // 1 kHz frames: one every 10 000 ticks. Pauses [100 000, 150 000) and,
  // when `open`, [300 000, ...).
  struct Case {
    const char* name;
    std::int64_t first, frames;
    bool open;
    std::int64_t skip, keep;
  } cases[] = {
      {"all before the pause", 0, 5, false, 0, 5},
      {"ends at the pause's first tick", 50'000, 5, false, 0, 5},
      {"runs into the pause", 50'000, 10, false, 0, 5},
      {"runs across the pause", 90'000, 10, false, 0, 1},
      {"starts inside, resumes within", 120'000, 10, false, 3, 7},
      {"starts exactly at the resume", 150'000, 4, false, 0, 4},
      {"wholly inside", 100'000, 5, false, 5, 0},
      {"an open pause takes everything after it", 280'000, 10, true, 0, 2},
      {"wholly inside the open pause", 400'000, 1'000'000, true, 1'000'000, 0},
      {"no frames", 0, 0, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingClock clock(FakeNow);
    std::vector<Step> steps = {
        {0, Do::kStart, true}, {100'000, Do::kPause, true}, {150'000, Do::kResume, true}};
    if (c.open) steps.push_back({300'000, Do::kPause, true});
    Play(clock, steps);
    const RecordingClock::Run run = clock.Recorded(c.first, c.frames, 1000);
    EXPECT_EQ(run.skip, c.skip);
    EXPECT_EQ(run.keep, c.keep);
  }
}

TEST(RecordingClock, FramesAtFractionalTimesRoundToTheFrameBoundary) {
  // 48 kHz: frame i at i * 10^7 / 48000 ticks, a whole tick only every 48th
  // frame. A pause at 1 ms keeps frames 0..47 of a buffer from 0 (frame 48
  // is exactly at 1 ms). It resumes at 2 ms + 1 tick: of a buffer from 1 ms,
  // frame 48 is at 2 ms, still paused, and frame 49 the first kept.
  RecordingClock clock(FakeNow);
  Play(clock, {{0, Do::kStart, true}, {10'000, Do::kPause, true}, {20'001, Do::kResume, true}});
  const RecordingClock::Run before = clock.Recorded(0, 480, 48000);
  EXPECT_EQ(before.skip, 0);
  EXPECT_EQ(before.keep, 48);
  const RecordingClock::Run inside = clock.Recorded(10'000, 480, 48000);
  EXPECT_EQ(inside.skip, 49);
  EXPECT_EQ(inside.keep, 480 - 49);
}

}  // namespace
