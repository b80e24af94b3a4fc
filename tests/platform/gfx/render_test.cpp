// Pictures drawn by the release module: the viewer's cube, culling, strips,
// fill rule, depth test, clipping and clearing.
#include <kubik/kmath.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "tests/platform/gfx/gfx_test_support.h"

namespace kubik::gfx_test {
namespace {

// ---- The viewer's first frame ------------------------------------------------

const float kCubeVertices[24] = {-1, 1, -1, 1,  1,  -1, -1, -1, -1, 1, -1, -1,
                                 -1, 1, 1,  -1, -1, 1,  1,  1,  1,  1, -1, 1};
const std::uint16_t kCubeIndices[24] = {0, 1, 2, 3, 4, 5, 6, 7, 4, 6, 0, 1,
                                        5, 2, 7, 3, 1, 6, 3, 7, 0, 2, 4, 5};

// Sets the device up and draws one frame exactly as the viewer does.
FakeWindow::Frame DrawViewerCube(float yaw, float pitch) {
  FakeWindow window;
  GraphicsSystem* system = CreateGraphicsSystem(GRAPHICS_INTERFACE_VERSION);
  EXPECT_NE(system, nullptr);
  DeviceCapabilities caps;
  EXPECT_EQ(system->GetCapabilities(ADAPTER_DEFAULT, DEVICE_TYPE_HARDWARE, &caps), GFX_OK);
  const std::uint32_t processing = (caps.deviceCaps & DEVCAPS_HW_TRANSFORM_AND_LIGHT)
                                       ? CREATE_HARDWARE_VERTEXPROCESSING
                                       : CREATE_SOFTWARE_VERTEXPROCESSING;
  PresentParameters p = ViewerParameters(&window);
  GraphicsDevice* device = nullptr;
  EXPECT_EQ(
      system->CreateDevice(ADAPTER_DEFAULT, DEVICE_TYPE_HARDWARE, &window, processing, &p, &device),
      GFX_OK);
  device->SetRenderState(RS_LIGHTING, 0);
  device->SetRenderState(RS_FILLMODE, FILL_WIREFRAME);
  KMMATRIX projection;
  KMMatrixPerspectiveFovLH(&projection, 0.785398185f, 1.33333337f, 0.1f, 100.0f);
  device->SetTransform(TRANSFORM_PROJECTION, &projection);

  VertexBuffer* vb = nullptr;
  IndexBuffer* ib = nullptr;
  EXPECT_EQ(device->CreateVertexBuffer(96, USAGE_WRITEONLY, VERTEX_XYZ, POOL_DEFAULT, &vb), GFX_OK);
  void* data = nullptr;
  EXPECT_EQ(vb->Lock(0, 96, &data, 0), GFX_OK);
  std::memcpy(data, kCubeVertices, 96);
  vb->Unlock();
  EXPECT_EQ(device->CreateIndexBuffer(48, USAGE_WRITEONLY, FORMAT_INDEX16, POOL_DEFAULT, &ib),
            GFX_OK);
  EXPECT_EQ(ib->Lock(0, 48, &data, 0), GFX_OK);
  std::memcpy(data, kCubeIndices, 48);
  ib->Unlock();

  device->Clear(0, nullptr, CLEAR_TARGET | CLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
  KMMATRIX t, r;
  KMMatrixTranslation(&t, 0, 0, 5.0f);
  KMMatrixRotationYawPitchRoll(&r, yaw, pitch, 0);
  const KMMATRIX world = r * t;
  device->SetTransform(TRANSFORM_WORLD, &world);
  EXPECT_EQ(device->BeginFrame(), GFX_OK);
  device->SetVertexBuffer(0, vb, 0, 12);
  device->SetIndexBuffer(ib);
  device->SetVertexFormat(VERTEX_XYZ);
  for (std::uint32_t start = 0; start < 24; start += 4) {
    EXPECT_EQ(device->DrawIndexed(PRIMITIVE_TRIANGLE_STRIP, 0, 0, 8, start, 2), GFX_OK);
  }
  EXPECT_EQ(device->EndFrame(), GFX_OK);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), GFX_OK);

