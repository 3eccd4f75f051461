// The recorder channel's replies, byte for byte, for every method and every
// error the user interface can receive, on the simulated machine.
#include <gtest/gtest.h>

#include <windows.h>
#include <winsim.h>
#include <winsim_audio.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "messaging/engine_method_result.h"
#include "messaging/standard_method_codec.h"
#include "recorder/recorder_call_handler.h"
#include "recorder/recorder_channel.h"
#include "recorder/recorder.h"
#include "win32_support/platform_task_queue.h"
#include "media_file_check.h"
#include "recorder_calls.h"
#include "tests/support/machine_test.h"

using morl::PlatformTaskQueue;
using namespace morl::recorder;

namespace {

using flutter::EncodableValue;
using flutter::ValueMap;
using Bytes = std::vector<uint8_t>;

// Appends a string value (tag 07, one-byte size) to `out`.
void AppendString(Bytes& out, const std::string& s) {
  out.push_back(0x07);
  out.push_back(static_cast<uint8_t>(s.size()));
  for (char c : s) out.push_back(static_cast<uint8_t>(c));
}

// 01, code, message (null when empty), null details.
Bytes ErrorEnvelope(const std::string& code, const std::string& message) {
  Bytes out{0x01};
  AppendString(out, code);
  if (message.empty()) {
    out.push_back(0x00);
  } else {
    AppendString(out, message);
  }
  out.push_back(0x00);
  return out;
}

// Room for a file's header but not for its first frame at 320 x 240.
constexpr std::int64_t kTooSmallForOneFrame = 1200;

bool FileExists(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file != nullptr) std::fclose(file);
  return file != nullptr;
}

// While closed, every read of the screen waits, for five seconds at most: a
// start waits in its first frame until the gate opens (and a start that held
// the thread that should open it fails its test instead of hanging it).
class ScreenGate {
 public:
  ScreenGate() {
    winsim::GetScreen().animate = [this](winsim::Screen&, std::int64_t) {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait_for(lock, std::chrono::seconds(5), [this] { return open_; });
    };
  }
  // Paints the screen black, which also takes the wait away.
  ~ScreenGate() {
    Open();
    winsim::FillScreen(0);
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
};

class RecorderChannelTest : public machine_test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    winsim::SetSinkEncoding(false);
    winsim::SetScreenSize(64, 48);
    dir_ = ::testing::TempDir();
    // This thread stands for the platform thread, which lives in a
    // single-threaded apartment; the recorder creates its writer on it.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    calls_ = std::make_unique<RecorderCallHandler>(recorder_);
  }
  void TearDown() override {
    if (calls_ && recorder_.recording()) Call("stop");
    calls_.reset();
    winsim::ClearFailures();
    CoUninitialize();
    // Checked while the recorder still exists: a stopped recorder holds nothing.
    EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
  }

  // Sends one call through the handler and returns the reply bytes, running
  // the thread's messages until it comes; every call must be answered exactly
  // once.
  Bytes Call(const std::string& method, std::unique_ptr<EncodableValue> args = nullptr) {
    Bytes reply;
    int answers = 0;
    calls_->Handle(flutter::MethodCall<EncodableValue>(method, std::move(args)),
                   Answer(reply, answers));
    PumpMessagesUntil([&] { return answers > 0; });
    EXPECT_EQ(answers, 1) << method;
    return reply;
  }

  // A result that keeps its reply in `reply` and counts its answers.
  static RecorderCallHandler::Reply Answer(Bytes& reply, int& answers) {
    return std::make_unique<flutter::EngineMethodResult<EncodableValue>>(
        [&reply, &answers](const uint8_t* data, size_t size) {
          reply.assign(data, data + size);
          ++answers;
        },
        &flutter::StandardMethodCodec::SharedInstance());
  }

  // A call whose reply is awaited later, with PumpMessagesUntil.
  struct Pending {
    Bytes reply;
    int answers = 0;
  };
  void Send(const std::string& method, Pending& pending, EncodableValue args = EncodableValue()) {
    calls_->Handle(
        flutter::MethodCall<EncodableValue>(method, std::make_unique<EncodableValue>(args)),
        Answer(pending.reply, pending.answers));
  }

  Bytes Start(EncodableValue args) {
    return Call("start", std::make_unique<EncodableValue>(std::move(args)));
  }

  EncodableValue StartArgs(bool system_audio) {
    return EncodableValue(ValueMap{{EncodableValue("path"), EncodableValue(dir_ + "rec.mp4")},
                                   {EncodableValue("systemAudio"), EncodableValue(system_audio)}});
  }

  // The success value of a reply, decoded.
  static EncodableValue SuccessValue(const Bytes& reply) {
    EXPECT_FALSE(reply.empty());
    EXPECT_EQ(reply[0], 0x00);
    struct Capture : flutter::MethodResult<EncodableValue> {
      EncodableValue value;
      void Success(const EncodableValue* v) override { value = v ? *v : EncodableValue(); }
      void Error(const std::string&, const std::string&, const EncodableValue*) override {
        ADD_FAILURE() << "error reply";
      }
      void NotImplemented() override { ADD_FAILURE() << "not implemented"; }
    } capture;
    flutter::StandardMethodCodec::SharedInstance().DecodeReply(reply.data(), reply.size(),
                                                               &capture);
    return capture.value;
  }

  static std::vector<std::string> Keys(const EncodableValue& map_value) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : std::get<ValueMap>(map_value)) {
      keys.push_back(std::get<std::string>(key));
    }
    return keys;
  }

  std::string dir_;
  Recorder recorder_;
  std::unique_ptr<RecorderCallHandler> calls_;
};

