// Opening the default microphone as a device source and declaring its track.
#include <mfapi.h>
#include <mfidl.h>
#include <mferror.h>
#include <mfreadwrite.h>

#include <algorithm>

#include "recorder/audio/audio_media_types.h"
#include "recorder/media_time.h"
#include "win32_support/hresult_text.h"
#include "recorder/audio/microphone.h"
#include "recorder/audio/microphone_reader.h"

namespace morl::recorder {

namespace {

constexpr DWORD kFirstAudioStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);

bool Encodable(UINT32 rate, UINT32 channels) {
  return (rate == 44100 || rate == 48000) && (channels == 1 || channels == 2);
}

// The microphone as an asynchronous source reader answering `callback`.
Result<ComRef<IMFSourceReader>> OpenReader(const std::wstring& endpoint_id,
                                           IMFSourceReaderCallback* callback) {
  ComRef<IMFAttributes> attributes;
  MORL_RETURN_IF_FAILED(MFCreateAttributes(attributes.Put(), 2), "", "mic attrs");
  attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                      MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
  attributes->SetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID, endpoint_id.c_str());
  ComRef<IMFMediaSource> source;
  MORL_RETURN_IF_FAILED(MFCreateDeviceSource(attributes.Get(), source.Put()), "", "mic open");
  // Asynchronous reads: no thread ever waits on the device.
  ComRef<IMFAttributes> reader_attributes;
  HRESULT hr = MFCreateAttributes(reader_attributes.Put(), 1);
  if (SUCCEEDED(hr)) hr = reader_attributes->SetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, callback);
  MORL_RETURN_IF_FAILED(hr, "", "mic attrs");
  ComRef<IMFSourceReader> reader;
  MORL_RETURN_IF_FAILED(
      MFCreateSourceReaderFromMediaSource(source.Get(), reader_attributes.Get(), reader.Put()), "",
      "mic reader");
  return reader;
}

// The channel count of the device's own stream; 0 when it does not say.
UINT32 NativeChannels(IMFSourceReader* reader) {
  ComRef<IMFMediaType> native;
  UINT32 channels = 0;
  if (FAILED(reader->GetNativeMediaType(kFirstAudioStream, 0, native.Put())) ||
      FAILED(native->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels))) {
    return 0;
  }
  return channels;
}

// Asks `reader` for 16-bit PCM, at `rate` and `channels` when they are not 0
// (the reader converts to them) or as the device gives them.
Status AskForPcm(IMFSourceReader* reader, UINT32 rate, UINT32 channels) {
  ComRef<IMFMediaType> requested;
  MORL_RETURN_IF_FAILED(MFCreateMediaType(requested.Put()), "", "mic type");
  requested->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
  requested->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
  requested->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
  if (rate != 0) requested->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
  if (channels != 0) requested->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels);
  return CheckCall(reader->SetCurrentMediaType(kFirstAudioStream, nullptr, requested.Get()), "",
                   "mic pcm");
}

// Asks `reader` for what the encoder takes, 48 kHz 16-bit PCM with the
// device's channels up to two, and reads the rate and channel count it gives.
// A reader that cannot convert (before Windows 8) is asked for the device's
// own rate and channels, which must then suit the encoder.
Status RequestPcm(IMFSourceReader* reader, UINT32& rate, UINT32& channels) {
  const UINT32 native = NativeChannels(reader);
  Status asked = AskForPcm(reader, kMixRate, native == 0 ? 0 : std::min<UINT32>(native, 2));
  if (asked.hr() == MF_E_INVALIDMEDIATYPE || asked.hr() == MF_E_TOPO_CODEC_NOT_FOUND) {
    asked = AskForPcm(reader, 0, 0);
  }
  MORL_RETURN_IF_ERROR(asked);
  ComRef<IMFMediaType> current;
  MORL_RETURN_IF_FAILED(reader->GetCurrentMediaType(kFirstAudioStream, current.Put()), "",
                        "mic fmt");
  if (FAILED(current->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate))) rate = 0;
  if (FAILED(current->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels))) channels = 0;
  if (!Encodable(rate, channels)) {
    return CallError("", "mic format unsupported for AAC", E_INVALIDARG);
  }
  return Status();
}

// Declares the AAC track of `rate` and `channels` fed with 16-bit PCM.
Status DeclareTrack(TrackWriter& writer, UINT32 rate, UINT32 channels) {
  ComRef<IMFMediaType> output;
  MORL_RETURN_IF_FAILED(CreateAacOutputType(rate, channels, output.Put()), "", "aac type");
  DWORD stream_index = 0;
  MORL_RETURN_IF_FAILED(writer.sink_writer->AddStream(output.Get(), &stream_index), "",
                        "aac stream");
  writer.audio_stream = stream_index;
  ComRef<IMFMediaType> input;
  MORL_RETURN_IF_FAILED(CreatePcmInputType(rate, channels, input.Put()), "", "pcm type");
  MORL_RETURN_IF_FAILED(writer.sink_writer->SetInputMediaType(stream_index, input.Get(), nullptr),
                        "", "aac input");
  return Status();
}

// The set-up's steps up to a declared track, with the reader it opened.
Result<ComRef<IMFSourceReader>> OpenMicrophone(TrackWriter& writer, MicrophoneInput& input,
                                               const std::wstring& endpoint_id,
                                               IMFSourceReaderCallback* callback) {
  Result<ComRef<IMFSourceReader>> reader = OpenReader(endpoint_id, callback);
  if (!reader) return reader.error();
  UINT32 rate = 0;
  UINT32 channels = 0;
  MORL_RETURN_IF_ERROR(RequestPcm(reader->Get(), rate, channels));
  input.sample_rate = rate;
  input.channels = channels;
  MORL_RETURN_IF_ERROR(DeclareTrack(writer, rate, channels));
  return reader;
}

}  // namespace

Result<ComRef<IMFSourceReader>> OpenMicrophoneLike(const MicrophoneInput& input,
                                                   const std::wstring& endpoint_id,
                                                   IMFSourceReaderCallback* callback) {
  Result<ComRef<IMFSourceReader>> reader = OpenReader(endpoint_id, callback);
  if (!reader) return reader.error();
  MORL_RETURN_IF_ERROR(AskForPcm(reader->Get(), input.sample_rate, input.channels));
  return reader;
}

std::string SetUpMicrophone(const AudioWork& work, MicrophoneInput& input,
                            const std::wstring& endpoint_id) {
  ComRef<MicrophoneReader> callback = MakeMicrophoneReader(work, input);
  Result<ComRef<IMFSourceReader>> reader =
      OpenMicrophone(work.writer, input, endpoint_id, callback.Get());
  if (!reader) {
    work.track.enabled = false;
    std::string text = reader.error().message;
    if (reader.hr() == E_ACCESSDENIED) {
      text +=
          " -- microphone access denied; check Windows Settings > Privacy & security > Microphone";
    }
    return text;
  }
  input.reader = std::move(*reader);
  input.callback = std::move(callback);
  input.endpoint_id = endpoint_id;
  work.track.enabled = true;
  return std::string();
}

}  // namespace morl::recorder