  vb->Release();
  ib->Release();
  device->Release();
  system->Release();
  EXPECT_EQ(window.frames.size(), 1u);
  return window.frames.empty() ? FakeWindow::Frame{} : window.frames[0];
}

TEST(GfxViewerCube, FirstFrameShowsFrontFaceOutlineAndOneDiagonal) {
  const FakeWindow::Frame frame = DrawViewerCube(0, 0);
  ASSERT_EQ(frame.width, 640);
  ASSERT_EQ(frame.height, 480);

  // Corners of the face z = -1 in pixels (NDC (-1, +1) is the top-left corner).
  const double cot = 1.0 / std::tan(M_PI / 8);
  const double ndcX = cot / (4.0 * (4.0 / 3.0));
  const double ndcY = cot / 4.0;
  const double left = (1 - ndcX) * 320, right = (1 + ndcX) * 320;
  const double top = (1 - ndcY) * 240, bottom = (1 + ndcY) * 240;
  const int l = static_cast<int>(left), r = static_cast<int>(right);
  const int t = static_cast<int>(top), b = static_cast<int>(bottom);
  ASSERT_EQ(l, 175);
  ASSERT_EQ(r, 464);
  ASSERT_EQ(t, 95);
  ASSERT_EQ(b, 384);

  // The square outline is closed.
  for (int x = l + 1; x < r; ++x) {
    EXPECT_EQ(frame.At(x, t), kWhite) << "top edge, x " << x;
    EXPECT_EQ(frame.At(x, b), kWhite) << "bottom edge, x " << x;
  }
  for (int y = t + 1; y < b; ++y) {
    EXPECT_EQ(frame.At(l, y), kWhite) << "left edge, y " << y;
    EXPECT_EQ(frame.At(r, y), kWhite) << "right edge, y " << y;
  }
  // The shared edge runs from vertex 1 (top right) to vertex 2 (bottom left).
  auto diagonalX = [&](double y) { return right + (y - top) * (left - right) / (bottom - top); };
  for (int y = t + 2; y < b - 1; ++y) {
    const int x = static_cast<int>(diagonalX(y + 0.5));
    const bool hit =
        frame.At(x - 1, y) == kWhite || frame.At(x, y) == kWhite || frame.At(x + 1, y) == kWhite;
    EXPECT_TRUE(hit) << "diagonal, y " << y;
  }
  // Nothing else: no other diagonal, no other face, nothing outside the square.
  int stray = 0;
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      const std::uint32_t p = frame.At(x, y);
      if (p == kBlack) continue;
      const bool outline =
          ((y == t || y == b) && x >= l && x <= r) || ((x == l || x == r) && y >= t && y <= b);
      const bool diagonal = y >= t && y <= b && std::abs(x + 0.5 - diagonalX(y + 0.5)) <= 1.5;
      if (p != kWhite || !(outline || diagonal)) ++stray;
    }
  }
  EXPECT_EQ(stray, 0);
  const int white = CountPixels(frame, kWhite);
  EXPECT_GT(white, 4 * 288 + 280);
  EXPECT_LT(white, 4 * 291 + 295);
}

TEST(GfxViewerCube, TurnedCubeShowsMoreFacesWithinTheScreen) {
  // Yaw and pitch of 30 degrees show three faces: more edges, all on screen.
  const FakeWindow::Frame still = DrawViewerCube(0, 0);
  const FakeWindow::Frame turned = DrawViewerCube(0.5235988f, 0.5235988f);
  EXPECT_GT(CountPixels(turned, kWhite), CountPixels(still, kWhite) + 400);
  EXPECT_EQ(CountPixels(turned, kWhite) + CountPixels(turned, kBlack),
            static_cast<int>(turned.pixels.size()));
}

// ---- Culling and winding ------------------------------------------------------

// Quad corners in NDC: 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right.
const std::vector<float> kQuad = {-1, 1, 0.5f, 1, 1, 0.5f, -1, -1, 0.5f, 1, -1, 0.5f};

