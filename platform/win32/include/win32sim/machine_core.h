// The core of the simulated machine that every part of platform/win32 uses:
// accounting of live objects and per-call failure injection. The control API
// for tests (screen, cursor, clock, audio, machine files) is in winsim.h.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "win32sim/base.h"

namespace winsim {

// What the machine counts. Every handed-out object is one of these.
enum class Kind { kCom, kGdi, kWindow, kWindowClass, kApartment, kTaskMemory, kLibrary, kOther };

const char* KindName(Kind kind);

// Registers one live object of `kind` named `name` while it exists.
class Tracked {
 public:
  Tracked(Kind kind, const char* name);
  ~Tracked();
  Tracked(const Tracked&) = delete;
  Tracked& operator=(const Tracked&) = delete;

 private:
  Kind kind_;
  const char* name_;
};

// Counting by hand, for handles that are not C++ objects.
void AddLive(Kind kind, const char* name);
void RemoveLive(Kind kind, const char* name);

// Live objects by "kind:name", e.g. "com:IMFSample" -> 2. Empty when nothing
// handed out is still alive and every apartment was left.
std::map<std::string, int> LiveObjects();
// One readable line listing a map of LiveObjects()' form, or "nothing alive".
std::string DescribeObjects(const std::map<std::string, int>& objects);
// DescribeObjects(LiveObjects()).
std::string DescribeLiveObjects();

// Failure injection. `call` is a function name ("MFStartup") or
// "Interface::Method" ("IMFSinkWriter::BeginWriting"). Each entry counts the
// calls made from when it is set (1 = the next one); several entries for one
// call all count, and the first that covers a call decides its HRESULT.
// FailCalls: calls `first` to `last` return `hr` (`last` = kNoLastCall: every
// call from `first` on, until ClearFailures()).
constexpr int kNoLastCall = -1;
void FailCalls(const std::string& call, HRESULT hr, int first, int last);
// The nth call from now on returns `hr`; the calls around it succeed.
void FailCall(const std::string& call, HRESULT hr, int nth = 1);
// Every call from now on returns `hr` until ClearFailures().
void FailAlways(const std::string& call, HRESULT hr);
void ClearFailures();
// Called by the simulation at the top of each failable API: counts the call
// and gives the HRESULT it must fail with, or S_OK.
HRESULT InjectedFailure(const char* call);
// The error code a call that reports through GetLastError gives for an
// injected `hr`: the Win32 code of a FACILITY_WIN32 HRESULT, else `hr` whole,
// so HRESULT_FROM_WIN32(GetLastError()) gives back the injected HRESULT.
DWORD LastErrorFromHresult(HRESULT hr);
// InjectedFailure for calls that report failure through GetLastError (BOOL,
// handle and pointer results): sets the last error; true if the call fails.
bool FailedByInjection(const char* call);
// How often `call` has been made since the last ResetCallCounts().
int CallCount(const std::string& call);
// Every failable call made since the last ResetCallCounts(), with how often.
std::map<std::string, int> CallCounts();
void ResetCallCounts();

}  // namespace winsim
