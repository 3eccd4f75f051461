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
// `systemAudioError` when there is none to capture.
ComRef<IMMDevice> FindSpeakers(RecordingSession& session, IMMDeviceEnumerator* enumerator,
                               const std::wstring& speakersId) {
  ComRef<IMMDevice> render;
  if (!speakersId.empty()) {
    const HRESULT hr = FindActiveEndpoint(enumerator, eRender, speakersId, render.Put());
    if (FAILED(hr)) {
      session.systemAudioError = ChosenEndpointError("render lookup", hr, "playback device");
    }
    return render;
  }
  const HRESULT hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, render.Put());
  if (hr == kElementNotFound) {
    session.systemAudioError = kNoPlaybackDevice;
  } else if (FAILED(hr)) {
    session.systemAudioError = "render lookup " + HresultText(hr);
  }
  return render;
}

}  // namespace

void OpenMixedMicrophone(RecordingSession& session, IMMDeviceEnumerator* enumerator,
                         const std::wstring& microphoneId) {
  ComRef<IMMDevice> device;
  if (microphoneId.empty()) {
    if (FAILED(enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, device.Put()))) return;
  } else if (const HRESULT hr =
                 FindActiveEndpoint(enumerator, eCapture, microphoneId, device.Put());
             FAILED(hr)) {
    session.micError =
        "mic mix unavailable: " + ChosenEndpointError("mic lookup", hr, "microphone");
    return;
  }
  const Status opened = session.micCapture.Open(device.Get(), false);
  if (!opened) {
    session.micCapture.Reset();
    session.micError = "mic mix unavailable: " + opened.error().message;
  }
}

void SetUpComputerAudio(RecordingSession& session, const ComputerAudioDevices& devices) {
  session.systemAudioError.clear();
  session.audioEnabled = false;

  ComRef<IMMDeviceEnumerator> enumerator;
  HRESULT hr = CreateDeviceEnumerator(enumerator);
  if (FAILED(hr)) {
    session.systemAudioError = "audio enumerator " + HresultText(hr);
    return;
  }
  ComRef<IMMDevice> render = FindSpeakers(session, enumerator.Get(), devices.speakersId);
  if (!render) return;
  const Status opened = session.loopbackCapture.Open(render.Get(), true);
  if (!opened) {
    session.systemAudioError = "computer audio: " + opened.error().message;
    session.loopbackCapture.Reset();
    return;
  }
  OpenMixedMicrophone(session, enumerator.Get(), devices.microphoneId);

  ComRef<IMFMediaType> output;
  hr = CreateAacOutputType(kMixRate, kMixChannels, output.Put());
  DWORD streamIndex = 0;
  if (SUCCEEDED(hr)) hr = session.sinkWriter->AddStream(output.Get(), &streamIndex);
  if (FAILED(hr)) {
    session.systemAudioError = "aac stream " + HresultText(hr);
    ResetCaptures(session);
    return;
  }
  session.audioStreamIndex = streamIndex;
  ComRef<IMFMediaType> input;
  hr = CreatePcmInputType(kMixRate, kMixChannels, input.Put());
  if (SUCCEEDED(hr)) {
    hr = session.sinkWriter->SetInputMediaType(session.audioStreamIndex, input.Get(), nullptr);
  }
  if (FAILED(hr)) {
    session.systemAudioError = "aac input " + HresultText(hr);
    ResetCaptures(session);
    return;
  }
  session.audioEnabled = true;
}

}  // namespace morl::recorder
