#include "recorder/audio/mix_format.h"

#include <ks.h>
#include <ksmedia.h>

namespace morl::recorder {

bool AcceptMixFormat(const WAVEFORMATEX& format, MixSampleLayout& layout) {
  bool isFloat = false;
  if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
    isFloat = true;
  } else if (format.wFormatTag == WAVE_FORMAT_PCM) {
    isFloat = false;
  } else if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
    // The sub-format lives past the plain header; a format that claims to be
    // extensible without carrying those bytes is not read beyond its end.
    if (format.cbSize < sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX)) return false;
    const auto& extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format);
    if (IsEqualGUID(extensible.SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT)) {
      isFloat = true;
    } else if (IsEqualGUID(extensible.SubFormat, KSDATAFORMAT_SUBTYPE_PCM)) {
      isFloat = false;
    } else {
      return false;
    }
  } else {
    return false;
  }
  if (isFloat) {
    if (format.wBitsPerSample != 32) return false;
  } else if (format.wBitsPerSample != 8 && format.wBitsPerSample != 16 &&
             format.wBitsPerSample != 24 && format.wBitsPerSample != 32) {
    return false;
  }
  layout.isFloat = isFloat;
  layout.bytesPerSample = format.wBitsPerSample / 8u;
  return true;
}

}  // namespace morl::recorder
