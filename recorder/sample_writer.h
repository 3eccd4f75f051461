// Writing one sample to the recording's sink writer: the memory buffer, its
// copy of the data, the sample around it and the write, for the video frames
// and both audio tracks alike.
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <cstdint>
#include <mutex>

#include "recorder/recorder_error.h"
#include "win32_support/com_ref.h"

namespace morl::recorder {

// Copies `bytes` of `data` into a new media buffer and sample timed at `time`
// lasting `duration` (100-ns) and writes it to `stream` of `writer` while
// holding `writer_mutex`. A failure writes nothing; its message names the
// failing call ("MFCreateMemoryBuffer", "IMFSinkWriter::WriteSample", ...).
Status WriteMediaSample(IMFSinkWriter* writer, std::mutex& writer_mutex, DWORD stream,
                        const void* data, DWORD bytes, std::int64_t time, std::int64_t duration);

// Writes `buffer` (its current length set) as one sample timed at `time`
// lasting `duration`, as WriteMediaSample does after its copy.
Status WriteBufferSample(IMFSinkWriter* writer, std::mutex& writer_mutex, DWORD stream,
                         IMFMediaBuffer* buffer, std::int64_t time, std::int64_t duration);

// The recording's sink writer as its workers write to it: the writer, the
// lock every sample write holds, and the index of each stream.
struct TrackWriter {
  ComRef<IMFSinkWriter> sink_writer;
  std::mutex mutex;
  DWORD video_stream = 0;  // DWORD: the sink writer's stream-index type
  DWORD audio_stream = 0;

  Status WriteVideo(const void* data, DWORD bytes, std::int64_t time, std::int64_t duration) {
    return WriteMediaSample(sink_writer.Get(), mutex, video_stream, data, bytes, time, duration);
  }
  Status WriteVideoBuffer(IMFMediaBuffer* buffer, std::int64_t time, std::int64_t duration) {
    return WriteBufferSample(sink_writer.Get(), mutex, video_stream, buffer, time, duration);
  }
  Status WriteAudio(const void* data, DWORD bytes, std::int64_t time, std::int64_t duration) {
    return WriteMediaSample(sink_writer.Get(), mutex, audio_stream, data, bytes, time, duration);
  }
};

}  // namespace morl::recorder
