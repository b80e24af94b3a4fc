// Buffer locking, object lifetimes and the calls the device refuses.
#include "tests/platform/gfx/gfx_test_support.h"

namespace kubik::gfx_test {
namespace {

class GfxBuffers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rig_.ok());
    ASSERT_EQ(rig_.device->CreateVertexBuffer(64, USAGE_WRITEONLY, VERTEX_XYZ, POOL_DEFAULT, &vb_),
              GFX_OK);
  }
  void TearDown() override {
    if (vb_) vb_->Release();
  }
  Rig rig_{CreateGraphicsSystem, 8, 8};
  VertexBuffer* vb_ = nullptr;
};

TEST_F(GfxBuffers, LockMapsTheRangeAndKeepsWhatWasWritten) {
  void* whole = nullptr;
  ASSERT_EQ(vb_->Lock(0, 0, &whole, 0), GFX_OK);  // size 0: the whole buffer
  std::memset(whole, 0, 64);
  ASSERT_EQ(vb_->Unlock(), GFX_OK);
  void* part = nullptr;
  ASSERT_EQ(vb_->Lock(16, 8, &part, 0), GFX_OK);
  EXPECT_EQ(static_cast<std::uint8_t*>(part), static_cast<std::uint8_t*>(whole) + 16);
  std::memset(part, 0xAB, 8);
  ASSERT_EQ(vb_->Unlock(), GFX_OK);
  ASSERT_EQ(vb_->Lock(0, 64, &whole, 0), GFX_OK);
  const auto* bytes = static_cast<const std::uint8_t*>(whole);
  EXPECT_EQ(bytes[15], 0);
  EXPECT_EQ(bytes[16], 0xAB);
  EXPECT_EQ(bytes[23], 0xAB);
  EXPECT_EQ(bytes[24], 0);
  EXPECT_EQ(vb_->Unlock(), GFX_OK);
}

