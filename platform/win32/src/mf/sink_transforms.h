// The transforms a sink writer puts in a stream, as
// IMFSinkWriterEx::GetTransformForStream hands them out: for video the
// colour converter (RGB32 to the encoder's 4:2:0, MFT_CATEGORY_VIDEO_PROCESSOR)
// and then the H.264 encoder (MFT_CATEGORY_VIDEO_ENCODER); for audio the AAC
// encoder (MFT_CATEGORY_AUDIO_ENCODER).
//
// The writer drives them itself, so of IMFTransform they answer
// GetAttributes, GetStreamLimits and GetStreamCount (one stream in, one out)
// and E_NOTIMPL for everything else. A hardware encoder's attributes hold
// MFT_ENUM_HARDWARE_URL_Attribute, MFT_ENUM_HARDWARE_VENDOR_ID_Attribute
// ("VEN_" and the GPU's DXGI vendor id) and MF_SA_D3D11_AWARE = TRUE; every
// transform has MFT_FRIENDLY_NAME_Attribute. The H.264 encoder also answers
// ICodecAPI (see H264Settings).
#pragma once

#include <codecapi.h>
#include <icodecapi.h>
#include <mfapi.h>
#include <mftransform.h>

#include <atomic>
#include <memory>
#include <vector>

#include "com/com_ref.h"

namespace winsim {

// The H.264 encoder's codec properties, shared by its ICodecAPI and the
// writer that opens the encoder with them at BeginWriting:
// CODECAPI_AVEncCommonMeanBitRate (above zero; starts as the output type's
// MF_MT_AVG_BITRATE), CODECAPI_AVEncCommonRateControlMode (CBR, peak-
// constrained or unconstrained VBR; CBR by default) and
// CODECAPI_AVEncMPVGOPSize (0: the encoder's choice). Once writing began
// they are fixed: SetValue gives MF_E_INVALIDREQUEST and IsModifiable
// S_FALSE. The simulated encoder keeps the mean bit rate over the file in
// each of the three modes; it does not model their short-term limits.
struct H264Settings {
  std::atomic<UINT32> default_bitrate{0};
  std::atomic<UINT32> mean_bitrate{0};
  std::atomic<UINT32> rate_control{eAVEncCommonRateControlMode_CBR};
  std::atomic<UINT32> gop_size{0};
  std::atomic<bool> writing{false};
};

struct StreamTransforms {
  std::vector<ComRef<IMFTransform>> transforms;
  std::vector<GUID> categories;
  std::shared_ptr<H264Settings> h264;  // video streams only
};

// The transforms of a video stream. `hardware`: the GPU's encoder took it.
StreamTransforms VideoTransforms(bool hardware, std::shared_ptr<H264Settings> settings);
StreamTransforms AudioTransforms();

}  // namespace winsim
