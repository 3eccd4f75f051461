// The microphone-only audio worker: re-stamps each PCM sample the reader
// delivers and hands it to the AAC stream.
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <mutex>

#include "recorder/microphone.h"
#include "recorder/now_100ns.h"
#include "recorder/recording_session.h"

std::int64_t MicTimeline::Duration(DWORD bytes) const {
  if (bytesPerSecond_ <= 0) return 0;
  return static_cast<std::int64_t>(bytes) * 10'000'000 / bytesPerSecond_;
}

std::int64_t MicTimeline::Place(std::int64_t timestamp, std::int64_t duration, std::int64_t now,
                                std::int64_t startTime) {
  if (first_) {
    first_ = false;
    firstTimestamp_ = timestamp;
    offset_ = (now - startTime) - duration;
    if (offset_ < 0) offset_ = 0;
  }
  return timestamp - firstTimestamp_ + offset_;
}

void RunMicAudio(RecordingSession& session) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  MicTimeline timeline(session.micSampleRate, session.micChannels);
  while (!session.stopRequested) {
    DWORD streamIndex = 0;
    DWORD flags = 0;
    LONGLONG timestamp = 0;
    ComRef<IMFSample> sample;
    const HRESULT hr =
        session.micReader->ReadSample(static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM), 0,
                                      &streamIndex, &flags, &timestamp, sample.Put());
    if (FAILED(hr) || (flags & MF_SOURCE_READERF_ENDOFSTREAM) != 0) break;
    if (!sample) continue;
    DWORD length = 0;
    sample->GetTotalLength(&length);
    const std::int64_t duration = timeline.Duration(length);
    sample->SetSampleTime(timeline.Place(timestamp, duration, Now100ns(), session.startTime));
    sample->SetSampleDuration(duration);
    std::lock_guard<std::mutex> lock(session.writerMutex);
    session.sinkWriter->WriteSample(session.audioStreamIndex, sample.Get());
  }
  if (SUCCEEDED(com)) CoUninitialize();
}
