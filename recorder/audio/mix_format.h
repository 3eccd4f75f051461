// Which endpoint mix formats the capture can read: 32-bit float, or 8-, 16-,
// 24- or 32-bit integer PCM, plain or extensible. Rate and channel count are not
// judged here; the mixer resamples any rate and folds any channels into
// stereo by their speakers.
#pragma once

#include <windows.h>
#include <mmreg.h>

namespace morl::recorder {

struct MixSampleLayout {
  bool isFloat = false;
  UINT32 bytesPerSample = 0;
};

// True when `format` is readable; `layout` then says how to read a sample.
bool AcceptMixFormat(const WAVEFORMATEX& format, MixSampleLayout& layout);

}  // namespace morl::recorder
