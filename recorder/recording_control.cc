#include "recorder/recording_control.h"

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <exception>
#include <utility>

#include "recorder/audio/audio_mixer.h"
#include "recorder/video/capture_area.h"
#include "recorder/audio/computer_audio.h"
#include "recorder/audio/endpoint_lookup.h"
#include "win32_support/hresult_text.h"
#include "recorder/audio/microphone.h"
#include "recorder/audio/microphone_reader.h"
#include "recorder/now_100ns.h"
#include "recorder/recording_session.h"
#include "recorder/video/screen_capture.h"
#include "win32_support/utf_conversion.h"
#include "recorder/video/video_frame_writer.h"
#include "recorder/video/video_stream.h"

namespace morl::recorder {

namespace {

std::thread Launch(WorkerLauncher launcher, void (*worker)(RecordingSession&),
                   RecordingSession& session) {
  if (launcher != nullptr) return launcher(worker, session);
  return std::thread(worker, std::ref(session));
}

void JoinWorkers(RecordingSession& session) {
  session.stop.Request();
  StopMicrophoneReader(session);
  if (session.videoThread.joinable()) session.videoThread.join();
  if (session.audioThread.joinable()) session.audioThread.join();
}

// Releases what a recording holds once its workers are joined. The grabber
// goes here, on the thread that made it.
void ReleaseRecording(RecordingSession& session) {
  session.grabber.reset();
  session.scaler.reset();
  session.scaledFrame = std::vector<std::uint8_t>();
  session.micReader.Reset();
  session.micCallback.Reset();
  session.loopbackCapture.Reset();
  session.micCapture.Reset();
  session.sinkWriter.Reset();
  session.stop.Close();
  if (session.mediaStarted) {
    MFShutdown();
    session.mediaStarted = false;
  }
}

// Takes back a start that failed after Media Foundation came up: the file
// being written is removed, and the file at the target path was never
// touched.
void UndoStart(RecordingSession& session) {
  ReleaseRecording(session);
  if (!session.recordingPath.empty()) DeleteFileW(session.recordingPath.c_str());
}

// Without a chosen microphone the default one is used, and a machine without
// any records no audio and says nothing; a chosen one that is not there is
// reported.
void SetUpAudio(RecordingSession& session, const StartOptions& options) {
  if (options.systemAudio) {
    SetUpComputerAudio(session, {options.speakersId, options.microphoneId});
    return;
  }
  if (!options.microphoneId.empty()) {
    const HRESULT hr = FindChosenMicrophone(options.microphoneId);
    if (FAILED(hr)) {
      session.micError = ChosenEndpointError("mic lookup", hr, "microphone");
      return;
    }
    SetUpMicrophone(session, options.microphoneId);
    return;
  }
  const Result<FoundEndpoint> microphone = FindDefaultMicrophone();
  if (microphone) {
    SetUpMicrophone(session, microphone->id);
  } else if (microphone.hr() != kElementNotFound) {
    session.micError = "mic lookup " + HresultText(microphone.hr());
  }
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

// Launching a worker can throw; a half-started recording is then stopped and
// undone at once instead of being left for a later stop.
Status LaunchWorkers(RecordingSession& session, WorkerLauncher launcher) {
  try {
    session.videoThread = Launch(launcher, RunScreenCapture, session);
    if (session.audioEnabled && session.systemAudio) {
      session.audioThread = Launch(launcher, RunMixedAudio, session);
    } else if (session.audioEnabled) {
      // The microphone alone needs no thread of ours: the source reader
      // calls back with each buffer.
      const HRESULT hr = StartMicrophoneReader(session);
      if (FAILED(hr)) session.audioFailure.Record("IMFSourceReader::ReadSample", hr);
    }
    return Status();
  } catch (const std::exception& e) {
    JoinWorkers(session);
    session.recording = false;
    UndoStart(session);
    return RecorderError{"start_failed", std::string("worker launch ") + e.what(), E_FAIL};
  }
}

// The sink writer's creation attributes. Sample writes must not wait for the
// encoder, or capture falls behind. A fragmented recording must really be
// fragmented, so failing to say so fails the start; without it, attributes
// that cannot be made only cost the throttling switch.
HRESULT WriterAttributes(bool fragmented, ComRef<IMFAttributes>& attributes) {
  HRESULT hr = MFCreateAttributes(attributes.Put(), fragmented ? 2 : 1);
  if (FAILED(hr)) return fragmented ? hr : S_OK;
  attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, TRUE);
  if (fragmented) {
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

// Forgets what an earlier recording left in the session.
void ClearSession(RecordingSession& session, const StartOptions& options) {
  session.micError.clear();
  session.systemAudioError.clear();
  session.systemAudio = options.systemAudio;
  session.fragmented = options.fragmented;
  session.audioEnabled = false;
  session.micReader.Reset();
  session.micCallback.Reset();
  session.loopbackCapture.Reset();
  session.micCapture.Reset();
  session.recordingPath.clear();
  session.framesWritten = 0;
  session.framesDropped = 0;
  session.audioSamplesWritten = 0;
  session.videoEndTime = 0;
  session.videoFailure.Clear();
  session.audioFailure.Clear();
  session.micLevel.Reset();
  session.systemAudioLevel.Reset();
}

// Creates the sink writer at the partial path with its video stream.
Status OpenWriter(RecordingSession& session, const StartOptions& options, FrameSize recorded) {
  ComRef<IMFAttributes> attributes;
  MORL_RETURN_IF_FAILED(WriterAttributes(options.fragmented, attributes), "sink_failed", "create");
  const std::wstring recordingPath = PartialRecordingPath(options.path);
  MORL_RETURN_IF_FAILED(MFCreateSinkWriterFromURL(recordingPath.c_str(), nullptr, attributes.Get(),
                                                  session.sinkWriter.Put()),
                        "sink_failed", "create");
  session.recordingPath = recordingPath;
  MORL_RETURN_IF_FAILED(
      AddVideoStream(session.sinkWriter.Get(), recorded.width, recorded.height,
                     &session.videoStreamIndex,
                     options.fragmented ? FragmentKeyFrameInterval(options.fps) : 0, options.fps),
      "encoder_missing", "H264");
  return Status();
}

// Where and how the video worker captures.
void PlaceCapture(RecordingSession& session, const StartOptions& options, const Geometry& g) {
  session.outputPath = options.path;
  session.width = g.recorded.width;
  session.height = g.recorded.height;
  session.captureWidth = g.screen.width;
  session.captureHeight = g.screen.height;
  session.captureLeft = g.area.left;
  session.captureTop = g.area.top;
  session.recordedMonitor = g.area.monitor;
  session.frameInterval = FrameInterval(options.fps);
  session.scaler.reset();
  session.scaledFrame.clear();
  if (g.recorded.width != g.screen.width || g.recorded.height != g.screen.height) {
    session.scaler = std::make_unique<FrameScaler>(g.screen, g.recorded);
    session.scaledFrame.resize(static_cast<std::size_t>(g.recorded.width) * g.recorded.height * 4);
  }
}

// Everything of a start after Media Foundation came up, up to the first
// frame written; a failure is undone by the caller.
Status BeginRecording(RecordingSession& session, const StartOptions& options, const Geometry& g) {
  ClearSession(session, options);
  MORL_RETURN_IF_FAILED(session.stop.Open(), "start_failed", "stop event");
  MORL_RETURN_IF_ERROR(OpenWriter(session, options, g.recorded));
  SetUpAudio(session, options);
  MORL_RETURN_IF_FAILED(session.sinkWriter->BeginWriting(), "sink_failed", "begin");
  PlaceCapture(session, options, g);
  session.startTime = session.clock.Start();
  return WriteFirstFrame(session);
}

bool FileExists(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes) != 0;
}

std::int64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes)) return 0;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(attributes.nFileSizeHigh) << 32) |
                                   attributes.nFileSizeLow);
}

