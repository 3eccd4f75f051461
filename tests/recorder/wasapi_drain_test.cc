// Draining endpoint packets into the stereo float queue: every sample
// layout, silent packets, failing calls and the two-second bound.
#include <gtest/gtest.h>

#include <audioclient.h>

#include <cstring>
#include <deque>
#include <vector>

#include "recorder/now_100ns.h"
#include "recorder/recording_clock.h"
#include "recorder/audio/stereo_downmix.h"
#include "recorder/audio/mix_source.h"
#include "winsim.h"
#include "tests/support/machine_test.h"

using namespace morl::recorder;

namespace {

// Hands out scripted packets, one per GetBuffer.
class ScriptedCaptureClient : public winsim::ComObject<IAudioCaptureClient> {
 public:
  ScriptedCaptureClient() : ComObject("IAudioCaptureClient") {}
  struct Packet {
    std::vector<BYTE> bytes;
    UINT32 frames;
    DWORD flags;
  };
  std::deque<Packet> packets;
  HRESULT next_size_failure = S_OK;
  UINT32 released = 0;
  UINT32 rate = 48000;

  // Packets follow each other in the device's stream, sampled at `rate`.
  HRESULT GetBuffer(BYTE** data, UINT32* frames, DWORD* flags, UINT64* device_position,
                    UINT64* qpc_position) override {
    if (packets.empty()) return E_FAIL;
    Packet& p = packets.front();
    *data = p.bytes.empty() ? nullptr : p.bytes.data();
    *frames = p.frames;
    *flags = p.flags;
    if (device_position != nullptr) *device_position = released;
    if (qpc_position != nullptr) *qpc_position = UINT64{released} * 10'000'000 / rate;
    return S_OK;
  }
  HRESULT ReleaseBuffer(UINT32 frames) override {
    released += frames;
    packets.pop_front();
    return S_OK;
  }
  HRESULT GetNextPacketSize(UINT32* frames) override {
    if (FAILED(next_size_failure)) return next_size_failure;
    *frames = packets.empty() ? 0 : packets.front().frames;
    return S_OK;
  }
};

template <typename T>
ScriptedCaptureClient::Packet PacketOf(std::vector<T> values, UINT32 channels, DWORD flags = 0) {
  ScriptedCaptureClient::Packet p;
  p.bytes.resize(values.size() * sizeof(T));
  std::memcpy(p.bytes.data(), values.data(), p.bytes.size());
  p.frames = static_cast<UINT32>(values.size() / channels);
  p.flags = flags;
  return p;
}

struct DrainFixture : machine_test::MachineTest {
  ScriptedCaptureClient* client = new ScriptedCaptureClient;
  MixSource capture;

