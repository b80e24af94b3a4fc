#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kubik/kmath.h"
#include "math/diag/diagnostics.h"
#include "tests/math/diag/debug_capture.h"

namespace kubik {
namespace {

TEST(AllocatorCheck, StandardOperatorsWriteNothingAndRunOnce) {
  testing::DebugCapture capture;
  std::atomic<uint32_t> checked{0};
  CheckAllocatorConformance(checked);
  EXPECT_EQ(checked.load(), 1u);
  CheckAllocatorConformance(checked);
  CheckAllocatorConformance();
  CheckAllocatorConformance();
  EXPECT_EQ(AllocatorChecked.load(), 1u);
  EXPECT_TRUE(capture.lines().empty());
}

// What the fake loader and the fake exports saw, in order.
std::vector<std::string> g_events;

template <int kModule>
void RecordingSetDebugMute(int32_t mute) {
  g_events.push_back((kModule == 0 ? "mute libkgfx.so " : "mute libkgfx-debug.so ") +
                     std::to_string(mute));
}

class FakeLoader : public ModuleLoader {
 public:
  struct Module {
    bool loaded = false;
    bool load_fails = false;
    bool has_export = true;
  };
  std::map<std::string, Module> modules;

  ModuleHandle FindLoadedModule(const char* name) override {
    g_events.push_back(std::string("find ") + name);
    auto it = modules.find(name);
    return it != modules.end() && it->second.loaded ? Handle(name) : nullptr;
  }
  ModuleHandle LoadModule(const char* name) override {
    g_events.push_back(std::string("load ") + name);
    auto it = modules.find(name);
    if (it == modules.end() || !it->second.loaded) {
      ADD_FAILURE() << "loaded a module that was not loaded: " << name;
      return nullptr;
    }
    return it->second.load_fails ? nullptr : Handle(name);
  }
  void* FindModuleExport(ModuleHandle module, const char* name) override {
    EXPECT_STREQ(name, "SetDebugMute");
    for (auto& [module_name, state] : modules) {
      if (Handle(module_name.c_str()) != module) continue;
      g_events.push_back("export " + module_name);
      if (!state.has_export) return nullptr;
      return module_name == "libkgfx.so" ? reinterpret_cast<void*>(&RecordingSetDebugMute<0>)
                                         : reinterpret_cast<void*>(&RecordingSetDebugMute<1>);
    }
    ADD_FAILURE() << "unknown module handle";
    return nullptr;
  }

 private:
  // Stable distinct handles, one per module name.
  ModuleHandle Handle(const char* name) { return &handles_[name]; }
  std::map<std::string, int> handles_;
};

class MuteTest : public ::testing::Test {
 protected:
  void SetUp() override { g_events.clear(); }
  void Mute(int32_t flag) { MuteDebugOutput(state, flag, loader, settings); }
  std::vector<std::string> TakeEvents() { return std::exchange(g_events, {}); }

