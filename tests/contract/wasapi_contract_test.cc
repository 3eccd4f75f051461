// Shared-mode streams of the default endpoints as the recorder drives them:
// initialisation rules, the stream state machine, the capture service's
// buffer hand-over, the render service's, and what loopback and the
// microphone deliver over a second of a known tone.
#include <gtest/gtest.h>
#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <functiondiscoverykeys_devpkey.h>
#include <propidl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support_audio.h"
#include "support_tone.h"
#include "wine_differences.h"

namespace contract {
namespace {

constexpr REFERENCE_TIME kBuffer200ms = 2'000'000;
// Whole cycles per 10 ms, so the tone measurement leaks nothing.
constexpr double kSpeakerHz = 500.0;
constexpr double kSpeakerLevel = 0.5;
constexpr double kMicrophoneHz = 1200.0;
constexpr double kMicrophoneLevel = 0.25;

class Wasapi : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_IF_KNOWN_WINE_DIFFERENCE();
    ASSERT_EQ(apartment_.Result(), S_OK);
  }
  MtaScope apartment_;
  TonesStoppedAtExit tones_;
};

// A started microphone stream hearing the microphone's tone: the capture
// service's rules, which loopback shares.
class WasapiMicrophone : public Wasapi {
 protected:
  void SetUp() override {
    Wasapi::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(StartTone(ToneTarget::kMicrophone, kMicrophoneHz, kMicrophoneLevel))
        << ToneUnavailableReason();
    ASSERT_EQ(stream_.Open(eCapture), S_OK);
    ASSERT_EQ(stream_.Initialize(0, kBuffer200ms), S_OK);
    ASSERT_EQ(stream_.StartCapture(), S_OK);
  }
  void TearDown() override {
    if (stream_.Client() != nullptr) stream_.Client()->Stop();
  }
  // Waits up to a second for a packet.
  UINT32 AwaitPacket() {
    UINT32 frames = 0;
    for (int i = 0; i < 100 && frames == 0; ++i) {
      if (FAILED(stream_.Capture()->GetNextPacketSize(&frames))) return 0;
      if (frames == 0) Sleep(10);
    }
    return frames;
  }
  EndpointStream stream_;
};

// The samples from the first audible one on: the stream may open on a few
// milliseconds of silence before the tone reaches it.
std::vector<float> FromFirstSound(const std::vector<float>& samples) {
  std::size_t i = 0;
  while (i < samples.size() && samples[i] == 0.0f) ++i;
  return std::vector<float>(samples.begin() + static_cast<std::ptrdiff_t>(i), samples.end());
}

std::string Describe(const PacketRecord& r) {
  char text[320];
  std::snprintf(
      text, sizeof text,
      "%llu frames (%llu at the first read) in %.3f s, %d packets (largest %u frames), "
      "%d silent, %d discontinuities, %d position gaps, %d size mismatches, longest wait %.0f ms",
      static_cast<unsigned long long>(r.frames),
      static_cast<unsigned long long>(r.first_read_frames), r.seconds, r.packets, r.largest_packet,
      r.silent_packets, r.discontinuities, r.position_gaps, r.size_mismatches, r.longest_wait_ms);
  return text;
}

std::string Profile(const std::vector<double>& amplitudes) {
  std::string profile;
  for (double amplitude : amplitudes) {
    char text[16];
    std::snprintf(text, sizeof text, "%s%.3f", profile.empty() ? "" : " ", amplitude);
    profile += text;
  }
  return profile;
}

// The stream's clock delivers the mix rate: the frames read after the first
// read match the time from it to the final read. The first read drains what
// waited since the stream started; each end may then be a packet off (one
// partly captured, one not yet handed over), plus a few milliseconds of
// polling, plus what the device or sound server behind the endpoint still
// holds when the last read is made: it hands its audio over in blocks of its
// own (a USB microphone's, a sound server's fragments), which the stream's
// packets do not show. 30 ms covers that and still tells a stream running at
// another rate than the one it reports (44.1 against 48 kHz is 8 % off).
void ExpectFramesFollowTheClock(const PacketRecord& r, DWORD rate) {
  const double after_first = static_cast<double>(r.frames - r.first_read_frames);
  const double allowance = 2.0 * r.largest_packet + rate * (0.005 + 0.030);
  EXPECT_GE(r.seconds, 0.9) << Describe(r);
  EXPECT_NEAR(after_first, rate * r.seconds, allowance) << Describe(r);
}

