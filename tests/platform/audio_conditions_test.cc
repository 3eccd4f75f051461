// Device conditions of the simulated audio endpoints (clock drift, jitter,
// stalls, pauses) and the beeping signal, seen through the calls a recorder
// makes: what is available when, and whether the positions GetBuffer and the
// source reader report tell the truth about when each frame was sampled.
#include <audioclient.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "audio_test_support.h"

namespace {

using audio_test::AudioTest;
using audio_test::ComRef;
using audio_test::kMs;

constexpr std::int64_t kStart = 5'000'000'000;  // the manual clock's start, as AudioTest sets it

// One packet as a capture client read it.
struct Packet {
  std::int64_t read_at;  // machine time of the GetBuffer call
  UINT64 device_position;
  UINT64 qpc_position;
  UINT32 frames;
  DWORD flags;
  std::vector<float> left;  // first channel
};

// A started capture stream on the endpoint of `flow`, opened as a recorder
// opens it (loopback on render).
struct Stream {
  explicit Stream(EDataFlow flow) {
    ComRef<IMMDeviceEnumerator> e;
    ComRef<IMMDevice> device;
    EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                               IID_IMMDeviceEnumerator, e.PutVoid()),
              S_OK);
    EXPECT_EQ(e->GetDefaultAudioEndpoint(flow, eConsole, device.Put()), S_OK);
    EXPECT_EQ(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, client.PutVoid()), S_OK);
    WAVEFORMATEX* format = nullptr;
    EXPECT_EQ(client->GetMixFormat(&format), S_OK);
    EXPECT_EQ(client->Initialize(AUDCLNT_SHAREMODE_SHARED,
                                 flow == eRender ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0, 2'000'000, 0,
                                 format, nullptr),
              S_OK);
    channels = format->nChannels;
    CoTaskMemFree(format);
    EXPECT_EQ(client->GetService(IID_IAudioCaptureClient, capture.PutVoid()), S_OK);
    EXPECT_EQ(client->Start(), S_OK);
  }
  ComRef<IAudioClient> client;
  ComRef<IAudioCaptureClient> capture;
  WORD channels = 0;
};

// Reads every packet of a new stream as soon as it is available, stepping
// the manual clock 1 ms at a time for `ms` milliseconds.
std::vector<Packet> ReadFor(EDataFlow flow, int ms) {
  Stream stream(flow);
  IAudioCaptureClient* capture = stream.capture.Get();
  const WORD channels = stream.channels;
  std::vector<Packet> packets;
  for (int t = 0; t <= ms; ++t) {
    for (;;) {
      BYTE* data = nullptr;
      Packet p{};
      p.read_at = kStart + t * kMs;
      const HRESULT hr =
          capture->GetBuffer(&data, &p.frames, &p.flags, &p.device_position, &p.qpc_position);
      if (hr != S_OK) break;
      p.left.resize(p.frames);
      for (UINT32 i = 0; i < p.frames; ++i) {
        std::memcpy(&p.left[i], data + (static_cast<std::size_t>(i) * channels) * 4, 4);
      }
      EXPECT_EQ(capture->ReleaseBuffer(p.frames), S_OK);
      packets.push_back(std::move(p));
    }
    winsim::AdvanceClock(kMs);
  }
  return packets;
}

// The machine time at which a device running `ppm` off samples `frame`.
double SampledAt(std::int64_t frame, double ppm, double rate = 48000) {
  return static_cast<double>(kStart) + frame * 1e7 / (rate * (1 + ppm * 1e-6));
}

using DeviceConditionsTest = AudioTest;

