#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cmath>
#include <vector>

#include "audio_test_support.h"

namespace {

using audio_test::AudioTest;
using audio_test::ComRef;
using audio_test::kMs;

ComRef<IAudioClient> Client(EDataFlow flow) {
  ComRef<IMMDeviceEnumerator> e;
  ComRef<IMMDevice> device;
  ComRef<IAudioClient> client;
  EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                             e.PutVoid()),
            S_OK);
  EXPECT_EQ(e->GetDefaultAudioEndpoint(flow, eConsole, device.Put()), S_OK);
  EXPECT_EQ(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, client.PutVoid()), S_OK);
  return client;
}

// An audio client opened the way a recorder opens it: shared mode at the
// mix format, 200 ms buffer, loopback on the render endpoint, started.
struct OpenCapture {
  explicit OpenCapture(EDataFlow flow) : client(Client(flow)) {
    WAVEFORMATEX* format = nullptr;
    EXPECT_EQ(client->GetMixFormat(&format), S_OK);
    EXPECT_EQ(client->Initialize(AUDCLNT_SHAREMODE_SHARED,
                                 flow == eRender ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0, 2'000'000, 0,
                                 format, nullptr),
              S_OK);
    CoTaskMemFree(format);
    EXPECT_EQ(client->GetService(IID_IAudioCaptureClient, capture.PutVoid()), S_OK);
    EXPECT_EQ(client->Start(), S_OK);
  }
  UINT32 NextPacket() {
    UINT32 frames = 99;
    EXPECT_EQ(capture->GetNextPacketSize(&frames), S_OK);
    return frames;
  }
  // Reads and releases one packet; returns its frame count.
  UINT32 Read(DWORD* flags = nullptr, UINT64* position = nullptr,
              std::vector<BYTE>* bytes = nullptr, UINT32 block = 0) {
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD f = 0;
    const HRESULT hr = capture->GetBuffer(&data, &frames, &f, position, nullptr);
    if (hr == AUDCLNT_S_BUFFER_EMPTY) return 0;
    EXPECT_EQ(hr, S_OK);
    if (flags != nullptr) *flags = f;
    if (bytes != nullptr) bytes->assign(data, data + static_cast<std::size_t>(frames) * block);
    EXPECT_EQ(capture->ReleaseBuffer(frames), S_OK);
    return frames;
  }
  ComRef<IAudioClient> client;
  ComRef<IAudioCaptureClient> capture;
};

using MixFormatTest = AudioTest;

TEST_F(MixFormatTest, FormatPerTag) {
  using winsim::SampleKind;
  struct Case {
    SampleKind kind;
    WORD other_tag, bits;
    DWORD rate;
    WORD channels;
    WORD tag, cb_size, block;
    DWORD mask;
    GUID sub;
  } cases[] = {
      {SampleKind::kFloat, 0, 32, 48000, 2, WAVE_FORMAT_IEEE_FLOAT, 0, 8, 0, {}},
      {SampleKind::kPcm, 0, 16, 44100, 1, WAVE_FORMAT_PCM, 0, 2, 0, {}},
      {SampleKind::kPcm, 0, 24, 48000, 2, WAVE_FORMAT_PCM, 0, 6, 0, {}},
      // 5.1 and 7.1 as the speaker control panel lays them out (side surrounds).
      {SampleKind::kExtensibleFloat, 0, 32, 48000, 6, WAVE_FORMAT_EXTENSIBLE, 22, 24, 0x60F,
       KSDATAFORMAT_SUBTYPE_IEEE_FLOAT},
      {SampleKind::kExtensibleFloat, 0, 32, 48000, 8, WAVE_FORMAT_EXTENSIBLE, 22, 32, 0x63F,
       KSDATAFORMAT_SUBTYPE_IEEE_FLOAT},
      {SampleKind::kExtensiblePcm, 0, 32, 96000, 2, WAVE_FORMAT_EXTENSIBLE, 22, 8, 0x3,
       KSDATAFORMAT_SUBTYPE_PCM},
      {SampleKind::kOtherTag, 0x55, 16, 48000, 2, 0x55, 0, 4, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "tag " << c.tag << " bits " << c.bits);
    winsim::AudioEndpoint speakers = *winsim::RenderEndpoint();
    speakers.format = {c.kind, c.other_tag, c.bits, c.rate, c.channels};
    winsim::SetRenderEndpoint(speakers);
    ComRef<IAudioClient> client = Client(eRender);
    WAVEFORMATEX* f = nullptr;
    ASSERT_EQ(client->GetMixFormat(&f), S_OK);
    EXPECT_EQ(f->wFormatTag, c.tag);
    EXPECT_EQ(f->nChannels, c.channels);
    EXPECT_EQ(f->nSamplesPerSec, c.rate);
    EXPECT_EQ(f->wBitsPerSample, c.bits);
    EXPECT_EQ(f->nBlockAlign, c.block);
    EXPECT_EQ(f->nAvgBytesPerSec, c.rate * c.block);
    EXPECT_EQ(f->cbSize, c.cb_size);
    if (c.tag == WAVE_FORMAT_EXTENSIBLE) {
      const auto* ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(f);
      EXPECT_EQ(ext->SubFormat, c.sub);
      EXPECT_EQ(ext->dwChannelMask, c.mask);
      EXPECT_EQ(ext->Samples.wValidBitsPerSample, c.bits);
    }
    CoTaskMemFree(f);
  }
}

