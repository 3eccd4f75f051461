// The machine changing while it runs: displays, audio endpoints, the secure
// desktop and the end of the session, each with what Windows does after it.
#include <audioclient.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <mmdeviceapi.h>
#include <windows.h>
#include <winsim.h>
#include <winsim_windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio_test_support.h"
#include "tests/support/machine_test.h"

namespace {

using audio_test::ComRef;

constexpr wchar_t kClass[] = L"TimelineTestWindow";

// A top-level window on a thread of its own, pumping messages, that records
// the system-wide messages it receives and on which thread.
class PumpingWindow {
 public:
  PumpingWindow() {
    thread_ = std::thread([this] { Run(); });
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return hwnd_ != nullptr; });
  }
  ~PumpingWindow() {
    PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    thread_.join();
  }
  HWND hwnd() const { return hwnd_; }
  std::vector<std::pair<UINT, LPARAM>> Received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }
  bool ReceivedOnItsThread() const { return on_own_thread_; }

  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<PumpingWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self != nullptr && (message == WM_DISPLAYCHANGE || message == WM_USER)) {
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->received_.emplace_back(message, lparam);
      self->on_own_thread_ = self->on_own_thread_ && std::this_thread::get_id() == self->owner_;
      if (message == WM_USER) return static_cast<LRESULT>(wparam * 2);
    }
    if (message == WM_CLOSE) {
      DestroyWindow(hwnd);
      return 0;
    }
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

 private:
  void Run() {
    owner_ = std::this_thread::get_id();
    HWND hwnd = CreateWindowExW(0, kClass, L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, nullptr, nullptr);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      hwnd_ = hwnd;
    }
    ready_.notify_all();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  }

  std::thread thread_;
  std::thread::id owner_;
  std::mutex mutex_;
  std::condition_variable ready_;
  HWND hwnd_ = nullptr;
  std::vector<std::pair<UINT, LPARAM>> received_;
  bool on_own_thread_ = true;
};

// Waits up to two seconds of wall time for `done`.
template <typename Done>
bool Eventually(Done done) {
  for (int i = 0; i < 400 && !done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return done();
}

// A small top-down DIB to read the screen into, with its DCs.
class ScreenGrab {
 public:
  ScreenGrab() : screen_(GetDC(nullptr)), memory_(CreateCompatibleDC(screen_)) {
    BITMAPINFO bmi{};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), 4, -4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(memory_, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels_ = static_cast<std::uint32_t*>(bits);
    old_ = SelectObject(memory_, bitmap_);
  }
  ~ScreenGrab() {
    SelectObject(memory_, old_);
    DeleteObject(bitmap_);
    DeleteDC(memory_);
    ReleaseDC(nullptr, screen_);
  }
  // Fills the bitmap with `fill`, then copies the 4 x 4 pixels at (x, y).
  BOOL Read(int x, int y, std::uint32_t fill = 0xABCDEF) {
    std::fill(pixels_, pixels_ + 16, fill);
    return BitBlt(memory_, 0, 0, 4, 4, screen_, x, y, SRCCOPY);
  }
  const std::uint32_t* pixels() const { return pixels_; }

 private:
  HDC screen_;
  HDC memory_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  std::uint32_t* pixels_ = nullptr;
};

CURSORINFO CursorNow() {
  CURSORINFO cursor{};
  cursor.cbSize = sizeof(cursor);
  EXPECT_TRUE(GetCursorInfo(&cursor));
  return cursor;
}

void Patch(const std::string& json) {
  std::string error;
  ASSERT_TRUE(winsim::ApplyMachinePatch(json, &error)) << error;
}

class TimelineTest : public machine_test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    WNDCLASSW wc{};
    wc.lpfnWndProc = PumpingWindow::Proc;
    wc.lpszClassName = kClass;
    ASSERT_NE(RegisterClassW(&wc), 0);
  }
  void TearDown() override {
    UnregisterClassW(kClass, nullptr);
    CoUninitialize();
  }
};

