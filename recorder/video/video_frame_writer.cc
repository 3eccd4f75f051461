#include "recorder/video/video_frame_writer.h"

#include <cstring>

#include "win32_support/buffer_lock.h"
#include "win32_support/com_ref.h"
#include "recorder/video/video_stream.h"

namespace morl::recorder {

HRESULT WriteVideoFrame(RecordingSession& session, const BYTE* frame, DWORD bytes, std::int64_t now,
                        const char** failedCall) {
  const LONGLONG time = session.clock.Cut(now) - session.startTime;
  const char* unused = nullptr;
  const char*& call = failedCall != nullptr ? *failedCall : unused;

  ComRef<IMFMediaBuffer> buffer;
  call = "MFCreateMemoryBuffer";
  HRESULT hr = MFCreateMemoryBuffer(bytes, buffer.Put());
  if (FAILED(hr)) return hr;
  call = "IMFMediaBuffer::Lock";
  {
    const BufferLock lock(buffer.Get());
    if (FAILED(lock.Result())) return lock.Result();
    std::memcpy(lock.Data(), frame, bytes);
  }
  call = "IMFMediaBuffer::SetCurrentLength";
  hr = buffer->SetCurrentLength(bytes);
  if (FAILED(hr)) return hr;

  ComRef<IMFSample> sample;
  call = "MFCreateSample";
  hr = MFCreateSample(sample.Put());
  if (FAILED(hr)) return hr;
  call = "IMFSample::AddBuffer";
  hr = sample->AddBuffer(buffer.Get());
  if (FAILED(hr)) return hr;
  sample->SetSampleTime(time);
  sample->SetSampleDuration(session.frameInterval);

  std::lock_guard<std::mutex> lock(session.writerMutex);
  call = "IMFSinkWriter::WriteSample";
  hr = session.sinkWriter->WriteSample(session.videoStreamIndex, sample.Get());
  if (SUCCEEDED(hr)) {
    call = nullptr;
    session.framesWritten.fetch_add(1);
    session.videoEndTime.exchange(time + session.frameInterval);
  }
  return hr;
}

}  // namespace morl::recorder
