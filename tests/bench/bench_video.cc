// Video worker benchmark at 1920 x 1080:
//  1. the frame rate the worker holds over 10 s with encoding on, at 15 and
//     at 60 frames a second, from the sample times the sink writer received,
//     with the frames it had to drop;
//  2. the worker's own cost per frame (grab with cursor, copy into a media
//     buffer, sample, write) beside a plain memcpy of one frame;
//  3. the cost of scaling one 7680 x 4320 frame down to the size the H.264
//     encoder takes;
//  4. with the argument "8k" instead: the process's peak memory while a
//     Recorder records a 7680 x 4320 display for a few seconds with encoding
//     on, and how long its stop takes;
//  6. with the argument "paths" instead (then optionally the seconds of each
//     run and one case, as "3840x2160@60 gpu"): on machines whose costs are the
//     published ones (see PublishedCosts), GDI with the software encoder
//     against duplication with the GPU's encoder, at 1080p60, 4K30 and 4K60:
//     the frames held (of time x rate), the processor time per frame of the
//     whole process less what the simulation did in the GPU's place (the
//     simulated encoders' own work switched off, so what is left is the
//     recorder's and the costs' processor time), and the peak memory, each
//     in a process of its own;
//  5. with the argument "stall" instead: at 720p, 4K and 8K, how long the
//     platform thread was held by a start and a stop when they ran in the
//     call (the Recorder's own Start and Stop) and how long the channel's
//     handler holds it now (the return of Handle), beside the time until
//     the reply came.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <winsim_costs.h>
#include <winsim_gpu.h>
#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <winsim.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "recorder/video/frame_scaler.h"
#include "messaging/method_result.h"
#include "recorder/recorder.h"
#include "recorder/recorder_call_handler.h"
#include "recorder/now_100ns.h"
#include "recorder/recording_session.h"
#include "recorder/video/screen_capture.h"
#include "recorder/video/screen_grabber.h"
#include "win32_support/utf_conversion.h"
#include "recorder/video/video_frame_writer.h"
#include "recorder/video/video_stream.h"
#include "tests/recorder/recorder_calls.h"

using morl::ComRef;
using morl::Utf8ToWide;

using namespace morl::recorder;

namespace {

constexpr int kW = 1920, kH = 1080;
using Clock = std::chrono::steady_clock;

bool OpenWriter(RecordingSession& session, const std::string& path, std::int32_t fps = 15) {
  ComRef<IMFAttributes> attributes;
  MFCreateAttributes(attributes.Put(), 1);
  attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, 1);
  if (FAILED(MFCreateSinkWriterFromURL(Utf8ToWide(path).c_str(), nullptr, attributes.Get(),
                                       session.writer.sink_writer.Put())) ||
      FAILED(AddVideoStream(session.writer.sink_writer.Get(), kW, kH, &session.writer.video_stream, 0,
                            fps)) ||
      FAILED(session.writer.sink_writer->BeginWriting())) {
    std::fprintf(stderr, "bench video: cannot open the sink writer at %s\n", path.c_str());
    return false;
  }
  session.video.width = kW;
  session.video.height = kH;
  session.video.frame_interval = FrameInterval(fps);
  return true;
}

double HeldFrameRate(const std::string& path, int seconds, std::int32_t fps) {
  winsim::SetSinkEncoding(true);
  RecordingSession session;
  if (!OpenWriter(session, path, fps)) return 0;
  session.timeline.stop.Open();
  session.timeline.start_time = Now100ns();
  session.video_thread =
      std::thread([&session] { RunScreenCapture(session.VideoParts(), session.watch); });
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  session.timeline.stop.Request();
  session.video_thread.join();
  session.writer.sink_writer->Finalize();
  session.writer.sink_writer.Reset();

  std::vector<std::int64_t> times;
  const auto writers = winsim::SinkWriters();
  for (const auto& s : writers.back().samples) times.push_back(s.time);
  std::remove(path.c_str());
  if (times.size() < 2) return 0;
  std::int64_t widest = 0;
  for (std::size_t i = 1; i < times.size(); ++i) widest = std::max(widest, times[i] - times[i - 1]);
  const double rate = (times.size() - 1) * 1e7 / double(times.back() - times.front());
  std::printf(
      "video fps held (1920x1080 at %d fps, %d s, encoding on): %.3f fps over %zu frames, "
      "widest gap %.1f ms, %lld dropped (encoder behind)\n",
      fps, seconds, rate, times.size(), widest / 1e4,
      static_cast<long long>(session.video.frames_dropped.load()));
  std::printf("video fps target %d.0 +- 1%%: %s\n", fps,
              rate >= fps * 0.99 && rate <= fps * 1.01 ? "met" : "MISSED");
  return rate;
}