TEST(GfxCulling, DefaultCullsCounterClockwiseOnScreen) {
  Rig rig(CreateGraphicsSystem, 16, 16);
  ASSERT_TRUE(rig.ok());
  rig.Load(kQuad, {0, 1, 2, 0, 2, 1});
  rig.ClearAll();
  rig.Draw(PRIMITIVE_TRIANGLE_LIST, 1);  // clockwise on screen: drawn
  EXPECT_EQ(CountPixels(rig.Show(), kWhite), 120);
  rig.ClearAll();
  rig.Draw(PRIMITIVE_TRIANGLE_LIST, 1, 3);  // counter-clockwise: culled
  EXPECT_EQ(CountPixels(rig.Show(), kWhite), 0);

  rig.device->SetRenderState(RS_CULLMODE, CULL_CW);
  rig.ClearAll();
  rig.Draw(PRIMITIVE_TRIANGLE_LIST, 2);
  EXPECT_EQ(CountPixels(rig.Show(), kWhite), 120);  // only the second
  rig.device->SetRenderState(RS_CULLMODE, CULL_NONE);
  rig.ClearAll();
  rig.Draw(PRIMITIVE_TRIANGLE_LIST, 2);
  EXPECT_EQ(CountPixels(rig.Show(), kWhite), 120);  // same pixels twice
}

TEST(GfxCulling, StripReversesEverySecondTriangle) {
  Rig rig(CreateGraphicsSystem, 16, 16);
  ASSERT_TRUE(rig.ok());
  rig.Load(kQuad, {0, 1, 2, 3, 1, 0, 3, 2});
  // 0,1,2 is clockwise and 1,2,3 is counter-clockwise as listed; in a strip
  // the second counts as reversed, so the whole quad is drawn.
  rig.ClearAll();
  rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);
  EXPECT_EQ(CountPixels(rig.Show(), kWhite), 256);
  // As a list the second triangle is culled: only the upper-left half.
  rig.ClearAll();
  rig.Draw(PRIMITIVE_TRIANGLE_LIST, 1);
  rig.device->BeginFrame();
  rig.device->DrawIndexed(PRIMITIVE_TRIANGLE_LIST, 0, 0, 4, 1, 1);
  rig.device->EndFrame();
  EXPECT_EQ(CountPixels(rig.Show(), kWhite), 120);
  // A strip that starts counter-clockwise is culled whole.
  rig.ClearAll();
  rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2, 4);
  EXPECT_EQ(CountPixels(rig.Show(), kWhite), 0);
}

TEST(GfxCulling, WireframeDrawsEdgesOfVisibleTrianglesOnly) {
  Rig rig(CreateGraphicsSystem, 32, 32);
  ASSERT_TRUE(rig.ok());
  const std::vector<float> inset = {-0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, -0.5f, -0.5f, 0.5f};
  rig.Load(inset, {0, 1, 2, 0, 2, 1});
  rig.device->SetRenderState(RS_FILLMODE, FILL_WIREFRAME);
  rig.ClearAll();
  rig.Draw(PRIMITIVE_TRIANGLE_LIST, 1);
  const FakeWindow::Frame& frame = rig.Show();
  // Corners at pixels 8 and 24: top edge row 8, left edge column 8, hypotenuse.
  for (int x = 8; x < 24; ++x) EXPECT_EQ(frame.At(x, 8), kWhite) << x;
  for (int y = 8; y < 24; ++y) EXPECT_EQ(frame.At(8, y), kWhite) << y;
  EXPECT_EQ(frame.At(12, 12), kBlack);  // interior stays empty
  EXPECT_EQ(frame.At(15, 16), kWhite);  // on the hypotenuse
  rig.ClearAll();
  rig.Draw(PRIMITIVE_TRIANGLE_LIST, 1, 3);
  EXPECT_EQ(CountPixels(rig.Show(), kWhite), 0);
}

// ---- Fill rule and colour ----------------------------------------------------------

