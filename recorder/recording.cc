#include "recorder/recording.h"

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <mferror.h>

#include <exception>
#include <iterator>
#include <utility>

#include "recorder/audio/audio_mixer.h"
#include "recorder/audio/computer_audio.h"
#include "recorder/audio/endpoint_lookup.h"
#include "recorder/audio/microphone.h"
#include "recorder/audio/microphone_reader.h"
#include "recorder/media_time.h"
#include "recorder/now_100ns.h"
#include "recorder/video/capture_area.h"
#include "recorder/video/screen_capture.h"
#include "recorder/video/video_stream.h"
#include "recorder/recording_target.h"
#include "win32_support/file_retry.h"
#include "win32_support/hresult_text.h"
#include "win32_support/utf_conversion.h"

namespace morl::recorder {

namespace {

std::thread Launch(WorkerLauncher launcher, void (*worker)(RecordingSession&),
                   RecordingSession& session) {
  if (launcher != nullptr) return launcher(worker, session);
  return std::thread(worker, std::ref(session));
}

// Without a chosen microphone the default one is used, and a machine without
// any records no audio and says nothing; a chosen one that is not there is
// reported.
AudioSetUpTexts SetUpAudio(RecordingSession& session, const StartOptions& options) {
  if (options.systemAudio) {
    return SetUpComputerAudio(session, {options.speakersId, options.microphoneId});
  }
  AudioSetUpTexts texts;
  if (!options.microphoneId.empty()) {
    const HRESULT hr = FindChosenMicrophone(options.microphoneId);
    texts.micError = FAILED(hr) ? ChosenEndpointError("mic lookup", hr, "microphone")
                                : SetUpMicrophone(session, options.microphoneId);
    return texts;
  }
  const Result<FoundEndpoint> microphone = FindDefaultMicrophone();
  if (microphone) {
    texts.micError = SetUpMicrophone(session, microphone->id);
    session.micFollowsDefault = true;
  } else if (microphone.hr() != kElementNotFound) {
    texts.micError = "mic lookup " + HresultText(microphone.hr());
  }
  return texts;
}

// Captures and writes the first frame before the start answers, so that a
// recording stopped at any moment holds at least one frame (a sink writer
// with no sample cannot be finalised). A screen that cannot be captured
// fails the start instead of giving a recording without video.
Status WriteFirstFrame(RecordingSession& session) {
  session.grabber = MakeGrabber(session);
  if (!session.grabber->Ready()) {
    return RecorderError{"start_failed", "screen capture bitmap unavailable", E_OUTOFMEMORY};
  }
  const Status written = WriteCapturedFrame(session, *session.grabber);
  if (written) return written;
  return CallError("start_failed", "first frame " + written.error().message, written.hr());
}

// The sink writer's creation attributes. Sample writes must not wait for the
// encoder, or capture falls behind the clock, so a writer that could not be
// told so is not used; a fragmented recording must really be fragmented.
HRESULT WriterAttributes(bool fragmented, ComRef<IMFAttributes>& attributes) {
  HRESULT hr = MFCreateAttributes(attributes.Put(), fragmented ? 2 : 1);
  if (SUCCEEDED(hr)) hr = attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, TRUE);
  if (SUCCEEDED(hr) && fragmented) {
    hr = attributes->SetGUID(MF_TRANSCODE_CONTAINERTYPE, MFTranscodeContainerType_FMPEG4);
  }
  return hr;
}

// The screen rectangle a start records and the size it is recorded at.
struct Geometry {
  CaptureArea area;
  FrameSize screen;
  FrameSize recorded;
};

Result<Geometry> ResolveGeometry(const StartOptions& options) {
  if (options.fps < kMinFramesPerSecond || options.fps > kMaxFramesPerSecond) {
    return RecorderError{"bad_argument", kFrameRateRangeText, E_INVALIDARG};
  }
  const Result<CaptureArea> area = ResolveCaptureArea(options);
  if (!area) return area.error();
  const FrameSize screen{area->width, area->height};
  // A display larger than the encoder takes is recorded scaled down to fit.
  const FrameSize recorded = FitFrameSize(screen, kMaxEncoderFrameSize);
  if (screen.width <= 0 || screen.height <= 0 || recorded.width <= 0 || recorded.height <= 0) {
    return RecorderError{"no_screen",
                         options.display
                             ? "display " + std::to_string(*options.display) + " has no pixels"
                             : "GetSystemMetrics reported no primary display",
                         E_FAIL};
  }
  return Geometry{*area, screen, recorded};
}

// Smaller sizes a recording is tried at, largest first, when the H.264
// encoder refuses the size the levels allow: an encoder's own limit (a
// hardware encoder's, say) is known only from its refusal.
constexpr FrameSize kSmallerEncoderSizes[] = {
    {3840, 2160}, {2560, 1440}, {1920, 1080}, {1280, 720}};

// The next size below `recorded` that `screen` fits in, among
// kSmallerEncoderSizes from `*next` on; {0, 0} when there is none.
FrameSize NextSmallerFit(FrameSize screen, FrameSize recorded, std::size_t* next) {
  while (*next < std::size(kSmallerEncoderSizes)) {
    const FrameSize fit = FitFrameSize(screen, kSmallerEncoderSizes[(*next)++]);
    if (fit.width > 0 && fit.width <= recorded.width && fit.height <= recorded.height &&
        (fit.width < recorded.width || fit.height < recorded.height)) {
      return fit;
    }
  }
  return FrameSize{0, 0};
}

// Creates the sink writer at the partial path with its video stream at
// `*recorded`. An encoder that finds the size too large
// (MF_E_TOPO_CODEC_NOT_FOUND from SetInputMediaType) is asked for the next
// smaller fit of `screen`, on a new writer since a stream cannot be taken
// back; `*recorded` is the size that was taken.
Status OpenWriter(RecordingSession& session, PartialFile& partial, const StartOptions& options,
                  FrameSize screen, FrameSize* recorded) {
  ComRef<IMFAttributes> attributes;
  MORL_RETURN_IF_FAILED(WriterAttributes(options.fragmented, attributes), "sink_failed", "create");
  const std::wstring recordingPath = PartialRecordingPath(options.path);
  std::size_t nextSize = 0;
  for (;;) {
    session.writer.sinkWriter.Reset();
    MORL_RETURN_IF_FAILED(MFCreateSinkWriterFromURL(recordingPath.c_str(), nullptr,
                                                    attributes.Get(),
                                                    session.writer.sinkWriter.Put()),
                          "sink_failed", "create");
    session.recordingPath = recordingPath;
    partial.Track(recordingPath);
    const HRESULT hr = AddVideoStream(
        session.writer.sinkWriter.Get(), recorded->width, recorded->height,
        &session.writer.videoStream,
        options.fragmented ? FragmentKeyFrameInterval(options.fps) : 0, options.fps);
    if (SUCCEEDED(hr)) return Status();
    const FrameSize smaller =
        hr == MF_E_TOPO_CODEC_NOT_FOUND ? NextSmallerFit(screen, *recorded, &nextSize)
                                        : FrameSize{0, 0};
    if (smaller.width <= 0) MORL_RETURN_IF_FAILED(hr, "encoder_missing", "H264");
    *recorded = smaller;
  }
}

// Where and how the video worker captures.
void PlaceCapture(RecordingSession& session, const StartOptions& options, const Geometry& g) {
  session.width = g.recorded.width;
  session.height = g.recorded.height;
  session.captureWidth = g.screen.width;
  session.captureHeight = g.screen.height;
  session.captureLeft = g.area.left;
  session.captureTop = g.area.top;
  session.recordedMonitor = g.area.monitor;
  session.captureRegion = options.region;
  session.frameInterval = FrameInterval(options.fps);
  if (g.recorded.width != g.screen.width || g.recorded.height != g.screen.height) {
    session.scaler = std::make_unique<FrameScaler>(g.screen, g.recorded);
    session.scaledFrame.resize(static_cast<std::size_t>(g.recorded.width) * g.recorded.height * 4);
  }
}

}  // namespace