TEST_F(RecorderChannelTest, StartWithoutUsablePathIsRefusedBeforeAnythingRuns) {
  const Bytes expected = ErrorEnvelope("start_failed", "no output path given");
  const std::vector<EncodableValue> refused = {
      EncodableValue("C:\\out.mp4"),  // a string, not a map
      EncodableValue(),               // null arguments
      EncodableValue(ValueMap{{EncodableValue("path"), EncodableValue(int32_t{5})}}),
      EncodableValue(ValueMap{{EncodableValue("path"), EncodableValue("")}}),
      EncodableValue(ValueMap{{EncodableValue("systemAudio"), EncodableValue(true)}}),
  };
  winsim::ResetCallCounts();
  for (const auto& args : refused) EXPECT_EQ(Start(args), expected);
  EXPECT_EQ(Call("start"), expected);  // no arguments at all
  EXPECT_EQ(winsim::CallCount("MFStartup"), 0);
  EXPECT_FALSE(recorder_.recording());
}

// Paths the file system would read as another name: cut at a NUL, or broken
// UTF-8 converted to replacement characters.
TEST_F(RecorderChannelTest, PathThatWouldNameAnotherFileIsRefusedBeforeAnythingRuns) {
  const std::string truncated = dir_ + "nul.mp4";
  const struct {
    std::string path;
    const char* message;
  } cases[] = {
      {truncated + std::string("\0x.mp4", 6), "output path contains a NUL character"},
      {dir_ + "bad\xff.mp4", "output path is not valid UTF-8"},
      {dir_ + "cut\xc3", "output path is not valid UTF-8"},               // a sequence cut short
      {dir_ + "long\xc0\xaf.mp4", "output path is not valid UTF-8"},      // an overlong "/"
      {dir_ + "half\xed\xa0\x80.mp4", "output path is not valid UTF-8"},  // a lone surrogate
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::remove(truncated.c_str());
    winsim::ResetCallCounts();
    EXPECT_EQ(Start(EncodableValue(ValueMap{{EncodableValue("path"), EncodableValue(c.path)}})),
              ErrorEnvelope("start_failed", c.message));
    EXPECT_EQ(winsim::CallCount("MFStartup"), 0);
    EXPECT_FALSE(recorder_.recording());
    EXPECT_NE(std::remove(truncated.c_str()), 0);  // nothing was created before the NUL
  }
}