TEST_F(GfxBuffers, LockTwiceAndUnlockTwiceFail) {
  void* p = nullptr;
  ASSERT_EQ(vb_->Lock(0, 0, &p, 0), GFX_OK);
  void* q = reinterpret_cast<void*>(1);
  EXPECT_EQ(vb_->Lock(0, 0, &q, 0), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(q, nullptr);
  EXPECT_EQ(vb_->Unlock(), GFX_OK);
  EXPECT_EQ(vb_->Unlock(), GFX_ERROR_INVALID_CALL);
  ASSERT_EQ(vb_->Lock(0, 0, &p, 0), GFX_OK);  // the failed calls left it usable
  EXPECT_EQ(vb_->Unlock(), GFX_OK);
}

TEST_F(GfxBuffers, RangesOutsideTheBufferFailAndLeaveItUnlocked) {
  struct Range {
    std::uint32_t offset, size;
  };
  for (Range r : {Range{64, 0}, Range{0, 65}, Range{60, 8}, Range{8, 0xFFFFFFFCu},
                  Range{0xFFFFFFF0u, 0x20}}) {
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(vb_->Lock(r.offset, r.size, &p, 0), GFX_ERROR_INVALID_CALL)
        << r.offset << "+" << r.size;
    EXPECT_EQ(p, nullptr);
  }
  EXPECT_EQ(vb_->Lock(0, 0, nullptr, 0), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(vb_->Unlock(), GFX_ERROR_INVALID_CALL);
  void* p = nullptr;
  EXPECT_EQ(vb_->Lock(56, 8, &p, 0), GFX_OK);  // the last 8 bytes are fine
  EXPECT_EQ(vb_->Unlock(), GFX_OK);
}

TEST_F(GfxBuffers, IndexBuffersFollowTheSameRules) {
  IndexBuffer* ib = nullptr;
  ASSERT_EQ(rig_.device->CreateIndexBuffer(48, USAGE_WRITEONLY, FORMAT_INDEX16, POOL_DEFAULT, &ib),
            GFX_OK);
  void* p = nullptr;
  EXPECT_EQ(ib->Lock(0, 48, &p, 0), GFX_OK);
  EXPECT_EQ(ib->Lock(0, 48, &p, 0), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(ib->Unlock(), GFX_OK);
  EXPECT_EQ(ib->Unlock(), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(ib->Lock(40, 10, &p, 0), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(ib->Release(), 0u);
}

TEST_F(GfxBuffers, CreationRefusals) {
  VertexBuffer* vb = reinterpret_cast<VertexBuffer*>(1);
  EXPECT_EQ(rig_.device->CreateVertexBuffer(0, 0, VERTEX_XYZ, POOL_DEFAULT, &vb),
            GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(vb, nullptr);
  EXPECT_EQ(rig_.device->CreateVertexBuffer(0xFFFFFFFFu, 0, VERTEX_XYZ, POOL_DEFAULT, &vb),
            GFX_ERROR_OUT_OF_MEMORY);
  EXPECT_EQ(vb, nullptr);
  EXPECT_EQ(rig_.device->CreateVertexBuffer(12, 0, VERTEX_XYZ, POOL_DEFAULT, nullptr),
            GFX_ERROR_INVALID_CALL);
  IndexBuffer* ib = nullptr;
  EXPECT_EQ(rig_.device->CreateIndexBuffer(12, 0, FORMAT_A8R8G8B8, POOL_DEFAULT, &ib),
            GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(ib, nullptr);
}

TEST(GfxLifetime, BoundBuffersOutliveTheirCallersReferences) {
  Rig rig(CreateGraphicsSystem, 8, 8);
  ASSERT_TRUE(rig.ok());
  rig.Load({-1, 1, 0.5f, 1, 1, 0.5f, -1, -1, 0.5f, 1, -1, 0.5f}, {0, 1, 2, 3});
  // The device holds its own references: the caller's may go first.
  EXPECT_EQ(rig.vertices->Release(), 1u);
  EXPECT_EQ(rig.indices->Release(), 1u);
  rig.vertices = nullptr;
  rig.indices = nullptr;
  rig.ClearAll();
  EXPECT_EQ(rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2), GFX_OK);
  EXPECT_EQ(CountPixels(rig.Show(), kWhite), 64);
  // Unbinding drops the device's reference.
  VertexBuffer* vb = nullptr;
  ASSERT_EQ(rig.device->CreateVertexBuffer(12, 0, VERTEX_XYZ, POOL_DEFAULT, &vb), GFX_OK);
  ASSERT_EQ(rig.device->SetVertexBuffer(0, vb, 0, 12), GFX_OK);
  ASSERT_EQ(rig.device->SetVertexBuffer(0, nullptr, 0, 0), GFX_OK);
  EXPECT_EQ(vb->Release(), 0u);
}

TEST(GfxLifetime, ViewerReleaseOrderAndDeviceFirst) {
  GraphicsSystem* system = CreateGraphicsSystem(GRAPHICS_INTERFACE_VERSION);
  ASSERT_NE(system, nullptr);
  FakeWindow window;
  PresentParameters p = ViewerParameters(&window);
  GraphicsDevice* device = nullptr;
  ASSERT_EQ(system->CreateDevice(ADAPTER_DEFAULT, DEVICE_TYPE_HARDWARE, &window,
                                 CREATE_HARDWARE_VERTEXPROCESSING, &p, &device),
            GFX_OK);
  VertexBuffer* vb = nullptr;
  ASSERT_EQ(device->CreateVertexBuffer(96, 0, VERTEX_XYZ, POOL_DEFAULT, &vb), GFX_OK);
  device->SetVertexBuffer(0, vb, 0, 12);
  EXPECT_EQ(device->Release(), 0u);  // device first: the buffer stays valid
  void* data = nullptr;
  EXPECT_EQ(vb->Lock(0, 0, &data, 0), GFX_OK);
  EXPECT_EQ(vb->Unlock(), GFX_OK);
  EXPECT_EQ(vb->Release(), 0u);
  EXPECT_EQ(system->Release(), 0u);
}

// ---- System and device creation ---------------------------------------------------

TEST(GfxSystem, VersionCapabilitiesAndDeviceParameters) {
  EXPECT_EQ(CreateGraphicsSystem(GRAPHICS_INTERFACE_VERSION + 1), nullptr);
  GraphicsSystem* system = CreateGraphicsSystem(GRAPHICS_INTERFACE_VERSION);
  ASSERT_NE(system, nullptr);
  DeviceCapabilities caps;
  ASSERT_EQ(system->GetCapabilities(ADAPTER_DEFAULT, DEVICE_TYPE_HARDWARE, &caps), GFX_OK);
  EXPECT_NE(caps.deviceCaps & DEVCAPS_HW_TRANSFORM_AND_LIGHT, 0u);
  EXPECT_EQ(system->GetCapabilities(1, DEVICE_TYPE_HARDWARE, &caps), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(system->GetCapabilities(ADAPTER_DEFAULT, DEVICE_TYPE_HARDWARE, nullptr),
            GFX_ERROR_INVALID_CALL);

  FakeWindow window;
  GraphicsDevice* device = reinterpret_cast<GraphicsDevice*>(1);
  auto create = [&](PresentParameters p, std::uint32_t flags, Window* focus) {
    return system->CreateDevice(ADAPTER_DEFAULT, DEVICE_TYPE_HARDWARE, focus, flags, &p, &device);
  };
  const std::uint32_t sw = CREATE_SOFTWARE_VERTEXPROCESSING;
  PresentParameters noWindow = ViewerParameters(nullptr);
  EXPECT_EQ(create(noWindow, sw, nullptr), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(create(ViewerParameters(&window), sw | CREATE_HARDWARE_VERTEXPROCESSING, &window),
            GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(create(ViewerParameters(&window), 0, &window), GFX_ERROR_INVALID_CALL);
  PresentParameters badDepth = ViewerParameters(&window);
  badDepth.autoDepthStencilFormat = FORMAT_A8R8G8B8;
  EXPECT_EQ(create(badDepth, sw, &window), GFX_ERROR_INVALID_CALL);
  PresentParameters huge = ViewerParameters(&window, 100000, 10);
  EXPECT_EQ(create(huge, sw, &window), GFX_ERROR_NOT_AVAILABLE);
  PresentParameters fullScreen = ViewerParameters(&window);
  fullScreen.windowed = 0;
  EXPECT_EQ(create(fullScreen, sw, &window), GFX_ERROR_NOT_AVAILABLE);

  // Zero sizes take the default back buffer, reported back to the caller;
  // the focus window stands in for a missing device window.
  PresentParameters defaults = ViewerParameters(nullptr, 0, 0);
  ASSERT_EQ(
      system->CreateDevice(ADAPTER_DEFAULT, DEVICE_TYPE_HARDWARE, &window, sw, &defaults, &device),
      GFX_OK);
  EXPECT_EQ(defaults.backBufferWidth, 640u);
  EXPECT_EQ(defaults.backBufferHeight, 480u);
  device->Present(nullptr, nullptr, nullptr, nullptr);
  ASSERT_EQ(window.frames.size(), 1u);
  EXPECT_EQ(window.frames[0].width, 640);
  device->Release();
  system->Release();
}

TEST(GfxDevice, DefaultsAndStateRefusals) {
  Rig rig(CreateGraphicsSystem, 8, 8);
  ASSERT_TRUE(rig.ok());
  std::uint32_t value = 0;
  ASSERT_EQ(rig.device->GetRenderState(RS_CULLMODE, &value), GFX_OK);
  EXPECT_EQ(value, CULL_CCW);
  ASSERT_EQ(rig.device->GetRenderState(RS_FILLMODE, &value), GFX_OK);
  EXPECT_EQ(value, FILL_SOLID);
  for (TransformType t : {TRANSFORM_WORLD, TRANSFORM_VIEW, TRANSFORM_PROJECTION}) {
    KMMATRIX m;
    ASSERT_EQ(rig.device->GetTransform(t, &m), GFX_OK);
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) EXPECT_EQ(m.m[r][c], r == c ? 1.0f : 0.0f);
    }
  }
  EXPECT_EQ(rig.device->SetRenderState(RS_FILLMODE, 99), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(rig.device->SetRenderState(RS_CULLMODE, 0), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(rig.device->SetRenderState(static_cast<RenderState>(77), 0), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(rig.device->SetTransform(TRANSFORM_WORLD, nullptr), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(rig.device->SetVertexBuffer(1, nullptr, 0, 12), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(rig.device->SetVertexFormat(0x100), GFX_ERROR_INVALID_CALL);
}

// ---- Draw refusals: nothing is drawn and nothing is read out of bounds --------------

class GfxDrawRefusals : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rig_.ok());
    rig_.Load({-1, 1, 0.5f, 1, 1, 0.5f, -1, -1, 0.5f, 1, -1, 0.5f}, {0, 1, 2, 3, 0, 1, 2, 9});
    rig_.ClearAll();
  }
  int Drawn() { return CountPixels(rig_.Show(), kWhite); }
  Rig rig_{CreateGraphicsSystem, 8, 8};
};

TEST_F(GfxDrawRefusals, OutsideAFrameAndFrameOrder) {
  EXPECT_EQ(rig_.device->DrawIndexed(PRIMITIVE_TRIANGLE_STRIP, 0, 0, 4, 0, 2),
            GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(rig_.device->EndFrame(), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(rig_.device->BeginFrame(), GFX_OK);
  EXPECT_EQ(rig_.device->BeginFrame(), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(rig_.device->EndFrame(), GFX_OK);
  EXPECT_EQ(Drawn(), 0);
}

TEST_F(GfxDrawRefusals, IndexRangeBeyondTheIndexBuffer) {
  EXPECT_EQ(rig_.Draw(PRIMITIVE_TRIANGLE_STRIP, 2, 5), GFX_ERROR_INVALID_CALL);  // needs 5..8
  EXPECT_EQ(rig_.Draw(PRIMITIVE_TRIANGLE_LIST, 0xFFFFFFFFu, 0), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(rig_.Draw(PRIMITIVE_TRIANGLE_STRIP, 2, 0xFFFFFFFFu), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(Drawn(), 0);
}

TEST_F(GfxDrawRefusals, VerticesBeyondTheVertexBuffer) {
  EXPECT_EQ(rig_.Draw(PRIMITIVE_TRIANGLE_STRIP, 2, 4), GFX_ERROR_INVALID_CALL);  // index 9
  rig_.device->BeginFrame();
  EXPECT_EQ(rig_.device->DrawIndexed(PRIMITIVE_TRIANGLE_STRIP, 1, 0, 4, 0, 2),
            GFX_ERROR_INVALID_CALL);  // base 1 + index 3
  EXPECT_EQ(rig_.device->DrawIndexed(PRIMITIVE_TRIANGLE_STRIP, -1, 0, 4, 0, 2),
            GFX_ERROR_INVALID_CALL);  // base -1 + index 0
  EXPECT_EQ(rig_.device->DrawIndexed(PRIMITIVE_TRIANGLE_STRIP, 0x7FFFFFFF, 0, 4, 0, 2),
            GFX_ERROR_INVALID_CALL);
  rig_.device->SetVertexBuffer(0, rig_.vertices, 4, 12);  // offset pushes vertex 3 past the end
  EXPECT_EQ(rig_.device->DrawIndexed(PRIMITIVE_TRIANGLE_STRIP, 0, 0, 4, 0, 2),
            GFX_ERROR_INVALID_CALL);
  rig_.device->SetVertexBuffer(0, rig_.vertices, 0, 8);  // stride below the vertex size
  EXPECT_EQ(rig_.device->DrawIndexed(PRIMITIVE_TRIANGLE_STRIP, 0, 0, 4, 0, 2),
            GFX_ERROR_INVALID_CALL);
  rig_.device->EndFrame();
  EXPECT_EQ(Drawn(), 0);
}

TEST_F(GfxDrawRefusals, MissingBuffersOrFormat) {
  rig_.device->BeginFrame();
  rig_.device->SetVertexFormat(0);
  EXPECT_EQ(rig_.device->DrawIndexed(PRIMITIVE_TRIANGLE_STRIP, 0, 0, 4, 0, 2),
            GFX_ERROR_INVALID_CALL);
  rig_.device->SetVertexFormat(VERTEX_XYZ);
  rig_.device->SetIndexBuffer(nullptr);
  EXPECT_EQ(rig_.device->DrawIndexed(PRIMITIVE_TRIANGLE_STRIP, 0, 0, 4, 0, 2),
            GFX_ERROR_INVALID_CALL);
  rig_.device->SetIndexBuffer(rig_.indices);
  rig_.device->SetVertexBuffer(0, nullptr, 0, 12);
  EXPECT_EQ(rig_.device->DrawIndexed(PRIMITIVE_TRIANGLE_STRIP, 0, 0, 4, 0, 2),
            GFX_ERROR_INVALID_CALL);
  rig_.device->SetVertexBuffer(0, rig_.vertices, 0, 12);
  EXPECT_EQ(rig_.device->DrawIndexed(static_cast<PrimitiveType>(42), 0, 0, 4, 0, 2),
            GFX_ERROR_INVALID_CALL);
  rig_.device->EndFrame();
  EXPECT_EQ(Drawn(), 0);
}

}  // namespace
}  // namespace kubik::gfx_test
