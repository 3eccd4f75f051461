// The recorder's capture halves running for real: the way it reads the
// screen (desktop duplication, or GDI where there is none), its screen
// grabber with the cursor, whole and for a region of a display, the displays and audio
// endpoints it lists, a microphone chosen by id, and its computer audio
// (loopback of the speakers mixed with the microphone, resampled to 48 kHz
// stereo) for about two seconds, with a recording sink in place of the MP4
// writer. Under Wine this runs against
// an X display and a sound server (tools/wine-session); on the simulated
// machine it runs against the machine's screen and audio.
#include <gtest/gtest.h>
#include <windows.h>
#include <mfapi.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "live_screen.h"
#include "recorder_adapter.h"
#include "recording_sink.h"
#include "speakers_monitor.h"
#include "support_tone.h"
#include "wine_differences.h"

namespace capture_live {
namespace {

using contract::DecibelsRelative;
using contract::StartTone;
using contract::StopTone;
using contract::ToneAmplitude;
using contract::TonesStoppedAtExit;
using contract::ToneTarget;
using contract::ToneUnavailableReason;

constexpr std::uint32_t kTop = 0x00C02020;     // red
constexpr std::uint32_t kBottom = 0x002040C0;  // blue
constexpr double kRate = 48000.0;
constexpr std::int64_t kTicksPerSecond = 10'000'000;
// Whole cycles per 10 ms at 48 kHz and at the endpoints' own rates.
constexpr double kSpeakerHz = 500.0;
constexpr double kSpeakerLevel = 0.5;
constexpr double kMicrophoneHz = 1200.0;
constexpr double kMicrophoneLevel = 0.25;

class ComApartment {
 public:
  ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  HRESULT Result() const { return hr_; }

 private:
  HRESULT hr_;
};

// MFStartup for one case, balanced on every path.
class MediaFoundation {
 public:
  MediaFoundation() : hr_(MFStartup(MF_VERSION, MFSTARTUP_FULL)) {}
  ~MediaFoundation() {
    if (SUCCEEDED(hr_)) MFShutdown();
  }
  HRESULT Result() const { return hr_; }

