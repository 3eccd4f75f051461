// The microphone's source reader in asynchronous mode: answers through the
// callback, flushes, and a device that never delivers.
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "audio_test_support.h"

namespace {

using audio_test::AudioTest;
using audio_test::ComRef;

class RecordingCallback final : public IMFSourceReaderCallback {
 public:
  struct Answer {
    HRESULT hr;
    DWORD flags;
    LONGLONG timestamp;
    bool sample;
  };

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (riid != IID_IUnknown && riid != IID_IMFSourceReaderCallback) return E_NOINTERFACE;
    *object = static_cast<IMFSourceReaderCallback*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override { return --refs_; }  // lives on the test's stack

  HRESULT OnReadSample(HRESULT hr, DWORD, DWORD flags, LONGLONG timestamp,
                       IMFSample* sample) override {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back({hr, flags, timestamp, sample != nullptr});
    changed_.notify_all();
    return S_OK;
  }
  HRESULT OnFlush(DWORD) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++flushes_;
    changed_.notify_all();
    return S_OK;
  }
  HRESULT OnEvent(DWORD, IMFMediaEvent*) override { return S_OK; }

  // Waits (a real second at most) until `answers` reads and `flushes` flushes
  // came in; returns the reads.
  std::vector<Answer> WaitFor(std::size_t answers, int flushes) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(1),
                      [&] { return answers_.size() >= answers && flushes_ >= flushes; });
    return answers_;
  }
  int flushes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return flushes_;
  }

 private:
  std::atomic<ULONG> refs_{1};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Answer> answers_;
  int flushes_ = 0;
};

class AsyncReaderTest : public AudioTest {
 protected:
  HRESULT Open(ComRef<IMFSourceReader>* reader) {
    ComRef<IMFAttributes> device;
    EXPECT_EQ(MFCreateAttributes(device.Put(), 2), S_OK);
    device->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                    MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
    const std::wstring id = winsim::CaptureEndpoint().value_or(winsim::AudioEndpoint{}).id;
    device->SetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID, id.c_str());
    ComRef<IMFMediaSource> source;
    if (HRESULT hr = MFCreateDeviceSource(device.Get(), source.Put()); FAILED(hr)) return hr;
    ComRef<IMFAttributes> attributes;
    EXPECT_EQ(MFCreateAttributes(attributes.Put(), 1), S_OK);
    attributes->SetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, &callback_);
    return MFCreateSourceReaderFromMediaSource(source.Get(), attributes.Get(), reader->Put());
  }
  static HRESULT Request(IMFSourceReader* reader) {
    return reader->ReadSample(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, nullptr, nullptr, nullptr,
                              nullptr);
  }

  RecordingCallback callback_;
};

TEST_F(AsyncReaderTest, AnswersEachRequestThroughTheCallbackInDeviceOrder) {
  ComRef<IMFSourceReader> reader;
  ASSERT_EQ(Open(&reader), S_OK);
  DWORD index = 0;
  EXPECT_EQ(
      reader->ReadSample(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, &index, nullptr, nullptr, nullptr),
      E_INVALIDARG);  // asynchronous reads answer only through the callback
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Request(reader.Get()), S_OK);
  const auto answers = callback_.WaitFor(3, 0);
  ASSERT_EQ(answers.size(), 3u);
  for (std::size_t i = 0; i < answers.size(); ++i) {
    EXPECT_EQ(answers[i].hr, S_OK);
    EXPECT_TRUE(answers[i].sample);
    if (i > 0) {
      EXPECT_EQ(answers[i].timestamp - answers[i - 1].timestamp, 100'000);
    }
  }
  winsim::FailCall("IMFSourceReader::ReadSample", E_FAIL);
  ASSERT_EQ(Request(reader.Get()), S_OK);
  const auto failed = callback_.WaitFor(4, 0);
  ASSERT_EQ(failed.size(), 4u);
  EXPECT_EQ(failed[3].hr, E_FAIL);
  EXPECT_FALSE(failed[3].sample);
}

TEST_F(AsyncReaderTest, MicrophoneThatNeverDeliversAnswersOnlyTheFlush) {
  winsim::MicrophoneSource mic = winsim::GetMicrophoneSource();
  mic.deliver = false;
  winsim::SetMicrophoneSource(mic);
  ComRef<IMFSourceReader> reader;
  ASSERT_EQ(Open(&reader), S_OK);
  ASSERT_EQ(Request(reader.Get()), S_OK);
  ASSERT_EQ(Request(reader.Get()), S_OK);
  EXPECT_TRUE(callback_.WaitFor(1, 0).empty());  // a second passes without a buffer
  ASSERT_EQ(reader->Flush(MF_SOURCE_READER_ALL_STREAMS), S_OK);
  EXPECT_TRUE(callback_.WaitFor(0, 1).empty());
  EXPECT_EQ(callback_.flushes(), 1);
  reader.Reset();  // ends the reader's thread
  EXPECT_TRUE(callback_.WaitFor(0, 1).empty());
}

}  // namespace
