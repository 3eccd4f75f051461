// Encoder properties: the keys of the encoding parameters given to the sink
// writer's SetInputMediaType, and of the encoder's ICodecAPI (icodecapi.h).
#pragma once

#include "win32sim/base.h"

// UINT32: the frames from one key frame to the next; 0 lets the encoder choose.
MORL_DEFINE_GUID(CODECAPI_AVEncMPVGOPSize, 0x95f31b26, 0x95a4, 0x41aa, 0x93, 0x03, 0x24, 0x6a, 0x7f,
                 0xc6, 0xee, 0xf1);
// UINT32: the mean bit rate of the encoded stream, in bits per second.
MORL_DEFINE_GUID(CODECAPI_AVEncCommonMeanBitRate, 0xf7222374, 0x2144, 0x4815, 0xb5, 0x50, 0xa3,
                 0x7f, 0x8e, 0x12, 0xee, 0x52);
// UINT32: an eAVEncCommonRateControlMode.
MORL_DEFINE_GUID(CODECAPI_AVEncCommonRateControlMode, 0x1c0608e9, 0x370c, 0x4710, 0x8a, 0x58, 0xcb,
                 0x61, 0x81, 0xc4, 0x24, 0x23);

enum eAVEncCommonRateControlMode {
  eAVEncCommonRateControlMode_CBR = 0,
  eAVEncCommonRateControlMode_PeakConstrainedVBR = 1,
  eAVEncCommonRateControlMode_UnconstrainedVBR = 2,
  eAVEncCommonRateControlMode_Quality = 3,
  eAVEncCommonRateControlMode_LowDelayVBR = 4,
  eAVEncCommonRateControlMode_GlobalVBR = 5,
  eAVEncCommonRateControlMode_GlobalLowDelayVBR = 6,
};