// What went wrong in a worker, for the stop reply; empty when nothing did.
std::string WorkerErrorText(const WorkerFailure& failure, std::int64_t dropped) {
  std::string text = failure.Text();
  if (dropped > 0) {
    if (!text.empty()) text += "; ";
    text += "frames dropped: " + std::to_string(dropped);
  }
  return text;
}

// A file that could not be finalised. A fragmented file plays up to its last
// whole fragment, so it is kept; an ordinary one has no index and is only in
// the way.
RecorderError FinalizeFailure(const RecordingSession& session, HRESULT hr) {
  RecorderError error = CallError("stop_failed", "finalize", hr);
  if (session.fragmented && FileExists(session.recordingPath)) {
    error.message += " -- the recording was kept as " + WideToUtf8(session.recordingPath);
  } else {
    DeleteFileW(session.recordingPath.c_str());
  }
  return error;
}

// Moves the finished file over the target. The target is replaced only now,
// so a failed start or finalise leaves it as it was. A writer that left no
// file at all has nothing to move: the target stays as it is and the reply
// counts 0 bytes. When the move fails the recording stays where it was
// written, so nothing recorded is lost.
Status MoveIntoPlace(const RecordingSession& session) {
  if (MoveFileExW(session.recordingPath.c_str(), session.outputPath.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Status();
  }
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND && !FileExists(session.recordingPath)) return Status();
  RecorderError failure = CallError("stop_failed", "move", HRESULT_FROM_WIN32(error));
  failure.message += " -- the recording was kept as " + WideToUtf8(session.recordingPath);
  return failure;
}