// A message sent from another thread runs on the window's own thread, inside
// its message loop, and the sender gets the procedure's answer.
TEST_F(TimelineTest, MessageSentAcrossThreadsRunsOnTheOwnerAndAnswers) {
  PumpingWindow window;
  EXPECT_EQ(SendMessageW(window.hwnd(), WM_USER, 21, 0), 42);
  EXPECT_TRUE(SendNotifyMessageW(window.hwnd(), WM_USER, 1, 0));
  EXPECT_TRUE(Eventually([&] { return window.Received().size() == 2; }));
  EXPECT_TRUE(window.ReceivedOnItsThread());
  EXPECT_FALSE(SendNotifyMessageW(reinterpret_cast<HWND>(0x7777), WM_USER, 0, 0));
}

// Resolution change, a display removed and one added: the metrics, the
// monitor list and its handles follow, every top-level window hears
// WM_DISPLAYCHANGE with the primary's size, and the area of a display that
// went away reads black.
TEST_F(TimelineTest, DisplayChangesReachMonitorsMetricsWindowsAndTheScreen) {
  Patch(R"({"displays": [
      {"left": 0, "top": 0, "width": 800, "height": 600, "name": "\\\\.\\DISPLAY1"},
      {"left": 800, "top": 0, "width": 640, "height": 480, "name": "\\\\.\\DISPLAY2",
       "color": "#FF0000"}]})");
  const HMONITOR primary = MonitorFromPoint(POINT{10, 10}, MONITOR_DEFAULTTONULL);
  const HMONITOR second = MonitorFromPoint(POINT{900, 10}, MONITOR_DEFAULTTONULL);
  ASSERT_NE(second, nullptr);
  ASSERT_NE(second, primary);
  PumpingWindow window;

  Patch(R"({"displays": [{"left": 0, "top": 0, "width": 1024, "height": 768,
                          "name": "\\\\.\\DISPLAY1"}]})");
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
  EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 1);
  EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), 1024);
  EXPECT_EQ(MonitorFromPoint(POINT{10, 10}, MONITOR_DEFAULTTONULL), primary);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  EXPECT_TRUE(GetMonitorInfoW(primary, &info));
  EXPECT_EQ(info.rcMonitor.right, 1024);
  EXPECT_FALSE(GetMonitorInfoW(second, &info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MONITOR_HANDLE));
  ASSERT_TRUE(Eventually([&] { return !window.Received().empty(); }));
  const auto received = window.Received();
  EXPECT_EQ(received[0].first, WM_DISPLAYCHANGE);
  EXPECT_EQ(received[0].second, static_cast<LPARAM>((768 << 16) | 1024));

  // Where the second display was, a grab of the screen now reads black.
  ScreenGrab grab;
  EXPECT_TRUE(grab.Read(1100, 100));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(grab.pixels()[i] & 0xFFFFFF, 0u) << i;

  // A display attached later gets a handle of its own.
  Patch(R"({"displays": [{"left": 0, "top": 0, "width": 1024, "height": 768,
                          "name": "\\\\.\\DISPLAY1"},
                         {"left": 1024, "top": 0, "width": 640, "height": 480,
                          "name": "\\\\.\\DISPLAY2"}]})");
  const HMONITOR again = MonitorFromPoint(POINT{1100, 10}, MONITOR_DEFAULTTONULL);
  EXPECT_NE(again, nullptr);
  EXPECT_NE(again, second);
}

// While the secure desktop shows, the screen cannot be read and the cursor is
// reported hidden; both come back with the user's desktop.
TEST_F(TimelineTest, SecureDesktopDeniesTheScreenAndHidesTheCursor) {
  ScreenGrab grab;
  for (bool secure : {true, false}) {
    Patch(std::string(R"({"desktop": {"secure": )") + (secure ? "true" : "false") + "}}");
    SetLastError(0);
    EXPECT_EQ(grab.Read(0, 0), secure ? FALSE : TRUE);
    EXPECT_EQ(GetLastError(), secure ? static_cast<DWORD>(ERROR_ACCESS_DENIED) : 0u);
    EXPECT_EQ(CursorNow().flags, secure ? 0u : static_cast<DWORD>(CURSOR_SHOWING));
  }
}

