#include "recorder/recording.h"

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <mferror.h>

#include <exception>
#include <functional>
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
#include "recorder/video/duplication_start.h"
#include "recorder/video/screen_capture.h"
#include "recorder/video/video_encoder.h"
#include "recorder/video/video_stream.h"
#include "recorder/recording_target.h"
#include "win32_support/file_retry.h"
#include "win32_support/hresult_text.h"
#include "win32_support/utf_conversion.h"

namespace morl::recorder {

namespace {

std::thread Launch(WorkerLauncher launcher, std::function<void()> work) {
  if (launcher != nullptr) return launcher(std::move(work));
  return std::thread(std::move(work));
}

// Without a chosen microphone the default one is used, and a machine without
// any records no audio and says nothing; a chosen one that is not there is
// reported.
AudioSetUpTexts SetUpAudio(RecordingSession& session, const StartOptions& options) {
  if (options.system_audio) {
    return SetUpComputerAudio(session.writer, session.audio, session.captures,
                              {options.speakers_id, options.microphone_id});
  }
  AudioSetUpTexts texts;
  if (!options.microphone_id.empty()) {
    const HRESULT hr = FindChosenMicrophone(options.microphone_id);
    texts.mic_error = FAILED(hr) ? ChosenEndpointError("mic lookup", hr, "microphone")
                                 : SetUpMicrophone(session.AudioParts(), session.microphone,
                                                   options.microphone_id);
    return texts;
  }
  const Result<FoundEndpoint> microphone = FindDefaultMicrophone();
  if (microphone) {
    texts.mic_error = SetUpMicrophone(session.AudioParts(), session.microphone, microphone->id);
    session.microphone.follows_default = true;
  } else if (microphone.hr() != kElementNotFound) {
    texts.mic_error = "mic lookup " + HresultText(microphone.hr());
  }
  return texts;
}

// Captures and writes the first frame before the start answers, so that a
// recording stopped at any moment holds at least one frame (a sink writer
// with no sample cannot be finalised). A screen that cannot be captured
// fails the start instead of giving a recording without video.
Status WriteFirstFrame(const VideoWork& work) {
  VideoTrack& track = work.track;
  if (track.duplication) {
    const Result<bool> duplicated = WriteFirstDuplicatedFrame(work);
    if (!duplicated) {
      return CallError("start_failed", "first frame " + duplicated.error().message,
                       duplicated.hr());
    }
    if (*duplicated) return Status();
  }
  track.grabber = MakeGrabber(track);
  track.capture_method = CaptureMethod::kGdi;  // ScreenGrabber copies the screen with GDI
  if (!track.grabber->Ready()) {
    return RecorderError{"start_failed", "screen capture bitmap unavailable", E_OUTOFMEMORY};
  }
  const Status written = WriteCapturedFrame(work, *track.grabber);
  if (written) return written;
  return CallError("start_failed", "first frame " + written.error().message, written.hr());
}

// The sink writer's creation attributes. Sample writes must not wait for the
// encoder, or capture falls behind the clock, so a writer that could not be
// told so is not used; a fragmented recording must really be fragmented.
// Frames read by duplication reach the encoder as textures of the device
// that `gpu_manager` shares.
HRESULT WriterAttributes(const StartOptions& options, IMFDXGIDeviceManager* gpu_manager,
                         ComRef<IMFAttributes>& attributes) {
  HRESULT hr = MFCreateAttributes(attributes.Put(), 4);
  if (SUCCEEDED(hr)) hr = attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, TRUE);
  if (SUCCEEDED(hr) && gpu_manager != nullptr) {
    hr = attributes->SetUnknown(MF_SINK_WRITER_D3D_MANAGER, gpu_manager);
  }
  if (SUCCEEDED(hr) && options.fragmented) {
    hr = attributes->SetGUID(MF_TRANSCODE_CONTAINERTYPE, MFTranscodeContainerType_FMPEG4);
  }
  if (SUCCEEDED(hr)) hr = AllowHardwareEncoder(attributes.Get(), options.encoder);
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

// The encoder that took the video stream, given its bit rate. A start that
// asked for the GPU's encoder fails when the software one took the stream
// (a GPU without one, or a frame larger than it takes).
Result<VideoEncoderKind> SettleEncoder(const TrackWriter& writer, const StartOptions& options,
                                       FrameSize recorded, UINT32 bitrate) {
  IMFSinkWriter* const sink_writer = writer.sink_writer.Get();
  const VideoEncoderKind kind = StreamEncoderKind(sink_writer, writer.video_stream);
  if (options.encoder == EncoderChoice::kHardware && kind != VideoEncoderKind::kHardware) {
    return RecorderError{"encoder_unavailable",
                         "no hardware H.264 encoder takes the video (" +
                             std::to_string(recorded.width) + " x " +
                             std::to_string(recorded.height) + ")",
                         MF_E_TOPO_CODEC_NOT_FOUND};
  }
  SetEncoderBitrate(sink_writer, writer.video_stream, bitrate);
  return kind;
}

// Creates `writer`'s sink writer at the partial path (kept in
// `written_path`) with its video stream at `*recorded`. An encoder that
// finds the size too large (MF_E_TOPO_CODEC_NOT_FOUND from
// SetInputMediaType) is asked for the next smaller fit of `screen`, on a new
// writer since a stream cannot be taken back; `*recorded` is the size that
// was taken. Gives the encoder that took the stream.
Result<VideoEncoderKind> OpenWriter(TrackWriter& writer, std::wstring& written_path,
                                    PartialFile& partial, const StartOptions& options,
                                    IMFDXGIDeviceManager* gpu_manager, FrameSize screen,
                                    FrameSize* recorded) {
  ComRef<IMFAttributes> attributes;
  MORL_RETURN_IF_FAILED(WriterAttributes(options, gpu_manager, attributes), "sink_failed",
                        "create");
  const std::wstring recording_path = PartialRecordingPath(options.path);
  std::size_t next_size = 0;
  for (;;) {
    writer.sink_writer.Reset();
    MORL_RETURN_IF_FAILED(MFCreateSinkWriterFromURL(recording_path.c_str(), nullptr,
                                                    attributes.Get(), writer.sink_writer.Put()),
                          "sink_failed", "create");
    written_path = recording_path;
    partial.Track(recording_path);
    const UINT32 bitrate =
        options.video_bitrate ? static_cast<UINT32>(*options.video_bitrate)
                              : VideoBitrate(recorded->width, recorded->height, options.fps);
    const HRESULT hr = AddVideoStream(
        writer.sink_writer.Get(), recorded->width, recorded->height, &writer.video_stream,
        options.fragmented ? FragmentKeyFrameInterval(options.fps) : 0, options.fps, bitrate);
    if (SUCCEEDED(hr)) return SettleEncoder(writer, options, *recorded, bitrate);
    const FrameSize smaller =
        hr == MF_E_TOPO_CODEC_NOT_FOUND ? NextSmallerFit(screen, *recorded, &next_size)
                                        : FrameSize{0, 0};
    if (smaller.width <= 0) MORL_RETURN_IF_FAILED(hr, "encoder_missing", "H264");
    *recorded = smaller;
  }
}

// Where and how the video worker captures.
void PlaceCapture(VideoTrack& video, const StartOptions& options, const Geometry& g) {
  video.width = g.recorded.width;
  video.height = g.recorded.height;
  video.capture_width = g.screen.width;
  video.capture_height = g.screen.height;
  video.capture_left = g.area.left;
  video.capture_top = g.area.top;
  video.recorded_monitor = g.area.monitor;
  video.capture_region = options.region;
  video.frame_interval = FrameInterval(options.fps);
  if (g.recorded.width != g.screen.width || g.recorded.height != g.screen.height) {
    video.scaler = std::make_unique<FrameScaler>(g.screen, g.recorded);
    video.scaled_frame.resize(static_cast<std::size_t>(g.recorded.width) * g.recorded.height * 4);
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
  session_.audio.system_audio = options_.system_audio;
  MORL_RETURN_IF_FAILED(session_.timeline.stop.Open(), "start_failed", "stop event");
  VideoTrack& video = session_.video;
  SetUpDuplication(video, geometry->area, geometry->recorded);
  const FrameSize asked = geometry->recorded;
  const Result<VideoEncoderKind> encoder =
      OpenWriter(session_.writer, session_.recording_path, partial_, options_,
                 video.gpu ? video.gpu->manager() : nullptr, geometry->screen,
                 &geometry->recorded);
  if (!encoder) return encoder.error();
  video.encoder = *encoder;
  // An encoder that took a smaller size needs the frames scaled to it.
  if (video.duplication && (geometry->recorded.width != asked.width ||
                            geometry->recorded.height != asked.height)) {
    FitDuplication(video, geometry->recorded);
  }
  const AudioSetUpTexts audio = SetUpAudio(session_, options_);
  MORL_RETURN_IF_FAILED(session_.writer.sink_writer->BeginWriting(), "sink_failed", "begin");
  PlaceCapture(session_.video, options_, *geometry);
  session_.timeline.start_time = session_.timeline.clock.Start();
  MORL_RETURN_IF_ERROR(WriteFirstFrame(session_.VideoParts()));
  MORL_RETURN_IF_ERROR(LaunchWorkers(launcher));
  report_ = StartReport{session_.audio.enabled, audio.mic_error, audio.system_audio_error,
                        WideToUtf8(*recovered)};
  return recorder::Status();
}

// Launching a worker can throw; the workers already launched are then
// stopped by the destructor. Each worker gets the parts it uses.
Status Recording::LaunchWorkers(WorkerLauncher launcher) {
  RecordingSession& s = session_;
  try {
    s.video_thread = Launch(launcher, [&s] { RunScreenCapture(s.VideoParts(), s.watch); });
    if (s.audio.enabled && s.audio.system_audio) {
      s.audio_thread = Launch(launcher, [&s] { RunMixedAudio(s.AudioParts(), s.captures); });
    } else if (s.audio.enabled) {
      // The source reader calls back with each buffer of the microphone;
      // a thread of ours only follows the devices.
      const HRESULT hr = StartMicrophoneReader(s.microphone);
      if (FAILED(hr)) s.audio.failure.Record("IMFSourceReader::ReadSample", hr);
      s.audio_thread = Launch(launcher, [&s] {
        RunMicrophoneFollower(s.timeline.stop, s.microphone, s.audio.failure);
      });
    }
    return recorder::Status();
  } catch (const std::exception& e) {
    return RecorderError{"start_failed", std::string("worker launch ") + e.what(), E_FAIL};
  }
}

void Recording::JoinWorkers() {
  session_.timeline.stop.Request();
  StopMicrophoneReader(session_.microphone);
  if (session_.video_thread.joinable()) session_.video_thread.join();
  if (session_.audio_thread.joinable()) session_.audio_thread.join();
}

Recording::~Recording() { JoinWorkers(); }

FinishedRecording Recording::Finish() {
  JoinWorkers();
  FinishedRecording finished;
  finished.finalized = session_.writer.sink_writer->Finalize();
  finished.partial_path = partial_.path();
  finished.fragmented = options_.fragmented;
  // A fragmented file plays up to its last whole fragment, so it is kept
  // even when it could not be finalised; an ordinary one then has no index
  // and is only in the way.
  if (SUCCEEDED(finished.finalized) || options_.fragmented) partial_.Keep();
  StopStatistics& stats = finished.stats;
  stats.path = options_.path;
  const VideoTrack& video = session_.video;
  stats.duration_ms = TicksToMilliseconds(video.end_time);
  stats.width = video.width;
  stats.height = video.height;
  stats.frames = video.frames_written;
  // A track that never got a sample (a microphone lost or silent from the
  // start) is not in the file.
  stats.had_audio = session_.audio.enabled && session_.audio.samples_written > 0;
  session_.watch.Check(Now100ns());
  stats.video_error = video.failure.Report(video.frames_dropped);
  stats.audio_error = session_.audio.failure.Report();
  return finished;
}

Status Recording::Pause() { return PauseRecording(session_.timeline.clock); }

Status Recording::Resume() { return ResumeRecording(session_.timeline); }

RecorderStatus Recording::Status() {
  return RecordingStatus(session_.timeline, session_.video, session_.Sources(), session_.watch,
                         session_.recording_path);
}

}  // namespace morl::recorder