TEST_F(RecorderChannelTest, BadOptionalStartArgumentsAreRefusedBeforeAnythingRuns) {
  const std::string region_text =
      "region must be a map of the integers left, top, width and height";
  const ValueMap whole_region{{EncodableValue("left"), EncodableValue(int32_t{0})},
                              {EncodableValue("top"), EncodableValue(int32_t{0})},
                              {EncodableValue("width"), EncodableValue(int32_t{8})}};
  const std::string encoder_text = "encoder must be one of the strings auto, hardware and software";
  const std::string bitrate_text = "videoBitrate must be an integer from 100000 to 100000000";
  struct Case {
    const char* key;
    EncodableValue value;
    std::string message;
  };
  const Case cases[] = {
      {"fps", EncodableValue(int32_t{0}), "fps must be an integer from 1 to 60"},
      {"fps", EncodableValue(int32_t{61}), "fps must be an integer from 1 to 60"},
      {"fps", EncodableValue(int64_t{1} << 32 | 15), "fps must be an integer from 1 to 60"},
      {"fps", EncodableValue(15.0), "fps must be an integer from 1 to 60"},
      {"display", EncodableValue("1"), "display must be an integer display id"},
      {"display", EncodableValue(int64_t{1} << 40), "display must be an integer display id"},
      {"region", EncodableValue(int32_t{4}), region_text},
      {"region", EncodableValue(whole_region), region_text},  // no height
      {"microphoneId", EncodableValue(int32_t{2}), "microphoneId must be an endpoint id string"},
      {"speakersId", EncodableValue(true), "speakersId must be an endpoint id string"},
      {"encoder", EncodableValue("gpu"), encoder_text},
      {"encoder", EncodableValue("Hardware"), encoder_text},
      {"encoder", EncodableValue(true), encoder_text},
      {"videoBitrate", EncodableValue(int32_t{99'999}), bitrate_text},
      {"videoBitrate", EncodableValue(int32_t{100'000'001}), bitrate_text},
      {"videoBitrate", EncodableValue(int64_t{1} << 32 | 2'000'000), bitrate_text},
      {"videoBitrate", EncodableValue(2e6), bitrate_text},
      {"videoBitrate", EncodableValue("2000000"), bitrate_text},
  };
  winsim::ResetCallCounts();
  for (const Case& c : cases) {
    ValueMap args{{EncodableValue("path"), EncodableValue(dir_ + "bad.mp4")},
                  {EncodableValue(c.key), c.value}};
    EXPECT_EQ(Start(EncodableValue(args)), ErrorEnvelope("bad_argument", c.message)) << c.key;
  }
  EXPECT_EQ(winsim::CallCount("MFStartup"), 0);
  EXPECT_FALSE(recorder_.recording());
}

TEST_F(RecorderChannelTest, UnknownMethodsAndNearMissesAreNotImplemented) {
  for (const char* method : {"Probe", "probe ", "START", "stop\n", "", "record"}) {
    EXPECT_EQ(Call(method), Bytes{}) << '"' << method << '"';
  }
}

// Two displays side by side: a 64 x 32 primary and a 40 x 20 one right of it,
// each in its own colour.
constexpr char kTwoDisplays[] = R"({"displays": [
    {"left": 0, "top": 0, "width": 64, "height": 32, "color": "#C00000"},
    {"left": 64, "top": 0, "width": 40, "height": 20, "dpi": 120, "color": "#0000C0"}]})";

TEST_F(RecorderChannelTest, DisplaysListsEveryDisplayWithTypedFields) {
  std::string error;
  ASSERT_TRUE(winsim::LoadMachineJson(kTwoDisplays, &error)) << error;
  auto display = [](int32_t id, const char* name, int32_t left, int32_t width, int32_t height,
                    bool primary, int32_t dpi) {
    return EncodableValue(ValueMap{{EncodableValue("id"), EncodableValue(id)},
                                   {EncodableValue("name"), EncodableValue(name)},
                                   {EncodableValue("left"), EncodableValue(left)},
                                   {EncodableValue("top"), EncodableValue(int32_t{0})},
                                   {EncodableValue("width"), EncodableValue(width)},
                                   {EncodableValue("height"), EncodableValue(height)},
                                   {EncodableValue("primary"), EncodableValue(primary)},
                                   {EncodableValue("dpi"), EncodableValue(dpi)}});
  };
  const Bytes reply = Call("displays", std::make_unique<EncodableValue>(int32_t{3}));
  const EncodableValue want(
      flutter::ValueList{display(0, "\\\\.\\DISPLAY1", 0, 64, 32, true, 96),
                         display(1, "\\\\.\\DISPLAY2", 64, 40, 20, false, 120)});
  // Equal in the values' total order, which tells int32 from int64.
  const EncodableValue got = SuccessValue(reply);
  EXPECT_FALSE(got < want || want < got);
  EXPECT_EQ(reply, Call("displays"));  // arguments are ignored
}

