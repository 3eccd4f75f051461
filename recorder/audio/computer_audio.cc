#include "recorder/audio/computer_audio.h"

#include <mmdeviceapi.h>

#include "recorder/media_time.h"
#include "recorder/audio/audio_media_types.h"
#include "recorder/audio/endpoint_lookup.h"
#include "win32_support/hresult_text.h"

namespace morl::recorder {

namespace {

constexpr UINT32 kMixChannels = 2;

const char kNoPlaybackDevice[] =
    "no audio output device on this machine -- computer audio cannot be captured. "
    "Connect or enable a playback device and try again.";

void ResetCaptures(ComputerAudioCaptures& captures) {
  captures.loopback.Reset();
  captures.mic.Reset();
}

// The playback device to capture: the default one, or the one chosen. Sets
// `error` when there is none to capture.
ComRef<IMMDevice> FindSpeakers(IMMDeviceEnumerator* enumerator, const std::wstring& speakers_id,
                               std::string& error) {
  ComRef<IMMDevice> render;
  if (!speakers_id.empty()) {
    const HRESULT hr = FindActiveEndpoint(enumerator, eRender, speakers_id, render.Put());
    if (FAILED(hr)) {
      error = ChosenEndpointError("render lookup", hr, "playback device");
    }
    return render;
  }
  const HRESULT hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, render.Put());
  if (hr == kElementNotFound) {
    error = kNoPlaybackDevice;
  } else if (FAILED(hr)) {
    error = "render lookup " + HresultText(hr);
  }
  return render;
}

}  // namespace

std::string OpenMixedMicrophone(MixSource& mic, IMMDeviceEnumerator* enumerator,
                                const std::wstring& microphone_id) {
  ComRef<IMMDevice> device;
  if (microphone_id.empty()) {
    // No microphone at all is no problem; one that cannot be looked up is.
    const HRESULT hr = enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, device.Put());
    if (hr == kElementNotFound) return std::string();
    if (FAILED(hr)) return "mic mix unavailable: mic lookup " + HresultText(hr);
  } else if (const HRESULT hr =
                 FindActiveEndpoint(enumerator, eCapture, microphone_id, device.Put());
             FAILED(hr)) {
    return "mic mix unavailable: " + ChosenEndpointError("mic lookup", hr, "microphone");
  }
  const Status opened = mic.Open(device.Get(), false);
  mic.endpoint.SetFollowsDefault(microphone_id.empty());
  if (opened) return std::string();
  mic.Reset();
  return "mic mix unavailable: " + opened.error().message;
}

AudioSetUpTexts SetUpComputerAudio(TrackWriter& writer, AudioTrack& track,
                                   ComputerAudioCaptures& captures,
                                   const ComputerAudioDevices& devices) {
  AudioSetUpTexts texts;
  track.enabled = false;

  ComRef<IMMDeviceEnumerator> enumerator;
  HRESULT hr = CreateDeviceEnumerator(enumerator);
  if (FAILED(hr)) {
    texts.system_audio_error = "audio enumerator " + HresultText(hr);
    return texts;
  }
  ComRef<IMMDevice> render =
      FindSpeakers(enumerator.Get(), devices.speakers_id, texts.system_audio_error);
  if (!render) return texts;
  const Status opened = captures.loopback.Open(render.Get(), true);
  if (!opened) {
    texts.system_audio_error = "computer audio: " + opened.error().message;
    captures.loopback.Reset();
    return texts;
  }
  captures.loopback.endpoint.SetFollowsDefault(devices.speakers_id.empty());
  texts.mic_error = OpenMixedMicrophone(captures.mic, enumerator.Get(), devices.microphone_id);

  ComRef<IMFMediaType> output;
  hr = CreateAacOutputType(kMixRate, kMixChannels, output.Put());
  DWORD stream_index = 0;
  if (SUCCEEDED(hr)) hr = writer.sink_writer->AddStream(output.Get(), &stream_index);
  if (FAILED(hr)) {
    texts.system_audio_error = "aac stream " + HresultText(hr);
    ResetCaptures(captures);
    return texts;
  }
  writer.audio_stream = stream_index;
  ComRef<IMFMediaType> input;
  hr = CreatePcmInputType(kMixRate, kMixChannels, input.Put());
  if (SUCCEEDED(hr)) {
    hr = writer.sink_writer->SetInputMediaType(writer.audio_stream, input.Get(), nullptr);
  }
  if (FAILED(hr)) {
    texts.system_audio_error = "aac input " + HresultText(hr);
    ResetCaptures(captures);
    return texts;
  }
  track.enabled = true;
  return texts;
}

}  // namespace morl::recorder
