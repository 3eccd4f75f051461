#include "recorder/audio/computer_audio.h"

#include <mmdeviceapi.h>

#include "recorder/media_time.h"
#include "recorder/audio/audio_media_types.h"
#include "recorder/audio/endpoint_lookup.h"
#include "win32_support/hresult_text.h"
#include "recorder/recording_session.h"

namespace morl::recorder {

namespace {

constexpr UINT32 kMixChannels = 2;

const char kNoPlaybackDevice[] =
    "no audio output device on this machine -- computer audio cannot be captured. "
    "Connect or enable a playback device and try again.";

void ResetCaptures(RecordingSession& session) {
  session.loopbackCapture.Reset();
  session.micCapture.Reset();
}

// The playback device to capture: the default one, or the one chosen. Sets
// `error` when there is none to capture.
ComRef<IMMDevice> FindSpeakers(IMMDeviceEnumerator* enumerator, const std::wstring& speakersId,
                               std::string& error) {
  ComRef<IMMDevice> render;
  if (!speakersId.empty()) {
    const HRESULT hr = FindActiveEndpoint(enumerator, eRender, speakersId, render.Put());
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

std::string OpenMixedMicrophone(RecordingSession& session, IMMDeviceEnumerator* enumerator,
                                const std::wstring& microphoneId) {
  ComRef<IMMDevice> device;
  if (microphoneId.empty()) {
    // No microphone at all is no problem; one that cannot be looked up is.
    const HRESULT hr = enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, device.Put());
    if (hr == kElementNotFound) return std::string();
    if (FAILED(hr)) return "mic mix unavailable: mic lookup " + HresultText(hr);
  } else if (const HRESULT hr =
                 FindActiveEndpoint(enumerator, eCapture, microphoneId, device.Put());
             FAILED(hr)) {
    return "mic mix unavailable: " + ChosenEndpointError("mic lookup", hr, "microphone");
  }
  const Status opened = session.micCapture.Open(device.Get(), false);
  session.micCapture.endpoint.SetFollowsDefault(microphoneId.empty());
  if (opened) return std::string();
  session.micCapture.Reset();
  return "mic mix unavailable: " + opened.error().message;
}

AudioSetUpTexts SetUpComputerAudio(RecordingSession& session, const ComputerAudioDevices& devices) {
  AudioSetUpTexts texts;
  session.audioEnabled = false;

  ComRef<IMMDeviceEnumerator> enumerator;
  HRESULT hr = CreateDeviceEnumerator(enumerator);
  if (FAILED(hr)) {
    texts.systemAudioError = "audio enumerator " + HresultText(hr);
    return texts;
  }
  ComRef<IMMDevice> render =
      FindSpeakers(enumerator.Get(), devices.speakersId, texts.systemAudioError);
  if (!render) return texts;
  const Status opened = session.loopbackCapture.Open(render.Get(), true);
  if (!opened) {
    texts.systemAudioError = "computer audio: " + opened.error().message;
    session.loopbackCapture.Reset();
    return texts;
  }
  session.loopbackCapture.endpoint.SetFollowsDefault(devices.speakersId.empty());
  texts.micError = OpenMixedMicrophone(session, enumerator.Get(), devices.microphoneId);

  ComRef<IMFMediaType> output;
  hr = CreateAacOutputType(kMixRate, kMixChannels, output.Put());
  DWORD streamIndex = 0;
  if (SUCCEEDED(hr)) hr = session.writer.sinkWriter->AddStream(output.Get(), &streamIndex);
  if (FAILED(hr)) {
    texts.systemAudioError = "aac stream " + HresultText(hr);
    ResetCaptures(session);
    return texts;
  }
  session.writer.audioStream = streamIndex;
  ComRef<IMFMediaType> input;
  hr = CreatePcmInputType(kMixRate, kMixChannels, input.Put());
  if (SUCCEEDED(hr)) {
    hr = session.writer.sinkWriter->SetInputMediaType(session.writer.audioStream, input.Get(),
                                                      nullptr);
  }
  if (FAILED(hr)) {
    texts.systemAudioError = "aac input " + HresultText(hr);
    ResetCaptures(session);
    return texts;
  }
  session.audioEnabled = true;
  return texts;
}

}  // namespace morl::recorder
