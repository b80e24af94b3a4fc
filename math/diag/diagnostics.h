// Library diagnostics: the allocator conformance check and the graphics debug mute.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/debug/module_lookup.h"
#include "platform/settings/settings_store.h"

namespace kubik {

// The four warning lines of the allocator check, in the order they are written.
inline constexpr const char* kAllocatorWarningLines[4] = {
    "KM: (WARN) Overloaded ::new and ::delete operators do not conform to C++ standards:\n",
    "KM: (WARN) An allocation of zero bytes should return a unique non-null pointer to at\n",
    "KM: (WARN) least zero bytes. Deletion of a null pointer should quietly do nothing.\n",
    "KM: (WARN) The Kubik math library relies upon this behavior.\n",
};

// Set to 1 by the first check of the process.
extern std::atomic<uint32_t> AllocatorChecked;

// Runs the check once per flag: two zero-byte allocations must give distinct non-null pointers,
// otherwise the warning lines go to the debug output.
void CheckAllocatorConformance(std::atomic<uint32_t>& checked);
// The same with the process flag.
void CheckAllocatorConformance();

// "SetDebugMute" of a graphics device module.
using SetDebugMuteFunction = void (*)(int32_t mute);

struct DebugMuteState {
  // -1: setting not read yet; 0: muting allowed; 1: muting forbidden.
  std::atomic<int32_t> DoNotMuteSetting{-1};
  // "SetDebugMute" of libkgfx.so and of libkgfx-debug.so.
  std::atomic<SetDebugMuteFunction> GfxSetDebugMute{nullptr};
  std::atomic<SetDebugMuteFunction> GfxDebugBuildSetDebugMute{nullptr};
};

// The state behind KMMuteDebugOutput.
extern DebugMuteState ProcessDebugMuteState;

// Forwards mute to "SetDebugMute" of the graphics modules already loaded, unless the setting
// "MathDoNotMute" forbids it. Never loads a module that is not loaded yet.
void MuteDebugOutput(DebugMuteState& state, int32_t mute, ModuleLoader& loader,
                     const SettingsStore& settings);
// The same with the process state, the dynamic loader and the environment.
void MuteDebugOutput(int32_t mute);

}  // namespace kubik
