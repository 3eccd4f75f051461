#include "recorder/sample_writer.h"

#include <cstring>

#include "win32_support/buffer_lock.h"
#include "win32_support/com_ref.h"

namespace morl::recorder {

namespace {

Status Checked(HRESULT hr, const char* call) {
  if (SUCCEEDED(hr)) return Status();
  return RecorderError{"", call, hr};
}

}  // namespace

Status WriteMediaSample(IMFSinkWriter* writer, std::mutex& writer_mutex, DWORD stream,
                        const void* data, DWORD bytes, std::int64_t time, std::int64_t duration) {
  ComRef<IMFMediaBuffer> buffer;
  MORL_RETURN_IF_ERROR(Checked(MFCreateMemoryBuffer(bytes, buffer.Put()), "MFCreateMemoryBuffer"));
  {
    const BufferLock lock(buffer.Get());
    MORL_RETURN_IF_ERROR(Checked(lock.Result(), "IMFMediaBuffer::Lock"));
    std::memcpy(lock.Data(), data, bytes);
  }
  MORL_RETURN_IF_ERROR(
      Checked(buffer->SetCurrentLength(bytes), "IMFMediaBuffer::SetCurrentLength"));
  return WriteBufferSample(writer, writer_mutex, stream, buffer.Get(), time, duration);
}

Status WriteBufferSample(IMFSinkWriter* writer, std::mutex& writer_mutex, DWORD stream,
                         IMFMediaBuffer* buffer, std::int64_t time, std::int64_t duration) {
  ComRef<IMFSample> sample;
  MORL_RETURN_IF_ERROR(Checked(MFCreateSample(sample.Put()), "MFCreateSample"));
  MORL_RETURN_IF_ERROR(Checked(sample->AddBuffer(buffer), "IMFSample::AddBuffer"));
  sample->SetSampleTime(time);
  sample->SetSampleDuration(duration);
  std::lock_guard<std::mutex> lock(writer_mutex);
  return Checked(writer->WriteSample(stream, sample.Get()), "IMFSinkWriter::WriteSample");
}

}  // namespace morl::recorder
