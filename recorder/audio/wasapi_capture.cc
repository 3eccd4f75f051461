// WasapiCapture: opening one endpoint for polled shared-mode capture, draining
// its packets into the stereo float queue, placing them on the recording's
// clock, and resampling the queue to the 48 kHz output.
#include "recorder/audio/wasapi_capture.h"

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "recorder/media_time.h"
#include "recorder/audio/drift_steering.h"
#include "recorder/audio/endpoint_lookup.h"
#include "recorder/audio/mix_format.h"
#include "recorder/audio/stereo_downmix.h"
#include "recorder/now_100ns.h"
#include "win32_support/hresult_text.h"
#include "win32_support/task_memory.h"

namespace morl::recorder {

namespace {

// 200 ms of endpoint buffer: the mixer drains every 10 ms, so packets never
// overrun it even when a mixing step is slow.
constexpr REFERENCE_TIME kBufferDuration = 2'000'000;

// The sample layouts a mix format can have, each read as a float of full
// scale 1: unsigned 8-bit, little-endian signed 16-, 24- and 32-bit, and
// 32-bit float.
struct Pcm8 {
  static float Read(const BYTE* at) { return (static_cast<int>(at[0]) - 128) * (1.0f / 128.0f); }
};
struct Pcm16 {
  static float Read(const BYTE* at) {
    std::int16_t value;
    std::memcpy(&value, at, sizeof value);
    return static_cast<float>(value) * (1.0f / 32768.0f);
  }
};
struct Pcm24 {
  static float Read(const BYTE* at) {
    // Into the top three bytes of a 32-bit value, which keeps the sign.
    const std::uint32_t bits = (static_cast<std::uint32_t>(at[0]) << 8) |
                               (static_cast<std::uint32_t>(at[1]) << 16) |
                               (static_cast<std::uint32_t>(at[2]) << 24);
    return static_cast<float>(static_cast<std::int32_t>(bits) * (1.0 / 2147483648.0));
  }
};
struct Pcm32 {
  static float Read(const BYTE* at) {
    std::int32_t value;
    std::memcpy(&value, at, sizeof value);
    return static_cast<float>(static_cast<double>(value) * (1.0 / 2147483648.0));
  }
};
struct Float32 {
  static float Read(const BYTE* at) {
    float value;
    std::memcpy(&value, at, sizeof value);
    return value;
  }
};

// Writes `frames` stereo frames to `out`, each channel added to the two
// sides at its `weights`. One instance per sample layout keeps the
// per-sample loop free of format tests.
template <typename Layout>
void ConvertFrames(const BYTE* data, UINT32 frames, const std::vector<StereoWeights>& weights,
                   std::uint32_t bytesPerSample, float* out) {
  const std::size_t channels = weights.size();
  const std::size_t frameBytes = channels * bytesPerSample;
  for (UINT32 i = 0; i < frames; ++i) {
    const BYTE* frame = data + i * frameBytes;
    float left = 0.0f;
    float right = 0.0f;
    for (std::size_t c = 0; c < channels; ++c) {
      const float sample = Layout::Read(frame + c * bytesPerSample);
      left += weights[c].left * sample;
      right += weights[c].right * sample;
    }
    out[2 * i] = left;
    out[2 * i + 1] = right;
  }
}

constexpr double kOutputRate = kMixRate;
// A packet whose time disagrees with its device position by more than this
// is placed by its time: the position no longer says where it belongs.
constexpr double kPositionTrustSeconds = 0.020;
// Silence longer than this is not queued: the queue restarts at the packet
// instead, and Render holds silence until the packet's time.
constexpr double kLongestPaddedGapSeconds = 1.0;
// Beyond this difference (in output frames) between where the audio belongs
// and where it would play, Render jumps instead of steering the step.
constexpr double kJumpFrames = 0.020 * kOutputRate;

}  // namespace

// ---- Opening and closing. ----------------------------------------------------

Status WasapiCapture::Open(IMMDevice* device, bool loopback) {
  ComRef<IAudioClient> client;
  MORL_RETURN_IF_FAILED(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                         reinterpret_cast<void**>(client.Put())),
                        "", "activate");
  // Task memory owned by the caller of GetMixFormat.
  TaskMemory<WAVEFORMATEX> mix;
  MORL_RETURN_IF_FAILED(client->GetMixFormat(mix.Put()), "", "mix format");
  MixSampleLayout layout;
  if (!mix || !AcceptMixFormat(*mix.Get(), layout)) {
    return RecorderError{"", "unsupported device sample format", E_INVALIDARG};
  }
  const HRESULT hr =
      client->Initialize(AUDCLNT_SHAREMODE_SHARED, loopback ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0,
                         kBufferDuration, 0, mix.Get(), nullptr);
  const UINT32 rate = mix->nSamplesPerSec;
  const UINT32 channelCount = mix->nChannels;
  std::vector<StereoWeights> weights = StereoDownmix(channelCount, SpeakerMaskOf(*mix.Get()));
  mix.Reset();
  MORL_RETURN_IF_FAILED(hr, "", "initialize");
  captureClient.Reset();
  MORL_RETURN_IF_FAILED(client->GetService(IID_PPV_ARGS(captureClient.Put())), "",
                        "capture service");
  audioClient = std::move(client);
  if (FAILED(EndpointId(device, endpointId))) endpointId.clear();
  isLoopback = loopback;
  sampleRate = rate;
  channels = channelCount;
  downmix = std::move(weights);
  isFloat = layout.isFloat;
  bytesPerSample = layout.bytesPerSample;
  baseStep = sampleRate / kOutputRate;
  step = baseStep;
  MORL_RETURN_IF_FAILED(audioClient->Start(), "", "start");
  started = true;
  active = true;
  return Status();
}