TEST_F(Wasapi, CallsBeforeInitializeAreRefused) {
  EndpointStream stream;
  ASSERT_EQ(stream.Open(eRender), S_OK);
  IAudioClient* client = stream.Client();
  UINT32 frames = 0;
  ComRef<IAudioCaptureClient> capture;
  EXPECT_EQ(client->GetBufferSize(&frames), AUDCLNT_E_NOT_INITIALIZED);
  EXPECT_EQ(client->Start(), AUDCLNT_E_NOT_INITIALIZED);
  EXPECT_EQ(client->Stop(), AUDCLNT_E_NOT_INITIALIZED);
  EXPECT_EQ(client->Reset(), AUDCLNT_E_NOT_INITIALIZED);
  EXPECT_EQ(client->GetService(IID_IAudioCaptureClient, capture.PutVoid()),
            AUDCLNT_E_NOT_INITIALIZED);
}

// The endpoint buffer is at least the duration asked for, for loopback of
// the speakers and for the microphone.
TEST_F(Wasapi, BufferHoldsTheRequestedDuration) {
  for (EDataFlow flow : {eRender, eCapture}) {
    EndpointStream stream;
    ASSERT_EQ(stream.Open(flow), S_OK);
    const DWORD flags = flow == eRender ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0;
    ASSERT_EQ(stream.Initialize(flags, kBuffer200ms), S_OK) << "flow " << flow;
    UINT32 frames = 0;
    ASSERT_EQ(stream.Client()->GetBufferSize(&frames), S_OK);
    EXPECT_GE(frames, stream.Mix()->nSamplesPerSec / 5) << "flow " << flow;
    EXPECT_LE(frames, stream.Mix()->nSamplesPerSec * 2) << "flow " << flow;
  }
}

TEST_F(Wasapi, SecondInitializeIsRefused) {
  EndpointStream stream;
  ASSERT_EQ(stream.Open(eCapture), S_OK);
  ASSERT_EQ(stream.Initialize(0, kBuffer200ms), S_OK);
  EXPECT_EQ(stream.Initialize(0, kBuffer200ms), AUDCLNT_E_ALREADY_INITIALIZED);
}

TEST_F(Wasapi, LoopbackOfARecordingDeviceIsRefused) {
  EndpointStream stream;
  ASSERT_EQ(stream.Open(eCapture), S_OK);
  EXPECT_EQ(stream.Initialize(AUDCLNT_STREAMFLAGS_LOOPBACK, kBuffer200ms),
            AUDCLNT_E_WRONG_ENDPOINT_TYPE);
}

// A playback stream without loopback has nothing to capture.
TEST_F(Wasapi, PlaybackStreamHasNoCaptureService) {
  EndpointStream stream;
  ASSERT_EQ(stream.Open(eRender), S_OK);
  ASSERT_EQ(stream.Initialize(0, kBuffer200ms), S_OK);
  ComRef<IAudioCaptureClient> capture;
  EXPECT_EQ(stream.Client()->GetService(IID_IAudioCaptureClient, capture.PutVoid()),
            AUDCLNT_E_WRONG_ENDPOINT_TYPE);
  EXPECT_EQ(capture.Get(), nullptr);
}