// Mean wall time per call of `step` over `rounds` calls, in milliseconds.
template <typename Step>
double MeanMs(int rounds, Step step) {
  const auto begin = Clock::now();
  for (int i = 0; i < rounds; ++i) step(i);
  return std::chrono::duration<double, std::milli>(Clock::now() - begin).count() / rounds;
}

void PerFrameCost(const std::string& path, int rounds) {
  winsim::SetSinkEncoding(false);
  RecordingSession session;
  if (!OpenWriter(session, path)) return;
  // A still desktop: the simulated desktop's own repainting is not the
  // worker's cost.
  winsim::GetScreen().animate = nullptr;
  ScreenGrabber grabber(kW, kH);
  if (!grabber.Ready()) return;
  const double grab = MeanMs(rounds, [&](int) { grabber.Grab(); });
  const double write = MeanMs(rounds, [&](int) {
    (void)WriteVideoFrame(session.VideoParts(), grabber.Bits(), grabber.FrameBytes(), Now100ns());
  });
  const double worker = grab + write;
  std::vector<BYTE> from(grabber.FrameBytes(), 1), to(grabber.FrameBytes());
  const double copy = MeanMs(rounds, [&](int i) {
    from[0] = static_cast<BYTE>(i);
    std::memcpy(to.data(), from.data(), from.size());
  });
  session.writer.sink_writer->Finalize();
  session.writer.sink_writer.Reset();
  std::remove(path.c_str());
  std::printf(
      "video worker grab (blit + cursor): %.2f ms; write (buffer, copy, sample, "
      "WriteSample): %.2f ms\n",
      grab, write);
  std::printf(
      "video worker cost per frame: %.2f ms; memcpy of one frame: %.2f ms; ratio %.2f "
      "(target < 3); %.0f %% of a frame at 60 fps\n",
      worker, copy, worker / copy, worker / (1000.0 / 60) * 100);
}

// Processor time per call of `step` over `rounds` calls, in milliseconds: on
// a shared machine the wall time also counts other processes.
template <typename Step>
double MeanCpuMs(int rounds, Step step) {
  const std::clock_t begin = std::clock();
  for (int i = 0; i < rounds; ++i) step(i);
  return (std::clock() - begin) * 1000.0 / CLOCKS_PER_SEC / rounds;
}

