// Opening the default microphone as a device source and declaring its track.
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include "recorder/audio/audio_media_types.h"
#include "win32_support/hresult_text.h"
#include "recorder/audio/microphone.h"
#include "recorder/audio/microphone_reader.h"
#include "recorder/recording_session.h"

namespace morl::recorder {

namespace {

constexpr DWORD kFirstAudioStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);

bool Encodable(UINT32 rate, UINT32 channels) {
  return (rate == 44100 || rate == 48000) && (channels == 1 || channels == 2);
}

// The common failure of the set-up: drops the reader, disables audio and
// says why.
std::string FailMicrophone(RecordingSession& session, const char* step, HRESULT hr) {
  std::string text = std::string(step) + " " + HresultText(hr);
  if (hr == E_ACCESSDENIED) {
    text +=
        " -- microphone access denied; check Windows Settings > Privacy & security > Microphone";
  }
  session.micReader.Reset();
  session.micCallback.Reset();
  session.audioEnabled = false;
  return text;
}

}  // namespace

std::string SetUpMicrophone(RecordingSession& session, const std::wstring& endpointId) {
  ComRef<IMFAttributes> attributes;
  HRESULT hr = MFCreateAttributes(attributes.Put(), 2);
  if (FAILED(hr)) return FailMicrophone(session, "mic attrs", hr);
  attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                      MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
  attributes->SetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID, endpointId.c_str());
  ComRef<IMFMediaSource> source;
  hr = MFCreateDeviceSource(attributes.Get(), source.Put());
  if (FAILED(hr)) return FailMicrophone(session, "mic open", hr);

  // Asynchronous reads: no thread ever waits on the device.
  ComRef<IMFSourceReaderCallback> callback = MakeMicrophoneReader(session);
  ComRef<IMFAttributes> readerAttributes;
  hr = MFCreateAttributes(readerAttributes.Put(), 1);
  if (SUCCEEDED(hr))
    hr = readerAttributes->SetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, callback.Get());
  if (FAILED(hr)) return FailMicrophone(session, "mic attrs", hr);
  ComRef<IMFSourceReader> reader;
  hr = MFCreateSourceReaderFromMediaSource(source.Get(), readerAttributes.Get(), reader.Put());
  if (FAILED(hr)) return FailMicrophone(session, "mic reader", hr);
  ComRef<IMFMediaType> requested;
  hr = MFCreateMediaType(requested.Put());
  if (FAILED(hr)) return FailMicrophone(session, "mic type", hr);
  requested->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
  requested->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
  requested->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
  hr = reader->SetCurrentMediaType(kFirstAudioStream, nullptr, requested.Get());
  if (FAILED(hr)) return FailMicrophone(session, "mic pcm", hr);
  ComRef<IMFMediaType> current;
  hr = reader->GetCurrentMediaType(kFirstAudioStream, current.Put());
  if (FAILED(hr)) return FailMicrophone(session, "mic fmt", hr);

  UINT32 rate = 0;
  UINT32 channels = 0;
  if (FAILED(current->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate))) rate = 0;
  if (FAILED(current->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels))) channels = 0;
  if (!Encodable(rate, channels)) {
    return FailMicrophone(session, "mic format unsupported for AAC", E_INVALIDARG);
  }
  session.micSampleRate = rate;
  session.micChannels = channels;

  ComRef<IMFMediaType> output;
  hr = CreateAacOutputType(rate, channels, output.Put());
  if (FAILED(hr)) return FailMicrophone(session, "aac type", hr);
  DWORD streamIndex = 0;
  hr = session.sinkWriter->AddStream(output.Get(), &streamIndex);
  if (FAILED(hr)) return FailMicrophone(session, "aac stream", hr);
  session.audioStreamIndex = streamIndex;
  ComRef<IMFMediaType> input;
  hr = CreatePcmInputType(rate, channels, input.Put());
  if (FAILED(hr)) return FailMicrophone(session, "pcm type", hr);
  hr = session.sinkWriter->SetInputMediaType(session.audioStreamIndex, input.Get(), nullptr);
  if (FAILED(hr)) return FailMicrophone(session, "aac input", hr);

  session.micReader = std::move(reader);
  session.micCallback = std::move(callback);
  session.audioEnabled = true;
  return std::string();
}

}  // namespace morl::recorder