MediaFoundationUse::~MediaFoundationUse() {
  if (started_) MFShutdown();
}

Status MediaFoundationUse::Start() {
  MORL_RETURN_IF_FAILED(MFStartup(MF_VERSION, MFSTARTUP_LITE), "encoder_missing", "MFStartup");
  started_ = true;
  return recorder::Status();
}

PartialFile::~PartialFile() {
  if (!keep_ && !path_.empty()) DeleteFileRetrying(path_.c_str());
}

Result<std::unique_ptr<Recording>> Recording::Start(const StartOptions& options,
                                                    WorkerLauncher launcher) {
  std::unique_ptr<Recording> recording(new Recording(options));
  MORL_RETURN_IF_ERROR(recording->Begin(launcher));
  return recording;
}

// Everything of a start: a failure leaves the half-made recording to its
// destructor.
Status Recording::Begin(WorkerLauncher launcher) {
  Result<Geometry> geometry = ResolveGeometry(options_);
  if (!geometry) return geometry.error();
  MORL_RETURN_IF_ERROR(CheckTarget(options_.path));
  const Result<std::wstring> recovered = RecoverEarlierRecording(options_.path);
  if (!recovered) return recovered.error();
  MORL_RETURN_IF_ERROR(media_.Start());
  session_.systemAudio = options_.systemAudio;
  MORL_RETURN_IF_FAILED(session_.stop.Open(), "start_failed", "stop event");
  MORL_RETURN_IF_ERROR(
      OpenWriter(session_, partial_, options_, geometry->screen, &geometry->recorded));
  const AudioSetUpTexts audio = SetUpAudio(session_, options_);
  MORL_RETURN_IF_FAILED(session_.writer.sinkWriter->BeginWriting(), "sink_failed", "begin");
  PlaceCapture(session_, options_, *geometry);
  session_.startTime = session_.clock.Start();
  MORL_RETURN_IF_ERROR(WriteFirstFrame(session_));
  MORL_RETURN_IF_ERROR(LaunchWorkers(launcher));
  report_ = StartReport{session_.audioEnabled, audio.micError, audio.systemAudioError,
                        WideToUtf8(*recovered)};
  return recorder::Status();
}

