#include <atomic>
#include <cstdlib>

#include "win32sim/com.h"

namespace {

// The apartment this thread entered and how many times; CoUninitialize
// balances each successful CoInitializeEx.
struct Apartment {
  int depth = 0;
  DWORD model = 0;
};
thread_local Apartment t_apartment;
// Threads inside the multithreaded apartment. While there is one, every
// thread of the process that entered no apartment is implicitly in the MTA.
std::atomic<int> g_mta_threads{0};

}  // namespace

HRESULT CoInitializeEx(LPVOID /*reserved*/, DWORD coinit) {
  if (HRESULT hr = winsim::InjectedFailure("CoInitializeEx"); FAILED(hr)) return hr;
  const DWORD model = coinit & COINIT_APARTMENTTHREADED;
  if (t_apartment.depth > 0) {
    if (t_apartment.model != model) return RPC_E_CHANGED_MODE;
    ++t_apartment.depth;
    winsim::AddLive(winsim::Kind::kApartment, model ? "sta" : "mta");
    return S_FALSE;
  }
  t_apartment.depth = 1;
  t_apartment.model = model;
  if (model == COINIT_MULTITHREADED) ++g_mta_threads;
  winsim::AddLive(winsim::Kind::kApartment, model ? "sta" : "mta");
  return S_OK;
}

void CoUninitialize() {
  if (t_apartment.depth == 0) {
    // Unbalanced: record it so the accounting shows a negative apartment count.
    winsim::RemoveLive(winsim::Kind::kApartment, "unbalanced");
    return;
  }
  --t_apartment.depth;
  winsim::RemoveLive(winsim::Kind::kApartment, t_apartment.model ? "sta" : "mta");
  if (t_apartment.depth == 0 && t_apartment.model == COINIT_MULTITHREADED) --g_mta_threads;
}

HRESULT winsim::ComApartmentCheck() {
  return t_apartment.depth > 0 || g_mta_threads.load() > 0 ? S_OK : CO_E_NOTINITIALIZED;
}

LPVOID CoTaskMemAlloc(SIZE_T size) {
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory != nullptr) winsim::AddLive(winsim::Kind::kTaskMemory, "CoTaskMem");
  return memory;
}

void CoTaskMemFree(LPVOID memory) {
  if (memory == nullptr) return;
  winsim::RemoveLive(winsim::Kind::kTaskMemory, "CoTaskMem");
  std::free(memory);
}
