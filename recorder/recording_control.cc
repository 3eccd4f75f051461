#include "recorder/recording_control.h"

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <exception>

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

void ShutDownMedia(RecordingSession& session) {
  if (session.mediaStarted) {
    MFShutdown();
    session.mediaStarted = false;
  }
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
  ShutDownMedia(session);
}

// Takes back a start that failed after Media Foundation came up: the file
// being written is removed, and the file at the target path was never
// touched. The captures are reset only once audio set-up has run; before that
// they are as the start left them.
void UndoStart(RecordingSession& session, bool audioWasSetUp) {
  session.grabber.reset();
  session.scaler.reset();
  session.scaledFrame = std::vector<std::uint8_t>();
  session.sinkWriter.Reset();
  session.micReader.Reset();
  session.micCallback.Reset();
  if (audioWasSetUp) {
    session.loopbackCapture.Reset();
    session.micCapture.Reset();
  }
  if (!session.recordingPath.empty()) DeleteFileW(session.recordingPath.c_str());
  session.stop.Close();
  ShutDownMedia(session);
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
  std::wstring id, name;
  bool noEndpoint = false;
  const HRESULT hr = FindDefaultMicrophone(id, name, noEndpoint);
  if (SUCCEEDED(hr)) {
    SetUpMicrophone(session, id);
  } else if (!noEndpoint) {
    session.micError = "mic lookup " + HresultText(hr);
  }
}

// Captures and writes the first frame before the start answers, so that a
// recording stopped at any moment holds at least one frame (a sink writer
// with no sample cannot be finalised). A screen that cannot be captured
// fails the start instead of giving a recording without video.
HRESULT WriteFirstFrame(RecordingSession& session, std::string& message) {
  session.grabber = MakeGrabber(session);
  if (!session.grabber->Ready()) {
    message = "screen capture bitmap unavailable";
    return E_OUTOFMEMORY;
  }
  const char* failedCall = nullptr;
  const HRESULT hr = WriteCapturedFrame(session, *session.grabber, &failedCall);
  if (FAILED(hr)) message = std::string("first frame ") + failedCall + " " + HresultText(hr);
  return hr;
}

// Launching a worker can throw; a half-started recording is then stopped and
// undone at once instead of being left for a later stop.
HRESULT LaunchWorkers(RecordingSession& session, WorkerLauncher launcher, std::string& code,
                      std::string& message) {
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
    return S_OK;
  } catch (const std::exception& e) {
    JoinWorkers(session);
    session.recording = false;
    UndoStart(session, true);
    code = "start_failed";
    message = std::string("worker launch ") + e.what();
    return E_FAIL;
  }
}

// The sink writer's creation attributes. Sample writes must not wait for the
// encoder, or capture falls behind. A fragmented recording must really be
// fragmented, so failing to say so fails the start; without it, attributes
// that cannot be made only cost the throttling switch, as they always have.
HRESULT WriterAttributes(bool fragmented, ComRef<IMFAttributes>& attributes) {
  HRESULT hr = MFCreateAttributes(attributes.Put(), fragmented ? 2 : 1);
  if (FAILED(hr)) return fragmented ? hr : S_OK;
  attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, TRUE);
  if (fragmented) {
    hr = attributes->SetGUID(MF_TRANSCODE_CONTAINERTYPE, MFTranscodeContainerType_FMPEG4);
  }
  return hr;
}

bool FileExists(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes) != 0;
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

// Moves the finished file over the target. The target is replaced only now,
// so a failed start or finalise leaves it as it was. A writer that left no
// file at all has nothing to move: the target stays as it is and the reply
// counts 0 bytes.
HRESULT MoveIntoPlace(const RecordingSession& session) {
  if (MoveFileExW(session.recordingPath.c_str(), session.outputPath.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return S_OK;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND && !FileExists(session.recordingPath)) return S_FALSE;
  return HRESULT_FROM_WIN32(error);
}

}  // namespace

std::wstring PartialRecordingPath(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::size_t dot = path.find_last_of(L'.');
  const bool hasExtension =
      dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
  return path + L".partial" + (hasExtension ? path.substr(dot) : std::wstring());
}