TEST(GfxFill, TopLeftRuleTakesPixelCentresOnLeftAndTopEdgesOnly) {
  Rig rig(CreateGraphicsSystem, 8, 8);
  ASSERT_TRUE(rig.ok());
  // Square through the pixel centres 2.5 .. 6.5 in both directions.
  auto ndc = [](double pixel) { return static_cast<float>(pixel / 8 * 2 - 1); };
  const float l = ndc(2.5), r = ndc(6.5), t = -ndc(2.5), b = -ndc(6.5);
  rig.Load({l, t, 0.5f, r, t, 0.5f, l, b, 0.5f, r, b, 0.5f}, {0, 1, 2, 3});
  rig.ClearAll();
  rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);
  const FakeWindow::Frame& frame = rig.Show();
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const bool inside = x >= 2 && x <= 5 && y >= 2 && y <= 5;
      EXPECT_EQ(frame.At(x, y), inside ? kWhite : kBlack) << x << "," << y;
    }
  }
}

TEST(GfxFill, VertexColourIsUsedAndMissingColourIsWhite) {
  Rig rig(CreateGraphicsSystem, 8, 8);
  ASSERT_TRUE(rig.ok());
  const float red = ColorSlot(0xFFFF0000u);
  rig.Load({-1, 1, 0.5f, red, 1, 1, 0.5f, red, -1, -1, 0.5f, red, 1, -1, 0.5f, red}, {0, 1, 2, 3},
           VERTEX_XYZ | VERTEX_DIFFUSE);
  rig.ClearAll();
  rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);
  EXPECT_EQ(CountPixels(rig.Show(), 0xFFFF0000u), 64);
  // Lighting on or off makes no difference without lights.
  rig.device->SetRenderState(RS_LIGHTING, 0);
  rig.Load(kQuad, {0, 1, 2, 3});
  rig.ClearAll();
  rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);
  EXPECT_EQ(CountPixels(rig.Show(), kWhite), 64);
}

// ---- Depth ----------------------------------------------------------------------

std::vector<float> FlatQuad(float z, std::uint32_t color) {
  const float c = ColorSlot(color);
  return {-1, 1, z, c, 1, 1, z, c, -1, -1, z, c, 1, -1, z, c};
}

TEST(GfxDepth, LessOrEqualPassesAndWritesDepth) {
  Rig rig(CreateGraphicsSystem, 8, 8);
  ASSERT_TRUE(rig.ok());
  const std::uint32_t format = VERTEX_XYZ | VERTEX_DIFFUSE;
  rig.ClearAll();
  rig.Load(FlatQuad(0.5f, 0xFFFF0000u), {0, 1, 2, 3}, format);
  rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);
  rig.Load(FlatQuad(0.5f, 0xFF00FF00u), {0, 1, 2, 3}, format);  // equal depth passes
  rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);
  EXPECT_EQ(CountPixels(rig.Show(), 0xFF00FF00u), 64);
  rig.Load(FlatQuad(0.6f, 0xFF0000FFu), {0, 1, 2, 3}, format);  // farther fails
  rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);
  EXPECT_EQ(CountPixels(rig.Show(), 0xFF00FF00u), 64);
  rig.Load(FlatQuad(0.4f, 0xFFFFFF00u), {0, 1, 2, 3}, format);  // nearer passes
  rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);
  EXPECT_EQ(CountPixels(rig.Show(), 0xFFFFFF00u), 64);
  rig.Load(FlatQuad(0.45f, 0xFF0000FFu), {0, 1, 2, 3}, format);  // depth 0.4 was written
  rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);
  EXPECT_EQ(CountPixels(rig.Show(), 0xFFFFFF00u), 64);
}

TEST(GfxDepth, WireframeLinesAreDepthTested) {
  Rig rig(CreateGraphicsSystem, 16, 16);
  ASSERT_TRUE(rig.ok());
  rig.ClearAll(kBlack, 0.3f);
  rig.Load(kQuad, {0, 1, 2, 3});
  rig.device->SetRenderState(RS_FILLMODE, FILL_WIREFRAME);
  rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);  // z 0.5 is behind the cleared 0.3
  EXPECT_EQ(CountPixels(rig.Show(), kWhite), 0);
  rig.ClearAll(kBlack, 1.0f);
  rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);
  EXPECT_GT(CountPixels(rig.Show(), kWhite), 40);
}

// ---- Clipping -------------------------------------------------------------------

