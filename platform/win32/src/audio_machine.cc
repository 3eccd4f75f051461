#include <mutex>
#include <vector>

#include "audio_state.h"

namespace winsim {
namespace {

struct AudioMachine {
  std::mutex mutex;
  std::optional<AudioEndpoint> render;
  std::optional<AudioEndpoint> capture;
  MicrophoneSource microphone;
  std::vector<AudioClientInit> inits;
};

AudioEndpoint DefaultSpeakers() {
  AudioEndpoint e;
  e.id = L"{0.0.0.00000000}.{5f1c2a10-0001-4c5e-9a41-53494d535044}";
  e.name = L"Speakers (Simulated Audio)";
  e.signal.tone_hz = 440.0;
  return e;
}

AudioEndpoint DefaultMicrophone() {
  AudioEndpoint e;
  e.id = L"{0.0.1.00000000}.{5f1c2a10-0002-4c5e-9a41-53494d534d49}";
  e.name = L"Microphone (Simulated Audio)";
  e.signal.tone_hz = 1000.0;
  return e;
}

AudioMachine& Machine() {
  static AudioMachine* machine = [] {
    auto* m = new AudioMachine;  // outlives static objects that may still hold clients
    m->render = DefaultSpeakers();
    m->capture = DefaultMicrophone();
    return m;
  }();
  return *machine;
}

}  // namespace

void SetRenderEndpoint(const std::optional<AudioEndpoint>& endpoint) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  m.render = endpoint;
}

void SetCaptureEndpoint(const std::optional<AudioEndpoint>& endpoint) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  m.capture = endpoint;
}

std::optional<AudioEndpoint> RenderEndpoint() { return audio::Endpoint(true); }
std::optional<AudioEndpoint> CaptureEndpoint() { return audio::Endpoint(false); }

void SetRenderSignal(const AudioSignal& signal) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  if (m.render) m.render->signal = signal;
}

void SetCaptureSignal(const AudioSignal& signal) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  if (m.capture) m.capture->signal = signal;
}

void SetMicrophoneSource(const MicrophoneSource& source) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  m.microphone = source;
}

MicrophoneSource GetMicrophoneSource() {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  return m.microphone;
}

std::vector<AudioClientInit> AudioClientInits() {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  return m.inits;
}

void ResetAudio() {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  m.render = DefaultSpeakers();
  m.capture = DefaultMicrophone();
  m.microphone = MicrophoneSource{};
  m.inits.clear();
}

namespace audio {

std::optional<AudioEndpoint> Endpoint(bool render) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  return render ? m.render : m.capture;
}

AudioSignal CurrentSignal(bool render, const std::wstring& id, const AudioSignal& fallback) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  const std::optional<AudioEndpoint>& e = render ? m.render : m.capture;
  return e && e->id == id ? e->signal : fallback;
}

void RecordInit(const AudioClientInit& init) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  m.inits.push_back(init);
}

}  // namespace audio
}  // namespace winsim
