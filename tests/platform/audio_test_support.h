// Shared set-up of the simulated audio tests: a manual clock, the default
// audio machine; machine_test checks that every scenario leaves nothing alive.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>
#include <winsim_audio.h>

#include "tests/support/machine_test.h"
#include "win32_support/com_ref.h"

namespace audio_test {

// COM references are held in the recorder's own holder.
using morl::ComRef;

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070490u);
constexpr std::int64_t kMs = 10'000;  // 100-ns ticks per millisecond on the manual clock

class AudioTest : public machine_test::MachineTest {
 protected:
  // Creating the enumerator and the source reader needs COM on the thread.
  void SetUp() override {
    MachineTest::SetUp();
    winsim::UseManualClock(5'000'000'000);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  }
  void TearDown() override { CoUninitialize(); }
};

}  // namespace audio_test