TEST_F(RecorderChannelTest, DisplayRegionAndFpsShapeTheRecordingOrAreRefused) {
  std::string error;
  ASSERT_TRUE(winsim::LoadMachineJson(kTwoDisplays, &error)) << error;
  winsim::GetCursor().visible = false;
  auto region = [](int32_t left, int32_t top, int32_t width, int32_t height) {
    return EncodableValue(ValueMap{{EncodableValue("left"), EncodableValue(left)},
                                   {EncodableValue("top"), EncodableValue(top)},
                                   {EncodableValue("width"), EncodableValue(width)},
                                   {EncodableValue("height"), EncodableValue(height)}});
  };
  struct Case {
    const char* name;
    ValueMap args;
    Bytes refusal;  // empty: the recording starts
    uint32_t width, height, fps, key_frames, pixel;
  };
  const Case cases[] = {
      {"no arguments: the primary at 15", {}, {}, 64, 32, 15, 0, 0xC00000},
      {"the second display",
       {{EncodableValue("display"), EncodableValue(int32_t{1})}},
       {},
       40,
       20,
       15,
       0,
       0x0000C0},
      {"a region of it, odd sizes rounded down",
       {{EncodableValue("display"), EncodableValue(int32_t{1})},
        {EncodableValue("region"), region(2, 2, 11, 7)}},
       {},
       10,
       6,
       15,
       0,
       0x0000C0},
      {"60 fps",
       {{EncodableValue("fps"), EncodableValue(int32_t{60})}},
       {},
       64,
       32,
       60,
       0,
       0xC00000},
      {"5 fps fragmented: a key frame every two seconds",
       {{EncodableValue("fps"), EncodableValue(int32_t{5})},
        {EncodableValue("fragmented"), EncodableValue(true)}},
       {},
       64,
       32,
       5,
       10,
       0xC00000},
      {"unknown display",
       {{EncodableValue("display"), EncodableValue(int32_t{2})}},
       ErrorEnvelope("bad_argument", "display 2 is not one of the 2 displays"),
       0,
       0,
       0,
       0,
       0},
      {"region outside the display",
       {{EncodableValue("display"), EncodableValue(int32_t{1})},
        {EncodableValue("region"), region(40, 0, 4, 4)}},
       ErrorEnvelope("bad_region", "region lies outside the display (40 x 20)"),
       0,
       0,
       0,
       0,
       0},
      {"region of one pixel",
       {{EncodableValue("region"), region(0, 0, 1, 1)}},
       ErrorEnvelope("bad_region", "region is less than 2 x 2 pixels within the display"),
       0,
       0,
       0,
       0,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::ResetSinkWriters();
    winsim::ResetCallCounts();
    ValueMap args = c.args;
    args[EncodableValue("path")] = EncodableValue(dir_ + "shaped.mp4");
    const Bytes reply = Start(EncodableValue(args));
    if (!c.refusal.empty()) {
      EXPECT_EQ(reply, c.refusal);
      EXPECT_EQ(winsim::CallCount("MFStartup"), 0);
      EXPECT_FALSE(recorder_.recording());
      continue;
    }
    SuccessValue(reply);
    const auto stats = std::get<ValueMap>(SuccessValue(Call("stop")));
    EXPECT_EQ(std::get<int32_t>(stats.at(EncodableValue("width"))), static_cast<int32_t>(c.width));
    EXPECT_EQ(std::get<int32_t>(stats.at(EncodableValue("height"))),
              static_cast<int32_t>(c.height));
    const auto writer = winsim::SinkWriters().at(0);
    ASSERT_FALSE(writer.streams.empty());
    EXPECT_EQ(writer.streams[0].width, c.width);
    EXPECT_EQ(writer.streams[0].height, c.height);
    EXPECT_EQ(writer.streams[0].fps_num, c.fps);
    EXPECT_EQ(writer.streams[0].fps_den, 1u);
    EXPECT_EQ(writer.streams[0].key_frame_interval, c.key_frames);
    ASSERT_FALSE(writer.samples.empty());
    for (const auto& sample : writer.samples) {
      if (sample.stream != 0) continue;
      EXPECT_EQ(sample.duration, 10'000'000 / c.fps);
      EXPECT_EQ(sample.bytes, std::size_t{c.width} * c.height * 4);
      // RGB32's fourth byte is unused: GDI leaves it 0, duplication 0xFF.
      EXPECT_EQ(sample.first_pixel & 0xFFFFFFu, c.pixel);
    }
  }
}

TEST_F(RecorderChannelTest, ProbeIgnoresArgumentsAndSendsKeysInOrder) {
  const Bytes plain = Call("probe");
  const Bytes with_args = Call("probe", std::make_unique<EncodableValue>(int32_t{7}));
  EXPECT_EQ(plain, with_args);
  EXPECT_EQ(Keys(SuccessValue(plain)),
            (std::vector<std::string>{"micName", "screenAvailable", "screenHeight", "screenWidth",
                                      "systemAudioAvailable", "systemAudioName"}));
}

// Entries are maps, so their keys go in key order: "default", "id", "name".
TEST_F(RecorderChannelTest, AudioDevicesListsEndpointsOrFailsWithDevicesFailed) {
  winsim::AudioEndpoint mic = *winsim::CaptureEndpoint();
  mic.id = L"{m}";
  mic.name = L"Mic \u00e9";
  winsim::SetCaptureEndpoints({mic}, 0);
  winsim::SetRenderEndpoint(std::nullopt);
  Bytes want{0x00, 0x0D, 0x02};
  AppendString(want, "microphones");
  want.insert(want.end(), {0x0C, 0x01, 0x0D, 0x03});
  AppendString(want, "default");
  want.push_back(0x01);
  AppendString(want, "id");
  AppendString(want, "{m}");
  AppendString(want, "name");
  AppendString(want, "Mic \xc3\xa9");
  AppendString(want, "speakers");
  want.insert(want.end(), {0x0C, 0x00});
  EXPECT_EQ(Call("audioDevices"), want);

  winsim::FailCall("IMMDeviceEnumerator::EnumAudioEndpoints", E_OUTOFMEMORY);
  EXPECT_EQ(Call("audioDevices"), ErrorEnvelope("devices_failed", "enumerate hr=0x8007000e"));
}

TEST_F(RecorderChannelTest, StopWhenIdleIsNotRecordingWithNullMessage) {
  EXPECT_EQ(Call("stop"), ErrorEnvelope("not_recording", ""));
}

TEST_F(RecorderChannelTest, StartThenStopReportsStatisticsInKeyOrder) {
  const Bytes start = Start(StartArgs(true));
  // {"audio": true}: 00 0D 01 07 05 'audio' 01
  EXPECT_EQ(start, (Bytes{0x00, 0x0D, 0x01, 0x07, 0x05, 'a', 'u', 'd', 'i', 'o', 0x01}));
  const EncodableValue stats = SuccessValue(Call("stop", std::make_unique<EncodableValue>("x")));
  EXPECT_EQ(Keys(stats), (std::vector<std::string>{"bytes", "durationMs", "frames", "hadAudio",
                                                   "height", "path", "width"}));
  const auto& map = std::get<ValueMap>(stats);
  EXPECT_TRUE(std::holds_alternative<int64_t>(map.at(EncodableValue("bytes"))));
  EXPECT_TRUE(std::holds_alternative<int64_t>(map.at(EncodableValue("durationMs"))));
  EXPECT_TRUE(std::holds_alternative<int64_t>(map.at(EncodableValue("frames"))));
  EXPECT_EQ(std::get<int32_t>(map.at(EncodableValue("width"))), 64);
  EXPECT_EQ(std::get<int32_t>(map.at(EncodableValue("height"))), 48);
  EXPECT_TRUE(std::get<bool>(map.at(EncodableValue("hadAudio"))));
  EXPECT_EQ(std::get<std::string>(map.at(EncodableValue("path"))), dir_ + "rec.mp4");
}

TEST_F(RecorderChannelTest, SecondStartIsRefusedAndStopStillEndsTheFirst) {
  SuccessValue(Start(StartArgs(false)));
  EXPECT_EQ(Start(StartArgs(true)), ErrorEnvelope("already_recording", ""));
  EXPECT_TRUE(recorder_.recording());
  ASSERT_NE(recorder_.options(), nullptr);
  EXPECT_FALSE(recorder_.options()->system_audio);  // the first recording's setting
  SuccessValue(Call("stop"));
  EXPECT_EQ(Call("stop"), ErrorEnvelope("not_recording", ""));
}

TEST_F(RecorderChannelTest, SystemAudioThatIsNotABoolReadsAsFalse) {
  for (EncodableValue flag :
       {EncodableValue(int32_t{1}), EncodableValue("true"), EncodableValue()}) {
    SuccessValue(
        Start(EncodableValue(ValueMap{{EncodableValue("path"), EncodableValue(dir_ + "rec.mp4")},
                                      {EncodableValue("systemAudio"), flag}})));
    ASSERT_NE(recorder_.options(), nullptr);
    EXPECT_FALSE(recorder_.options()->system_audio);
    SuccessValue(Call("stop"));
  }
}

TEST_F(RecorderChannelTest, AudioProblemsStillStartWithTheirTexts) {
  winsim::FailCall("CoCreateInstance", E_ACCESSDENIED);
  const EncodableValue reply = SuccessValue(Start(StartArgs(false)));
  const auto& map = std::get<ValueMap>(reply);
  EXPECT_FALSE(std::get<bool>(map.at(EncodableValue("audio"))));
  EXPECT_EQ(std::get<std::string>(map.at(EncodableValue("micError"))), "mic lookup hr=0x80070005");
  EXPECT_EQ(map.count(EncodableValue("systemAudioError")), 0u);
}

// "fragmented" changes the file, never the reply: only a bool true asks for
// fragmented MP4 with a key frame every two seconds; absent, false and values
// of other types give today's ordinary file.
TEST_F(RecorderChannelTest, FragmentedIsReadAsABoolAndChangesOnlyTheFile) {
  struct Case {
    const char* name;
    std::optional<EncodableValue> value;
    bool fragmented;
  };
  const Case cases[] = {
      {"absent", std::nullopt, false},           {"false", EncodableValue(false), false},
      {"true", EncodableValue(true), true},      {"int 1", EncodableValue(int32_t{1}), false},
      {"string", EncodableValue("true"), false}, {"null", EncodableValue(), false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::ResetSinkWriters();
    ValueMap args{{EncodableValue("path"), EncodableValue(dir_ + "rec.mp4")},
                  {EncodableValue("systemAudio"), EncodableValue(true)}};
    if (c.value) args[EncodableValue("fragmented")] = *c.value;
    EXPECT_EQ(Start(EncodableValue(std::move(args))),
              (Bytes{0x00, 0x0D, 0x01, 0x07, 0x05, 'a', 'u', 'd', 'i', 'o', 0x01}));
    SuccessValue(Call("stop"));
    const std::vector<winsim::SinkWriterRecord> writers = winsim::SinkWriters();
    ASSERT_EQ(writers.size(), 1u);
    EXPECT_EQ(writers[0].fragmented, c.fragmented);
    ASSERT_FALSE(writers[0].streams.empty());
    EXPECT_EQ(writers[0].streams[0].key_frame_interval, c.fragmented ? 30u : 0u);
  }
}

// A disk that fills up fails the stop with the writer's HRESULT. The
// unfinished ordinary file is removed; the fragmented one is kept beside the
// target, named in the message. Either way the target is untouched and the
// next recording works.
TEST_F(RecorderChannelTest, FullDiskFailsTheStopAndKeepsOnlyAFragmentedFile) {
  winsim::SetSinkEncoding(true);
  winsim::SetScreenSize(320, 240);
  const std::string target = dir_ + "full.mp4";
  const std::string partial = target + ".partial.mp4";
  for (const bool fragmented : {false, true}) {
    SCOPED_TRACE(fragmented ? "fragmented" : "ordinary");
    std::remove(partial.c_str());
    winsim::SetDiskFreeBytes(kTooSmallForOneFrame);
    SuccessValue(Start(
        EncodableValue(ValueMap{{EncodableValue("path"), EncodableValue(target)},
                                {EncodableValue("fragmented"), EncodableValue(fragmented)}})));
    const std::string kept = fragmented ? " -- the recording was kept as " + partial : "";
    EXPECT_EQ(Call("stop"), ErrorEnvelope("stop_failed", "finalize hr=0x80070070" + kept));
    EXPECT_FALSE(recorder_.recording());
    EXPECT_EQ(FileExists(partial), fragmented);
    EXPECT_FALSE(FileExists(target));

    winsim::SetDiskFreeBytes(-1);
    SuccessValue(Start(EncodableValue(
        ValueMap{{EncodableValue("path"), EncodableValue(dir_ + "after_full.mp4")}})));
    SuccessValue(Call("stop"));
  }
}

struct FailureCase {
  const char* name;
  const char* call;  // the simulated call made to fail; null: a screen one pixel wide
  HRESULT hr;
  const char* code;
  const char* message;
};

class RecorderChannelFailureTest : public RecorderChannelTest,
                                   public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RecorderChannelFailureTest, EachStartFailureIsOneErrorReplyAndLeavesTheRecorderIdle) {
  const FailureCase& c = GetParam();
  if (c.call == nullptr) {
    winsim::SetScreenMetrics(1, 48);
  } else {
    winsim::FailCall(c.call, c.hr);
  }
  EXPECT_EQ(Start(StartArgs(true)), ErrorEnvelope(c.code, c.message));
  EXPECT_FALSE(recorder_.recording());
  EXPECT_EQ(winsim::DescribeLiveObjects(),
            "apartment:sta x1, class:MORL_PLATFORM_TASK_QUEUE x1, "
            "window:MORL_PLATFORM_TASK_QUEUE x1")
      << "only the thread's own and the handler's";
  winsim::SetScreenSize(64, 48);
  SuccessValue(Start(StartArgs(true)));  // a new start works at once
  SuccessValue(Call("stop"));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, RecorderChannelFailureTest,
    ::testing::Values(
        FailureCase{"NoScreen", nullptr, S_OK, "no_screen",
                    "GetSystemMetrics reported no primary display"},
        FailureCase{"MFStartup", "MFStartup", E_FAIL, "encoder_missing", "MFStartup hr=0x80004005"},
        FailureCase{"Create", "MFCreateSinkWriterFromURL", E_ACCESSDENIED, "sink_failed",
                    "create hr=0x80070005"},
        FailureCase{"H264", "IMFSinkWriter::AddStream", static_cast<HRESULT>(0xC00D5212),
                    "encoder_missing", "H264 hr=0xc00d5212"},
        FailureCase{"Begin", "IMFSinkWriter::BeginWriting", E_ACCESSDENIED, "sink_failed",
                    "begin hr=0x80070005"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(RecorderChannelTest, FinalizeFailureIsStopFailedWithoutStatistics) {
  SuccessValue(Start(StartArgs(true)));
  winsim::FailCall("IMFSinkWriter::Finalize", static_cast<HRESULT>(0x80070070));
  EXPECT_EQ(Call("stop"), ErrorEnvelope("stop_failed", "finalize hr=0x80070070"));
  EXPECT_FALSE(recorder_.recording());
  EXPECT_EQ(Call("stop"), ErrorEnvelope("not_recording", ""));
}

// While a start or a stop runs on the worker, every other call is answered
// at once, as the state then is; the start's or stop's reply comes only
// through the platform thread's messages. A stop during the start waits for
// it and then ends the recording it made.
TEST_F(RecorderChannelTest, CallsDuringAStartOrStopAnswerAtOnceAndAStopWaitsForTheStart) {
  const Bytes idle_status = Call("status");
  const Bytes already = ErrorEnvelope("already_recording", "");
  const Bytes not_recording = ErrorEnvelope("not_recording", "");
  struct Case {
    bool stopping;  // else starting
    std::vector<const char*> methods;
    std::vector<Bytes> replies;  // empty: the stop that waits for the start
  };
  const Case cases[] = {
      {false, {"start"}, {already}},
      {false, {"status"}, {idle_status}},
      {false, {"pause"}, {not_recording}},
      {false, {"resume"}, {not_recording}},
      {false, {"stop", "stop"}, {{}, not_recording}},
      {true, {"start"}, {already}},
      {true, {"stop"}, {not_recording}},
      {true, {"status"}, {idle_status}},
      {true, {"pause"}, {not_recording}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.stopping ? "stopping: " : "starting: ") + c.methods[0]);
    Pending start;
    Pending stop;
    Send("start", start, StartArgs(false));
    if (c.stopping) {
      PumpMessagesUntil([&] { return start.answers > 0; });
      Send("stop", stop);
    }
    Pending& running = c.stopping ? stop : start;
    std::vector<Pending> calls(c.methods.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
      Send(c.methods[i], calls[i], StartArgs(true));
      EXPECT_EQ(calls[i].answers, c.replies[i].empty() ? 0 : 1) << c.methods[i];
      if (!c.replies[i].empty()) {
        EXPECT_EQ(calls[i].reply, c.replies[i]);
      }
    }
    EXPECT_EQ(running.answers, 0);
    PumpMessagesUntil([&] {
      for (const Pending& call : calls) {
        if (call.answers == 0) return false;
      }
      return running.answers > 0;
    });
    SuccessValue(running.reply);
    if (!c.stopping && c.replies[0].empty()) {
      EXPECT_EQ(Keys(SuccessValue(calls[0].reply)).front(), "bytes");
      EXPECT_FALSE(recorder_.recording());
    }
    EXPECT_EQ(recorder_.recording(), !c.stopping && !c.replies[0].empty());
    if (recorder_.recording()) SuccessValue(Call("stop"));
  }
}

// The platform thread's loop keeps running while a start waits for its
// first frame.
TEST_F(RecorderChannelTest, PlatformThreadHandlesItsMessagesWhileAStartRuns) {
  ScreenGate gate;
  Pending start;
  Send("start", start, StartArgs(false));
  static bool ticked;
  ticked = false;
  const UINT_PTR timer =
      SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) { ticked = true; });
  PumpMessagesUntil([&] { return ticked || start.answers > 0; });
  KillTimer(nullptr, timer);
  EXPECT_TRUE(ticked);
  EXPECT_EQ(start.answers, 0);
  gate.Open();
  PumpMessagesUntil([&] { return start.answers > 0; });
  SuccessValue(start.reply);
}

// The handler going while a start or stop runs (the window closed) waits for
// it and answers it; the recorder going after it finishes the recording. The
// file is then complete, and nothing of it is left.
TEST_F(RecorderChannelTest, HandlerGoingDuringAStartOrStopLeavesAFinishedFile) {
  winsim::SetSinkEncoding(true);
  winsim::SetScreenSize(160, 120);
  const std::string target = dir_ + "closed.mp4";
  struct Case {
    const char* name;
    bool queue_stop;  // a stop waits for the start
    bool stopping;   // the handler goes during the stop instead
  };
  const Case cases[] = {
      {"during the start", false, false},
      {"during the start, a stop waiting", true, false},
      {"during the stop", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(target.c_str());
    calls_ = std::make_unique<RecorderCallHandler>(recorder_);
    Pending start;
    Pending stop;
    {
      ScreenGate gate;
      Send("start", start,
           EncodableValue(ValueMap{{EncodableValue("path"), EncodableValue(target)}}));
      if (c.stopping) {
        gate.Open();
        PumpMessagesUntil([&] { return start.answers > 0; });
      }
      if (c.queue_stop || c.stopping) Send("stop", stop);
      std::thread opener([&gate] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        gate.Open();
      });
      calls_.reset();
      opener.join();
    }
    EXPECT_EQ(start.answers, 1);
    SuccessValue(start.reply);
    EXPECT_EQ(stop.answers, c.queue_stop || c.stopping ? 1 : 0);
    recorder_.StopIfRecording();
    const std::vector<StreamInfo> streams = ProbeStreams(target);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].codec, "h264");
    EXPECT_FALSE(FileExists(target + ".partial.mp4"));
    EXPECT_EQ(winsim::DescribeLiveObjects(), "apartment:sta x1");
  }
}

