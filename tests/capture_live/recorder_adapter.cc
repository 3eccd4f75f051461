#include "recorder_adapter.h"

#include <cstring>
#include <thread>

#include "recorder/audio/audio_devices.h"
#include "recorder/audio/audio_media_types.h"
#include "recorder/audio/audio_mixer.h"
#include "recorder/video/capture_area.h"
#include "recorder/audio/computer_audio.h"
#include "recorder/video/display_list.h"
#include "recorder/video/duplication_start.h"
#include "recorder/audio/endpoint_lookup.h"
#include "recorder/now_100ns.h"
#include "recorder/recording_session.h"
#include "recorder/video/screen_grabber.h"
#include "win32_support/hresult_text.h"

using morl::ComRef;
using morl::HresultText;

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

std::vector<Display> RecorderDisplays() {
  std::vector<Display> out;
  for (const DisplayInfo& d : ListDisplays()) {
    out.push_back({d.id, d.name, d.left, d.top, d.width, d.height, d.primary, d.dpi});
  }
  return out;
}

AreaGrab GrabDisplayRegion(int display, int left, int top, int width, int height) {
  StartOptions options;
  options.display = display;
  options.region = CaptureRegion{left, top, width, height};
  AreaGrab grab;
  const Result<CaptureArea> resolved = ResolveCaptureArea(options);
  grab.resolved = resolved.ok();
  if (!resolved) {
    grab.code = resolved.error().code;
    grab.message = resolved.error().message;
    return grab;
  }
  const CaptureArea& area = *resolved;
  grab.left = area.left;
  grab.top = area.top;
  grab.width = area.width;
  grab.height = area.height;
  ScreenGrabber grabber(area.width, area.height, area.left, area.top, area.monitor);
  if (!grabber.Ready()) return grab;
  grabber.Grab();
  grab.pixels.resize(grabber.FrameBytes() / 4);
  std::memcpy(grab.pixels.data(), grabber.Bits(), grabber.FrameBytes());
  return grab;
}

std::string PrimaryCapturePath() {
  const Result<CaptureArea> area = ResolveCaptureArea(StartOptions());
  if (!area) return "no primary display";
  VideoTrack track;
  const bool duplicated = SetUpDuplication(track, *area, FrameSize{area->width, area->height});
  return duplicated ? "duplication" : "gdi";
}

HRESULT RecorderAudioDevices(std::vector<Endpoint>& microphones, std::vector<Endpoint>& speakers) {
  std::vector<AudioDevice> mics, outs;
  const HRESULT hr = ListAudioDevices(mics, outs);
  for (const AudioDevice& d : mics) microphones.push_back({d.id, d.name, d.is_default});
  for (const AudioDevice& d : outs) speakers.push_back({d.id, d.name, d.is_default});
  return hr;
}

HRESULT FindEndpointById(bool capture, const std::wstring& id, std::wstring& found_id) {
  ComRef<IMMDeviceEnumerator> enumerator;
  HRESULT hr = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                IID_IMMDeviceEnumerator, enumerator.PutVoid());
  ComRef<IMMDevice> device;
  if (SUCCEEDED(hr)) {
    hr = FindActiveEndpoint(enumerator.Get(), capture ? eCapture : eRender, id, device.Put());
  }
  if (SUCCEEDED(hr)) hr = EndpointId(device.Get(), found_id);
  return hr;
}

struct ChosenMicrophone::State {
  RecordingSession session;
};

ChosenMicrophone::ChosenMicrophone() : state_(new State) {}

ChosenMicrophone::~ChosenMicrophone() { state_->session.captures.mic.Reset(); }

bool ChosenMicrophone::Open(const std::wstring& id, std::string& error) {
  RecordingSession& s = state_->session;
  ComRef<IMMDeviceEnumerator> enumerator;
  const HRESULT hr = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                      IID_IMMDeviceEnumerator, enumerator.PutVoid());
  if (FAILED(hr)) {
    error = "audio enumerator " + HresultText(hr);
    return false;
  }
  error = OpenMixedMicrophone(s.captures.mic, enumerator.Get(), id);
  if (!s.captures.mic.endpoint.active() && error.empty()) error = "no default microphone";
  return s.captures.mic.endpoint.active();
}