void ScaleCost(int rounds) {
  constexpr FrameSize kFrom{7680, 4320};
  const FrameSize to = FitFrameSize(kFrom, kMaxEncoderFrameSize);
  const std::size_t from_bytes = std::size_t{kFrom.width} * kFrom.height * 4;
  std::vector<std::uint8_t> from(from_bytes), target(std::size_t{1} * to.width * to.height * 4);
  for (std::size_t i = 0; i < from.size(); ++i) {
    from[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
  }
  std::vector<std::uint8_t> copy(from_bytes);
  const FrameScaler scaler(kFrom, to);
  scaler.Scale(from.data(), kFrom.width * 4, target.data());  // first touch of the target
  const auto scale = [&](int i) {
    from[0] = static_cast<std::uint8_t>(i);
    scaler.Scale(from.data(), kFrom.width * 4, target.data());
  };
  const auto memcpy_frame = [&](int i) {
    from[0] = static_cast<std::uint8_t>(i);
    std::memcpy(copy.data(), from.data(), from.size());
  };
  const double ms = MeanMs(rounds, scale), copy_ms = MeanMs(rounds, memcpy_frame);
  const double cpu_ms = MeanCpuMs(rounds, scale), copy_cpu_ms = MeanCpuMs(rounds, memcpy_frame);
  std::printf(
      "frame scaling %dx%d -> %dx%d: %.2f ms per frame, %.0f MB/s of source (processor time "
      "%.2f ms, %.0f MB/s); memcpy of the source frame: %.2f ms (processor time %.2f ms)\n",
      kFrom.width, kFrom.height, to.width, to.height, ms, from_bytes / 1e3 / ms, cpu_ms,
      from_bytes / 1e3 / cpu_ms, copy_ms, copy_cpu_ms);
}

// Peak resident memory of the process so far, in MB.
double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

void EightKMemoryPeak(const std::string& path, int seconds) {
  winsim::SetSinkEncoding(true);
  winsim::SetScreenSize(7680, 4320);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const double before = PeakMegabytes();
  Recorder recorder;
  std::string code, message;
  if (FAILED(StartRecorder(recorder, Utf8ToWide(path), false, code, message))) {
    std::printf("8k: start failed: %s %s\n", code.c_str(), message.c_str());
    return;
  }
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  flutter::ValueMap stats;
  const auto t0 = Clock::now();
  StopRecorder(recorder, code, message, stats);
  const double stop_ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  const auto stat = [&stats](const char* key) -> flutter::EncodableValue& {
    return stats[flutter::EncodableValue(key)];
  };
  const auto* dropped = std::get_if<std::string>(&stat("videoError"));
  std::printf(
      "8k (%d s, encoding on): peak memory %.0f MB (%.0f MB before the recording), stop %.0f ms, "
      "recorded %dx%d, %lld frames, %s\n",
      seconds, PeakMegabytes(), before, stop_ms, std::get<std::int32_t>(stat("width")),
      std::get<std::int32_t>(stat("height")),
      static_cast<long long>(std::get<std::int64_t>(stat("frames"))),
      dropped != nullptr ? dropped->c_str() : "no frames dropped");
  CoUninitialize();
  std::remove(path.c_str());
}

// A reply that only says it came.
struct Answered : flutter::MethodResult<flutter::EncodableValue> {
  explicit Answered(bool* answered) : came(answered) {}
  void Success(const flutter::EncodableValue*) override { *came = true; }
  void Error(const std::string&, const std::string&, const flutter::EncodableValue*) override {
    *came = true;
  }
  void NotImplemented() override { *came = true; }
  bool* came;
};

double MsSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// One call through `handler`: how long Handle held the thread, and how long
// until its reply came through the thread's messages.
std::pair<double, double> TimedCall(RecorderCallHandler& handler, const char* method,
                                    flutter::EncodableValue args) {
  bool came = false;
  const auto t0 = Clock::now();
  handler.Handle(flutter::MethodCall<flutter::EncodableValue>(
                     method, std::make_unique<flutter::EncodableValue>(std::move(args))),
                 std::make_unique<Answered>(&came));
  const double held = MsSince(t0);
  PumpMessagesUntil([&] { return came; });
  return {held, MsSince(t0)};
}

void PlatformThreadStalls(const std::string& path) {
  winsim::SetSinkEncoding(true);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const struct {
    const char* name;
    int width, height;
  } sizes[] = {{"720p", 1280, 720}, {"4K", 3840, 2160}, {"8K", 7680, 4320}};
  for (const auto& size : sizes) {
    winsim::SetScreenSize(size.width, size.height);
    winsim::AnimateDesktop();
    Recorder recorder;
    std::string code, message;
    flutter::ValueMap stats;
    auto t0 = Clock::now();
    if (FAILED(StartRecorder(recorder, Utf8ToWide(path), false, code, message))) {
      std::printf("%s: start failed: %s %s\n", size.name, code.c_str(), message.c_str());
      continue;
    }
    const double sync_start = MsSince(t0);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    t0 = Clock::now();
    StopRecorder(recorder, code, message, stats);
    const double sync_stop = MsSince(t0);

    RecorderCallHandler handler(recorder);
    const flutter::EncodableValue args(
        flutter::ValueMap{{flutter::EncodableValue("path"), flutter::EncodableValue(path)}});
    const auto start = TimedCall(handler, "start", args);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto stop = TimedCall(handler, "stop", flutter::EncodableValue());
    std::printf(
        "platform thread held at %s (1 s recordings, encoding on): start %.1f ms in the call, "
        "%.2f ms with the handler (reply after %.1f ms); stop %.1f ms in the call, %.2f ms with "
        "the handler (reply after %.1f ms)\n",
        size.name, sync_start, start.first, start.second, sync_stop, stop.first, stop.second);
  }
  CoUninitialize();
  std::remove(path.c_str());
}

// What the work costs on a user's machine, from published measurements (each
// cited in docs/architecture.md): BitBlt reading the composed screen back from
// the GPU, the GPU's copy of a duplicated frame, the software H.264 encoder's
// processor time and the GPU encoder's throughput.
winsim::Costs PublishedCosts() {
  winsim::Costs costs;
  costs.bitblt_ms_per_mpixel = 10.0;
  costs.duplication_ms_per_mpixel = 0.1;
  costs.software_encode_ms_per_mpixel = 12.0;
  costs.hardware_encode_ms_per_mpixel = 1.0;
  return costs;
}

double ProcessCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// One recording of `seconds` on a machine with or without a GPU; prints one
// line. Runs in a child process so that its memory peak is its own.
void OnePath(const std::string& path, int width, int height, int fps, bool gpu, int seconds) {
  winsim::ResetMachine();
  winsim::SetSinkEncoding(false);
  const std::string display = "{\"displays\": [{\"left\": 0, \"top\": 0, \"width\": " +
                              std::to_string(width) + ", \"height\": " + std::to_string(height) +
                              ", \"primary\": true}]}";
  std::string error;
  if (!winsim::LoadMachineJson(display, &error)) {
    std::printf("bench video: %s\n", error.c_str());
    return;
  }
  winsim::AnimateDesktop();
  winsim::SetCosts(PublishedCosts());
  if (!gpu) winsim::SetGpu(std::nullopt);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Recorder recorder;
  StartOptions options;
  options.path = Utf8ToWide(path);
  options.fps = fps;
  std::string code, message;
  const double cpu0 = ProcessCpuMs() - winsim::SimulatedGpuProcessorMs();
  if (FAILED(StartRecorder(recorder, options, code, message))) {
    std::printf("%dx%d@%d: start failed: %s %s\n", width, height, fps, code.c_str(),
                message.c_str());
    return;
  }
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  flutter::ValueMap stats;
  StopRecorder(recorder, code, message, stats);
  // What the simulation did in the GPU's place costs the processor nothing
  // on Windows.
  const double cpu_ms = ProcessCpuMs() - winsim::SimulatedGpuProcessorMs() - cpu0;
  const auto frames = std::get<std::int64_t>(stats[flutter::EncodableValue("frames")]);
  std::printf("%4dx%-4d @%2d  %-26s frames held %5.1f %%  cpu %6.2f ms/frame  peak %5.0f MB\n",
              width, height, fps,
              gpu ? "duplication + hardware" : "GDI + software",
              100.0 * frames / (seconds * fps), cpu_ms / std::max<std::int64_t>(frames, 1),
              PeakMegabytes());
  CoUninitialize();
  std::remove(path.c_str());
}

// `only`, when given, names the one case to run, as "3840x2160@60 gpu" or
// "1920x1080@60 gdi".
void CapturePaths(const std::string& path, int seconds, const char* only) {
  const struct {
    int width, height, fps;
  } cases[] = {{1920, 1080, 60}, {3840, 2160, 30}, {3840, 2160, 60}};
  std::printf("capture paths (%d s each, published costs, simulated encoders' own work off):\n",
              seconds);
  for (const auto& c : cases) {
    for (const bool gpu : {false, true}) {
      char name[64];
      std::snprintf(name, sizeof name, "%dx%d@%d %s", c.width, c.height, c.fps,
                    gpu ? "gpu" : "gdi");
      if (only != nullptr && std::string(only) != name) continue;
      std::fflush(stdout);
      const pid_t child = fork();
      if (child == 0) {
        OnePath(path, c.width, c.height, c.fps, gpu, seconds);
        std::fflush(stdout);
        _exit(0);
      }
      int exit_status = 0;
      waitpid(child, &exit_status, 0);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "paths") {
    CapturePaths("/tmp/morl_bench_paths.mp4", argc > 2 ? std::max(1, std::atoi(argv[2])) : 5,
                 argc > 3 ? argv[3] : nullptr);
    return 0;
  }
  if (argc > 1 && std::string(argv[1]) == "stall") {
    winsim::ResetMachine();
    PlatformThreadStalls("/tmp/morl_bench_stall.mp4");
    return 0;
  }
  if (argc > 1 && std::string(argv[1]) == "8k") {
    winsim::ResetMachine();
    winsim::AnimateDesktop();
    EightKMemoryPeak("/tmp/morl_bench_8k.mp4", argc > 2 ? std::max(1, std::atoi(argv[2])) : 15);
    return 0;
  }
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  winsim::ResetMachine();
  winsim::SetScreenSize(kW, kH);
  winsim::AnimateDesktop();
  // The sink writer is created on this thread, which needs COM for it.
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  MFStartup(MF_VERSION, MFSTARTUP_LITE);
  const std::string file =
      std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/morl_bench_video.mp4";
  HeldFrameRate(file, seconds, 15);
  HeldFrameRate(file, seconds, 60);
  PerFrameCost(file, 60);
  ScaleCost(20);
  MFShutdown();
  CoUninitialize();
  return 0;
}