using AudioClientTest = AudioTest;

TEST_F(AudioClientTest, InitializeIsRecordedAndRefusesWhatWindowsRefuses) {
  ComRef<IAudioClient> mic = Client(eCapture);
  WAVEFORMATEX* f = nullptr;
  ASSERT_EQ(mic->GetMixFormat(&f), S_OK);
  // Loopback exists only on render endpoints.
  EXPECT_EQ(mic->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK, 2'000'000, 0, f,
                            nullptr),
            AUDCLNT_E_WRONG_ENDPOINT_TYPE);
  WAVEFORMATEX other = *f;
  other.nSamplesPerSec = 44100;
  EXPECT_EQ(mic->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 2'000'000, 0, &other, nullptr),
            AUDCLNT_E_UNSUPPORTED_FORMAT);
  EXPECT_EQ(mic->Start(), AUDCLNT_E_NOT_INITIALIZED);
  EXPECT_EQ(mic->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 2'000'000, 0, f, nullptr), S_OK);
  EXPECT_EQ(mic->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 2'000'000, 0, f, nullptr),
            AUDCLNT_E_ALREADY_INITIALIZED);
  CoTaskMemFree(f);

  // A render endpoint opened without loopback has no capture service.
  ComRef<IAudioClient> speakers = Client(eRender);
  ASSERT_EQ(speakers->GetMixFormat(&f), S_OK);
  ASSERT_EQ(speakers->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 2'000'000, 0, f, nullptr), S_OK);
  CoTaskMemFree(f);
  ComRef<IAudioCaptureClient> capture;
  EXPECT_EQ(speakers->GetService(IID_IAudioCaptureClient, capture.PutVoid()),
            AUDCLNT_E_WRONG_ENDPOINT_TYPE);

  const auto inits = winsim::AudioClientInits();
  ASSERT_EQ(inits.size(), 5u);
  EXPECT_FALSE(inits[0].render_endpoint);
  EXPECT_EQ(inits[0].stream_flags, static_cast<DWORD>(AUDCLNT_STREAMFLAGS_LOOPBACK));
  EXPECT_EQ(inits[0].buffer_duration, 2'000'000);
  EXPECT_EQ(inits[0].format_tag, WAVE_FORMAT_EXTENSIBLE);
  EXPECT_EQ(inits[0].result, AUDCLNT_E_WRONG_ENDPOINT_TYPE);
  EXPECT_EQ(inits[2].result, S_OK);
  EXPECT_TRUE(inits[4].render_endpoint);
}

using CapturePacketTest = AudioTest;

TEST_F(CapturePacketTest, OnePacketOfRateOver100FramesEvery10Ms) {
  for (DWORD rate : {48000u, 44100u}) {
    SCOPED_TRACE(rate);
    winsim::AudioEndpoint mic = *winsim::CaptureEndpoint();
    mic.format.rate = rate;
    winsim::SetCaptureEndpoint(mic);
    OpenCapture c(eCapture);
    EXPECT_EQ(c.NextPacket(), 0u);
    EXPECT_EQ(c.Read(), 0u);  // AUDCLNT_S_BUFFER_EMPTY
    winsim::AdvanceClock(9 * kMs);
    EXPECT_EQ(c.NextPacket(), 0u);
    winsim::AdvanceClock(1 * kMs);
    EXPECT_EQ(c.NextPacket(), rate / 100);
    winsim::AdvanceClock(25 * kMs);  // 35 ms: three packets complete
    UINT64 position = 0;
    EXPECT_EQ(c.Read(nullptr, &position), rate / 100);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(c.Read(nullptr, &position), rate / 100);
    EXPECT_EQ(position, rate / 100);
    EXPECT_EQ(c.Read(), rate / 100);
    EXPECT_EQ(c.NextPacket(), 0u);
  }
}

