#include "support_tone.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// The one place where the two builds differ: under Windows (Wine) a separate
// player process plays into the audio server's sinks; on the simulated
// machine the endpoints' signals are set directly.
#ifdef _WIN32

namespace contract {
namespace {

// What the player has queued (a block and a pipe's worth, ~50 ms), its
// stream's ~60 ms in the audio server, and one capture period: after the
// player answers, the tone reaches the sink within this time.
constexpr DWORD kAudibleAfterMs = 200;
constexpr DWORD kAnswerTimeoutMs = 5000;

std::wstring ToneDirectory() {
  wchar_t buffer[1024];
  const DWORD n = GetEnvironmentVariableW(L"MORL_TONE_DIR", buffer, 1024);
  if (n == 0 || n >= 1024) return {};
  std::wstring dir(buffer, n);
  // Wine maps the Unix root to drive Z:.
  if (dir[0] == L'/') dir = L"Z:" + dir;
  return dir;
}

bool WriteWhole(const std::wstring& path, const std::string& text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

std::string ReadWhole(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  char buffer[256];
  DWORD read = 0;
  const BOOL ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr);
  CloseHandle(file);
  return ok ? std::string(buffer, read) : std::string();
}

const wchar_t* SinkOf(ToneTarget target) {
  return target == ToneTarget::kSpeakers ? L"morl_speakers" : L"morl_micfeed";
}

// Writes "<sequence> <what>" as the sink's request and waits for the player
// to answer with the same sequence.
bool Request(const wchar_t* sink, const std::string& what) {
  const std::wstring dir = ToneDirectory();
  if (dir.empty()) {
    std::fprintf(stderr, "tone: %s\n", ToneUnavailableReason().c_str());
    return false;
  }
  static LONG counter = 0;
  const std::string sequence =
      std::to_string(GetCurrentProcessId()) + "-" + std::to_string(InterlockedIncrement(&counter));
  const std::wstring base = dir + L"/" + sink;
  const std::wstring staged = base + L".request.tmp";
  // Renamed into place so the player never reads half a request.
  if (!WriteWhole(staged, sequence + " " + what + "\n") ||
      !MoveFileExW(staged.c_str(), (base + L".request").c_str(), MOVEFILE_REPLACE_EXISTING)) {
    std::fprintf(stderr, "tone: cannot write a request in MORL_TONE_DIR (error %lu)\n",
                 GetLastError());
    return false;
  }
  const std::wstring done = base + L".done";
  for (DWORD waited = 0; waited < kAnswerTimeoutMs; waited += 5) {
    const std::string answer = ReadWhole(done);
    if (answer.compare(0, sequence.size() + 1, sequence + "\n") == 0) {
      Sleep(kAudibleAfterMs);
      return true;
    }
    Sleep(5);
  }
  std::fprintf(stderr, "tone: the player did not answer \"%s\"\n", what.c_str());
  return false;
}

}  // namespace

std::string ToneUnavailableReason() {
  if (ToneDirectory().empty()) {
    return "no tone player: MORL_TONE_DIR is not set (run under tools/wine-session)";
  }
  return {};
}

static bool PlayTone(ToneTarget target, double hz, double level) {
  char what[64];
  std::snprintf(what, sizeof what, "play %.3f %.4f", hz, level);
  return Request(SinkOf(target), what);
}

static bool SilenceTone(ToneTarget target) { return Request(SinkOf(target), "stop"); }

// The player loads and unloads the spare sink on request.
SpareEndpoint::SpareEndpoint() = default;

SpareEndpoint::~SpareEndpoint() {
  if (removed_) Request(L"morl_spare", "load");
}

bool SpareEndpoint::Remove() {
  removed_ = Request(L"morl_spare", "unload");
  return removed_;
}

}  // namespace contract

#else  // the simulated machine

#include <winsim_audio.h>