// A playback stream's render service lends free buffer space one packet at
// a time, and the device plays what was written at its clock while the
// stream runs: the padding falls while started and stays while stopped.
TEST_F(Wasapi, RenderServiceLendsFreeSpaceAndPlaysWhileStarted) {
  EndpointStream stream;
  ASSERT_EQ(stream.Open(eRender), S_OK);
  ASSERT_EQ(stream.Initialize(0, kBuffer200ms), S_OK);
  IAudioClient* client = stream.Client();
  ComRef<IAudioRenderClient> render;
  ASSERT_EQ(client->GetService(IID_IAudioRenderClient, render.PutVoid()), S_OK);
  UINT32 size = 0;
  ASSERT_EQ(client->GetBufferSize(&size), S_OK);
  BYTE* data = nullptr;
  EXPECT_EQ(render->GetBuffer(size + 1, &data), AUDCLNT_E_BUFFER_TOO_LARGE);
  ASSERT_EQ(render->GetBuffer(size, &data), S_OK);
  EXPECT_NE(data, nullptr);
  EXPECT_EQ(render->GetBuffer(1, &data), AUDCLNT_E_OUT_OF_ORDER);
  EXPECT_EQ(render->ReleaseBuffer(size + 1, 0), AUDCLNT_E_INVALID_SIZE);
  ASSERT_EQ(render->ReleaseBuffer(size, AUDCLNT_BUFFERFLAGS_SILENT), S_OK);
  EXPECT_EQ(render->ReleaseBuffer(1, 0), AUDCLNT_E_OUT_OF_ORDER);

  UINT32 padding = 0;
  ASSERT_EQ(client->GetCurrentPadding(&padding), S_OK);
  EXPECT_EQ(padding, size);  // never started: nothing played
  EXPECT_EQ(render->GetBuffer(1, &data), AUDCLNT_E_BUFFER_TOO_LARGE);
  ASSERT_EQ(client->Start(), S_OK);
  Sleep(100);
  ASSERT_EQ(client->GetCurrentPadding(&padding), S_OK);
  EXPECT_LT(padding, size);
  ASSERT_EQ(client->Stop(), S_OK);
  UINT32 stopped = 0;
  ASSERT_EQ(client->GetCurrentPadding(&stopped), S_OK);
  Sleep(50);
  ASSERT_EQ(client->GetCurrentPadding(&padding), S_OK);
  EXPECT_EQ(padding, stopped);
  // The space played is lent again.
  ASSERT_EQ(render->GetBuffer(size - padding, &data), S_OK);
  EXPECT_EQ(render->ReleaseBuffer(0, 0), S_OK);
}

// Shared mode runs at the engine's rate: a rate no engine mixes at is
// refused rather than silently converted (no AUTOCONVERTPCM flag given).
TEST_F(Wasapi, SharedModeRefusesARateOtherThanTheMix) {
  EndpointStream stream;
  ASSERT_EQ(stream.Open(eCapture), S_OK);
  std::vector<BYTE> copy(sizeof(WAVEFORMATEX) + stream.Mix()->cbSize);
  std::memcpy(copy.data(), stream.Mix(), copy.size());
  auto* odd = reinterpret_cast<WAVEFORMATEX*>(copy.data());
  odd->nSamplesPerSec = 12345;
  odd->nAvgBytesPerSec = odd->nSamplesPerSec * odd->nBlockAlign;
  EXPECT_EQ(stream.Client()->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, kBuffer200ms, 0, odd, nullptr),
            AUDCLNT_E_UNSUPPORTED_FORMAT);
}

TEST_F(Wasapi, StreamStateMachine) {
  EndpointStream stream;
  ASSERT_EQ(stream.Open(eCapture), S_OK);
  ASSERT_EQ(stream.Initialize(0, kBuffer200ms), S_OK);
  IAudioClient* client = stream.Client();
  struct Step {
    const char* call;
    HRESULT expected;
  } const steps[] = {
      {"Stop", S_FALSE},
      {"Start", S_OK},
      {"Start", AUDCLNT_E_NOT_STOPPED},
      {"Reset", AUDCLNT_E_NOT_STOPPED},
      {"Stop", S_OK},
      {"Stop", S_FALSE},
      {"Reset", S_OK},
      {"Start", S_OK},
      {"Stop", S_OK},
  };
  int index = 0;
  for (const Step& s : steps) {
    const std::string call = s.call;
    const HRESULT hr = call == "Start"  ? client->Start()
                       : call == "Stop" ? client->Stop()
                                        : client->Reset();
    EXPECT_EQ(hr, s.expected) << "step " << index << ": " << s.call;
    ++index;
  }
}