// Two queues live at once when the window makes a new channel before the old
// one goes. Each runs its own closures, posted from another thread, in order;
// the class stays while either window does; a closure still queued when its
// queue goes is dropped, and the message that was posted for it reaches
// nothing.
using PlatformTaskQueueTest = machine_test::MachineTest;

TEST_F(PlatformTaskQueueTest, OverlappingQueuesRunTheirOwnClosuresAndLeaveNothing) {
  std::vector<int> ran;
  auto first = std::make_unique<PlatformTaskQueue>();
  auto second = std::make_unique<PlatformTaskQueue>();
  ASSERT_TRUE(first->ok());
  ASSERT_TRUE(second->ok());
  std::thread poster([&] {
    first->Post([&] { ran.push_back(1); });
    second->Post([&] { ran.push_back(2); });
    first->Post([&] { ran.push_back(3); });
  });
  poster.join();
  PumpMessagesUntil([&] { return ran.size() == 3; });
  EXPECT_EQ(ran, (std::vector<int>{1, 3, 2}));
  first.reset();
  EXPECT_EQ(winsim::DescribeLiveObjects(),
            "class:MORL_PLATFORM_TASK_QUEUE x1, window:MORL_PLATFORM_TASK_QUEUE x1");
  second->Post([&] { ran.push_back(4); });
  second.reset();
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  EXPECT_EQ(ran.size(), 3u);
  EXPECT_EQ(winsim::DescribeLiveObjects(), "nothing alive");
}

}  // namespace
