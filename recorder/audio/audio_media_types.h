// The media types of the recording's AAC track: the 128 kbit/s AAC output
// and the interleaved 16-bit PCM input the recorder feeds it.
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>

namespace morl::recorder {

// AAC output at `rate` Hz with `channels` channels and 16000 bytes/s.
HRESULT CreateAacOutputType(UINT32 rate, UINT32 channels, IMFMediaType** type);
// 16-bit PCM input; block alignment and byte rate follow from the shape.
HRESULT CreatePcmInputType(UINT32 rate, UINT32 channels, IMFMediaType** type);

}  // namespace morl::recorder
