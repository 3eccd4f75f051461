// Moving delivered packets from the endpoint into the stereo float queue.
#include <audioclient.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "recorder/wasapi_capture.h"

namespace morl::recorder {

namespace {

template <typename Sample>
float ToFloat(const BYTE* at) {
  Sample value;
  std::memcpy(&value, at, sizeof value);
  if constexpr (std::is_same<Sample, float>::value) {
    return value;
  } else if constexpr (std::is_same<Sample, std::int16_t>::value) {
    return static_cast<float>(value) * (1.0f / 32768.0f);
  } else {
    return static_cast<float>(static_cast<double>(value) * (1.0 / 2147483648.0));
  }
}

// Writes `frames` stereo frames to `out`: the first two channels, or the
// only one twice. One instance per sample layout keeps the per-sample loop
// free of format tests.
template <typename Sample>
void ConvertFrames(const BYTE* data, UINT32 frames, std::uint32_t channels,
                   std::uint32_t bytesPerSample, float* out) {
  const std::size_t frameBytes = static_cast<std::size_t>(channels) * bytesPerSample;
  const std::size_t rightOffset = channels >= 2 ? bytesPerSample : 0;
  for (UINT32 i = 0; i < frames; ++i) {
    const BYTE* frame = data + i * frameBytes;
    out[2 * i] = ToFloat<Sample>(frame);
    out[2 * i + 1] = ToFloat<Sample>(frame + rightOffset);
  }
}

}  // namespace

void WasapiCapture::Drain() {
  if (!active) return;
  UINT32 packetFrames = 0;
  if (SUCCEEDED(captureClient->GetNextPacketSize(&packetFrames))) {
    while (packetFrames != 0) {
      BYTE* data = nullptr;
      UINT32 frames = 0;
      DWORD flags = 0;
      UINT64 devicePosition = 0;
      UINT64 qpcPosition = 0;
      if (FAILED(captureClient->GetBuffer(&data, &frames, &flags, &devicePosition, &qpcPosition))) {
        break;
      }
      const bool silent = (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0;
      PlacePacket(static_cast<std::int64_t>(devicePosition), static_cast<std::int64_t>(qpcPosition),
                  (flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) != 0);
      const std::size_t start = samples.size();
      samples.resize(start + 2 * static_cast<std::size_t>(frames));  // zeros: silence
      if (!silent && data != nullptr && frames != 0) {
        float* out = samples.data() + start;
        if (isFloat) {
          ConvertFrames<float>(data, frames, channels, bytesPerSample, out);
        } else if (bytesPerSample == 2) {
          ConvertFrames<std::int16_t>(data, frames, channels, bytesPerSample, out);
        } else {
          ConvertFrames<std::int32_t>(data, frames, channels, bytesPerSample, out);
        }
      }
      captureClient->ReleaseBuffer(frames);
      if (FAILED(captureClient->GetNextPacketSize(&packetFrames))) break;
    }
  }
  // Keep at most two seconds of input: a source faster than the clock loses
  // its oldest audio instead of growing without bound.
  const std::size_t bound = static_cast<std::size_t>(sampleRate) * 4;
  if (samples.size() > bound) {
    const std::size_t excess = (samples.size() - bound) & ~static_cast<std::size_t>(1);
    samples.erase(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(excess));
    readPos -= static_cast<double>(excess / 2);
    queueDevice += static_cast<std::int64_t>(excess / 2);
    if (readPos < 0.0) readPos = 0.0;
  }
}

}  // namespace morl::recorder