// The capture service holds its stream: releasing the audio client first
// leaves the service working.
TEST_F(Wasapi, CaptureServiceKeepsItsStreamAlive) {
  ComRef<IAudioCaptureClient> capture;
  {
    EndpointStream stream;
    ASSERT_EQ(stream.Open(eCapture), S_OK);
    ASSERT_EQ(stream.Initialize(0, kBuffer200ms), S_OK);
    ASSERT_EQ(stream.Client()->GetService(IID_IAudioCaptureClient, capture.PutVoid()), S_OK);
  }
  UINT32 frames = 1;
  EXPECT_EQ(capture->GetNextPacketSize(&frames), S_OK);
  EXPECT_EQ(frames, 0u);  // never started
}

TEST_F(WasapiMicrophone, BufferHandOverMustAlternate) {
  IAudioCaptureClient* capture = stream_.Capture();
  EXPECT_EQ(capture->ReleaseBuffer(480), AUDCLNT_E_OUT_OF_ORDER);
  ASSERT_GT(AwaitPacket(), 0u);
  BYTE* data = nullptr;
  UINT32 frames = 0;
  DWORD flags = 0;
  ASSERT_EQ(capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr), S_OK);
  BYTE* again = nullptr;
  UINT32 again_frames = 0;
  EXPECT_EQ(capture->GetBuffer(&again, &again_frames, &flags, nullptr, nullptr),
            AUDCLNT_E_OUT_OF_ORDER);
  EXPECT_EQ(capture->ReleaseBuffer(frames), S_OK);
  EXPECT_EQ(capture->ReleaseBuffer(frames), AUDCLNT_E_OUT_OF_ORDER);
}

// A packet is released whole, or not at all (0 frames): then the next
// GetBuffer hands out the same packet again.
TEST_F(WasapiMicrophone, PacketIsReleasedWholeOrKept) {
  IAudioCaptureClient* capture = stream_.Capture();
  ASSERT_GT(AwaitPacket(), 1u);
  BYTE* data = nullptr;
  UINT32 frames = 0;
  DWORD flags = 0;
  UINT64 position = 0;
  ASSERT_EQ(capture->GetBuffer(&data, &frames, &flags, &position, nullptr), S_OK);
  EXPECT_EQ(capture->ReleaseBuffer(frames - 1), AUDCLNT_E_INVALID_SIZE);
  // A refused release leaves the packet lent; give it back unread.
  EXPECT_EQ(capture->ReleaseBuffer(0), S_OK);
  UINT32 frames_again = 0;
  UINT64 position_again = 0;
  ASSERT_EQ(capture->GetBuffer(&data, &frames_again, &flags, &position_again, nullptr), S_OK);
  EXPECT_EQ(frames_again, frames);
  EXPECT_EQ(position_again, position);
  EXPECT_EQ(capture->ReleaseBuffer(frames_again), S_OK);
}

TEST_F(WasapiMicrophone, StoppedStreamRunsDryAndReportsAnEmptyBuffer) {
  ASSERT_GT(AwaitPacket(), 0u);
  ASSERT_EQ(stream_.Client()->Stop(), S_OK);
  ReadPackets(stream_, 0);  // what arrived before the stop
  Sleep(100);
  UINT32 frames = 1;
  ASSERT_EQ(stream_.Capture()->GetNextPacketSize(&frames), S_OK);
  EXPECT_EQ(frames, 0u);
  BYTE* data = reinterpret_cast<BYTE*>(this);
  DWORD flags = 0;
  frames = 1;
  EXPECT_EQ(stream_.Capture()->GetBuffer(&data, &frames, &flags, nullptr, nullptr),
            AUDCLNT_S_BUFFER_EMPTY);
  EXPECT_EQ(frames, 0u);
}

