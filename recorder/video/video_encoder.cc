#include "recorder/video/video_encoder.h"

#include <codecapi.h>
#include <mfapi.h>
#include <mftransform.h>
#include <strmif.h>

#include "win32_support/com_ref.h"

namespace morl::recorder {

namespace {

bool IsHardwareTransform(IMFTransform* transform) {
  ComRef<IMFAttributes> attributes;
  if (FAILED(transform->GetAttributes(attributes.Put())) || !attributes) return false;
  UINT32 length = 0;
  return SUCCEEDED(attributes->GetStringLength(MFT_ENUM_HARDWARE_URL_Attribute, &length));
}

// Sets one UINT32 codec property.
HRESULT SetCodecValue(ICodecAPI* codec, const GUID& property, UINT32 number) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_UI4;
  value.ulVal = number;
  return codec->SetValue(&property, &value);
}

}  // namespace

HRESULT AllowHardwareEncoder(IMFAttributes* attributes, EncoderChoice choice) {
  if (choice == EncoderChoice::kSoftware) return S_OK;
  return attributes->SetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, TRUE);
}

VideoEncoderKind StreamEncoderKind(IMFSinkWriter* writer, DWORD stream) {
  ComRef<IMFSinkWriterEx> writer_ex;
  if (FAILED(writer->QueryInterface(IID_PPV_ARGS(writer_ex.Put())))) {
    return VideoEncoderKind::kSoftware;
  }
  // The stream's transforms in order (a colour converter may come first);
  // the list ends with a failing index.
  for (DWORD index = 0;; ++index) {
    GUID category = GUID_NULL;
    ComRef<IMFTransform> transform;
    if (FAILED(writer_ex->GetTransformForStream(stream, index, &category, transform.Put()))) {
      return VideoEncoderKind::kSoftware;
    }
    if (category == MFT_CATEGORY_VIDEO_ENCODER && transform) {
      return IsHardwareTransform(transform.Get()) ? VideoEncoderKind::kHardware
                                                  : VideoEncoderKind::kSoftware;
    }
  }
}

void SetEncoderBitrate(IMFSinkWriter* writer, DWORD stream, UINT32 bitrate) {
  ComRef<ICodecAPI> codec;
  // IID_ICodecAPI by name: not every SDK's headers give the interface a
  // __uuidof for IID_PPV_ARGS.
  if (FAILED(writer->GetServiceForStream(stream, GUID_NULL, IID_ICodecAPI, codec.PutVoid()))) {
    return;
  }
  // Constant bit rate, so the file's size follows the rate asked for
  // whatever the screen shows. Failures leave the output type's rate.
  SetCodecValue(codec.Get(), CODECAPI_AVEncCommonRateControlMode, eAVEncCommonRateControlMode_CBR);
  SetCodecValue(codec.Get(), CODECAPI_AVEncCommonMeanBitRate, bitrate);
}

}  // namespace morl::recorder
