#include "recorder/video_frame_writer.h"

#include <cstring>

#include "recorder/com_ref.h"
#include "recorder/video_stream.h"

HRESULT WriteVideoFrame(RecordingSession& session, const BYTE* frame, DWORD bytes,
                        std::int64_t now, const char** failedCall) {
  const LONGLONG time = now - session.startTime;
  const char* unused = nullptr;
  const char*& call = failedCall != nullptr ? *failedCall : unused;

  ComRef<IMFMediaBuffer> buffer;
  call = "MFCreateMemoryBuffer";
  HRESULT hr = MFCreateMemoryBuffer(bytes, buffer.Put());
  if (FAILED(hr)) return hr;
  BYTE* data = nullptr;
  call = "IMFMediaBuffer::Lock";
  hr = buffer->Lock(&data, nullptr, nullptr);
  if (FAILED(hr)) return hr;
  std::memcpy(data, frame, bytes);
  buffer->Unlock();
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
  sample->SetSampleDuration(kVideoFrameInterval);

  std::lock_guard<std::mutex> lock(session.writerMutex);
  call = "IMFSinkWriter::WriteSample";
  hr = session.sinkWriter->WriteSample(session.videoStreamIndex, sample.Get());
  if (SUCCEEDED(hr)) {
    call = nullptr;
    session.framesWritten.fetch_add(1);
    session.videoEndTime.exchange(time + kVideoFrameInterval);
  }
  return hr;
}