// Records every notification as one line of text.
class NotificationLog final : public IMMNotificationClient {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT OnDeviceStateChanged(LPCWSTR id, DWORD state) override {
    return Add(L"state " + std::wstring(id) + L" " + std::to_wstring(state));
  }
  HRESULT OnDeviceAdded(LPCWSTR id) override { return Add(L"added " + std::wstring(id)); }
  HRESULT OnDeviceRemoved(LPCWSTR id) override { return Add(L"removed " + std::wstring(id)); }
  HRESULT OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR id) override {
    return Add(L"default " + std::to_wstring(flow) + L" " + std::to_wstring(role) + L" " +
               (id != nullptr ? id : L"none"));
  }
  HRESULT OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }
  std::vector<std::wstring> Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  HRESULT Add(std::wstring line) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(std::move(line));
    return S_OK;
  }
  std::mutex mutex_;
  std::vector<std::wstring> lines_;
};

std::string Capture(const char* mic_state, bool headset_default) {
  return std::string(R"({"capture": [{"id": "{mic}", "state": ")") + mic_state +
         R"(", "default": )" + (headset_default ? "false" : "true") +
         R"(}, {"id": "{headset}", "default": )" + (headset_default ? "true" : "false") + "}]}";
}

// A microphone unplugged and plugged back while a client reads it, and a new
// default: clients hear each change in order on a machine thread; the client
// of the unplugged endpoint stays invalid, a new one works again.
TEST_F(TimelineTest, EndpointChangesAreNotifiedAndInvalidateTheirClients) {
  Patch(Capture("active", false));
  ComRef<IMMDeviceEnumerator> enumerator;
  ASSERT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                             enumerator.PutVoid()),
            S_OK);
  NotificationLog log;
  ASSERT_EQ(enumerator->RegisterEndpointNotificationCallback(&log), S_OK);
  auto open = [&](ComRef<IAudioClient>* client) {
    ComRef<IMMDevice> device;
    ASSERT_EQ(enumerator->GetDevice(L"{mic}", device.Put()), S_OK);
    ASSERT_EQ(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, client->PutVoid()), S_OK);
  };
  ComRef<IAudioClient> client;
  open(&client);
  WAVEFORMATEX* format = nullptr;
  ASSERT_EQ(client->GetMixFormat(&format), S_OK);
  ASSERT_EQ(client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 2'000'000, 0, format, nullptr), S_OK);
  ASSERT_EQ(client->Start(), S_OK);

  Patch(Capture("unplugged", true));
  UINT32 frames = 0;
  EXPECT_EQ(client->GetBufferSize(&frames), AUDCLNT_E_DEVICE_INVALIDATED);
  Patch(Capture("active", true));
  EXPECT_EQ(client->GetBufferSize(&frames), AUDCLNT_E_DEVICE_INVALIDATED);
  ComRef<IAudioClient> reopened;
  open(&reopened);
  EXPECT_EQ(reopened->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 2'000'000, 0, format, nullptr), S_OK);
  Patch(R"({"capture": [{"id": "{headset}"}]})");

  const std::vector<std::wstring> expected = {L"state {mic} 8",         L"default 1 0 {headset}",
                                              L"default 1 1 {headset}", L"default 1 2 {headset}",
                                              L"state {mic} 1",         L"removed {mic}"};
  EXPECT_TRUE(Eventually([&] { return log.Lines().size() >= expected.size(); }));
  EXPECT_EQ(enumerator->UnregisterEndpointNotificationCallback(&log), S_OK);
  EXPECT_EQ(log.Lines(), expected);
  EXPECT_EQ(enumerator->UnregisterEndpointNotificationCallback(&log),
            static_cast<HRESULT>(0x80070490u));  // E_NOTFOUND
  CoTaskMemFree(format);
}