TEST(GfxClipping, TriangleCrossingTheNearPlaneKeepsOnlyItsFrontPart) {
  Rig rig(CreateGraphicsSystem, 16, 16);
  ASSERT_TRUE(rig.ok());
  // Identity transforms: z is clip z and w is 1; the apex lies at z = -0.5,
  // so the near plane z = 0 cuts the triangle at y = 0.
  rig.Load({-1, -1, 0.5f, 0, 1, -0.5f, 1, -1, 0.5f}, {0, 1, 2});
  rig.device->SetRenderState(RS_CULLMODE, CULL_NONE);
  rig.ClearAll();
  rig.Draw(PRIMITIVE_TRIANGLE_LIST, 1);
  const FakeWindow::Frame& frame = rig.Show();
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) EXPECT_EQ(frame.At(x, y), kBlack) << x << "," << y;
  }
  EXPECT_EQ(frame.At(8, 12), kWhite);
  EXPECT_GT(CountPixels(frame, kWhite), 40);
}

TEST(GfxClipping, GeometryBehindTheEyeDrawsNothing) {
  Rig rig(CreateGraphicsSystem, 16, 16);
  ASSERT_TRUE(rig.ok());
  KMMATRIX projection;
  KMMatrixPerspectiveFovLH(&projection, 0.785398185f, 1.0f, 0.1f, 100.0f);
  rig.device->SetTransform(TRANSFORM_PROJECTION, &projection);
  // Behind the eye w is negative; dividing by it would mirror the triangle
  // onto the screen.
  rig.Load({-1, 1, -4, 1, 1, -4, -1, -1, -4, 1, -1, -4}, {0, 1, 2, 3});
  rig.device->SetRenderState(RS_CULLMODE, CULL_NONE);
  for (std::uint32_t fill : {FILL_SOLID, FILL_WIREFRAME}) {
    rig.device->SetRenderState(RS_FILLMODE, fill);
    rig.ClearAll();
    rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);
    EXPECT_EQ(CountPixels(rig.Show(), kWhite), 0) << fill;
  }
  // The same quad in front of the eye, crossing the near plane, is drawn in part.
  rig.Load({-1, 1, -4, 1, 1, -4, -1, -1, 4, 1, -1, 4}, {0, 1, 2, 3});
  rig.ClearAll();
  rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);
  EXPECT_GT(CountPixels(rig.Show(), kWhite), 0);
}

