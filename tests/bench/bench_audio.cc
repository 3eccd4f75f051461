// Audio benchmarks on the simulated machine:
//  - mixer: CPU time the computer-audio mixer spends per second of audio it
//    produces (loopback and microphone both delivering, 10 ms steps), less
//    what the simulated endpoints spend generating and handing over packets
//    (measured alone on the same machine settings);
//  - stop: latency of Recorder::Stop over 20 recordings at 1280 x 720 with
//    computer audio, and with the microphone alone when it never delivers;
//  - status: the cost of one status call during a recording.
// Prints one line per figure.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "recorder/audio/audio_mixer.h"
#include "recorder/now_100ns.h"
#include "recorder/recorder.h"
#include "recorder/recording_session.h"
#include "tests/recorder/computer_audio_session.h"
#include "tests/recorder/recorder_calls.h"
#include "win32_support/utf_conversion.h"
#include "winsim.h"
#include "winsim_audio.h"

using morl::Utf8ToWide;

using namespace morl::recorder;

namespace {

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

constexpr int kMixerSeconds = 60;

// Opens the session's computer-audio captures on a fresh machine with a
// manual clock and a sink writer that records without encoding.
void OpenMixerSession(RecordingSession& session) {
  winsim::ResetMachine();
  winsim::SetSinkEncoding(false);
  winsim::UseManualClock();
  const std::string failed = computer_audio_session::Open(session, L"/tmp/morl_bench_mixer.mp4");
  if (!failed.empty()) std::printf("mixer: set-up failed: %s\n", failed.c_str());
}

void CloseMixerSession(RecordingSession& session) {
  computer_audio_session::Close(session);
  winsim::UseRealClock();
}

// What the simulated endpoints cost on their own: generating the tone and
// handing each packet over, with nothing done to the samples. On Windows
// this work happens in the audio engine, not in the recorder.
double DeviceOnlyCpuSeconds() {
  RecordingSession session;
  OpenMixerSession(session);
  const double before = ThreadCpuSeconds();
  volatile float sink = 0.0f;
  for (int step = 0; step < kMixerSeconds * 100; ++step) {
    winsim::AdvanceClock(100'000);  // 10 ms
    for (MixSource* capture : {&session.captures.loopback, &session.captures.mic}) {
      capture->endpoint.ReadPackets([&sink](const CapturedPacket& packet) {
        if (packet.data != nullptr) sink = sink + static_cast<float>(packet.data[0]);
      });
    }
  }
  const double cpu = ThreadCpuSeconds() - before;
  CloseMixerSession(session);
  return cpu;
}

void BenchMixer() {
  const double device = DeviceOnlyCpuSeconds();
  RecordingSession session;
  OpenMixerSession(session);
  double cpu = 0.0;
  double produced = 0.0;
  {
    AudioMixer mixer(session.AudioParts(), session.captures);
    const double before = ThreadCpuSeconds();
    for (int step = 0; step < kMixerSeconds * 100; ++step) {
      winsim::AdvanceClock(100'000);  // 10 ms
      mixer.Step(Now100ns);
    }
    cpu = ThreadCpuSeconds() - before;
    produced = static_cast<double>(mixer.written()) / 48000.0;
  }
  CloseMixerSession(session);
  const double own = cpu - device;
  std::printf(
      "mixer: %.3f %% of one core per second of audio (%.3f ms CPU/s; drain, resample, mix, "
      "PCM block, sample write), %.1f s produced\n",
      own / produced * 100.0, own / produced * 1000.0, produced);
  std::printf(
      "mixer: with the simulated endpoints' tone generation %.3f %% (endpoints alone %.3f %%)\n",
      cpu / produced * 100.0, device / produced * 100.0);
}

void BenchStop(const char* label, bool system_audio, bool silent_microphone, bool encode) {
  winsim::ResetMachine();
  winsim::ResetAudio();
  winsim::SetSinkEncoding(encode);
  winsim::SetScreenSize(1280, 720);
  winsim::AnimateDesktop();
  if (silent_microphone) {
    winsim::MicrophoneSource mic = winsim::GetMicrophoneSource();
    mic.deliver = false;
    winsim::SetMicrophoneSource(mic);
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::vector<double> latencies;
  Recorder recorder;
  const std::string path = "/tmp/morl_bench_stop.mp4";
  for (int i = 0; i < 20; ++i) {
    std::string code, message;
    if (FAILED(StartRecorder(recorder, Utf8ToWide(path), system_audio, code, message))) {
      std::printf("stop: start failed: %s %s\n", code.c_str(), message.c_str());
      return;
    }
    Sleep(1000);
    flutter::ValueMap stats;
    const auto t0 = std::chrono::steady_clock::now();
    StopRecorder(recorder, code, message, stats);
    latencies.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  CoUninitialize();
  std::sort(latencies.begin(), latencies.end());
  const auto at = [&](double q) {
    return latencies[std::min(latencies.size() - 1,
                              static_cast<std::size_t>(q * latencies.size()))];
  };
  std::printf("stop (%s): median %.1f ms, p95 %.1f ms, max %.1f ms over %zu recordings\n", label,
              at(0.5), at(0.95), latencies.back(), latencies.size());
  std::remove(path.c_str());
}

// What one "status" costs on a running 1280 x 720 recording with computer
// audio: polled every 100 ms, as the user interface does, and called back to
// back, which would show any wait on the writer or a worker.
void BenchStatus() {
  winsim::ResetMachine();
  winsim::ResetAudio();
  winsim::SetSinkEncoding(true);
  winsim::SetScreenSize(1280, 720);
  winsim::AnimateDesktop();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::string path = "/tmp/morl_bench_status.mp4";
  {
    Recorder recorder;
    std::string code, message;
    if (FAILED(StartRecorder(recorder, Utf8ToWide(path), true, code, message))) {
      std::printf("status: start failed: %s %s\n", code.c_str(), message.c_str());
      CoUninitialize();
      return;
    }
    const auto time = [&recorder] {
      const auto t0 = std::chrono::steady_clock::now();
      const flutter::ValueMap status = StatusReply(recorder.Status());
      return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
          .count();
    };
    std::vector<double> polled;
    for (int i = 0; i < 30; ++i) {
      Sleep(100);
      polled.push_back(time());
    }
    std::vector<double> back_to_back;
    for (int i = 0; i < 2000; ++i) back_to_back.push_back(time());
    flutter::ValueMap stats;
    StopRecorder(recorder, code, message, stats);
    for (auto* figures : {&polled, &back_to_back}) std::sort(figures->begin(), figures->end());
    std::printf(
        "status (1280x720, computer audio): polled every 100 ms median %.1f us, max %.1f "
        "us; back to back median %.1f us, max %.1f us\n",
        polled[polled.size() / 2], polled.back(), back_to_back[back_to_back.size() / 2],
        back_to_back.back());
  }
  CoUninitialize();
  std::remove(path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "all";
  if (which == "all" || which == "mixer") BenchMixer();
  if (which == "all" || which == "status") BenchStatus();
  if (which == "all" || which == "stop") {
    // With encoding on, the stop includes the simulated encoder finishing
    // the frames it still holds; without, only the recorder's own work.
    for (bool encode : {true, false}) {
      std::printf("stop, encoding %s:\n", encode ? "on" : "off");
      BenchStop("1280x720, computer audio", true, false, encode);
      BenchStop("1280x720, microphone that never delivers", false, true, encode);
    }
  }
  return 0;
}
