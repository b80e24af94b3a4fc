// Its own program: the process-wide mute state binds to the graphics modules once.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include "kubik/kmath.h"
#include "math/diag/diagnostics.h"
#include "platform/gfx/gfx.h"
#include "tests/math/diag/debug_capture.h"

namespace kubik {
namespace {

using CreateGraphicsSystemFunction = GraphicsSystem* (*)(std::uint32_t);

struct LoadedModule {
  void* handle;
  GraphicsSystem* system;
};

LoadedModule Open(const char* path) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(handle, nullptr) << dlerror();
  if (handle == nullptr) return {nullptr, nullptr};
  auto create =
      reinterpret_cast<CreateGraphicsSystemFunction>(dlsym(handle, "CreateGraphicsSystem"));
  EXPECT_NE(create, nullptr);
  return {handle, create != nullptr ? create(GRAPHICS_INTERFACE_VERSION) : nullptr};
}

// Makes one invalid call, which the validating module reports.
std::size_t LinesFromInvalidCall(GraphicsSystem* system) {
  testing::DebugCapture capture;
  EXPECT_EQ(system->GetCapabilities(ADAPTER_DEFAULT, DEVICE_TYPE_HARDWARE, nullptr),
            GFX_ERROR_INVALID_CALL);
  return capture.lines().size();
}

TEST(KMMuteDebugOutput, ReachesBothLoadedGraphicsModules) {
#ifdef KUBIK_TEST_DO_NOT_MUTE
  setenv("KUBIK_MATH_DO_NOT_MUTE", "1", 1);
#else
  unsetenv("KUBIK_MATH_DO_NOT_MUTE");
#endif
  const LoadedModule release = Open(KUBIK_GFX_PATH);
  const LoadedModule debug = Open(KUBIK_GFX_DEBUG_PATH);
  ASSERT_NE(release.system, nullptr);
  ASSERT_NE(debug.system, nullptr);

  EXPECT_EQ(LinesFromInvalidCall(release.system), 0u);
  ASSERT_EQ(LinesFromInvalidCall(debug.system), 1u);

  KMMuteDebugOutput(1);
  EXPECT_EQ(ProcessDebugMuteState.GfxSetDebugMute.load(),
            reinterpret_cast<SetDebugMuteFunction>(dlsym(release.handle, "SetDebugMute")));
  EXPECT_EQ(ProcessDebugMuteState.GfxDebugBuildSetDebugMute.load(),
            reinterpret_cast<SetDebugMuteFunction>(dlsym(debug.handle, "SetDebugMute")));
#ifdef KUBIK_TEST_DO_NOT_MUTE
  EXPECT_EQ(ProcessDebugMuteState.DoNotMuteSetting.load(), 1);
  EXPECT_EQ(LinesFromInvalidCall(debug.system), 1u);
#else
  EXPECT_EQ(ProcessDebugMuteState.DoNotMuteSetting.load(), 0);
  EXPECT_EQ(LinesFromInvalidCall(debug.system), 0u);
  KMMuteDebugOutput(0);
  EXPECT_EQ(LinesFromInvalidCall(debug.system), 1u);
#endif

  release.system->Release();
  debug.system->Release();
}

}  // namespace
}  // namespace kubik