  // A client of `channels` laid out as Windows lays out their count.
  void Open(UINT32 rate, UINT32 channels, UINT32 bytes, bool is_float) {
    client->AddRef();
    client->rate = rate;
    CaptureFormat format;
    format.sample_rate = rate;
    format.channels = channels;
    WAVEFORMATEXTENSIBLE mix{};
    mix.Format.nChannels = static_cast<WORD>(channels);
    format.downmix = StereoDownmix(channels, channels == 6 ? 0x60F : SpeakerMaskOf(mix.Format));
    format.bytes_per_sample = bytes;
    format.is_float = is_float;
    capture.endpoint.Attach(morl::ComRef<IAudioClient>(), morl::ComRef<IAudioCaptureClient>(client),
                            std::move(format));
  }
  std::vector<float> Queue() const { return {capture.samples.begin(), capture.samples.end()}; }
  void TearDown() override {
    client->Release();
    capture.Reset();
  }
};

TEST_F(DrainFixture, ConvertsEachSampleLayoutToStereoFloat) {
  Open(48000, 2, 2, false);
  client->packets.push_back(PacketOf<std::int16_t>({-32768, 16384, 32767, 0}, 2));
  capture.Drain();
  EXPECT_EQ(Queue(), (std::vector<float>{-1.0f, 0.5f, 32767 / 32768.0f, 0.0f}));
  EXPECT_EQ(client->released, 2u);

  capture.samples.clear();
  Open(48000, 2, 4, false);
  client->packets.push_back(PacketOf<std::int32_t>({INT32_MIN, 1 << 30}, 2));
  capture.Drain();
  EXPECT_EQ(Queue(), (std::vector<float>{-1.0f, 0.5f}));

  capture.samples.clear();
  Open(48000, 2, 4, true);
  client->packets.push_back(PacketOf<float>({0.25f, -0.75f, 1.5f, -2.0f}, 2));
  capture.Drain();
  EXPECT_EQ(Queue(), (std::vector<float>{0.25f, -0.75f, 1.5f, -2.0f}));  // float passes as is

  // 8-bit samples are unsigned around 128.
  capture.samples.clear();
  Open(48000, 2, 1, false);
  client->packets.push_back(PacketOf<std::uint8_t>({0, 192, 128, 255}, 2));
  capture.Drain();
  EXPECT_EQ(Queue(), (std::vector<float>{-1.0f, 0.5f, 0.0f, 127 / 128.0f}));

  // 24-bit samples are three bytes each, low byte first.
  capture.samples.clear();
  Open(48000, 2, 3, false);
  ScriptedCaptureClient::Packet packed = PacketOf<std::uint8_t>(
      {0x00, 0x00, 0x80, 0x00, 0x00, 0x40, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0xE0}, 2);
  packed.frames = 2;
  client->packets.push_back(packed);
  capture.Drain();
  EXPECT_EQ(Queue(), (std::vector<float>{-1.0f, 0.5f, 8388607 / 8388608.0f, -0.25f}));
}

TEST_F(DrainFixture, ChannelsFoldIntoStereoByTheirSpeakers) {
  Open(48000, 1, 4, true);
  client->packets.push_back(PacketOf<float>({0.1f, 0.2f}, 1));
  capture.Drain();
  EXPECT_EQ(Queue(), (std::vector<float>{0.1f, 0.1f, 0.2f, 0.2f}));

  // 5.1 (front left, right, centre, low frequency, side left, side right):
  // centre and sides at -3 dB, the low-frequency channel left out, all
  // scaled so that full scale everywhere cannot clip.
  capture.samples.clear();
  Open(48000, 6, 4, true);
  client->packets.push_back(PacketOf<float>({0.5f, -0.5f, 0, 0, 0, 0,  //
                                             0, 0, 0.5f, 0, 0, 0,      //
                                             0, 0, 0, 1.0f, 0, 0,      //
                                             0, 0, 0, 0, 0.5f, 0,      //
                                             1, 1, 1, 1, 1, 1},
                                            6));
  capture.Drain();
  const float w = 0.70710678f;
  const float scale = 1.0f / (1.0f + 2.0f * w);
  const std::vector<float> expected = {0.5f * scale,     -0.5f * scale,    0.5f * w * scale,
                                       0.5f * w * scale, 0.0f,             0.0f,
                                       0.5f * w * scale, 0.0f,             1.0f,
                                       1.0f};
  const std::vector<float> queue = Queue();
  ASSERT_EQ(queue.size(), expected.size());
  for (std::size_t i = 0; i < queue.size(); ++i) EXPECT_NEAR(queue[i], expected[i], 1e-6) << i;
}

TEST_F(DrainFixture, SilentOrEmptyPacketsGiveZerosForEveryFrame) {
  Open(48000, 2, 4, true);
  client->packets.push_back(
      PacketOf<float>({0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}, 2, AUDCLNT_BUFFERFLAGS_SILENT));
  ScriptedCaptureClient::Packet no_data;
  no_data.frames = 2;
  no_data.flags = 0;
  client->packets.push_back(no_data);
  capture.Drain();
  EXPECT_EQ(Queue(), std::vector<float>(10, 0.0f));
}

TEST_F(DrainFixture, InactiveOrFailingClientLeavesQueueAlone) {
  Open(48000, 2, 4, true);
  client->packets.push_back(PacketOf<float>({0.5f, 0.5f}, 2));
  capture.endpoint.Reset();
  capture.Drain();
  EXPECT_TRUE(capture.samples.empty());

  Open(48000, 2, 4, true);
  client->next_size_failure = AUDCLNT_E_DEVICE_INVALIDATED;
  capture.Drain();
  EXPECT_TRUE(capture.samples.empty());
  EXPECT_EQ(client->released, 0u);
  // A failing client is given up: the capture is lost until reopened.
  EXPECT_FALSE(capture.endpoint.active());
  EXPECT_FALSE(capture.endpoint.holds_client());
  EXPECT_EQ(capture.endpoint.lost_hr(), AUDCLNT_E_DEVICE_INVALIDATED);
}

TEST_F(DrainFixture, QueueKeepsTwoSecondsAndShiftsThePosition) {
  Open(100, 2, 4, true);  // bound: 100 * 4 = 400 floats
  capture.samples.assign(396, 0.0f);
  capture.resampler = StereoResampler(1.0, 150.5);
  client->packets.push_back(PacketOf<float>(std::vector<float>(10, 1.0f), 2));  // 406 floats
  capture.Drain();
  EXPECT_EQ(capture.samples.size(), 400u);  // 6 oldest floats (3 frames) dropped
  EXPECT_DOUBLE_EQ(capture.resampler.position(), 147.5);
  EXPECT_EQ(capture.samples.back(), 1.0f);

  capture.resampler = StereoResampler(1.0, 1.0);
  client->packets.push_back(PacketOf<float>(std::vector<float>(20, 1.0f), 2));
  capture.Drain();
  EXPECT_EQ(capture.samples.size(), 400u);
  EXPECT_DOUBLE_EQ(capture.resampler.position(), 0.0);  // never below the front
}

std::int64_t pause_clock_now = 0;
std::int64_t PauseClockNow() { return pause_clock_now; }

// 1 kHz mono in 10-frame (10 ms) packets; the recording paused from 25 ms to
// 60 ms. What was captured in the pause is dropped, and the audio after the
// resume is queued right after the audio before it, placed on recorded time,
// without silence between them.
TEST_F(DrainFixture, AudioCapturedWhilePausedIsDroppedAndTheRestJoinsUp) {
  Open(1000, 1, 2, false);
  RecordingClock clock(PauseClockNow);
  pause_clock_now = 0;
  clock.Start();
  pause_clock_now = 250'000;
  clock.Pause();
  pause_clock_now = 600'000;
  clock.Resume();
  // Frame i holds 100 + i while recorded, full scale while paused.
  for (int packet = 0; packet < 7; ++packet) {
    std::vector<std::int16_t> values;
    for (int i = packet * 10; i < packet * 10 + 10; ++i) {
      values.push_back(static_cast<std::int16_t>(i >= 25 && i < 60 ? 32767 : 100 + i));
    }
    client->packets.push_back(PacketOf<std::int16_t>(values, 1));
  }
  LevelMeter meter;
  capture.Drain(&clock, &meter);

  std::vector<float> want;
  for (int i = 0; i < 70; ++i) {
    if (i >= 25 && i < 60) continue;
    want.push_back(static_cast<float>(100 + i) / 32768.0f);
    want.push_back(static_cast<float>(100 + i) / 32768.0f);
  }
  EXPECT_EQ(Queue(), want);
  EXPECT_EQ(client->released, 70u);
  // The last packet (device frames 60..69, captured at 60 ms) is labelled
  // with the paused 35 frames and 35 ms cut out: it follows frame 24 at once.
  EXPECT_EQ(capture.placement.anchor_device(), 25);
  EXPECT_EQ(capture.placement.anchor_qpc(), 250'000);
  EXPECT_EQ(capture.placement.queue_device(), 0);
  EXPECT_NEAR(meter.Level(Now100ns()), 169 / 32768.0, 1e-6);  // the paused peaks never count

  // Placed on the output: the frame after the pause plays 25 ms in.
  EXPECT_DOUBLE_EQ(capture.placement.OutputFrameOf(25, 0, capture.resampler.base_step()), 25 * 48.0);
}

}  // namespace