TEST_F(CapturePacketTest, PacketsOlderThanTheBufferAreLostWithADiscontinuity) {
  OpenCapture c(eCapture);
  winsim::AdvanceClock(200 * kMs);  // exactly the buffer: nothing lost
  DWORD flags = 0;
  UINT64 position = 0;
  EXPECT_EQ(c.Read(&flags, &position), 480u);
  EXPECT_EQ(position, 0u);
  EXPECT_EQ(flags, 0u);
  int left = 0;
  while (c.Read() != 0) ++left;
  EXPECT_EQ(left, 19);

  winsim::AdvanceClock(300 * kMs);  // 30 packets made, the oldest 10 overwritten
  EXPECT_EQ(c.Read(&flags, &position), 480u);
  EXPECT_EQ(flags, static_cast<DWORD>(AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY));
  EXPECT_EQ(position, 30u * 480u);
  EXPECT_EQ(c.Read(&flags), 480u);
  EXPECT_EQ(flags, 0u);
  left = 0;
  while (c.Read() != 0) ++left;
  EXPECT_EQ(left, 18);
}

TEST_F(CapturePacketTest, LoopbackDeliversNothingWhileNothingPlays) {
  winsim::AudioSignal quiet = winsim::RenderEndpoint()->signal;
  quiet.playing = false;
  winsim::SetRenderSignal(quiet);
  OpenCapture c(eRender);
  winsim::AdvanceClock(100 * kMs);
  EXPECT_EQ(c.NextPacket(), 0u);
  EXPECT_EQ(c.Read(), 0u);
  quiet.playing = true;
  winsim::SetRenderSignal(quiet);
  winsim::AdvanceClock(10 * kMs);
  DWORD flags = 99;
  EXPECT_EQ(c.Read(&flags), 480u);
  EXPECT_EQ(flags, 0u);  // what was never played is not a gap
  EXPECT_EQ(c.Read(), 0u);
}

// A render stream of this process keeps the engine mixing the endpoint:
// while it is started, a quiet loopback delivers silent packets (those
// complete after its start), and nothing again once it stops or goes.
TEST_F(CapturePacketTest, RenderStreamKeepsAQuietLoopbackDelivering) {
  winsim::AudioSignal quiet = winsim::RenderEndpoint()->signal;
  quiet.playing = false;
  winsim::SetRenderSignal(quiet);
  OpenCapture c(eRender);
  ComRef<IAudioClient> player = Client(eRender);
  WAVEFORMATEX* format = nullptr;
  ASSERT_EQ(player->GetMixFormat(&format), S_OK);
  ASSERT_EQ(player->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 2'000'000, 0, format, nullptr), S_OK);
  CoTaskMemFree(format);
  winsim::AdvanceClock(30 * kMs);
  EXPECT_EQ(c.NextPacket(), 0u);
  ASSERT_EQ(player->Start(), S_OK);  // at 30 ms: the packet ending then was never mixed
  winsim::AdvanceClock(25 * kMs);
  for (int packet = 0; packet < 2; ++packet) {
    DWORD flags = 0;
    std::vector<BYTE> bytes;
    EXPECT_EQ(c.Read(&flags, nullptr, &bytes, 8), 480u) << packet;
    EXPECT_EQ(flags, static_cast<DWORD>(AUDCLNT_BUFFERFLAGS_SILENT)) << packet;
    EXPECT_EQ(bytes, std::vector<BYTE>(480 * 8, 0)) << packet;
  }
  EXPECT_EQ(c.Read(), 0u);
  ASSERT_EQ(player->Stop(), S_OK);
  winsim::AdvanceClock(20 * kMs);
  EXPECT_EQ(c.Read(), 0u);
  ASSERT_EQ(player->Start(), S_OK);
  winsim::AdvanceClock(20 * kMs);
  EXPECT_EQ(c.Read(), 480u);
  player = ComRef<IAudioClient>();  // released while started
  winsim::AdvanceClock(20 * kMs);
  EXPECT_EQ(c.Read(), 0u);
}

