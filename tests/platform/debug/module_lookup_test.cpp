#include "platform/debug/module_lookup.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace kubik {
namespace {

constexpr const char* kProbePath = KUBIK_LOOKUP_PROBE_PATH;
constexpr const char* kProbeFile = "libkubik_lookup_probe.so";

bool ProbeLoaded() {
  void* handle = dlopen(kProbePath, RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

using ProbeFunction = int (*)();

TEST(ModuleLookup, FindNeverLoads) {
  ASSERT_FALSE(ProbeLoaded());
  EXPECT_EQ(FindLoadedModule(kProbeFile), nullptr);
  EXPECT_EQ(FindLoadedModule(kProbePath), nullptr);
  EXPECT_EQ(SystemModuleLoader().FindLoadedModule(kProbeFile), nullptr);
  EXPECT_FALSE(ProbeLoaded());
  EXPECT_EQ(FindLoadedModule(nullptr), nullptr);
}

TEST(ModuleLookup, FindsModuleLoadedByPathAndGivesItsReferenceBack) {
  void* own = dlopen(kProbePath, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(own, nullptr) << dlerror();

  // The module has no soname, so the bare file name only matches through the loaded objects' paths.
  EXPECT_EQ(FindLoadedModule(kProbeFile), own);
  EXPECT_EQ(FindLoadedModule(kProbePath), own);
  EXPECT_EQ(SystemModuleLoader().FindLoadedModule(kProbeFile), own);

  auto probe = reinterpret_cast<ProbeFunction>(FindModuleExport(own, "KubikLookupProbeValue"));
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe(), 42);
  EXPECT_EQ(FindModuleExport(own, "NoSuchExport"), nullptr);

  // Finding took no lasting reference: dropping ours unloads the module.
  dlclose(own);
  EXPECT_FALSE(ProbeLoaded());
}

TEST(ModuleLookup, LoadPrefersTheLoadedCopyAndKeepsAReference) {
  void* own = dlopen(kProbePath, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(own, nullptr) << dlerror();

  ModuleHandle loaded = LoadModule(kProbeFile);
  EXPECT_EQ(loaded, own);
  dlclose(own);
  EXPECT_TRUE(ProbeLoaded()) << "LoadModule must hold its own reference";

  ASSERT_NE(loaded, nullptr);
  dlclose(loaded);
  EXPECT_FALSE(ProbeLoaded());
}

TEST(ModuleLookup, LoadByPathLoadsAndMissingModulesFail) {
  ASSERT_FALSE(ProbeLoaded());
  ModuleHandle loaded = SystemModuleLoader().LoadModule(kProbePath);
  ASSERT_NE(loaded, nullptr);
  EXPECT_TRUE(ProbeLoaded());
  EXPECT_NE(SystemModuleLoader().FindModuleExport(loaded, "KubikLookupProbeValue"), nullptr);
  dlclose(loaded);

  EXPECT_EQ(LoadModule("libkubik-no-such-module.so"), nullptr);
  EXPECT_EQ(LoadModule(nullptr), nullptr);
  EXPECT_EQ(FindModuleExport(nullptr, "KubikLookupProbeValue"), nullptr);
}

TEST(ModuleLookup, FindsSystemLibraryBySoname) {
  ModuleHandle libc = FindLoadedModule("libc.so.6");
  ASSERT_NE(libc, nullptr);
  EXPECT_NE(FindModuleExport(libc, "strlen"), nullptr);
}

}  // namespace
}  // namespace kubik