// Reset on a stopped stream throws away what was captured and not read.
TEST_F(WasapiMicrophone, ResetDiscardsUnreadPackets) {
  ASSERT_GT(AwaitPacket(), 0u);
  Sleep(50);
  ASSERT_EQ(stream_.Client()->Stop(), S_OK);
  ASSERT_EQ(stream_.Client()->Reset(), S_OK);
  UINT32 frames = 1;
  ASSERT_EQ(stream_.Capture()->GetNextPacketSize(&frames), S_OK);
  EXPECT_EQ(frames, 0u);
}

// Captures one second from the default endpoint of `flow`: the frames follow
// the stream's clock packet by packet with no gap, and the samples hold the
// tone of `hz` at `level` and, of the other tone (`other_hz`), less than a
// hundredth of the quieter tone's level.
void ExpectOneSecondOfTone(EDataFlow flow, double hz, double level, double other_hz) {
  DWORD rate = 0;
  const PacketRecord r = CaptureFor(flow, 1000, &rate);
  ASSERT_EQ(r.failure, S_OK);
  ExpectFramesFollowTheClock(r, rate);
  EXPECT_EQ(r.size_mismatches, 0);
  EXPECT_LE(r.position_gaps, r.discontinuities);
  const std::vector<float> heard = FromFirstSound(r.first);
  ASSERT_GT(heard.size(), rate / 2u);
  const double tone = MedianToneAmplitude(heard, rate, hz);
  EXPECT_NEAR(DecibelsRelative(tone, level), 0.0, 1.0)
      << "amplitude " << tone << "; per 100 ms: " << Profile(ToneAmplitudes(heard, rate, hz))
      << "; " << Describe(r);
  EXPECT_LT(ToneAmplitude(heard, rate, other_hz), std::min(kSpeakerLevel, kMicrophoneLevel) / 100);
}

// One second of a tone played into the speakers while the microphone hears
// another: the stream's clock delivers the mix rate in frames, packet by
// packet with no gap, and the samples hold the speakers' tone at the level
// played and nothing of the microphone's.
TEST_F(Wasapi, LoopbackDeliversOneSecondOfThePlayedTone) {
  ASSERT_TRUE(StartTone(ToneTarget::kSpeakers, kSpeakerHz, kSpeakerLevel))
      << ToneUnavailableReason();
  ASSERT_TRUE(StartTone(ToneTarget::kMicrophone, kMicrophoneHz, kMicrophoneLevel));
  ExpectOneSecondOfTone(eRender, kSpeakerHz, kSpeakerLevel, kMicrophoneHz);
}

// With nothing playing, Windows delivers no loopback packets at all, or
// only packets flagged silent; nothing audible arrives, and a packet flagged
// silent is never read as sound. The same stream then hears a tone once one
// plays, so the quiet stretch was read from a live stream.
TEST_F(Wasapi, LoopbackOfSilenceIsSilent) {
  ASSERT_TRUE(StopTone(ToneTarget::kSpeakers)) << ToneUnavailableReason();
  EndpointStream stream;
  ASSERT_EQ(stream.Open(eRender), S_OK);
  ASSERT_EQ(stream.Initialize(AUDCLNT_STREAMFLAGS_LOOPBACK, kBuffer200ms), S_OK);
  ASSERT_EQ(stream.StartCapture(), S_OK);
  const PacketRecord quiet = ReadPackets(stream, 500);
  ASSERT_EQ(quiet.failure, S_OK);
  EXPECT_EQ(quiet.packets, quiet.silent_packets) << Describe(quiet);
  float loudest = 0.0f;
  for (float v : quiet.first) loudest = std::max(loudest, v < 0 ? -v : v);
  EXPECT_LT(loudest, 1e-4f);

  ASSERT_TRUE(StartTone(ToneTarget::kSpeakers, kSpeakerHz, kSpeakerLevel));
  const PacketRecord heard = ReadPackets(stream, 200);
  stream.Client()->Stop();
  ASSERT_EQ(heard.failure, S_OK);
  EXPECT_GT(heard.packets, heard.silent_packets) << Describe(heard);
  const DWORD rate = stream.Mix()->nSamplesPerSec;
  EXPECT_GT(ToneAmplitude(FromFirstSound(heard.first), rate, kSpeakerHz), kSpeakerLevel / 2);
}