void ChosenMicrophone::Drain() { state_->session.captures.mic.Drain(); }

double ChosenMicrophone::Rate() const {
  return state_->session.captures.mic.endpoint.format().sample_rate;
}

std::vector<float> ChosenMicrophone::LeftChannel() const {
  const SampleQueue& stereo = state_->session.captures.mic.samples;
  std::vector<float> left(stereo.size() / 2);
  for (std::size_t i = 0; i < left.size(); ++i) left[i] = stereo[2 * i];
  return left;
}

struct ComputerAudio::State {
  RecordingSession session;
  std::string mic_error;  // the last set-up's
};

ComputerAudio::ComputerAudio(IMFSinkWriter* sink) : state_(new State) {
  sink->AddRef();
  state_->session.writer.sink_writer = ComRef<IMFSinkWriter>(sink);
  state_->session.audio.system_audio = true;
}

ComputerAudio::~ComputerAudio() {
  StopMixing();
  state_->session.captures.loopback.Reset();
  state_->session.captures.mic.Reset();
}

bool ComputerAudio::SetUp(std::string& error) {
  const AudioSetUpTexts texts =
      SetUpComputerAudio(state_->session.writer, state_->session.audio, state_->session.captures);
  state_->mic_error = texts.mic_error;
  error = texts.system_audio_error;
  return state_->session.audio.enabled;
}

bool ComputerAudio::SetUpWithSpeakersFrom(IMMDevice* speakers_monitor, std::string& error) {
  RecordingSession& s = state_->session;
  if (const Status opened = s.captures.loopback.Open(speakers_monitor, false); !opened) {
    error = opened.error().message;
    s.captures.loopback.Reset();
    return false;
  }
  ComRef<IMMDeviceEnumerator> enumerator;
  HRESULT hr = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                IID_IMMDeviceEnumerator, enumerator.PutVoid());
  if (FAILED(hr)) {
    error = "audio enumerator " + HresultText(hr);
    return false;
  }
  state_->mic_error = OpenMixedMicrophone(s.captures.mic, enumerator.Get(), L"");
  ComRef<IMFMediaType> output, input;
  DWORD index = 0;
  hr = CreateAacOutputType(48000, 2, output.Put());
  if (SUCCEEDED(hr)) hr = s.writer.sink_writer->AddStream(output.Get(), &index);
  if (SUCCEEDED(hr)) hr = CreatePcmInputType(48000, 2, input.Put());
  if (SUCCEEDED(hr)) hr = s.writer.sink_writer->SetInputMediaType(index, input.Get(), nullptr);
  if (FAILED(hr)) {
    error = "audio stream " + HresultText(hr);
    return false;
  }
  s.writer.audio_stream = index;
  s.audio.enabled = true;
  return true;
}

bool ComputerAudio::MicrophoneMixed() const {
  return state_->session.captures.mic.endpoint.active();
}

std::string ComputerAudio::MicrophoneError() const { return state_->mic_error; }

bool ComputerAudio::StartMixing() {
  RecordingSession& s = state_->session;
  // The mixer paces itself on the recording's stop event; without an open
  // one it would end at once.
  if (FAILED(s.timeline.stop.Open())) return false;
  s.timeline.start_time = Now100ns();
  s.audio_thread = std::thread([&s] { RunMixedAudio(s.AudioParts(), s.captures); });
  return true;
}

void ComputerAudio::StopMixing() {
  RecordingSession& s = state_->session;
  s.timeline.stop.Request();
  if (s.audio_thread.joinable()) s.audio_thread.join();
  s.timeline.stop.Close();
}

std::int64_t ComputerAudio::Now() { return Now100ns(); }

std::int64_t ComputerAudio::StartTime() const { return state_->session.timeline.start_time; }

}  // namespace capture_live
