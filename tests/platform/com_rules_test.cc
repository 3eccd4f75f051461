#include <gtest/gtest.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <mmdeviceapi.h>
#include <windows.h>
#include <winsim.h>
#include <winsim_audio.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "tests/support/machine_test.h"

namespace {

// Each creation call, made on the calling thread; the object is released.
struct Creation {
  const char* name;
  std::function<HRESULT()> create;
};

HRESULT CreateEnumerator() {
  IUnknown* object = nullptr;
  const HRESULT hr = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                      IID_IMMDeviceEnumerator, reinterpret_cast<void**>(&object));
  if (object != nullptr) object->Release();
  return hr;
}

HRESULT CreateSinkWriter() {
  IMFSinkWriter* writer = nullptr;
  const HRESULT hr =
      MFCreateSinkWriterFromURL(L"/tmp/morl_com_rules.mp4", nullptr, nullptr, &writer);
  if (writer != nullptr) writer->Release();
  return hr;
}

HRESULT CreateSourceReader() {
  IMFAttributes* attributes = nullptr;
  if (HRESULT hr = MFCreateAttributes(&attributes, 2); FAILED(hr)) return hr;
  attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                      MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
  attributes->SetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID,
                        winsim::CaptureEndpoint().value_or(winsim::AudioEndpoint{}).id.c_str());
  IMFMediaSource* source = nullptr;
  HRESULT hr = MFCreateDeviceSource(attributes, &source);
  attributes->Release();
  if (FAILED(hr)) return hr;
  IMFSourceReader* reader = nullptr;
  hr = MFCreateSourceReaderFromMediaSource(source, nullptr, &reader);
  if (reader != nullptr) reader->Release();
  source->Shutdown();
  source->Release();
  return hr;
}

// A thread that holds the multithreaded apartment until released.
class MtaHolder {
 public:
  MtaHolder()
      : thread_([this] {
          CoInitializeEx(nullptr, COINIT_MULTITHREADED);
          std::unique_lock<std::mutex> lock(mutex_);
          entered_ = true;
          changed_.notify_all();
          changed_.wait(lock, [this] { return leave_; });
          CoUninitialize();
        }) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return entered_; });
  }
  ~MtaHolder() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      leave_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool entered_ = false;
  bool leave_ = false;
  std::thread thread_;
};

// The calls Windows documents as needing COM on the calling thread fail with
// CO_E_NOTINITIALIZED outside any apartment, work inside one of either model
// or in the implicit MTA while another thread holds the MTA, and fail again
// once the thread has left its apartment.
using ComRules = machine_test::MachineTest;

TEST_F(ComRules, CreationCallsNeedAnApartment) {
  winsim::SetSinkEncoding(false);
  ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_LITE), S_OK);
  const Creation creations[] = {
      {"CoCreateInstance", CreateEnumerator},
      {"MFCreateSinkWriterFromURL", CreateSinkWriter},
      {"MFCreateSourceReaderFromMediaSource", CreateSourceReader},
  };
  for (const Creation& c : creations) {
    SCOPED_TRACE(c.name);
    std::thread([&c] {
      EXPECT_EQ(c.create(), CO_E_NOTINITIALIZED) << "no apartment";
      for (DWORD model : {COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED}) {
        ASSERT_EQ(CoInitializeEx(nullptr, model), S_OK);
        EXPECT_EQ(c.create(), S_OK) << "model " << model;
        CoUninitialize();
        EXPECT_EQ(c.create(), CO_E_NOTINITIALIZED) << "left model " << model;
      }
      {
        const MtaHolder holder;
        EXPECT_EQ(c.create(), S_OK) << "implicit MTA";
      }
      EXPECT_EQ(c.create(), CO_E_NOTINITIALIZED) << "after the MTA's last thread left";
    }).join();
  }
  EXPECT_EQ(MFShutdown(), S_OK);
  winsim::ResetMachine();
  EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
}

}  // namespace
