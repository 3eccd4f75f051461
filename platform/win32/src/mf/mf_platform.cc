#include <atomic>

#include "mfapi.h"
#include "winsim.h"

namespace {

// Balanced start-ups still owed a shut-down.
std::atomic<int> g_startups{0};

}  // namespace

HRESULT MFStartup(ULONG Version, DWORD /*dwFlags*/) {
  if (HRESULT hr = winsim::InjectedFailure("MFStartup"); FAILED(hr)) return hr;
  if (Version != static_cast<ULONG>(MF_VERSION)) return MF_E_BAD_STARTUP_VERSION;
  ++g_startups;
  winsim::AddLive(winsim::Kind::kOther, "MFStartup");
  return S_OK;
}

// A shut-down without a start-up is recorded (a negative count in the
// accounting) so the unbalanced call shows in the test that made it.
HRESULT MFShutdown() {
  if (HRESULT hr = winsim::InjectedFailure("MFShutdown"); FAILED(hr)) return hr;
  --g_startups;
  winsim::RemoveLive(winsim::Kind::kOther, "MFStartup");
  return S_OK;
}

namespace winsim {

bool MediaFoundationStarted() { return g_startups.load() > 0; }

}  // namespace winsim