 private:
  HRESULT hr_;
};

// The case's own reference to the recording sink.
struct SinkHolder {
  RecordingSink* sink = RecordingSink::Create();
  SinkHolder() = default;
  SinkHolder(const SinkHolder&) = delete;
  SinkHolder& operator=(const SinkHolder&) = delete;
  ~SinkHolder() { sink->Release(); }
};

std::uint32_t At(const std::vector<std::uint32_t>& bottom_up, int width, int height, int x, int y) {
  return bottom_up[static_cast<std::size_t>(height - 1 - y) * width + x] & 0x00FFFFFF;
}

TEST(CaptureLive, FrameIsUprightWithTheCursorAtItsPosition) {
  TwoToneDesktop desktop(kTop, kBottom);
  ASSERT_TRUE(desktop.Shown());
  const int w = desktop.Width(), h = desktop.Height();
  const int cx = w / 3, cy = h / 4;
  CursorShape shape;
  ASSERT_TRUE(desktop.PlaceCursor(cx, cy, shape));

  const std::vector<std::uint32_t> frame = GrabScreenWithCursor(w, h);
  ASSERT_EQ(frame.size(), static_cast<std::size_t>(w) * h);
  // Upright: the top of the screen is the last row of the bottom-up frame.
  EXPECT_EQ(At(frame, w, h, w - 8, 8), kTop);
  EXPECT_EQ(At(frame, w, h, w - 8, h / 2 - 8), kTop);
  EXPECT_EQ(At(frame, w, h, w - 8, h / 2 + 8), kBottom);
  EXPECT_EQ(At(frame, w, h, 8, h - 8), kBottom);

  // The cursor is the only thing on the top half that is not the top colour;
  // its image starts at the position minus the hotspot.
  int left = w, top = h, right = -1, bottom = -1;
  for (int y = 0; y < h / 2; ++y) {
    for (int x = 0; x < w; ++x) {
      if (At(frame, w, h, x, y) == kTop) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  ASSERT_GE(right, 0) << "no cursor drawn";
  const int origin_x = cx - shape.hotspot_x, origin_y = cy - shape.hotspot_y;
  EXPECT_NEAR(left, origin_x, 3);
  EXPECT_NEAR(top, origin_y, 3);
  EXPECT_LT(right, origin_x + 64);
  EXPECT_LT(bottom, origin_y + 64);
}

// The first channel of the mixed track from `from` to `to` seconds.
std::vector<float> LeftChannel(const std::vector<std::int16_t>& stereo, double from, double to) {
  const auto first = static_cast<std::size_t>(from * kRate);
  const auto last = std::min(stereo.size() / 2, static_cast<std::size_t>(to * kRate));
  std::vector<float> out;
  for (std::size_t i = first; i < last; ++i) out.push_back(stereo[2 * i] / 32768.0f);
  return out;
}

// The tone's level as the median over 10 ms blocks, and how many blocks
// stray from `level` by more than 1 dB. The mixer fills a moment in which a
// source has no input with silence and plays that source's audio later, so a
// single long measurement would see a phase jump, not a level; the blocks
// around such a moment are the ones that stray.
struct BlockLevels {
  double median = 0.0;
  int straying = 0;
  int blocks = 0;
};
BlockLevels LevelsOver10msBlocks(const std::vector<float>& samples, double rate, double hz,
                                 double level) {
  BlockLevels result;
  std::vector<double> amplitudes;
  const std::size_t block = static_cast<std::size_t>(rate / 100);
  for (std::size_t at = 0; at + block <= samples.size(); at += block) {
    const std::vector<float> part(samples.begin() + static_cast<std::ptrdiff_t>(at),
                                  samples.begin() + static_cast<std::ptrdiff_t>(at + block));
    const double amplitude = ToneAmplitude(part, rate, hz);
    amplitudes.push_back(amplitude);
    if (std::fabs(DecibelsRelative(amplitude, level)) > 1.0) ++result.straying;
  }
  result.blocks = static_cast<int>(amplitudes.size());
  if (amplitudes.empty()) return result;
  std::nth_element(amplitudes.begin(), amplitudes.begin() + amplitudes.size() / 2,
                   amplitudes.end());
  result.median = amplitudes[amplitudes.size() / 2];
  return result;
}

double Rms(const std::vector<float>& samples) {
  double sum = 0.0;
  for (float v : samples) sum += static_cast<double>(v) * v;
  return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

TEST(CaptureLive, MixedAudioHoldsBothTonesFollowsTheClockAndFallsSilent) {
  ComApartment apartment;
  ASSERT_EQ(apartment.Result(), S_OK);
  MediaFoundation media;
  ASSERT_EQ(media.Result(), S_OK);
  SinkHolder holder;
  RecordingSink* sink = holder.sink;
  const TonesStoppedAtExit tones;
  {
    ComputerAudio audio(sink);
    std::string error;
    if (!audio.SetUp(error) && RunningUnderWine() && WineMajorVersion() < 10) {
      // Wine before 9.12 accepts a loopback stream but refuses its capture
      // service; the speakers' monitor source carries the same sound.
      ASSERT_NE(error.find("capture service"), std::string::npos) << error;
      std::printf("known Wine difference: %s; the speakers are heard through their monitor\n",
                  error.c_str());
      IMMDevice* monitor = FindSpeakersMonitor();
      ASSERT_NE(monitor, nullptr);
      error.clear();
      const bool ready = audio.SetUpWithSpeakersFrom(monitor, error);
      monitor->Release();
      ASSERT_TRUE(ready) << error;
    }
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_TRUE(audio.MicrophoneMixed()) << audio.MicrophoneError();
    EXPECT_EQ(sink->StreamCount(), 1u);
    EXPECT_EQ(sink->InputTypesSet(), 1u);

    ASSERT_TRUE(StartTone(ToneTarget::kSpeakers, kSpeakerHz, kSpeakerLevel))
        << ToneUnavailableReason();
    ASSERT_TRUE(StartTone(ToneTarget::kMicrophone, kMicrophoneHz, kMicrophoneLevel));
    ASSERT_TRUE(audio.StartMixing());
    Sleep(2000);
    StopTone(ToneTarget::kSpeakers);
    StopTone(ToneTarget::kMicrophone);
    const double stopped_at =
        static_cast<double>(ComputerAudio::Now() - audio.StartTime()) / kTicksPerSecond;
    Sleep(1000);
    const std::int64_t stopping = ComputerAudio::Now();
    audio.StopMixing();
    const std::int64_t stopped = ComputerAudio::Now();
    const auto since_start = [&](std::int64_t at) {
      return static_cast<double>(at - audio.StartTime()) / kTicksPerSecond;
    };
    const double elapsed = since_start(stopping);

    // One contiguous track: each block starts where the last one ended.
    std::vector<std::int16_t> track;
    LONGLONG expected_time = 0;
    for (const RecordingSink::Sample& s : sink->Samples()) {
      ASSERT_EQ(s.stream, 0u);
      ASSERT_EQ(s.bytes.size() % 4, 0u);
      EXPECT_NEAR(static_cast<double>(s.time), static_cast<double>(expected_time), 1.0);
      const auto frames = static_cast<std::int64_t>(s.bytes.size() / 4);
      EXPECT_NEAR(static_cast<double>(s.duration),
                  static_cast<double>(frames * kTicksPerSecond / 48000), 1.0);
      expected_time = s.time + s.duration;
      const std::size_t at = track.size();
      track.resize(at + s.bytes.size() / 2);
      std::memcpy(track.data() + at, s.bytes.data(), s.bytes.size());
    }
    const double seconds = static_cast<double>(track.size() / 2) / kRate;
    std::printf("mixed %.3f s of audio over %.3f s of clock; tones stopped at %.3f s\n", seconds,
                elapsed, stopped_at);
    // The track follows the clock: the last step mixes everything due at the
    // moment it runs, which lies between asking the mixer to stop and its
    // return (a frame of rounding either way).
    EXPECT_GE(seconds, elapsed - 0.001);
    EXPECT_LE(seconds, since_start(stopped) + 0.001);

    // Both tones, each at its level, while both played.
    const std::vector<float> both = LeftChannel(track, 0.8, 1.8);
    ASSERT_EQ(both.size(), 48000u);
    const BlockLevels speakers = LevelsOver10msBlocks(both, kRate, kSpeakerHz, kSpeakerLevel);
    const BlockLevels microphone =
        LevelsOver10msBlocks(both, kRate, kMicrophoneHz, kMicrophoneLevel);
    std::printf(
        "speakers tone %.4f (%d of %d blocks off by more than 1 dB), "
        "microphone tone %.4f (%d of %d)\n",
        speakers.median, speakers.straying, speakers.blocks, microphone.median, microphone.straying,
        microphone.blocks);
    EXPECT_NEAR(DecibelsRelative(speakers.median, kSpeakerLevel), 0.0, 1.0);
    EXPECT_NEAR(DecibelsRelative(microphone.median, kMicrophoneLevel), 0.0, 1.0);

    // After the player stops the mix goes silent and keeps coming: the last
    // 400 ms of the track, which start well after the stop reached both
    // captures and the mixer (a source the mixer fell behind on plays late).
    constexpr double kQuietTail = 0.4;
    ASSERT_GE(seconds - kQuietTail, stopped_at + 0.3);
    const std::vector<float> after = LeftChannel(track, seconds - kQuietTail, seconds);
    ASSERT_GE(after.size(), static_cast<std::size_t>(kQuietTail * kRate) - 1);
    EXPECT_LT(Rms(after), 0.002);
  }
}

// ---- Displays and regions ----------------------------------------------------

// A recording reads the screen by desktop duplication where the system
// offers it, and through the grabber the other cases use where it does not:
// Wine answers DuplicateOutput with E_NOTIMPL.
TEST(CaptureLive, ScreenIsReadByDuplicationWhereOfferedElseThroughGdi) {
  const ComApartment com;
  const MediaFoundation media;
  ASSERT_EQ(media.Result(), S_OK);
  EXPECT_EQ(PrimaryCapturePath(), RunningUnderWine() ? "gdi" : "duplication");
}

TEST(CaptureLive, DisplaysAreTheOnesTheSystemReports) {
  const std::vector<Display> displays = RecorderDisplays();
  for (const Display& d : displays) {
    std::printf("display %d \"%ls\": %d,%d %dx%d%s, %d dpi\n", d.id, d.name.c_str(), d.left, d.top,
                d.width, d.height, d.primary ? ", primary" : "", d.dpi);
  }
  ASSERT_EQ(static_cast<int>(displays.size()), GetSystemMetrics(SM_CMONITORS));
  int primaries = 0;
  for (std::size_t i = 0; i < displays.size(); ++i) {
    const Display& d = displays[i];
    if (i > 0) {
      EXPECT_GT(d.id, displays[i - 1].id) << "ids follow the enumeration";
    }
    EXPECT_FALSE(d.name.empty()) << d.id;
    EXPECT_GT(d.width, 0) << d.id;
    EXPECT_GT(d.height, 0) << d.id;
    EXPECT_GT(d.dpi, 0) << d.id;
    if (!d.primary) continue;
    ++primaries;
    EXPECT_EQ(d.left, 0);
    EXPECT_EQ(d.top, 0);
    EXPECT_EQ(d.width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(d.height, GetSystemMetrics(SM_CYSCREEN));
  }
  EXPECT_EQ(primaries, 1);
}

// The cursor's image in a region grab is judged against the whole screen's
// grab: wherever the two differ, the region was taken from the wrong place or
// the cursor was drawn at the wrong offset or clipped wrongly.
int NotPatternPixels(const std::vector<std::uint32_t>& frame) {
  int count = 0;
  for (std::uint32_t p : frame) count += (p & 0x00FFFFFF) != kTop && (p & 0x00FFFFFF) != kBottom;
  return count;
}

TEST(CaptureLive, RegionOfTheDisplayIsThatRectangleOfTheScreen) {
  TwoToneDesktop desktop(kTop, kBottom);
  ASSERT_TRUE(desktop.Shown());
  const int w = desktop.Width(), h = desktop.Height();
  const std::vector<Display> displays = RecorderDisplays();
  const auto primary =
      std::find_if(displays.begin(), displays.end(), [](const Display& d) { return d.primary; });
  ASSERT_NE(primary, displays.end());

  struct Case {
    const char* what;
    int left, top, width, height;  // the region asked for
    int cursor_dx, cursor_dy;      // the cursor, from the region's corner
    int expected_width, expected_height;
    bool cursor_shows;  // some of its image lies in the region
  } const cases[] = {
      // Odd sizes round down to even; the region spans the two halves, so a
      // vertical offset shows as well as a horizontal one.
      {"odd size across the middle, cursor inside", w / 4 + 1, h / 2 - 41, 301, 83, 40, 20, 300, 82,
       true},
      {"cursor over the region's top-left corner", w / 4 + 1, h / 2 - 41, 301, 83, -6, -6, 300, 82,
       true},
      {"clipped at the display's bottom-right, cursor away", w - 101, h - 51, 400, 400, -200, -200,
       100, 50, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CursorShape shape;
    ASSERT_TRUE(desktop.PlaceCursor(c.left + c.cursor_dx, c.top + c.cursor_dy, shape));
    const std::vector<std::uint32_t> screen = GrabScreenWithCursor(w, h);
    ASSERT_EQ(screen.size(), static_cast<std::size_t>(w) * h);
    const AreaGrab region = GrabDisplayRegion(primary->id, c.left, c.top, c.width, c.height);
    ASSERT_TRUE(region.resolved) << region.code << ": " << region.message;
    EXPECT_EQ(region.left, primary->left + c.left);
    EXPECT_EQ(region.top, primary->top + c.top);
    ASSERT_EQ(region.width, c.expected_width);
    ASSERT_EQ(region.height, c.expected_height);
    ASSERT_EQ(region.pixels.size(), static_cast<std::size_t>(region.width) * region.height);

    int differing = 0;
    std::vector<std::uint32_t> same_rectangle;
    for (int y = 0; y < region.height; ++y) {
      for (int x = 0; x < region.width; ++x) {
        const std::uint32_t inside = At(region.pixels, region.width, region.height, x, y);
        const std::uint32_t outside = At(screen, w, h, c.left + x, c.top + y);
        same_rectangle.push_back(outside);
        if (inside != outside && differing++ == 0) {
          ADD_FAILURE() << "first difference at " << x << "," << y << ": " << std::hex << inside
                        << " against " << outside;
        }
      }
    }
    EXPECT_EQ(differing, 0);
    const int cursor_pixels = NotPatternPixels(same_rectangle);
    std::printf("%s: region %d,%d %dx%d, %d cursor pixels in it\n", c.what, region.left, region.top,
                region.width, region.height, cursor_pixels);
    EXPECT_EQ(cursor_pixels > 0, c.cursor_shows);
  }

  // A region with nothing of it on the display is refused.
  const AreaGrab outside = GrabDisplayRegion(primary->id, w, h, 64, 64);
  EXPECT_FALSE(outside.resolved);
  EXPECT_EQ(outside.code, "bad_region");
}

// ---- Audio endpoints -----------------------------------------------------------

constexpr HRESULT kElementNotFound = static_cast<HRESULT>(0x80070490u);

TEST(CaptureLive, AudioEndpointsHaveOneDefaultAndAreFoundAgainById) {
  ComApartment apartment;
  ASSERT_EQ(apartment.Result(), S_OK);
  std::vector<Endpoint> microphones, speakers;
  ASSERT_EQ(RecorderAudioDevices(microphones, speakers), S_OK);
  struct Kind {
    const char* what;
    const std::vector<Endpoint>& list;
    bool capture;
  } const kinds[] = {{"microphone", microphones, true}, {"speakers", speakers, false}};
  std::vector<std::wstring> ids;
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.what);
    EXPECT_FALSE(kind.list.empty());
    int defaults = 0;
    for (const Endpoint& e : kind.list) {
      std::printf("%s \"%ls\" id \"%ls\"%s\n", kind.what, e.name.c_str(), e.id.c_str(),
                  e.is_default ? " (default)" : "");
      defaults += e.is_default ? 1 : 0;
      EXPECT_FALSE(e.id.empty());
      EXPECT_FALSE(e.name.empty());
      ids.push_back(e.id);
      std::wstring found;
      EXPECT_EQ(FindEndpointById(kind.capture, e.id, found), S_OK) << "listed but not found";
      EXPECT_EQ(found, e.id);
      // An id is one direction's only.
      EXPECT_EQ(FindEndpointById(!kind.capture, e.id, found), kElementNotFound);
    }
    if (!kind.list.empty()) {
      EXPECT_EQ(defaults, 1);
    }
  }
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "an id listed twice";
  std::wstring found;
  EXPECT_EQ(FindEndpointById(true, L"{0.0.1.00000000}.{no-such-endpoint}", found),
            kElementNotFound);
}

// Two microphones hearing two tones: the speakers' monitor (the speakers'
// tone) and the default microphone (the microphone's tone). Each one opened
// by its id must hear its own tone at its level and not the other.
TEST(CaptureLive, MicrophoneChosenByIdHearsThatEndpoint) {
  ComApartment apartment;
  ASSERT_EQ(apartment.Result(), S_OK);
  const TonesStoppedAtExit tones;
  const SpeakersMonitorEndpoint simulated_monitor(kSpeakerHz, kSpeakerLevel);
  std::vector<Endpoint> microphones, speakers;
  ASSERT_EQ(RecorderAudioDevices(microphones, speakers), S_OK);
  const Endpoint* monitor = nullptr;
  const Endpoint* default_microphone = nullptr;
  for (const Endpoint& e : microphones) {
    if (e.name == kSpeakersMonitorName) monitor = &e;
    if (e.is_default) default_microphone = &e;
  }
  ASSERT_NE(monitor, nullptr) << "no recording endpoint named "
                              << "Monitor of morl_speakers";
  ASSERT_NE(default_microphone, nullptr);
  ASSERT_FALSE(monitor->is_default) << "the case needs the monitor not to be the default";

  ASSERT_TRUE(StartTone(ToneTarget::kSpeakers, kSpeakerHz, kSpeakerLevel))
      << ToneUnavailableReason();
  ASSERT_TRUE(StartTone(ToneTarget::kMicrophone, kMicrophoneHz, kMicrophoneLevel));
  struct Case {
    const char* what;
    const Endpoint& endpoint;
    double hz, level;    // the tone it hears
    double other_hz;     // the tone it must not hear
    double other_level;  // that tone's level where it is heard
  } const cases[] = {
      {"the speakers' monitor", *monitor, kSpeakerHz, kSpeakerLevel, kMicrophoneHz,
       kMicrophoneLevel},
      {"the default microphone", *default_microphone, kMicrophoneHz, kMicrophoneLevel, kSpeakerHz,
       kSpeakerLevel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ChosenMicrophone microphone;
    std::string error;
    ASSERT_TRUE(microphone.Open(c.endpoint.id, error)) << error;
    for (int step = 0; step < 70; ++step) {
      Sleep(10);
      microphone.Drain();
    }
    const double rate = microphone.Rate();
    const std::vector<float> heard = microphone.LeftChannel();
    // The last 400 ms, well after the capture started.
    const auto tail = static_cast<std::size_t>(0.4 * rate);
    ASSERT_GE(heard.size(), tail) << "only " << heard.size() << " frames at " << rate << " Hz";
    const std::vector<float> last(heard.end() - static_cast<std::ptrdiff_t>(tail), heard.end());
    const BlockLevels own = LevelsOver10msBlocks(last, rate, c.hz, c.level);
    const BlockLevels other = LevelsOver10msBlocks(last, rate, c.other_hz, c.other_level);
    std::printf("%s at %.0f Hz: its tone %.4f, the other tone %.4f\n", c.what, rate, own.median,
                other.median);
    EXPECT_NEAR(DecibelsRelative(own.median, c.level), 0.0, 1.0);
    EXPECT_LT(DecibelsRelative(other.median, c.other_level), -30.0) << "hears the other endpoint";
  }
}

}  // namespace
}  // namespace capture_live
