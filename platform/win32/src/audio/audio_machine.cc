#include <algorithm>
#include <mutex>
#include <vector>

#include "audio/audio_state.h"

namespace winsim {
namespace {

using audio::EndpointSnapshot;

// The endpoints of one direction in the order the enumerator lists them;
// `default_index` names the default one when the list is not empty.
struct EndpointList {
  std::vector<AudioEndpoint> all;
  std::size_t default_index = 0;

  void Set(std::vector<AudioEndpoint> endpoints, std::size_t index) {
    all = std::move(endpoints);
    default_index = index < all.size() ? index : 0;
  }
  // Windows names no default while no endpoint of the direction is active.
  AudioEndpoint* Default() {
    if (all.empty() || all[default_index].state != DEVICE_STATE_ACTIVE) return nullptr;
    return &all[default_index];
  }
  AudioEndpoint* Find(const std::wstring& id) {
    for (AudioEndpoint& e : all) {
      if (e.id == id) return &e;
    }
    return nullptr;
  }
};

struct AudioMachine {
  std::mutex mutex;
  EndpointList render;
  EndpointList capture;
  MicrophoneSource microphone;
  std::vector<AudioClientInit> inits;
  // The started render streams of this process: stream, endpoint id and
  // the machine time of its start.
  struct RunningRender {
    const void* stream;
    std::wstring endpoint_id;
    std::int64_t since;
  };
  std::vector<RunningRender> running_renders;
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
    m->render.Set({DefaultSpeakers()}, 0);
    m->capture.Set({DefaultMicrophone()}, 0);
    return m;
  }();
  return *machine;
}

EndpointList& List(AudioMachine& m, bool render) { return render ? m.render : m.capture; }

std::vector<AudioEndpoint> OneOrNone(const std::optional<AudioEndpoint>& endpoint) {
  if (!endpoint) return {};
  return {*endpoint};
}

void SetDefaultSignal(bool render, const AudioSignal& signal) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  if (AudioEndpoint* e = List(m, render).Default()) e->signal = signal;
}

std::wstring DefaultId(EndpointList& list) {
  const AudioEndpoint* e = list.Default();
  return e != nullptr ? e->id : std::wstring();
}

// Replaces a direction's endpoints and tells the registered notification
// clients what changed, as Windows does when devices come and go.
void SetList(bool render, const std::vector<AudioEndpoint>& endpoints, std::size_t index) {
  AudioMachine& m = Machine();
  EndpointSnapshot before, after;
  {
    std::lock_guard<std::mutex> lock(m.mutex);
    EndpointList& list = List(m, render);
    before.default_id = DefaultId(list);
    for (const AudioEndpoint& e : list.all) before.states.emplace_back(e.id, e.state);
    list.Set(endpoints, index);
    after.default_id = DefaultId(list);
    for (const AudioEndpoint& e : list.all) after.states.emplace_back(e.id, e.state);
  }
  audio::NotifyEndpointChanges(render, before, after);
}

std::vector<AudioEndpoint> GetList(bool render) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  return List(m, render).all;
}

}  // namespace

void SetRenderEndpoint(const std::optional<AudioEndpoint>& endpoint) {
  SetList(true, OneOrNone(endpoint), 0);
}

void SetCaptureEndpoint(const std::optional<AudioEndpoint>& endpoint) {
  SetList(false, OneOrNone(endpoint), 0);
}

void SetRenderEndpoints(const std::vector<AudioEndpoint>& endpoints, std::size_t default_index) {
  SetList(true, endpoints, default_index);
}

void SetCaptureEndpoints(const std::vector<AudioEndpoint>& endpoints, std::size_t default_index) {
  SetList(false, endpoints, default_index);
}

std::vector<AudioEndpoint> RenderEndpoints() { return GetList(true); }
std::vector<AudioEndpoint> CaptureEndpoints() { return GetList(false); }

std::optional<AudioEndpoint> RenderEndpoint() { return audio::Endpoint(true); }
std::optional<AudioEndpoint> CaptureEndpoint() { return audio::Endpoint(false); }

void SetRenderSignal(const AudioSignal& signal) { SetDefaultSignal(true, signal); }
void SetCaptureSignal(const AudioSignal& signal) { SetDefaultSignal(false, signal); }

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
  m.render.Set({DefaultSpeakers()}, 0);
  m.capture.Set({DefaultMicrophone()}, 0);
  m.microphone = MicrophoneSource{};
  m.inits.clear();
  m.running_renders.clear();
}

namespace audio {

void RenderStreamStarted(const void* stream, const std::wstring& endpoint_id, std::int64_t since) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  m.running_renders.push_back({stream, endpoint_id, since});
}

void RenderStreamStopped(const void* stream) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  auto& running = m.running_renders;
  running.erase(std::remove_if(running.begin(), running.end(),
                               [stream](const auto& r) { return r.stream == stream; }),
                running.end());
}

std::optional<std::int64_t> RenderStreamRunningSince(const std::wstring& endpoint_id) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  std::optional<std::int64_t> since;
  for (const auto& r : m.running_renders) {
    if (r.endpoint_id == endpoint_id && (!since || r.since < *since)) since = r.since;
  }
  return since;
}

std::optional<AudioEndpoint> Endpoint(bool render) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  const AudioEndpoint* e = List(m, render).Default();
  if (e == nullptr) return std::nullopt;
  return *e;
}

std::vector<AudioEndpoint> Endpoints(bool render) { return GetList(render); }

std::optional<AudioEndpoint> EndpointById(const std::wstring& id, bool* render) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  for (bool direction : {true, false}) {
    if (const AudioEndpoint* e = List(m, direction).Find(id)) {
      if (render != nullptr) *render = direction;
      return *e;
    }
  }
  return std::nullopt;
}

bool EndpointActive(const std::wstring& id) {
  const std::optional<AudioEndpoint> e = EndpointById(id);
  return e && e->state == DEVICE_STATE_ACTIVE;
}

bool IsDefault(bool render, const std::wstring& id) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  const AudioEndpoint* e = List(m, render).Default();
  return e != nullptr && e->id == id;
}

AudioSignal CurrentSignal(bool render, const std::wstring& id, const AudioSignal& fallback) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  const AudioEndpoint* e = List(m, render).Find(id);
  return e != nullptr ? e->signal : fallback;
}

void RecordInit(const AudioClientInit& init) {
  AudioMachine& m = Machine();
  std::lock_guard<std::mutex> lock(m.mutex);
  m.inits.push_back(init);
}

}  // namespace audio
}  // namespace winsim