// A source reader on a microphone that goes away reports the device invalid
// instead of waiting for audio that never comes.
TEST_F(TimelineTest, MicrophoneReaderReportsItsDeviceGone) {
  Patch(Capture("active", false));
  ComRef<IMFAttributes> attributes;
  ASSERT_EQ(MFCreateAttributes(attributes.Put(), 2), S_OK);
  attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                      MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_GUID);
  attributes->SetString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_AUDCAP_ENDPOINT_ID, L"{mic}");
  ComRef<IMFMediaSource> source;
  ASSERT_EQ(MFCreateDeviceSource(attributes.Get(), source.Put()), S_OK);
  ComRef<IMFSourceReader> reader;
  ASSERT_EQ(MFCreateSourceReaderFromMediaSource(source.Get(), nullptr, reader.Put()), S_OK);
  DWORD flags = 0;
  LONGLONG time = 0;
  ComRef<IMFSample> sample;
  ASSERT_EQ(reader->ReadSample(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, nullptr, &flags, &time,
                               sample.Put()),
            S_OK);
  Patch(Capture("disabled", true));
  ComRef<IMFSample> after;
  EXPECT_EQ(reader->ReadSample(MF_SOURCE_READER_FIRST_AUDIO_STREAM, 0, nullptr, &flags, &time,
                               after.Put()),
            MF_E_AUDIO_RECORDING_DEVICE_INVALIDATED);
  EXPECT_EQ(after.Get(), nullptr);
}

// The machine file's timeline applies each patch at its machine time, in
// order; bad timelines are refused whole when the file is read.
TEST_F(TimelineTest, TimelineAppliesPatchesAtTheirTimeAndRefusesBadEntries) {
  winsim::UseManualClock(0);
  std::string error;
  ASSERT_TRUE(winsim::LoadMachineJson(R"({"timeline": [
      {"at_ms": 100, "patch": {"desktop": {"secure": true}}},
      {"at_ms": 200, "patch": {"screen": {"width": 640, "height": 480}}}]})",
                                      &error))
      << error;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(CursorNow().flags, static_cast<DWORD>(CURSOR_SHOWING))
      << "nothing changes before 100 ms";
  winsim::AdvanceClock(150 * 10'000);
  EXPECT_TRUE(Eventually([] { return CursorNow().flags == 0; }));
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  winsim::AdvanceClock(100 * 10'000);
  EXPECT_TRUE(Eventually([] { return GetSystemMetrics(SM_CXSCREEN) == 640; }));

  const struct {
    const char* timeline;
    const char* error;
  } refused[] = {
      {R"({})", "must be a list"},
      {R"([{"patch": {"desktop": {}}}])", "\"at_ms\" must be 0 to"},
      {R"([{"at_ms": 5}])", "needs either \"patch\" or \"end_session\""},
      {R"([{"at_ms": 5, "patch": {"desktop": {}}, "end_session": true}])", "needs either"},
      {R"([{"at_ms": 5, "patch": {"clock": {"manual": true}}}])", "cannot change while"},
      {R"([{"at_ms": 5, "patch": {}}])", "must be an object of machine-file keys"},
      {R"([{"at_ms": 9, "end_session": true}, {"at_ms": 5, "end_session": true}])",
       "in time order"},
      {R"([{"at_ms": 5, "end_session": true, "when": 1}])", "when"},
  };
  for (const auto& c : refused) {
    error.clear();
    EXPECT_FALSE(
        winsim::LoadMachineJson(std::string(R"({"timeline": )") + c.timeline + "}", &error))
        << c.timeline;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.timeline << ": " << error;
  }
}

// Log-off: every top-level window is asked and told, and the process then
// ends at once, without WM_DESTROY or exit handlers.
TEST_F(TimelineTest, EndOfSessionAsksTellsAndEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::atexit([] { std::fputs("exit handler\n", stderr); });
        WNDCLASSW wc{};
        wc.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
          if (message == WM_QUERYENDSESSION || message == WM_ENDSESSION || message == WM_DESTROY) {
            std::fprintf(stderr, "message %u %llu %llx\n", message,
                         static_cast<unsigned long long>(wparam),
                         static_cast<unsigned long long>(lparam));
          }
          return message == WM_QUERYENDSESSION ? TRUE
                                               : DefWindowProcW(hwnd, message, wparam, lparam);
        };
        wc.lpszClassName = L"EndSessionWindow";
        RegisterClassW(&wc);
        CreateWindowExW(0, L"EndSessionWindow", L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                        nullptr, nullptr, nullptr);
        winsim::LoadMachineJson(R"({"timeline": [{"at_ms": 0, "end_session": true}]})", nullptr);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        std::exit(3);
      },
      ::testing::ExitedWithCode(0), "^message 17 0 80000000\nmessage 22 1 80000000\n$");
}

}  // namespace
