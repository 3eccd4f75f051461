#include "recorder_adapter.h"

#include <cstring>
#include <thread>

#include "recorder/audio_media_types.h"
#include "recorder/audio_mixer.h"
#include "recorder/computer_audio.h"
#include "recorder/now_100ns.h"
#include "recorder/recording_session.h"
#include "recorder/screen_grabber.h"
#include "win32_support/hresult_text.h"

using namespace morl::recorder;

namespace capture_live {

std::vector<std::uint32_t> GrabScreenWithCursor(int width, int height) {
  ScreenGrabber grabber(width, height);
  if (!grabber.Ready()) return {};
  grabber.Grab();
  std::vector<std::uint32_t> pixels(grabber.FrameBytes() / 4);
  std::memcpy(pixels.data(), grabber.Bits(), grabber.FrameBytes());
  return pixels;
}

struct ComputerAudio::State {
  RecordingSession session;
};

ComputerAudio::ComputerAudio(IMFSinkWriter* sink) : state_(new State) {
  sink->AddRef();
  state_->session.sinkWriter = ComRef<IMFSinkWriter>(sink);
  state_->session.systemAudio = true;
}

ComputerAudio::~ComputerAudio() {
  StopMixing();
  state_->session.loopbackCapture.Reset();
  state_->session.micCapture.Reset();
}

bool ComputerAudio::SetUp(std::string& error) {
  SetUpComputerAudio(state_->session);
  error = state_->session.systemAudioError;
  return state_->session.audioEnabled;
}

bool ComputerAudio::SetUpWithSpeakersFrom(IMMDevice* speakers_monitor, std::string& error) {
  RecordingSession& s = state_->session;
  if (FAILED(s.loopbackCapture.Open(speakers_monitor, false, error))) {
    s.loopbackCapture.Reset();
    return false;
  }
  ComRef<IMMDeviceEnumerator> enumerator;
  ComRef<IMMDevice> microphone;
  HRESULT hr =
      CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                       reinterpret_cast<void**>(enumerator.Put()));
  if (SUCCEEDED(hr)) hr = enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, microphone.Put());
  std::string micError;
  if (FAILED(hr)) {
    s.micError = "mic lookup " + HresultText(hr);
  } else if (FAILED(s.micCapture.Open(microphone.Get(), false, micError))) {
    s.micCapture.Reset();
    s.micError = "mic mix unavailable: " + micError;
  }
  ComRef<IMFMediaType> output, input;
  DWORD index = 0;
  hr = CreateAacOutputType(48000, 2, output.Put());
  if (SUCCEEDED(hr)) hr = s.sinkWriter->AddStream(output.Get(), &index);
  if (SUCCEEDED(hr)) hr = CreatePcmInputType(48000, 2, input.Put());
  if (SUCCEEDED(hr)) hr = s.sinkWriter->SetInputMediaType(index, input.Get(), nullptr);
  if (FAILED(hr)) {
    error = "audio stream " + HresultText(hr);
    return false;
  }
  s.audioStreamIndex = index;
  s.audioEnabled = true;
  return true;
}

bool ComputerAudio::MicrophoneMixed() const { return state_->session.micCapture.active; }

std::string ComputerAudio::MicrophoneError() const { return state_->session.micError; }

bool ComputerAudio::StartMixing() {
  RecordingSession& s = state_->session;
  // The mixer paces itself on the recording's stop event; without an open
  // one it would end at once.
  if (FAILED(s.stop.Open())) return false;
  s.startTime = Now100ns();
  s.audioThread = std::thread(RunMixedAudio, std::ref(s));
  return true;
}

void ComputerAudio::StopMixing() {
  RecordingSession& s = state_->session;
  s.stop.Request();
  if (s.audioThread.joinable()) s.audioThread.join();
  s.stop.Close();
}

std::int64_t ComputerAudio::Now() { return Now100ns(); }

std::int64_t ComputerAudio::StartTime() const { return state_->session.startTime; }

}  // namespace capture_live
