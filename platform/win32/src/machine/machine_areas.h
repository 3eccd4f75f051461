// How the areas of the simulated machine plug into the whole-machine
// operations: each area restores its own defaults (ResetMachine) and reads
// its own top-level keys of the machine file (LoadMachineJson).
//
// To add an area: declare its two functions here, add its reset to
// kAreaResets in machine_reset.cc and its keys to kAreaKeys in
// machine_file.cc, each at the place marked for it.
#pragma once

#include <nlohmann/json.hpp>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "win32sim/base.h"

namespace winsim {

// Applies one top-level value of the machine file. Returns false and fills
// `error` (without the key, which the loader adds) on an invalid value.
using ApplyMachineKey = bool (*)(const nlohmann::json& value, std::string* error);

// Screen, cursor and clock.
void ResetScreenArea();
void ResetCursorArea();
void ResetClockArea();
void ResetFileArea();
void ResetTimerArea();
bool ApplyScreenKey(const nlohmann::json& value, std::string* error);
bool ApplyDisplaysKey(const nlohmann::json& value, std::string* error);
bool ApplyCursorKey(const nlohmann::json& value, std::string* error);
bool ApplyClockKey(const nlohmann::json& value, std::string* error);
bool ApplyTimerKey(const nlohmann::json& value, std::string* error);
bool ApplyFailKey(const nlohmann::json& value, std::string* error);
void ResetDesktopArea();
bool ApplyDesktopKey(const nlohmann::json& value, std::string* error);

// ---- The timeline: "timeline" ----
// Changes to the machine at chosen times while it runs (machine_timeline.cc).
void ResetTimelineArea();
bool ApplyTimelineKey(const nlohmann::json& value, std::string* error);
// The keys a timeline patch may change.
bool IsPatchKey(const std::string& key);
// Applies a patch of machine-file keys now, and does what Windows does after
// such a change (WM_DISPLAYCHANGE after a display change).
bool ApplyMachinePatch(const nlohmann::json& patch, std::string* error);
// Sends WM_DISPLAYCHANGE to every top-level window, without waiting.
void AnnounceDisplayChange();

// ---- Audio area: "render", "capture", "microphone" ----
void ResetAudioArea();
bool ApplyRenderKey(const nlohmann::json& value, std::string* error);
bool ApplyCaptureKey(const nlohmann::json& value, std::string* error);
bool ApplyMicrophoneKey(const nlohmann::json& value, std::string* error);

// ---- Host area: "dpi", "registry", "debugger", "parent_console" ----
void ResetHostArea();
bool ApplyDpiKey(const nlohmann::json& value, std::string* error);
bool ApplyRegistryKey(const nlohmann::json& value, std::string* error);
bool ApplyDebuggerKey(const nlohmann::json& value, std::string* error);
bool ApplyParentConsoleKey(const nlohmann::json& value, std::string* error);

// ---- Sink writer area: "disk" ----
bool ApplyDiskKey(const nlohmann::json& value, std::string* error);
bool ApplyEncoderKey(const nlohmann::json& value, std::string* error);
bool ApplyFileHoldsKey(const nlohmann::json& value, std::string* error);

// ---- Graphics area: "gpu" (dxgi/dxgi_gpu.cc) ----
void ResetGpuArea();
bool ApplyGpuKey(const nlohmann::json& value, std::string* error);
// "costs" (machine/machine_costs.cc): what the GPU's and the encoders' work
// takes in machine time.
void ResetCostsArea();
bool ApplyCostsKey(const nlohmann::json& value, std::string* error);

// ---- Windowing area ----
void ResetWindowingArea();

// Helpers for area loaders: read an optional member of `object` into `out`,
// false with `error` set when it is present with the wrong type or range.
bool ReadInt(const nlohmann::json& object, const char* key, int* out, std::string* error);
bool ReadInt64(const nlohmann::json& object, const char* key, std::int64_t* out,
               std::string* error);
bool ReadBool(const nlohmann::json& object, const char* key, bool* out, std::string* error);
bool ReadNumber(const nlohmann::json& object, const char* key, double* out, std::string* error);
bool ReadString(const nlohmann::json& object, const char* key, std::string* out,
                std::string* error);
// An RGB colour: "#RRGGBB", "0xRRGGBB" or a number.
bool ReadColor(const nlohmann::json& object, const char* key, std::uint32_t* out,
               std::string* error);
// False with `error` naming the first member of `object` not in `known`.
bool OnlyKnownKeys(const nlohmann::json& object, std::initializer_list<const char*> known,
                   std::string* error);
// An HRESULT written as "0x8007000E", as a decimal string or a number.
bool ParseHresult(const nlohmann::json& value, HRESULT* out);

}  // namespace winsim
