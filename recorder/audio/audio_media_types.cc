#include "recorder/audio/audio_media_types.h"

namespace morl::recorder {

namespace {

// 128 kbit/s, whatever the rate and channel count.
constexpr UINT32 kAacBytesPerSecond = 16000;

}  // namespace

// Attribute setters only fail for lack of memory, and the writer then refuses
// the type; their results are therefore not checked one by one.
HRESULT CreateAacOutputType(UINT32 rate, UINT32 channels, IMFMediaType** type) {
  IMFMediaType* created = nullptr;
  const HRESULT hr = MFCreateMediaType(&created);
  if (FAILED(hr)) return hr;
  created->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
  created->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_AAC);
  created->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
  created->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels);
  created->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
  created->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, kAacBytesPerSecond);
  *type = created;
  return S_OK;
}

HRESULT CreatePcmInputType(UINT32 rate, UINT32 channels, IMFMediaType** type) {
  IMFMediaType* created = nullptr;
  const HRESULT hr = MFCreateMediaType(&created);
  if (FAILED(hr)) return hr;
  created->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
  created->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
  created->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
  created->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels);
  created->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
  created->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, channels * 2);
  created->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, rate * channels * 2);
  *type = created;
  return S_OK;
}

}  // namespace morl::recorder
