// The JSON machine file: a top-level object whose keys select areas of the
// machine. Every key is optional. An unknown key, at the top level or inside
// an area, is an error, so a misspelt setting never runs silently on the
// default machine.
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <utility>

#include "machine/machine_areas.h"
#include "winsim.h"

namespace winsim {
namespace {

struct AreaKey {
  const char* key;
  ApplyMachineKey apply;
};

constexpr AreaKey kAreaKeys[] = {
    {"screen", ApplyScreenKey},
    {"displays", ApplyDisplaysKey},
    {"cursor", ApplyCursorKey},
    {"clock", ApplyClockKey},
    {"timer", ApplyTimerKey},
    {"fail", ApplyFailKey},
    {"desktop", ApplyDesktopKey},
    {"timeline", ApplyTimelineKey},
    // Audio area keys here.
    {"render", ApplyRenderKey},
    {"capture", ApplyCaptureKey},
    {"microphone", ApplyMicrophoneKey},

    // Host area keys here.
    {"dpi", ApplyDpiKey},
    {"registry", ApplyRegistryKey},
    {"debugger", ApplyDebuggerKey},
    {"parent_console", ApplyParentConsoleKey},

    // Sink writer area keys here.
    {"disk", ApplyDiskKey},
    {"encoder", ApplyEncoderKey},
    {"file_holds", ApplyFileHoldsKey},

    // Graphics area keys here.
    {"gpu", ApplyGpuKey},
    {"costs", ApplyCostsKey},

    // Windowing area keys here.
};

bool IsHexDigits(const std::string& text) {
  if (text.empty() || text.size() > 8) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

bool ParseHresult(const nlohmann::json& value, HRESULT* out) {
  if (value.is_number_integer()) {
    const auto number = value.get<std::int64_t>();
    if (number < INT32_MIN || number > UINT32_MAX) return false;
    *out = static_cast<HRESULT>(static_cast<std::uint32_t>(number));
    return true;
  }
  if (!value.is_string()) return false;
  const std::string text = value.get<std::string>();
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    if (!IsHexDigits(text.substr(2))) return false;
    *out = static_cast<HRESULT>(std::stoul(text.substr(2), nullptr, 16));
    return true;
  }
  char* end = nullptr;
  const long long number = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || number < INT32_MIN || number > UINT32_MAX) return false;
  *out = static_cast<HRESULT>(static_cast<std::uint32_t>(number));
  return true;
}

namespace {

// One call number of a "fail" entry: 1 to a million, digits only.
bool ParseCallNumber(const std::string& text, int* out) {
  if (text.empty() || text.size() > 7) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  const long parsed = std::strtol(text.c_str(), nullptr, 10);
  if (parsed < 1 || parsed > 1'000'000) return false;
  *out = static_cast<int>(parsed);
  return true;
}

// The calls a "fail" entry's name covers after its '#': "N" the N-th call,
// "N+" the N-th call and every later one, "N-M" calls N to M.
bool ParseCallRange(const std::string& text, int* first, int* last) {
  if (!text.empty() && text.back() == '+') {
    *last = kNoLastCall;
    return ParseCallNumber(text.substr(0, text.size() - 1), first);
  }
  const auto dash = text.find('-');
  if (dash == std::string::npos) {
    if (!ParseCallNumber(text, first)) return false;
    *last = *first;
    return true;
  }
  return ParseCallNumber(text.substr(0, dash), first) &&
         ParseCallNumber(text.substr(dash + 1), last) && *last >= *first;
}

}  // namespace

// "fail": {"MFStartup": "0x80004005", "IMFSinkWriter::WriteSample#3": "0x8000FFFF",
// "BitBlt#10+": "0x80070005", "BitBlt#2-4": "0x80004005"}: the first call, the
// N-th call, every call from the N-th on, or calls N to M fail with that HRESULT.
bool ApplyFailKey(const nlohmann::json& value, std::string* error) {
  if (!value.is_object()) {
    *error = "must be an object of call names and HRESULTs";
    return false;
  }
  for (const auto& [name, hr_value] : value.items()) {
    std::string call = name;
    int first = 1;
    int last = 1;
    if (const auto hash = name.rfind('#'); hash != std::string::npos) {
      if (!ParseCallRange(name.substr(hash + 1), &first, &last)) {
        *error = "\"" + name +
                 "\": after '#' comes a call number N (1 or more), N+ (from the N-th call on) "
                 "or N-M (calls N to M)";
        return false;
      }
      call = name.substr(0, hash);
    }
    HRESULT hr = S_OK;
    if (call.empty() || !ParseHresult(hr_value, &hr)) {
      *error = "\"" + name + "\": expected a call name and an HRESULT such as \"0x80004005\"";
      return false;
    }
    FailCalls(call, hr, first, last);
  }
  return true;
}

namespace {

// Applies each key of `object` through its area, in the object's order.
bool ApplyAreaKeys(const nlohmann::json& object, std::string* error) {
  // Both describe the whole screen; whichever came last would silently win.
  if (object.contains("screen") && object.contains("displays")) {
    *error = "\"screen\" (one display) and \"displays\" cannot both be given";
    return false;
  }
  for (const auto& [key, value] : object.items()) {
    const AreaKey* area = nullptr;
    for (const AreaKey& candidate : kAreaKeys) {
      if (key == candidate.key) area = &candidate;
    }
    if (area == nullptr) {
      *error = "unknown key \"" + key + "\"";
      return false;
    }
    std::string detail;
    if (!area->apply(value, &detail)) {
      *error = "\"" + key + "\": " + detail;
      return false;
    }
  }
  return true;
}

}  // namespace

bool LoadMachineJson(const std::string& json_text, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  const nlohmann::json machine = nlohmann::json::parse(json_text, nullptr, false);
  if (machine.is_discarded()) {
    *error = "not valid JSON";
    return false;
  }
  if (!machine.is_object()) {
    *error = "the machine must be a JSON object";
    return false;
  }
  return ApplyAreaKeys(machine, error);
}

bool ApplyMachinePatch(const nlohmann::json& patch, std::string* error) {
  if (!patch.is_object()) {
    *error = "a patch must be an object";
    return false;
  }
  for (const auto& [key, value] : patch.items()) {
    if (!IsPatchKey(key)) {
      *error = "\"" + key + "\" cannot change while the machine runs";
      return false;
    }
  }
  if (!ApplyAreaKeys(patch, error)) return false;
  if (patch.contains("screen") || patch.contains("displays")) AnnounceDisplayChange();
  return true;
}

bool ApplyMachinePatch(const std::string& json_text, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  const nlohmann::json patch = nlohmann::json::parse(json_text, nullptr, false);
  if (patch.is_discarded()) {
    *error = "not valid JSON";
    return false;
  }
  return ApplyMachinePatch(patch, error);
}

bool LoadMachineFile(const std::string& path, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "cannot read " + path;
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return LoadMachineJson(text.str(), error);
}

// A bad machine file is reported and the default machine runs, so the
// program still starts and the diagnostic says why it behaves as it does.
void LoadMachineFromEnvironment() {
  // Loading sets areas through functions that read the machine and so call
  // back here: the loading thread passes straight through, others wait.
  static std::atomic<bool> done{false};
  static std::mutex mutex;
  thread_local bool loading = false;
  if (done.load(std::memory_order_acquire) || loading) return;
  std::lock_guard<std::mutex> lock(mutex);
  if (done.load(std::memory_order_relaxed)) return;
  loading = true;
  const char* path = std::getenv("MORL_SIM_MACHINE");
  std::string error;
  if (path != nullptr && *path != '\0' && !LoadMachineFile(path, &error)) {
    std::fprintf(stderr, "machine file %s: %s\n", path, error.c_str());
    std::fflush(stderr);
  }
  loading = false;
  done.store(true, std::memory_order_release);
}

}  // namespace winsim