TEST_F(CapturePacketTest, SilentSignalMarksPacketsAndZeroesThem) {
  winsim::AudioSignal silent = winsim::CaptureEndpoint()->signal;
  silent.silent = true;
  winsim::SetCaptureSignal(silent);
  OpenCapture c(eCapture);
  winsim::AdvanceClock(10 * kMs);
  DWORD flags = 0;
  std::vector<BYTE> bytes;
  EXPECT_EQ(c.Read(&flags, nullptr, &bytes, 8), 480u);
  EXPECT_EQ(flags, static_cast<DWORD>(AUDCLNT_BUFFERFLAGS_SILENT));
  EXPECT_EQ(bytes, std::vector<BYTE>(480 * 8, 0));
}

TEST_F(CapturePacketTest, ToneSamplesInEachLayout) {
  // 1 kHz at 48 kHz peaks at frame 12 (a quarter period) and is 0 at frame 0.
  using winsim::SampleKind;
  struct Case {
    SampleKind kind;
    WORD bits, channels;
    double peak;  // the sample value at frame 12, as read
  } cases[] = {
      {SampleKind::kFloat, 32, 2, 0.5},
      {SampleKind::kExtensibleFloat, 32, 6, 0.5},
      {SampleKind::kPcm, 16, 2, 16384},  // 0.5 x 32767 rounded
      {SampleKind::kExtensiblePcm, 32, 1, 1073741824},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "bits " << c.bits << " channels " << c.channels);
    winsim::AudioEndpoint mic = *winsim::CaptureEndpoint();
    mic.format = {c.kind, 0, c.bits, 48000, c.channels};
    mic.signal.tone_hz = 1000;
    mic.signal.level = 0.5;
    winsim::SetCaptureEndpoint(mic);
    OpenCapture open(eCapture);
    winsim::AdvanceClock(10 * kMs);
    const UINT32 block = c.channels * c.bits / 8u;
    std::vector<BYTE> bytes;
    ASSERT_EQ(open.Read(nullptr, nullptr, &bytes, block), 480u);
    auto sample = [&](int frame, int channel) -> double {
      const BYTE* p = bytes.data() + frame * block + channel * (c.bits / 8);
      if (c.kind == SampleKind::kFloat || c.kind == SampleKind::kExtensibleFloat) {
        float f;
        std::memcpy(&f, p, 4);
        return f;
      }
      if (c.bits == 16) {
        std::int16_t s;
        std::memcpy(&s, p, 2);
        return s;
      }
      std::int32_t s;
      std::memcpy(&s, p, 4);
      return s;
    };
    for (int ch = 0; ch < c.channels; ++ch) {
      EXPECT_EQ(sample(0, ch), 0.0);
      EXPECT_NEAR(sample(12, ch), c.peak, 1e-6);
      EXPECT_NEAR(sample(36, ch), -c.peak, 1e-6);
    }
  }
}

TEST_F(CapturePacketTest, BufferProtocolAndStopReset) {
  OpenCapture c(eCapture);
  winsim::AdvanceClock(20 * kMs);
  BYTE* data = nullptr;
  UINT32 frames = 0;
  DWORD flags = 0;
  ASSERT_EQ(c.capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr), S_OK);
  EXPECT_EQ(c.capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr), AUDCLNT_E_OUT_OF_ORDER);
  EXPECT_EQ(c.capture->ReleaseBuffer(100), AUDCLNT_E_INVALID_SIZE);
  EXPECT_EQ(c.capture->ReleaseBuffer(0), S_OK);  // keeps the packet
  EXPECT_EQ(c.capture->ReleaseBuffer(0), AUDCLNT_E_OUT_OF_ORDER);
  UINT64 position = 99;
  EXPECT_EQ(c.Read(nullptr, &position), 480u);
  EXPECT_EQ(position, 0u);

  // Stopped streams make no packets; Reset drops what was made.
  EXPECT_EQ(c.client->Reset(), AUDCLNT_E_NOT_STOPPED);
  EXPECT_EQ(c.client->Stop(), S_OK);
  winsim::AdvanceClock(100 * kMs);
  EXPECT_EQ(c.NextPacket(), 480u);
  EXPECT_EQ(c.client->Reset(), S_OK);
  EXPECT_EQ(c.NextPacket(), 0u);
  EXPECT_EQ(c.client->Start(), S_OK);
  EXPECT_EQ(c.client->Start(), AUDCLNT_E_NOT_STOPPED);
  winsim::AdvanceClock(10 * kMs);
  EXPECT_EQ(c.Read(nullptr, &position), 480u);
  EXPECT_EQ(position, 2u * 480u);
}

}  // namespace
