// The two modules as the math library meets them: loaded side by side, each
// exporting the C entries, the validating one reporting misuse on the debug
// output until muted, the release one silent.
#include <dlfcn.h>

#include <string>

#include "platform/debug/debug_output.h"
#include "tests/platform/gfx/gfx_test_support.h"

namespace kubik::gfx_test {
namespace {

using MuteFn = void (*)(std::int32_t);

struct Module {
  void* handle = nullptr;
  CreateFn create = nullptr;
  MuteFn mute = nullptr;
};

Module Open(const char* path) {
  Module m;
  m.handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (m.handle == nullptr) return m;
  m.create = reinterpret_cast<CreateFn>(dlsym(m.handle, "CreateGraphicsSystem"));
  m.mute = reinterpret_cast<MuteFn>(dlsym(m.handle, "SetDebugMute"));
  return m;
}

class GfxModules : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    release_ = Open(KGFX_RELEASE_MODULE);
    debug_ = Open(KGFX_DEBUG_MODULE);
  }
  void SetUp() override {
    ASSERT_NE(release_.create, nullptr) << dlerror();
    ASSERT_NE(release_.mute, nullptr);
    ASSERT_NE(debug_.create, nullptr) << dlerror();
    ASSERT_NE(debug_.mute, nullptr);
    previous_ = SetDebugOutputReceiver(&GfxModules::Receive, &lines_);
  }
  void TearDown() override {
    release_.mute(0);
    debug_.mute(0);
    SetDebugOutputReceiver(previous_.receiver, previous_.context);
  }

  static void Receive(const char* line, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(line);
  }

  // Each misuse the validation names, in turn; returns the result codes.
  static std::vector<GfxResult> Misuse(CreateFn create) {
    std::vector<GfxResult> results;
    Rig rig(create, 8, 8);
    if (!rig.ok()) return results;
    GraphicsDevice* d = rig.device;
    results.push_back(d->DrawIndexed(PRIMITIVE_TRIANGLE_STRIP, 0, 0, 4, 0, 2));  // outside frame
    d->BeginFrame();
    results.push_back(d->BeginFrame());                                          // twice
    results.push_back(d->DrawIndexed(PRIMITIVE_TRIANGLE_STRIP, 0, 0, 4, 0, 2));  // no buffers
    d->EndFrame();
    rig.Load({-1, 1, 0.5f, 1, 1, 0.5f, -1, -1, 0.5f}, {0, 1, 2, 7});
    results.push_back(rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2));  // index 7: no such vertex
    results.push_back(rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 3));  // beyond the index buffer
    void* p = nullptr;
    results.push_back(rig.vertices->Lock(0, 0, &p, 0));
    results.push_back(rig.vertices->Lock(0, 0, &p, 0));  // locked twice
    results.push_back(rig.vertices->Unlock());
    results.push_back(rig.vertices->Unlock());            // not locked
    results.push_back(rig.vertices->Lock(30, 8, &p, 0));  // past the 36 bytes
    return results;
  }

  std::size_t ErrorLines() const {
    std::size_t n = 0;
    for (const std::string& line : lines_) {
      EXPECT_EQ(line.rfind("kgfx: (", 0), 0u) << line;
      EXPECT_FALSE(line.empty());
      if (!line.empty()) {
        EXPECT_EQ(line.back(), '\n') << line;
      }
      n += line.find("(ERROR)") != std::string::npos;
    }
    return n;
  }

  static Module release_;
  static Module debug_;
  std::vector<std::string> lines_;
  DebugOutputBinding previous_{};
};

Module GfxModules::release_;
Module GfxModules::debug_;

const std::vector<GfxResult> kExpected = {GFX_ERROR_INVALID_CALL, GFX_ERROR_INVALID_CALL,
                                          GFX_ERROR_INVALID_CALL, GFX_ERROR_INVALID_CALL,
                                          GFX_ERROR_INVALID_CALL, GFX_OK,
                                          GFX_ERROR_INVALID_CALL, GFX_OK,
                                          GFX_ERROR_INVALID_CALL, GFX_ERROR_INVALID_CALL};

TEST_F(GfxModules, DebugBuildReportsEachMisuseOnce) {
  EXPECT_EQ(Misuse(debug_.create), kExpected);
  EXPECT_EQ(ErrorLines(), 8u);
  EXPECT_EQ(lines_.size(), 8u);
}

TEST_F(GfxModules, ReleaseBuildRefusesAlikeButSaysNothing) {
  EXPECT_EQ(Misuse(release_.create), kExpected);
  EXPECT_TRUE(lines_.empty());
  EXPECT_EQ(release_.create(0), nullptr);
  EXPECT_TRUE(lines_.empty());
}

TEST_F(GfxModules, MuteSilencesAndZeroRestores) {
  debug_.mute(1);
  EXPECT_EQ(Misuse(debug_.create), kExpected);
  EXPECT_TRUE(lines_.empty());
  debug_.mute(0);
  Misuse(debug_.create);
  EXPECT_EQ(ErrorLines(), 8u);
}

TEST_F(GfxModules, EachModuleKeepsItsOwnState) {
  // Muting the release module must not reach into the debug module: each
  // binds its internals to itself, not to whichever module loaded first.
  release_.mute(1);
  EXPECT_EQ(debug_.create(0), nullptr);
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_NE(lines_[0].find("CreateGraphicsSystem"), std::string::npos);
  EXPECT_NE(release_.create, debug_.create);
}

TEST_F(GfxModules, ReleaseBuildDrawsTheSamePictureAsTheDebugBuild) {
  std::vector<FakeWindow::Frame> frames;
  for (CreateFn create : {release_.create, debug_.create}) {
    Rig rig(create, 16, 16);
    ASSERT_TRUE(rig.ok());
    rig.Load({-1, 1, 0.5f, 1, 1, 0.5f, -1, -1, 0.2f, 1, -1, 0.9f}, {0, 1, 2, 3});
    rig.device->SetRenderState(RS_FILLMODE, FILL_WIREFRAME);
    rig.ClearAll();
    EXPECT_EQ(rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2), GFX_OK);
    frames.push_back(rig.Show());
  }
  EXPECT_GT(CountPixels(frames[0], kWhite), 30);
  EXPECT_EQ(frames[0].pixels, frames[1].pixels);
  EXPECT_TRUE(lines_.empty());
}

}  // namespace
}  // namespace kubik::gfx_test
