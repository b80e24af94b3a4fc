#include "kubik/kmath.h"
#include "math/diag/diagnostics.h"

namespace kubik {

DebugMuteState ProcessDebugMuteState;

namespace {

// "SetDebugMute" of the named module if the module is already loaded, else null.
SetDebugMuteFunction FindLoadedSetDebugMute(ModuleLoader& loader, const char* module_name) {
  if (loader.FindLoadedModule(module_name) == nullptr) return nullptr;
  // The reference is kept for the life of the process, so the function pointer stays valid.
  ModuleHandle module = loader.LoadModule(module_name);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<SetDebugMuteFunction>(loader.FindModuleExport(module, "SetDebugMute"));
}

}  // namespace

void MuteDebugOutput(DebugMuteState& state, int32_t mute, ModuleLoader& loader,
                     const SettingsStore& settings) {
  if (state.GfxSetDebugMute.load(std::memory_order_acquire) == nullptr &&
      state.GfxDebugBuildSetDebugMute.load(std::memory_order_acquire) == nullptr) {
    if (SetDebugMuteFunction f = FindLoadedSetDebugMute(loader, "libkgfx.so")) {
      state.GfxSetDebugMute.store(f, std::memory_order_release);
    }
    if (SetDebugMuteFunction f = FindLoadedSetDebugMute(loader, "libkgfx-debug.so")) {
      state.GfxDebugBuildSetDebugMute.store(f, std::memory_order_release);
    }
  }

  const int32_t setting = state.DoNotMuteSetting.load(std::memory_order_acquire);
  if (setting == -1) {
    int32_t value = 0;
    if (ReadSettingDword(settings, SETTING_NUMBER, "MathDoNotMute", &value, sizeof value) == 0) {
      value = 0;
    }
    // Any nonzero number forbids, including one that reads as -1.
    value = value != 0 ? 1 : 0;
    state.DoNotMuteSetting.store(value, std::memory_order_release);
    if (value != 0) return;
  } else if (setting != 0) {
    return;
  }

  if (SetDebugMuteFunction f = state.GfxSetDebugMute.load(std::memory_order_acquire)) f(mute);
  if (SetDebugMuteFunction f = state.GfxDebugBuildSetDebugMute.load(std::memory_order_acquire)) {
    f(mute);
  }
}

void MuteDebugOutput(int32_t mute) {
  MuteDebugOutput(ProcessDebugMuteState, mute, SystemModuleLoader(), EnvironmentSettings());
}

}  // namespace kubik

extern "C" void KMMuteDebugOutput(int32_t mute) {
  kubik::MuteDebugOutput(mute);
}
