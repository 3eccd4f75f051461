// Moving delivered packets from the endpoint into the stereo float queue.
#include <audioclient.h>

#include <cstring>

#include "recorder/wasapi_capture.h"

namespace {

float ReadSample(const BYTE* at, bool isFloat, UINT32 bytesPerSample) {
  if (isFloat) {
    float value;
    std::memcpy(&value, at, sizeof value);
    return value;
  }
  if (bytesPerSample == 2) {
    std::int16_t value;
    std::memcpy(&value, at, sizeof value);
    return static_cast<float>(value) * (1.0f / 32768.0f);
  }
  std::int32_t value;
  std::memcpy(&value, at, sizeof value);
  return static_cast<float>(static_cast<double>(value) * (1.0 / 2147483648.0));
}

}  // namespace

void WasapiCapture::Drain() {
  if (!active) return;
  UINT32 packetFrames = 0;
  if (SUCCEEDED(captureClient->GetNextPacketSize(&packetFrames))) {
    const std::size_t frameBytes = static_cast<std::size_t>(channels) * bytesPerSample;
    while (packetFrames != 0) {
      BYTE* data = nullptr;
      UINT32 frames = 0;
      DWORD flags = 0;
      if (FAILED(captureClient->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) break;
      const bool silent = (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0;
      for (UINT32 i = 0; i < frames; ++i) {
        float left = 0.0f;
        float right = 0.0f;
        if (!silent && data != nullptr) {
          const BYTE* frame = data + i * frameBytes;
          left = ReadSample(frame, isFloat, bytesPerSample);
          right =
              channels >= 2 ? ReadSample(frame + bytesPerSample, isFloat, bytesPerSample) : left;
        }
        samples.push_back(left);
        samples.push_back(right);
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
    if (readPos < 0.0) readPos = 0.0;
  }
}