// The same for the microphone, which hears its own tone and nothing of
// what the speakers play.
TEST_F(Wasapi, MicrophoneDeliversOneSecondOfTheFeedTone) {
  ASSERT_TRUE(StartTone(ToneTarget::kMicrophone, kMicrophoneHz, kMicrophoneLevel))
      << ToneUnavailableReason();
  ASSERT_TRUE(StartTone(ToneTarget::kSpeakers, kSpeakerHz, kSpeakerLevel));
  ExpectOneSecondOfTone(eCapture, kMicrophoneHz, kMicrophoneLevel, kSpeakerHz);
}

// The capture endpoint whose friendly name ends with `name`.
HRESULT FindCaptureEndpoint(const wchar_t* name, ComRef<IMMDevice>* found) {
  ComRef<IMMDeviceEnumerator> enumerator;
  ComRef<IMMDeviceCollection> endpoints;
  HRESULT hr = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                IID_IMMDeviceEnumerator, enumerator.PutVoid());
  if (SUCCEEDED(hr)) {
    hr = enumerator->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, endpoints.Put());
  }
  UINT count = 0;
  if (SUCCEEDED(hr)) hr = endpoints->GetCount(&count);
  if (FAILED(hr)) return hr;
  const std::wstring wanted = name;
  for (UINT i = 0; i < count; ++i) {
    ComRef<IMMDevice> device;
    ComRef<IPropertyStore> store;
    if (FAILED(endpoints->Item(i, device.Put())) ||
        FAILED(device->OpenPropertyStore(STGM_READ, store.Put()))) {
      continue;
    }
    PROPVARIANT value;
    PropVariantInit(&value);
    std::wstring text;
    if (SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, &value)) && value.vt == VT_LPWSTR) {
      text = value.pwszVal;
    }
    PropVariantClear(&value);
    if (text.size() >= wanted.size() &&
        text.compare(text.size() - wanted.size(), wanted.size(), wanted) == 0) {
      return endpoints->Item(i, found->Put());
    }
  }
  return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

// A recording device that goes away while a stream reads it (here the audio
// server's sink behind it is unloaded, as a USB microphone is pulled out)
// invalidates the stream: its calls fail with AUDCLNT_E_DEVICE_INVALIDATED
// within a moment, rather than going on as a silent device would.
TEST_F(Wasapi, StreamOfAnEndpointThatGoesAwayIsInvalidated) {
  SpareEndpoint spare;
  ComRef<IMMDevice> device;
  ASSERT_EQ(FindCaptureEndpoint(SpareEndpoint::kName, &device), S_OK);
  ComRef<IAudioClient> client;
  ASSERT_EQ(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, client.PutVoid()), S_OK);
  WAVEFORMATEX* mix = nullptr;
  ASSERT_EQ(client->GetMixFormat(&mix), S_OK);
  const HRESULT initialized =
      client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, kBuffer200ms, 0, mix, nullptr);
  CoTaskMemFree(mix);
  ASSERT_EQ(initialized, S_OK);
  ComRef<IAudioCaptureClient> capture;
  ASSERT_EQ(client->GetService(IID_IAudioCaptureClient, capture.PutVoid()), S_OK);
  ASSERT_EQ(client->Start(), S_OK);
  ASSERT_TRUE(spare.Remove()) << ToneUnavailableReason();

  // Reads as the recorder reads, until a call fails or three seconds pass.
  HRESULT hr = S_OK;
  for (int polls = 0; polls < 300 && SUCCEEDED(hr); ++polls) {
    UINT32 frames = 0;
    hr = capture->GetNextPacketSize(&frames);
    if (SUCCEEDED(hr) && frames != 0) {
      BYTE* data = nullptr;
      DWORD flags = 0;
      hr = capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr);
      if (hr == S_OK) hr = capture->ReleaseBuffer(frames);
    } else if (SUCCEEDED(hr)) {
      Sleep(10);
    }
  }
  EXPECT_EQ(hr, AUDCLNT_E_DEVICE_INVALIDATED);
  client->Stop();
}

}  // namespace
}  // namespace contract
