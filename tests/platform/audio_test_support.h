// Shared set-up of the simulated audio tests: a manual clock, the default
// audio machine; machine_test checks that every scenario leaves nothing alive.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <winsim.h>
#include <winsim_audio.h>

#include <memory>

#include "tests/support/machine_test.h"

namespace audio_test {

struct ComRelease {
  void operator()(IUnknown* p) const { p->Release(); }
};
template <typename T>
using Ref = std::unique_ptr<T, ComRelease>;

template <typename T>
struct OutRef {
  explicit OutRef(Ref<T>& target) : ref(target) {}
  ~OutRef() { ref.reset(raw); }
  operator T**() { return &raw; }
  operator void**() { return reinterpret_cast<void**>(&raw); }
  Ref<T>& ref;
  T* raw = nullptr;
};
template <typename T>
OutRef<T> Out(Ref<T>& ref) {
  return OutRef<T>(ref);
}

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