void WasapiCapture::Reset() {
  if (started && audioClient) audioClient->Stop();
  started = false;
  active = false;
  endpointId.clear();
  isLoopback = false;
  followsDefault = false;
  lostHr = S_OK;
  captureClient.Reset();
  audioClient.Reset();
  samples.release();
  readPos = 0.0;
  pausedFrames = 0;
  pendingDiscontinuity = false;
  anchored = false;
  placeExactly = false;
  queueDevice = 0;
}

// ---- Draining. ---------------------------------------------------------------

void WasapiCapture::Drain(const RecordingClock* clock, LevelMeter* meter) {
  if (!active) return;
  UINT32 packetFrames = 0;
  HRESULT hr = captureClient->GetNextPacketSize(&packetFrames);
  while (SUCCEEDED(hr) && packetFrames != 0) {
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    UINT64 devicePosition = 0;
    UINT64 qpcPosition = 0;
    hr = captureClient->GetBuffer(&data, &frames, &flags, &devicePosition, &qpcPosition);
    if (hr == AUDCLNT_S_BUFFER_EMPTY) break;
    if (FAILED(hr)) break;
    QueueRecordedFrames(data, frames, flags, static_cast<std::int64_t>(devicePosition),
                        static_cast<std::int64_t>(qpcPosition), clock, meter);
    hr = captureClient->ReleaseBuffer(frames);
    if (SUCCEEDED(hr)) hr = captureClient->GetNextPacketSize(&packetFrames);
  }
  if (FAILED(hr)) {
    // The device went away (AUDCLNT_E_DEVICE_INVALIDATED) or the engine
    // stopped serving it: this client never delivers again. What was queued
    // still plays; the follower opens a new client when it can.
    if (started) audioClient->Stop();
    started = false;
    active = false;
    captureClient.Reset();
    audioClient.Reset();
    lostHr = hr;
  }
  // Keep at most two seconds of input: a source faster than the clock loses
  // its oldest audio instead of growing without bound.
  const std::size_t bound = static_cast<std::size_t>(sampleRate) * 4;
  if (samples.size() > bound) {
    const std::size_t excess = (samples.size() - bound) & ~static_cast<std::size_t>(1);
    samples.drop_front(excess);
    readPos -= static_cast<double>(excess / 2);
    queueDevice += static_cast<std::int64_t>(excess / 2);
    if (readPos < 0.0) readPos = 0.0;
  }
}

void WasapiCapture::QueueRecordedFrames(const BYTE* data, UINT32 frames, DWORD flags,
                                        std::int64_t devicePosition, std::int64_t qpcPosition,
                                        const RecordingClock* clock, LevelMeter* meter) {
  pendingDiscontinuity =
      pendingDiscontinuity || (flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) != 0;
  // Frames captured while the recording is paused are dropped. The device
  // positions and capture times of what is kept are given with the paused
  // stretches cut out of both, so audio after a resume is queued right after
  // audio before the pause.
  std::int64_t skip = 0;
  std::int64_t keep = frames;
  std::int64_t time = qpcPosition;
  if (clock != nullptr && sampleRate != 0) {
    const RecordingClock::Run run = clock->Recorded(qpcPosition, frames, sampleRate);
    skip = run.skip;
    keep = run.keep;
    time = clock->Cut(qpcPosition + FramesToTicks(skip, sampleRate));
  }
  // The first kept frame is at devicePosition + skip, with the skipped
  // frames and those of earlier pauses cut out before it.
  const std::int64_t position = devicePosition - pausedFrames;
  pausedFrames += static_cast<std::int64_t>(frames) - keep;
  if (keep <= 0) return;
  PlacePacket(position, time, pendingDiscontinuity);
  pendingDiscontinuity = false;
  const std::size_t added = 2 * static_cast<std::size_t>(keep);
  float* out = samples.append_silence(added);  // zeros: silence
  if ((flags & AUDCLNT_BUFFERFLAGS_SILENT) == 0 && data != nullptr) {
    const BYTE* first = data + static_cast<std::size_t>(skip) * channels * bytesPerSample;
    const auto count = static_cast<UINT32>(keep);
    if (isFloat) {
      ConvertFrames<Float32>(first, count, downmix, bytesPerSample, out);
    } else if (bytesPerSample == 1) {
      ConvertFrames<Pcm8>(first, count, downmix, bytesPerSample, out);
    } else if (bytesPerSample == 2) {
      ConvertFrames<Pcm16>(first, count, downmix, bytesPerSample, out);
    } else if (bytesPerSample == 3) {
      ConvertFrames<Pcm24>(first, count, downmix, bytesPerSample, out);
    } else {
      ConvertFrames<Pcm32>(first, count, downmix, bytesPerSample, out);
    }
  }
  if (meter != nullptr) {
    meter->Add(LevelMeter::Peak(out, added), Now100ns());
  }
}