TEST_F(DeviceConditionsTest, EachConditionShapesDeliveryButPositionsStayTruthful) {
  struct Case {
    const char* name;
    EDataFlow flow;
    winsim::DeviceConditions conditions;
    int packets;      // read in 2 s
    int max_late_ms;  // latest a packet may be read after it is complete
    int min_late_ms;  // some packet must be at least this late
  } cases[] = {
      {"steady", eCapture, {}, 200, 0, 0},
      {"fast clock", eCapture, {1000, 0, 1, {}, {}}, 200, 0, 0},
      {"fast clock, 10%", eCapture, {100'000, 0, 1, {}, {}}, 220, 0, 0},
      {"slow clock, 10%", eRender, {-100'000, 0, 1, {}, {}}, 180, 0, 0},
      {"jitter 30 ms", eCapture, {0, 30, 7, {}, {}}, 197, 31, 25},
      {"stall 300 ms", eCapture, {0, 0, 1, {{500, 300}}, {}}, 200, 301, 290},
      {"stalls back to back", eRender, {0, 0, 1, {{500, 100}, {600, 100}}, {}}, 200, 201, 190},
      {"pause 300 ms", eRender, {0, 0, 1, {}, {{1000, 300}}}, 170, 0, 0},
      {"everything", eRender, {-1000, 30, 3, {{700, 300}}, {{1200, 200}}}, 179, 331, 290},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::ResetMachine();
    winsim::UseManualClock(kStart);
    winsim::AudioEndpoint endpoint =
        *(c.flow == eRender ? winsim::RenderEndpoint() : winsim::CaptureEndpoint());
    endpoint.conditions = c.conditions;
    (c.flow == eRender ? winsim::SetRenderEndpoint : winsim::SetCaptureEndpoint)(endpoint);
    const std::vector<Packet> packets = ReadFor(c.flow, 2000);
    EXPECT_NEAR(static_cast<int>(packets.size()), c.packets, 1);
    const double ppm = c.conditions.clock_ppm;
    int latest = 0;
    for (std::size_t i = 0; i < packets.size(); ++i) {
      const Packet& p = packets[i];
      SCOPED_TRACE(testing::Message() << "packet at device position " << p.device_position);
      EXPECT_EQ(p.frames, 480u);
      EXPECT_EQ(p.flags, 0u);  // nothing is lost, and a pause is no gap
      EXPECT_EQ(p.device_position % 480, 0u);
      if (i > 0) {
        EXPECT_GT(p.device_position, packets[i - 1].device_position);
      }
      EXPECT_NEAR(static_cast<double>(p.qpc_position), SampledAt(p.device_position, ppm), 1.0);
      const double complete = SampledAt(p.device_position + 480, ppm);
      EXPECT_GE(static_cast<double>(p.read_at) + 1, complete);  // never before it is sampled
      latest = std::max(latest, static_cast<int>((p.read_at - complete) / kMs));
    }
    EXPECT_LE(latest, c.max_late_ms);
    EXPECT_GE(latest, c.min_late_ms);
    // Packets are missing only where nothing played: the device position
    // jumps over a pause and nowhere else.
    std::size_t jumps = 0;
    for (std::size_t i = 1; i < packets.size(); ++i) {
      if (packets[i].device_position != packets[i - 1].device_position + 480) ++jumps;
    }
    EXPECT_EQ(jumps, c.conditions.pauses.size());
  }
}

TEST_F(DeviceConditionsTest, JitterRepeatsForASeedAndDiffersAcrossSeeds) {
  auto read_times = [](std::uint32_t seed) {
    winsim::ResetMachine();
    winsim::UseManualClock(kStart);
    winsim::AudioEndpoint mic = *winsim::CaptureEndpoint();
    mic.conditions.jitter_ms = 30;
    mic.conditions.jitter_seed = seed;
    winsim::SetCaptureEndpoint(mic);
    std::vector<std::int64_t> times;
    for (const Packet& p : ReadFor(eCapture, 500)) times.push_back(p.read_at);
    return times;
  };
  const auto first = read_times(11);
  EXPECT_EQ(read_times(11), first);
  EXPECT_NE(read_times(12), first);
}

TEST_F(DeviceConditionsTest, LongStallOverflowsNothingButAnUnreadBufferStillDoes) {
  // A device that holds 500 ms hands all of it over; a client that then
  // leaves the burst unread for longer than the buffer loses it with a gap.
  winsim::AudioEndpoint mic = *winsim::CaptureEndpoint();
  mic.conditions.stalls = {{100, 500}};
  winsim::SetCaptureEndpoint(mic);
  const std::vector<Packet> packets = ReadFor(eCapture, 700);
  ASSERT_EQ(packets.size(), 70u);
  EXPECT_EQ(std::count_if(packets.begin(), packets.end(),
                          [](const Packet& p) { return p.read_at == kStart + 600 * kMs; }),
            51);  // what the stall held, and the packet complete at its end

  winsim::ResetMachine();
  winsim::UseManualClock(kStart);
  winsim::SetCaptureEndpoint(mic);
  Stream stream(eCapture);
  winsim::AdvanceClock(800 * kMs);  // the burst came at 600 ms and is 200 ms old
  BYTE* data = nullptr;
  UINT32 frames = 0;
  DWORD flags = 0;
  UINT64 position = 0;
  ASSERT_EQ(stream.capture->GetBuffer(&data, &frames, &flags, &position, nullptr), S_OK);
  EXPECT_EQ(flags, static_cast<DWORD>(AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY));
  EXPECT_EQ(position, 60u * 480u);  // the first packet after the stall
  EXPECT_EQ(stream.capture->ReleaseBuffer(frames), S_OK);
}

TEST_F(DeviceConditionsTest, BeepsStartOnTheFrameSampledAtEachMultipleOfThePeriod) {
  struct Case {
    EDataFlow flow;
    double ppm;
    double jitter_ms;
  } cases[] = {{eCapture, 0, 0}, {eRender, 1000, 0}, {eCapture, -1000, 20}, {eRender, 50'000, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "ppm " << c.ppm << " jitter " << c.jitter_ms);
    winsim::ResetMachine();
    // Start off the beep grid, so the first onset is not the first frame.
    winsim::UseManualClock(kStart);
    winsim::AudioEndpoint endpoint =
        *(c.flow == eRender ? winsim::RenderEndpoint() : winsim::CaptureEndpoint());
    endpoint.conditions.clock_ppm = c.ppm;
    endpoint.conditions.jitter_ms = c.jitter_ms;
    endpoint.signal.tone_hz = 1000;
    endpoint.signal.level = 0.5;
    endpoint.signal.beep_ms = 20;
    endpoint.signal.beep_period_ms = 130;
    (c.flow == eRender ? winsim::SetRenderEndpoint : winsim::SetCaptureEndpoint)(endpoint);
    std::vector<float> left;
    for (const Packet& p : ReadFor(c.flow, 1000))
      left.insert(left.end(), p.left.begin(), p.left.end());
    // Frames of a beep are the tone (zero only where the sine is), frames
    // outside it exactly zero: find the first and last frame of each beep.
    std::vector<std::pair<std::int64_t, std::int64_t>> beeps;
    for (std::int64_t f = 0; f < static_cast<std::int64_t>(left.size()); ++f) {
      if (left[f] == 0.0f) continue;
      if (beeps.empty() || f - beeps.back().second > 24) beeps.push_back({f, f});
      beeps.back().second = f;
    }
    ASSERT_GE(beeps.size(), 6u);
    for (const auto& [first, last] : beeps) {
      const double at = SampledAt(first, c.ppm);
      const double grid = std::round(at / (130 * kMs)) * 130 * kMs;
      // The onset is the first frame sampled at or after the multiple (the
      // frame before may be a zero of the sine).
      EXPECT_GE(at, grid);
      EXPECT_LT(at, grid + 2 * 1e7 / 48000 + 1);
      EXPECT_NEAR(SampledAt(last + 1, c.ppm) - at, 20 * kMs, 2 * 1e7 / 48000 + 1);
    }
  }
}

// The microphone through Media Foundation gets the capture endpoint's
// conditions: reads wait for what the device delivers, and each sample's
// time is when its first frame was sampled.
TEST_F(DeviceConditionsTest, MicrophoneSampleTimesFollowTheDeviceClockThroughStalls) {
  struct Case {
    double ppm;
    std::vector<winsim::StreamSpan> stalls;
  } cases[] = {{0, {}}, {1000, {}}, {-100'000, {}}, {0, {{200, 300}}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "ppm " << c.ppm << " stalls " << c.stalls.size());
    winsim::ResetMachine();
    winsim::UseManualClock(kStart);
    winsim::AudioEndpoint mic = *winsim::CaptureEndpoint();
    mic.conditions.clock_ppm = c.ppm;
    mic.conditions.stalls = c.stalls;
    winsim::SetCaptureEndpoint(mic);
    const winsim::MicrophoneSource settings = winsim::GetMicrophoneSource();
    ComRef<IMFAttributes> attributes;
    ASSERT_EQ(MFCreateAttributes(attributes.Put(), 1), S_OK);
    attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                        MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
    ComRef<IMFMediaSource> source;
    ASSERT_EQ(MFCreateDeviceSource(attributes.Get(), source.Put()), S_OK);
    ComRef<IMFSourceReader> reader;
    ASSERT_EQ(MFCreateSourceReaderFromMediaSource(source.Get(), nullptr, reader.Put()), S_OK);
    const double rate = settings.rate * (1 + c.ppm * 1e-6);
    std::int64_t frames_before = 0;
    for (int k = 0; k < 60; ++k) {
      DWORD index = 0, flags = 0;
      LONGLONG time = 0;
      ComRef<IMFSample> sample;
      ASSERT_EQ(reader->ReadSample(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, &index, &flags, &time,
                                   sample.Put()),
                S_OK);
      ASSERT_NE(sample.Get(), nullptr);
      EXPECT_NEAR(static_cast<double>(time - settings.first_timestamp), frames_before * 1e7 / rate,
                  1.0);
      const std::int64_t frames = settings.rate / 100;
      frames_before += frames;
      const double complete = kStart + frames_before * 1e7 / rate;
      LARGE_INTEGER now{};
      QueryPerformanceCounter(&now);
      // The read returns once the buffer is complete, or at a stall's end.
      const bool in_stall =
          !c.stalls.empty() && complete >= kStart + 200 * kMs && complete < kStart + 500 * kMs;
      EXPECT_NEAR(static_cast<double>(now.QuadPart), in_stall ? kStart + 500 * kMs : complete, 1.0);
    }
  }
}

}  // namespace