// Launching a worker can throw; the workers already launched are then
// stopped by the destructor.
Status Recording::LaunchWorkers(WorkerLauncher launcher) {
  try {
    session_.videoThread = Launch(launcher, RunScreenCapture, session_);
    if (session_.audioEnabled && session_.systemAudio) {
      session_.audioThread = Launch(launcher, RunMixedAudio, session_);
    } else if (session_.audioEnabled) {
      // The source reader calls back with each buffer of the microphone;
      // a thread of ours only follows the devices.
      const HRESULT hr = StartMicrophoneReader(session_);
      if (FAILED(hr)) session_.audioFailure.Record("IMFSourceReader::ReadSample", hr);
      session_.audioThread = Launch(launcher, RunMicrophoneFollower, session_);
    }
    return recorder::Status();
  } catch (const std::exception& e) {
    return RecorderError{"start_failed", std::string("worker launch ") + e.what(), E_FAIL};
  }
}

void Recording::JoinWorkers() {
  session_.stop.Request();
  StopMicrophoneReader(session_);
  if (session_.videoThread.joinable()) session_.videoThread.join();
  if (session_.audioThread.joinable()) session_.audioThread.join();
}

Recording::~Recording() { JoinWorkers(); }

FinishedRecording Recording::Finish() {
  JoinWorkers();
  FinishedRecording finished;
  finished.finalized = session_.writer.sinkWriter->Finalize();
  finished.partialPath = partial_.path();
  finished.fragmented = options_.fragmented;
  // A fragmented file plays up to its last whole fragment, so it is kept
  // even when it could not be finalised; an ordinary one then has no index
  // and is only in the way.
  if (SUCCEEDED(finished.finalized) || options_.fragmented) partial_.Keep();
  StopStatistics& stats = finished.stats;
  stats.path = options_.path;
  stats.durationMs = TicksToMilliseconds(session_.videoEndTime);
  stats.width = session_.width;
  stats.height = session_.height;
  stats.frames = session_.framesWritten;
  // A track that never got a sample (a microphone lost or silent from the
  // start) is not in the file.
  stats.hadAudio = session_.audioEnabled && session_.audioSamplesWritten > 0;
  WatchSources(session_, Now100ns());
  stats.videoError = session_.videoFailure.Report(session_.framesDropped);
  stats.audioError = session_.audioFailure.Report();
  return finished;
}

Status Recording::Pause() { return PauseRecording(session_); }

Status Recording::Resume() { return ResumeRecording(session_); }

RecorderStatus Recording::Status() { return RecordingStatus(session_); }

}  // namespace morl::recorder