// ---- Placing on the recording's clock. ---------------------------------------

void WasapiCapture::PlacePacket(std::int64_t devicePosition, std::int64_t qpcPosition,
                                bool discontinuity) {
  const auto queued = static_cast<std::int64_t>(samples.size() / 2);
  std::int64_t gap = 0;  // frames the device delivered nothing for
  bool contiguous = false;
  if (anchored && sampleRate != 0) {
    const std::int64_t queueEnd = queueDevice + queued;
    gap = devicePosition - queueEnd;
    const double endQpc =
        static_cast<double>(anchorQpc) + static_cast<double>(queueEnd - anchorDevice) *
                                             kTicksPerSecond / static_cast<double>(sampleRate);
    const double timeGap =
        (static_cast<double>(qpcPosition) - endQpc) * sampleRate / kTicksPerSecond;
    if (std::abs(timeGap - static_cast<double>(gap)) > kPositionTrustSeconds * sampleRate) {
      gap = std::llround(timeGap);
      discontinuity = true;
    }
    contiguous = gap == 0 && !discontinuity;
  }
  if (!anchored) {
    placeExactly = true;  // the first packet: Render waits for its time
  } else if (!contiguous) {
    const double unread = static_cast<double>(queued) - readPos;
    const bool padded = unread > 1.0 && gap >= 0 &&
                        static_cast<double>(gap) <= kLongestPaddedGapSeconds * sampleRate;
    if (padded) {
      samples.append_silence(2 * static_cast<std::size_t>(gap));  // zeros: silence
    } else {
      samples.clear();
      readPos = 0.0;
      placeExactly = true;
    }
  }
  // The queue is labelled so that this packet starts at its device position.
  queueDevice = devicePosition - static_cast<std::int64_t>(samples.size() / 2);
  anchorDevice = devicePosition;
  anchorQpc = qpcPosition;
  anchored = true;
}

double WasapiCapture::OutputFrameOf(double index, std::int64_t origin) const {
  return static_cast<double>(anchorQpc - origin) * kOutputRate / kTicksPerSecond +
         (static_cast<double>(queueDevice - anchorDevice) + index) / baseStep;
}

std::int64_t WasapiCapture::CoveredUntil(std::int64_t origin, std::int64_t next) const {
  if (!anchored) return std::numeric_limits<std::int64_t>::min();
  // Interpolating the last queued frame needs the one after it.
  const double last = static_cast<double>(samples.size() / 2) - 1.0;
  if (placeExactly) return static_cast<std::int64_t>(std::floor(OutputFrameOf(last, origin)));
  // Read from where reading is, at the fastest step steering may take.
  const double left = (last - readPos) / (baseStep * (1.0 + kLargestCorrection));
  return next + static_cast<std::int64_t>(std::floor(left));
}

bool WasapiCapture::Render(std::int64_t frame, std::int64_t origin, float& left, float& right) {
  if (!anchored) return false;
  // Positive: the audio at readPos plays later than it belongs.
  double late = static_cast<double>(frame) - OutputFrameOf(readPos, origin);
  if (placeExactly || std::abs(late) > kJumpFrames) {
    if (late < -0.5) {
      placeExactly = true;  // hold silence until the audio's time
      return false;
    }
    readPos += std::max(0.0, late) * baseStep;  // what is past is dropped
    placeExactly = false;
    late = 0.0;
  }
  step = baseStep * (1.0 + SteeringCorrection(late, kOutputRate));
  if (PullFrame(left, right)) return true;
  // The mixer stopped waiting for this source (a stalled device): the audio
  // it delivers next is placed by its time, not steered from here.
  placeExactly = true;
  return false;
}

// ---- Resampling. -------------------------------------------------------------

bool WasapiCapture::PullFrame(float& left, float& right) {
  const auto i = static_cast<std::size_t>(readPos);
  // Interpolating needs frame i and frame i + 1.
  if (2 * i + 3 >= samples.size()) return false;
  const float l0 = samples[2 * i];
  const float r0 = samples[2 * i + 1];
  const float l1 = samples[2 * i + 2];
  const float r1 = samples[2 * i + 3];
  const auto f = static_cast<float>(readPos - static_cast<double>(i));
  left = (l1 - l0) * f + l0;
  right = (r1 - r0) * f + r0;
  readPos += step;
  return true;
}

void WasapiCapture::Consume() {
  const auto n = static_cast<std::size_t>(readPos);
  if (n == 0 || samples.size() < 2 * n) return;
  samples.drop_front(2 * n);
  readPos -= static_cast<double>(n);
  queueDevice += static_cast<std::int64_t>(n);
}

}  // namespace morl::recorder
