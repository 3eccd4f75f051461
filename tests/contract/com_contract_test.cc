// COM rules the recorder's threads rely on: apartments per thread and their
// balancing, task memory, and property values.
#include <windows.h>

#include <mmdeviceapi.h>
#include <objbase.h>
#include <propidl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "contract_support.h"
#include "wine_differences.h"

namespace {

// Each case runs on a thread of its own so that no apartment outlives it.
template <typename Body>
void OnFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

struct Apartments {
  const char* name;
  DWORD first;
  DWORD second;
  HRESULT second_result;
};

class ComApartment : public ::testing::TestWithParam<Apartments> {};

// Entering the same model again counts (S_FALSE) and needs its own
// CoUninitialize; another model is refused with RPC_E_CHANGED_MODE, which
// must not be balanced. The capture threads enter MTA and tolerate both.
TEST_P(ComApartment, SecondEntryOnOneThread) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  const Apartments c = GetParam();
  OnFreshThread([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, c.first), S_OK);
    const HRESULT second = CoInitializeEx(nullptr, c.second);
    EXPECT_EQ(second, c.second_result);
    if (SUCCEEDED(second)) CoUninitialize();
    // Still inside the first apartment: entering it again counts again.
    EXPECT_EQ(CoInitializeEx(nullptr, c.first), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    // Fully left: the next entry starts a new apartment.
    EXPECT_EQ(CoInitializeEx(nullptr, c.second), S_OK);
    CoUninitialize();
  });
}

INSTANTIATE_TEST_SUITE_P(Models, ComApartment,
                         ::testing::Values(Apartments{"MtaTwice", COINIT_MULTITHREADED,
                                                      COINIT_MULTITHREADED, S_FALSE},
                                           Apartments{"StaTwice", COINIT_APARTMENTTHREADED,
                                                      COINIT_APARTMENTTHREADED, S_FALSE},
                                           Apartments{"MtaThenSta", COINIT_MULTITHREADED,
                                                      COINIT_APARTMENTTHREADED, RPC_E_CHANGED_MODE},
                                           Apartments{"StaThenMta", COINIT_APARTMENTTHREADED,
                                                      COINIT_MULTITHREADED, RPC_E_CHANGED_MODE}),
                         [](const auto& row) { return std::string(row.param.name); });

// Apartments belong to threads: another thread's apartment does not make
// this thread's second entry a repeat.
TEST(ComApartmentThreads, EachThreadEntersItsOwn) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  OnFreshThread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    HRESULT other = E_FAIL;
    OnFreshThread([&] {
      other = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      if (SUCCEEDED(other)) CoUninitialize();
    });
    EXPECT_EQ(other, S_OK);
    CoUninitialize();
  });
}

// Creating a COM object needs COM on the calling thread: a thread that
// entered no apartment is refused with CO_E_NOTINITIALIZED, one inside either
// kind of apartment is served, and one that has left its apartment is refused
// again. (A thread also joins the multithreaded apartment implicitly while
// another thread holds it, so this case runs before the audio cases, whose
// system threads may hold it.) The recorder's threads enter their own.
TEST(ComApartmentThreads, CreationNeedsAnApartmentOnTheCallingThread) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  OnFreshThread([] {
    for (DWORD model : {COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED}) {
      SCOPED_TRACE(model);
      void* outside = &model;
      EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                 IID_IMMDeviceEnumerator, &outside),
                CO_E_NOTINITIALIZED);
      EXPECT_EQ(outside, nullptr);
      ASSERT_EQ(CoInitializeEx(nullptr, model), S_OK);
      {
        contract::ComRef<IMMDeviceEnumerator> inside;
        EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                   IID_IMMDeviceEnumerator, inside.PutVoid()),
                  S_OK);
      }
      CoUninitialize();
      contract::ComRef<IMMDeviceEnumerator> after;
      EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                 IID_IMMDeviceEnumerator, after.PutVoid()),
                CO_E_NOTINITIALIZED);
    }
  });
}

// CoCreateInstance tells an unknown class from a known one without the
// interface asked for, and hands out nothing for either.
TEST(ComApartmentThreads, CreationRefusesAnUnknownClassOrInterface) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  OnFreshThread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
      const CLSID other = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
      contract::ComRef<IUnknown> object;
      EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()),
                REGDB_E_CLASSNOTREG);
      EXPECT_EQ(object.Get(), nullptr);
      EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDevice,
                                 object.PutVoid()),
                E_NOINTERFACE);
      EXPECT_EQ(object.Get(), nullptr);
    }
    CoUninitialize();
  });
}

TEST(TaskMemory, AllocationsAreUsableAndFreeable) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  void* empty = CoTaskMemAlloc(0);
  EXPECT_NE(empty, nullptr) << "a zero-length item is still a valid pointer";
  CoTaskMemFree(empty);
  auto* block = static_cast<unsigned char*>(CoTaskMemAlloc(4096));
  ASSERT_NE(block, nullptr);
  std::memset(block, 0xA5, 4096);
  EXPECT_EQ(block[4095], 0xA5);
  CoTaskMemFree(block);
  CoTaskMemFree(nullptr);  // allowed, does nothing
}

// PropVariantClear frees what the value owns (the recorder reads endpoint
// names as task-memory strings) and leaves it empty; clearing an empty or a
// plain number value is harmless.
TEST(PropertyValue, ClearFreesOwnedStringsAndEmpties) {
  SKIP_IF_KNOWN_WINE_DIFFERENCE();
  PROPVARIANT text;
  PropVariantInit(&text);
  EXPECT_EQ(text.vt, VT_EMPTY);
  const wchar_t name[] = L"Speakers";
  text.pwszVal = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(name)));
  ASSERT_NE(text.pwszVal, nullptr);
  std::memcpy(text.pwszVal, name, sizeof(name));
  text.vt = VT_LPWSTR;
  EXPECT_EQ(PropVariantClear(&text), S_OK);
  EXPECT_EQ(text.vt, VT_EMPTY);
  EXPECT_EQ(text.pwszVal, nullptr);

  PROPVARIANT number;
  PropVariantInit(&number);
  number.vt = VT_UI4;
  number.ulVal = 48000;
  EXPECT_EQ(PropVariantClear(&number), S_OK);
  EXPECT_EQ(number.vt, VT_EMPTY);
  EXPECT_EQ(PropVariantClear(&number), S_OK);
  EXPECT_EQ(number.vt, VT_EMPTY);
}

}  // namespace