HRESULT StartRecording(RecordingSession& session, WorkerLauncher launcher,
                       const StartOptions& options, std::string& code, std::string& message) {
  const std::wstring& path = options.path;
  const bool systemAudio = options.systemAudio;
  const bool fragmented = options.fragmented;
  if (session.recording) {
    code = "already_recording";
    return E_FAIL;
  }
  if (options.fps < kMinFramesPerSecond || options.fps > kMaxFramesPerSecond) {
    code = "bad_argument";
    message = kFrameRateRangeText;
    return E_INVALIDARG;
  }
  CaptureArea area;
  if (!ResolveCaptureArea(options, area, code, message)) return E_INVALIDARG;
  const FrameSize screen{area.width, area.height};
  // A display larger than the encoder takes is recorded scaled down to fit.
  const FrameSize recorded = FitFrameSize(screen, kMaxEncoderFrameSize);
  const int width = recorded.width;
  const int height = recorded.height;
  if (screen.width <= 0 || screen.height <= 0 || width <= 0 || height <= 0) {
    code = "no_screen";
    message = options.display ? "display " + std::to_string(*options.display) + " has no pixels"
                              : "GetSystemMetrics reported no primary display";
    return E_FAIL;
  }
  HRESULT hr = MFStartup(MF_VERSION, MFSTARTUP_LITE);
  if (FAILED(hr)) {
    code = "encoder_missing";
    message = "MFStartup " + HresultText(hr);
    return hr;
  }
  session.mediaStarted = true;
  session.micError.clear();
  session.systemAudioError.clear();
  session.systemAudio = systemAudio;
  session.audioEnabled = false;
  session.micReader.Reset();
  session.micCallback.Reset();
  session.loopbackCapture.Reset();
  session.micCapture.Reset();
  session.recordingPath.clear();
  hr = session.stop.Open();
  if (FAILED(hr)) {
    code = "start_failed";
    message = "stop event " + HresultText(hr);
    UndoStart(session, false);
    return hr;
  }

  session.fragmented = fragmented;
  ComRef<IMFAttributes> attributes;
  hr = WriterAttributes(fragmented, attributes);
  if (FAILED(hr)) {
    code = "sink_failed";
    message = "create " + HresultText(hr);
    UndoStart(session, false);
    return hr;
  }
  session.sinkWriter.Reset();
  const std::wstring recordingPath = PartialRecordingPath(path);
  hr = MFCreateSinkWriterFromURL(recordingPath.c_str(), nullptr, attributes.Get(),
                                 session.sinkWriter.Put());
  if (FAILED(hr)) {
    code = "sink_failed";
    message = "create " + HresultText(hr);
    UndoStart(session, false);
    return hr;
  }
  session.recordingPath = recordingPath;
  hr = AddVideoStream(session.sinkWriter.Get(), width, height, &session.videoStreamIndex,
                      fragmented ? FragmentKeyFrameInterval(options.fps) : 0, options.fps);
  if (FAILED(hr)) {
    code = "encoder_missing";
    message = "H264 " + HresultText(hr);
    UndoStart(session, false);
    return hr;
  }
  SetUpAudio(session, options);
  hr = session.sinkWriter->BeginWriting();
  if (FAILED(hr)) {
    code = "sink_failed";
    message = "begin " + HresultText(hr);
    UndoStart(session, true);
    return hr;
  }

  session.outputPath = path;
  session.width = width;
  session.height = height;
  session.captureWidth = screen.width;
  session.captureHeight = screen.height;
  session.captureLeft = area.left;
  session.captureTop = area.top;
  session.recordedMonitor = area.monitor;
  session.frameInterval = FrameInterval(options.fps);
  session.scaler.reset();
  session.scaledFrame.clear();
  if (width != screen.width || height != screen.height) {
    session.scaler = std::make_unique<FrameScaler>(screen, recorded);
    session.scaledFrame.resize(static_cast<std::size_t>(width) * height * 4);
  }
  session.framesWritten = 0;
  session.framesDropped = 0;
  session.audioSamplesWritten = 0;
  session.videoEndTime = 0;
  session.videoFailure.Clear();
  session.audioFailure.Clear();
  session.startTime = session.clock.Start();
  session.micLevel.Reset();
  session.systemAudioLevel.Reset();
  hr = WriteFirstFrame(session, message);
  if (FAILED(hr)) {
    code = "start_failed";
    UndoStart(session, true);
    return hr;
  }
  session.recording = true;
  return LaunchWorkers(session, launcher, code, message);
}

HRESULT StopRecording(RecordingSession& session, std::string& code, std::string& message,
                      flutter::ValueMap& stats) {
  if (!session.recording) {
    code = "not_recording";
    return E_FAIL;
  }
  JoinWorkers(session);
  session.recording = false;
  HRESULT hr = session.sinkWriter->Finalize();
  // A track that never got a sample (a microphone lost or silent from the
  // start) is not in the file.
  const bool hadAudio = session.audioEnabled && session.audioSamplesWritten > 0;
  ReleaseRecording(session);
  if (FAILED(hr)) {
    code = "stop_failed";
    message = "finalize " + HresultText(hr);
    // A fragmented file plays up to its last whole fragment, so it is kept;
    // an ordinary one has no index and is only in the way.
    if (session.fragmented && FileExists(session.recordingPath)) {
      message += " -- the recording was kept as " + WideToUtf8(session.recordingPath);
    } else {
      DeleteFileW(session.recordingPath.c_str());
    }
    return hr;
  }
  hr = MoveIntoPlace(session);
  if (FAILED(hr)) {
    // The recording stays where it was written, so nothing recorded is lost.
    code = "stop_failed";
    message = "move " + HresultText(hr) + " -- the recording was kept as " +
              WideToUtf8(session.recordingPath);
    return hr;
  }

  std::int64_t bytes = 0;
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  if (GetFileAttributesExW(session.outputPath.c_str(), GetFileExInfoStandard, &attributes)) {
    bytes = static_cast<std::int64_t>((static_cast<std::uint64_t>(attributes.nFileSizeHigh) << 32) |
                                      attributes.nFileSizeLow);
  }
  using flutter::EncodableValue;
  stats[EncodableValue(std::string("path"))] = EncodableValue(WideToUtf8(session.outputPath));
  stats[EncodableValue(std::string("durationMs"))] =
      EncodableValue(static_cast<std::int64_t>(session.videoEndTime / 10000));
  stats[EncodableValue(std::string("width"))] =
      EncodableValue(static_cast<std::int32_t>(session.width));
  stats[EncodableValue(std::string("height"))] =
      EncodableValue(static_cast<std::int32_t>(session.height));
  stats[EncodableValue(std::string("frames"))] =
      EncodableValue(static_cast<std::int64_t>(session.framesWritten));
  stats[EncodableValue(std::string("bytes"))] = EncodableValue(bytes);
  stats[EncodableValue(std::string("hadAudio"))] = EncodableValue(hadAudio);
  const std::string videoError = WorkerErrorText(session.videoFailure, session.framesDropped);
  if (!videoError.empty())
    stats[EncodableValue(std::string("videoError"))] = EncodableValue(videoError);
  const std::string audioError = WorkerErrorText(session.audioFailure, 0);
  if (!audioError.empty())
    stats[EncodableValue(std::string("audioError"))] = EncodableValue(audioError);
  return S_OK;
}

}  // namespace morl::recorder