StopStatistics Statistics(const RecordingSession& session, bool hadAudio) {
  StopStatistics stats;
  stats.path = session.outputPath;
  stats.durationMs = session.videoEndTime / 10000;
  stats.width = session.width;
  stats.height = session.height;
  stats.frames = session.framesWritten;
  stats.bytes = FileSize(session.outputPath);
  stats.hadAudio = hadAudio;
  stats.videoError = WorkerErrorText(session.videoFailure, session.framesDropped);
  stats.audioError = WorkerErrorText(session.audioFailure, 0);
  return stats;
}

}  // namespace

std::wstring PartialRecordingPath(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::size_t dot = path.find_last_of(L'.');
  const bool hasExtension =
      dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
  return path + L".partial" + (hasExtension ? path.substr(dot) : std::wstring());
}

Result<StartReport> StartRecording(RecordingSession& session, WorkerLauncher launcher,
                                   const StartOptions& options) {
  if (session.recording) return RecorderError{"already_recording", "", E_FAIL};
  const Result<Geometry> geometry = ResolveGeometry(options);
  if (!geometry) return geometry.error();
  MORL_RETURN_IF_FAILED(MFStartup(MF_VERSION, MFSTARTUP_LITE), "encoder_missing", "MFStartup");
  session.mediaStarted = true;
  const Status begun = BeginRecording(session, options, *geometry);
  if (!begun) {
    UndoStart(session);
    return begun.error();
  }
  session.recording = true;
  MORL_RETURN_IF_ERROR(LaunchWorkers(session, launcher));
  return StartReport{session.audioEnabled, session.micError, session.systemAudioError};
}

Result<StopStatistics> StopRecording(RecordingSession& session) {
  if (!session.recording) return RecorderError{"not_recording", "", E_FAIL};
  JoinWorkers(session);
  session.recording = false;
  const HRESULT finalized = session.sinkWriter->Finalize();
  // A track that never got a sample (a microphone lost or silent from the
  // start) is not in the file.
  const bool hadAudio = session.audioEnabled && session.audioSamplesWritten > 0;
  ReleaseRecording(session);
  if (FAILED(finalized)) return FinalizeFailure(session, finalized);
  MORL_RETURN_IF_ERROR(MoveIntoPlace(session));
  return Statistics(session, hadAudio);
}

}  // namespace morl::recorder