namespace contract {

std::string ToneUnavailableReason() { return {}; }

// The microphone's Media Foundation source has a sound setting of its own.
static void SetMicrophoneSourceTone(double hz, double level) {
  winsim::MicrophoneSource source = winsim::GetMicrophoneSource();
  source.tone_hz = hz;
  source.level = level;
  winsim::SetMicrophoneSource(source);
}

static bool PlayTone(ToneTarget target, double hz, double level) {
  winsim::AudioSignal signal;
  signal.tone_hz = hz;
  signal.level = level;
  if (target == ToneTarget::kSpeakers) {
    winsim::SetRenderSignal(signal);
  } else {
    winsim::SetCaptureSignal(signal);
    SetMicrophoneSourceTone(hz, level);
  }
  return true;
}

static bool SilenceTone(ToneTarget target) {
  winsim::AudioSignal signal;
  if (target == ToneTarget::kSpeakers) {
    signal.playing = false;  // nothing plays: loopback receives no packets
    winsim::SetRenderSignal(signal);
  } else {
    signal.silent = true;  // the microphone records silence
    winsim::SetCaptureSignal(signal);
    SetMicrophoneSourceTone(0.0, 0.0);
  }
  return true;
}

namespace {

constexpr wchar_t kSpareId[] = L"{0.0.1.00000000}.{5fa1e0c4-7d2b-4c39-9e51-0b8d6a3c2f17}";

// The capture endpoints with or without the spare one, the default kept.
void SetSpare(bool present) {
  const std::optional<winsim::AudioEndpoint> chosen = winsim::CaptureEndpoint();
  std::vector<winsim::AudioEndpoint> endpoints;
  std::size_t default_index = 0;
  for (const winsim::AudioEndpoint& endpoint : winsim::CaptureEndpoints()) {
    if (endpoint.id == kSpareId) continue;
    if (chosen && endpoint.id == chosen->id) default_index = endpoints.size();
    endpoints.push_back(endpoint);
  }
  if (present) {
    winsim::AudioEndpoint spare;
    spare.id = kSpareId;
    spare.name = std::wstring(L"Monitor of ") + SpareEndpoint::kName;
    endpoints.push_back(spare);
  }
  winsim::SetCaptureEndpoints(endpoints, default_index);
}

}  // namespace

SpareEndpoint::SpareEndpoint() { SetSpare(true); }

SpareEndpoint::~SpareEndpoint() {
  if (!removed_) SetSpare(false);
}

bool SpareEndpoint::Remove() {
  SetSpare(false);
  removed_ = true;
  return true;
}

}  // namespace contract

#endif

namespace contract {
namespace {

// Which targets may still be sounding. Set before a start is asked for, so a
// start whose answer comes late is still stopped at the end of the case.
bool g_sounding[2] = {false, false};

bool& Sounding(ToneTarget target) { return g_sounding[target == ToneTarget::kSpeakers ? 0 : 1]; }

}  // namespace

bool StartTone(ToneTarget target, double hz, double level) {
  Sounding(target) = true;
  return PlayTone(target, hz, level);
}

bool StopTone(ToneTarget target) {
  const bool stopped = SilenceTone(target);
  if (stopped) Sounding(target) = false;
  return stopped;
}

TonesStoppedAtExit::~TonesStoppedAtExit() {
  for (ToneTarget target : {ToneTarget::kSpeakers, ToneTarget::kMicrophone}) {
    if (Sounding(target)) StopTone(target);
  }
}

double ToneAmplitude(const std::vector<float>& samples, double rate, double hz) {
  // Whole 10 ms blocks only: a tone with whole cycles per 10 ms then fills
  // the window exactly and leaks nothing into the estimate.
  const auto block = static_cast<std::size_t>(rate / 100.0);
  const std::size_t n = block == 0 ? samples.size() : samples.size() / block * block;
  if (n == 0 || rate <= 0.0) return 0.0;
  const double coefficient = 2.0 * std::cos(2.0 * 3.14159265358979323846 * hz / rate);
  double s1 = 0.0, s2 = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double s = samples[i] + coefficient * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
  return 2.0 * std::sqrt(std::max(0.0, power)) / static_cast<double>(n);
}

std::vector<double> ToneAmplitudes(const std::vector<float>& samples, double rate, double hz) {
  std::vector<double> amplitudes;
  const auto block = static_cast<std::size_t>(rate / 10.0);
  for (std::size_t at = 0; block != 0 && at + block <= samples.size(); at += block) {
    const std::vector<float> part(samples.begin() + static_cast<std::ptrdiff_t>(at),
                                  samples.begin() + static_cast<std::ptrdiff_t>(at + block));
    amplitudes.push_back(ToneAmplitude(part, rate, hz));
  }
  return amplitudes;
}

double MedianToneAmplitude(const std::vector<float>& samples, double rate, double hz) {
  std::vector<double> amplitudes = ToneAmplitudes(samples, rate, hz);
  if (amplitudes.empty()) return 0.0;
  std::nth_element(amplitudes.begin(), amplitudes.begin() + amplitudes.size() / 2,
                   amplitudes.end());
  return amplitudes[amplitudes.size() / 2];
}

double DecibelsRelative(double amplitude, double reference) {
  if (amplitude <= 0.0 || reference <= 0.0) return -1000.0;
  return 20.0 * std::log10(amplitude / reference);
}

}  // namespace contract