TEST(GfxClipping, LinesLeavingTheScreenStayInsideTheBuffers) {
  Rig rig(CreateGraphicsSystem, 16, 16);
  ASSERT_TRUE(rig.ok());
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  rig.Load({-10, 0, 0.5f, 10,    0,     0.5f,  // through the middle, both ends far outside
            -3,  3, 0.5f, 3,     -3,    0.5f,  // a diagonal, corner to corner beyond
            0,   0, 0.5f, 1e30f, 1e30f, 0.5f, 0,  0, 0.5f, inf, -inf, 0.5f,
            0,   0, 0.5f, nan,   0,     0.5f, -2, 0, -1,   2,   0,    2},  // crosses the near plane
           {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  rig.ClearAll();
  rig.Draw(PRIMITIVE_LINE_LIST, 6);
  const FakeWindow::Frame& frame = rig.Show();
  for (int x = 0; x < 16; ++x) EXPECT_EQ(frame.At(x, 8), kWhite) << x;
  EXPECT_EQ(frame.At(0, 0), kWhite);
  EXPECT_EQ(frame.At(15, 15), kWhite);
  // Wireframe of a huge triangle, every edge far outside, crossing the screen.
  rig.Load({-100, 100, 0.5f, 100, 100, 0.5f, -100, -100.5f, 0.5f}, {0, 1, 2});
  rig.device->SetRenderState(RS_FILLMODE, FILL_WIREFRAME);
  rig.ClearAll();
  EXPECT_EQ(rig.Draw(PRIMITIVE_TRIANGLE_LIST, 1), GFX_OK);
  EXPECT_GT(CountPixels(rig.Show(), kWhite), 0);
}

TEST(GfxClipping, HugeSolidTriangleFillsTheScreenExactly) {
  Rig rig(CreateGraphicsSystem, 16, 16);
  ASSERT_TRUE(rig.ok());
  rig.Load({-1e6f, 1e6f, 0.5f, 1e6f, 1e6f, 0.5f, -1e6f, -1e6f, 0.5f, 1e6f, -1e6f, 0.5f},
           {0, 1, 2, 3});
  rig.ClearAll();
  rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);
  EXPECT_EQ(CountPixels(rig.Show(), kWhite), 256);
}

// ---- Clear and present --------------------------------------------------------------

TEST(GfxClear, WholeTargetAndRectanglesClippedToIt) {
  Rig rig(CreateGraphicsSystem, 8, 8);
  ASSERT_TRUE(rig.ok());
  EXPECT_EQ(rig.device->Clear(0, nullptr, CLEAR_TARGET, 0xFF123456u, 1.0f, 0), GFX_OK);
  EXPECT_EQ(CountPixels(rig.Show(), 0xFF123456u), 64);
  const GfxRect rects[] = {{-5, -5, 2, 2}, {6, 6, 100, 100}, {4, 4, 3, 3}};
  EXPECT_EQ(rig.device->Clear(3, rects, CLEAR_TARGET, 0xFFABCDEFu, 1.0f, 0), GFX_OK);
  const FakeWindow::Frame& frame = rig.Show();
  EXPECT_EQ(CountPixels(frame, 0xFFABCDEFu), 8);
  EXPECT_EQ(frame.At(1, 1), 0xFFABCDEFu);
  EXPECT_EQ(frame.At(7, 7), 0xFFABCDEFu);
  EXPECT_EQ(frame.At(4, 4), 0xFF123456u);
}

TEST(GfxClear, DepthClearValueAndRefusals) {
  Rig rig(CreateGraphicsSystem, 8, 8);
  ASSERT_TRUE(rig.ok());
  rig.Load(kQuad, {0, 1, 2, 3});
  EXPECT_EQ(rig.device->Clear(0, nullptr, CLEAR_TARGET | CLEAR_ZBUFFER, kBlack, 0.0f, 0), GFX_OK);
  rig.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);
  EXPECT_EQ(CountPixels(rig.Show(), kWhite), 0);
  EXPECT_EQ(rig.device->Clear(0, nullptr, CLEAR_ZBUFFER, 0, 2.0f, 0), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(rig.device->Clear(0, nullptr, 0, 0, 1.0f, 0), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(rig.device->Clear(2, nullptr, CLEAR_TARGET, 0, 1.0f, 0), GFX_ERROR_INVALID_CALL);

  Rig flat(CreateGraphicsSystem, 8, 8, /*depth=*/false);
  ASSERT_TRUE(flat.ok());
  EXPECT_EQ(flat.device->Clear(0, nullptr, CLEAR_ZBUFFER, 0, 1.0f, 0), GFX_ERROR_INVALID_CALL);
  EXPECT_EQ(flat.device->Clear(0, nullptr, CLEAR_TARGET, kBlack, 1.0f, 0), GFX_OK);
  flat.Load(kQuad, {0, 1, 2, 3});
  flat.Draw(PRIMITIVE_TRIANGLE_STRIP, 2);  // no depth buffer: nothing to test against
  EXPECT_EQ(CountPixels(flat.Show(), kWhite), 64);
}

TEST(GfxPresent, GoesToTheOverrideWindowWhenGiven) {
  Rig rig(CreateGraphicsSystem, 4, 2);
  ASSERT_TRUE(rig.ok());
  FakeWindow other;
  rig.ClearAll(0xFF010203u);
  EXPECT_EQ(rig.device->Present(nullptr, nullptr, &other, nullptr), GFX_OK);
  ASSERT_EQ(other.frames.size(), 1u);
  EXPECT_TRUE(rig.window.frames.empty());
  EXPECT_EQ(other.frames[0].width, 4);
  EXPECT_EQ(other.frames[0].height, 2);
  EXPECT_EQ(CountPixels(other.frames[0], 0xFF010203u), 8);
}

}  // namespace
}  // namespace kubik::gfx_test
