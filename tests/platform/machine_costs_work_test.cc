// What the machine file's "costs" do to the calls that do the work: the
// software encoder and BitBlt from the screen spend processor time, the
// GPU's encoder waits for the GPU, each in machine time at the clock's speed.
// Loose bounds only: other work shares the processor.
#include <gtest/gtest.h>
#include <time.h>
#include <windows.h>
#include <winsim.h>
#include <winsim_costs.h>

#include <chrono>
#include <functional>
#include <string>

#include "sink_writer_test_support.h"

namespace {

using namespace sinktest;  // NOLINT: the shared helpers read as local ones

double Seconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Spent {
  double wall_ms, cpu_ms;
};

// The wall time `work` takes and the processor time the process spends on it.
Spent Measure(const std::function<void()>& work) {
  const double wall = Seconds(CLOCK_MONOTONIC), cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID);
  work();
  return {(Seconds(CLOCK_MONOTONIC) - wall) * 1000,
          (Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu) * 1000};
}

class MachineCostsWorkTest : public SinkWriterTest {
 protected:
  // Five 64 x 64 frames through a writer, software or on the GPU.
  void Record(bool hardware) {
    ComRef<IMFAttributes> attributes;
    ASSERT_EQ(MFCreateAttributes(attributes.Put(), 2), S_OK);
    attributes->SetUINT32(MF_SINK_WRITER_DISABLE_THROTTLING, TRUE);
    attributes->SetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, hardware ? TRUE : FALSE);
    ComRef<IMFSinkWriter> writer;
    ASSERT_EQ(MFCreateSinkWriterFromURL(Wide(mp4test::TempPath("costs.mp4")).c_str(), nullptr,
                                        attributes.Get(), writer.Put()),
              S_OK);
    Declare(writer.Get(), 64, 48);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    const std::vector<BYTE> frame = Halves(64, 48, true);
    for (int n = 0; n < 5; ++n)
      ASSERT_EQ(WriteBytes(writer.Get(), 0, frame, n * kFrame, kFrame), S_OK);
    ASSERT_EQ(writer->Finalize(), S_OK);
    ASSERT_EQ(winsim::SinkWriters().back().streams[0].hardware_encoder, hardware);
  }
};

// Each cost slows its call by the machine time it names, as processor time
// or as a wait, and the clock's speed shortens it.
TEST_F(MachineCostsWorkTest, CostsSlowTheirCallsByTheirMachineTime) {
  constexpr double kFramePixels = 64.0 * 48;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 1000, -1000, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const struct {
    const char* name;
    const char* machine;
    double machine_ms;  // the work's cost in machine time
    double speed;
    bool busy;  // spent as processor time
    std::function<void()> work;
  } cases[] = {
      {"software encoder", R"({"costs": {"software_encode_ms_per_mpixel": 50000}})",
       5 * 50000 * kFramePixels / 1e6, 1, true, [this] { Record(false); }},
      {"software encoder at speed 4",
       R"({"costs": {"software_encode_ms_per_mpixel": 50000}, "clock": {"speed": 4}})",
       5 * 50000 * kFramePixels / 1e6, 4, true, [this] { Record(false); }},
      {"GPU encoder", R"({"costs": {"hardware_encode_ms_per_mpixel": 50000}})",
       5 * 50000 * kFramePixels / 1e6, 1, false, [this] { Record(true); }},
      {"BitBlt from the screen", R"({"costs": {"bitblt_ms_per_mpixel": 300}})", 300, 1, true,
       [&] { ASSERT_TRUE(BitBlt(memory, 0, 0, 1000, 1000, screen, 0, 0, SRCCOPY)); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    ASSERT_TRUE(winsim::LoadMachineJson(R"({"clock": {"speed": 1}})", &error)) << error;
    const Spent free = Measure(c.work);
    ASSERT_TRUE(winsim::LoadMachineJson(c.machine, &error)) << error;
    const Spent costly = Measure(c.work);
    winsim::SetCosts(winsim::Costs{});
    // Processor time is the thread's own, so a busy host lengthens only the
    // wall time of busy work; a wait is measured on the wall clock.
    const double cost = c.machine_ms / c.speed;
    EXPECT_GT(costly.wall_ms, free.wall_ms + 0.9 * cost);
    if (c.busy) {
      EXPECT_GT(costly.cpu_ms, free.cpu_ms + 0.9 * cost);
      EXPECT_LT(costly.cpu_ms, free.cpu_ms + 1.5 * cost + 50);
    } else {
      EXPECT_LT(costly.wall_ms, free.wall_ms + 2 * cost + 300);
      EXPECT_LT(costly.cpu_ms, free.cpu_ms + 0.3 * cost);
    }
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

}  // namespace