  DebugMuteState state;
  FakeLoader loader;
  MapSettingsStore settings;
};

using Events = std::vector<std::string>;

TEST_F(MuteTest, CallsBothLoadedModulesInOrderWithTheFlag) {
  loader.modules["libkgfx.so"].loaded = true;
  loader.modules["libkgfx-debug.so"].loaded = true;
  Mute(1);
  EXPECT_EQ(TakeEvents(),
            (Events{"find libkgfx.so", "load libkgfx.so", "export libkgfx.so",
                    "find libkgfx-debug.so", "load libkgfx-debug.so", "export libkgfx-debug.so",
                    "mute libkgfx.so 1", "mute libkgfx-debug.so 1"}));
  EXPECT_EQ(state.DoNotMuteSetting.load(), 0);

  // Found once: no more lookups; the flag passes through unchanged.
  Mute(0);
  Mute(-7);
  EXPECT_EQ(TakeEvents(), (Events{"mute libkgfx.so 0", "mute libkgfx-debug.so 0",
                                  "mute libkgfx.so -7", "mute libkgfx-debug.so -7"}));
}

TEST_F(MuteTest, ModulesThatAreNotLoadedAreNeverLoadedAndLookupRepeats) {
  Mute(1);
  Mute(1);
  EXPECT_EQ(TakeEvents(), (Events{"find libkgfx.so", "find libkgfx-debug.so", "find libkgfx.so",
                                  "find libkgfx-debug.so"}));

  // The debug build appears later: found on the next call, then lookups stop for good,
  // even when the other module shows up afterwards.
  loader.modules["libkgfx-debug.so"].loaded = true;
  Mute(1);
  EXPECT_EQ(TakeEvents(),
            (Events{"find libkgfx.so", "find libkgfx-debug.so", "load libkgfx-debug.so",
                    "export libkgfx-debug.so", "mute libkgfx-debug.so 1"}));
  loader.modules["libkgfx.so"].loaded = true;
  Mute(0);
  EXPECT_EQ(TakeEvents(), (Events{"mute libkgfx-debug.so 0"}));
}

TEST_F(MuteTest, FailedLoadOrMissingExportLeavesThatModuleOut) {
  loader.modules["libkgfx.so"] = {.loaded = true, .load_fails = true};
  loader.modules["libkgfx-debug.so"] = {.loaded = true, .has_export = false};
  Mute(1);
  EXPECT_EQ(TakeEvents(), (Events{"find libkgfx.so", "load libkgfx.so", "find libkgfx-debug.so",
                                  "load libkgfx-debug.so", "export libkgfx-debug.so"}));
  EXPECT_EQ(state.GfxSetDebugMute.load(), nullptr);
  EXPECT_EQ(state.GfxDebugBuildSetDebugMute.load(), nullptr);
}

TEST_F(MuteTest, NonzeroDoNotMuteForbidsMutingForGood) {
  for (const char* value : {"1", "2", "0xffffffff", "4294967295"}) {
    SCOPED_TRACE(value);
    DebugMuteState fresh;
    loader.modules["libkgfx.so"].loaded = true;
    loader.modules["libkgfx-debug.so"].loaded = true;
    settings.Set("MathDoNotMute", value);
    MuteDebugOutput(fresh, 1, loader, settings);
    EXPECT_EQ(fresh.DoNotMuteSetting.load(), 1);
    // The setting is read once: clearing it later changes nothing.
    settings.Set("MathDoNotMute", "0");
    MuteDebugOutput(fresh, 1, loader, settings);
    MuteDebugOutput(fresh, 0, loader, settings);
    for (const std::string& event : TakeEvents()) {
      EXPECT_EQ(event.rfind("mute ", 0), std::string::npos) << event;
    }
  }
}

TEST_F(MuteTest, ZeroAbsentOrNonNumberAllowsMuting) {
  const std::pair<const char*, const char*> cases[] = {
      {"zero", "0"}, {"absent", nullptr}, {"text", "yes"}, {"too big", "4294967296"}};
  for (const auto& [label, value] : cases) {
    SCOPED_TRACE(label);
    DebugMuteState fresh;
    loader.modules["libkgfx.so"].loaded = true;
    if (value != nullptr) {
      settings.Set("MathDoNotMute", value);
    } else {
      settings.Remove("MathDoNotMute");
    }
    MuteDebugOutput(fresh, 1, loader, settings);
    EXPECT_EQ(fresh.DoNotMuteSetting.load(), 0);
    // Read once: a later nonzero value does not stop muting.
    settings.Set("MathDoNotMute", "1");
    MuteDebugOutput(fresh, 0, loader, settings);
    Events events = TakeEvents();
    Events mutes;
    for (const std::string& event : events) {
      if (event.rfind("mute ", 0) == 0) mutes.push_back(event);
    }
    EXPECT_EQ(mutes, (Events{"mute libkgfx.so 1", "mute libkgfx.so 0"}));
  }
}

// True when any object of the process has a file name starting with "libkgfx".
bool AnyGraphicsModuleLoaded() {
  bool found = false;
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) -> int {
        const char* path = info->dlpi_name != nullptr ? info->dlpi_name : "";
        const char* slash = std::strrchr(path, '/');
        if (std::strncmp(slash != nullptr ? slash + 1 : path, "libkgfx", 7) == 0) {
          *static_cast<bool*>(data) = true;
        }
        return 0;
      },
      &found);
  return found;
}

TEST(KMMuteDebugOutput, LoadsNothingWhenNoGraphicsModuleIsLoaded) {
  ASSERT_FALSE(AnyGraphicsModuleLoaded());
  KMMuteDebugOutput(1);
  KMMuteDebugOutput(0);
  EXPECT_FALSE(AnyGraphicsModuleLoaded());
  for (const char* name : {"libkgfx.so", "libkgfx-debug.so"}) {
    void* handle = dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
    EXPECT_EQ(handle, nullptr) << name;
    if (handle != nullptr) dlclose(handle);
  }
  EXPECT_EQ(ProcessDebugMuteState.GfxSetDebugMute.load(), nullptr);
  EXPECT_EQ(ProcessDebugMuteState.GfxDebugBuildSetDebugMute.load(), nullptr);
}

}  // namespace
}  // namespace kubik
