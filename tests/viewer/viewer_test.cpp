// The viewer driven headless: the loop, drag input, failures, and the
// pixels of the first frame drawn by the real graphics module.
#include "viewer/viewer.h"

#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/window/headless.h"
#include "platform/window/window.h"
#include "tests/death_test_style.h"

namespace kubik {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFFu;
constexpr std::uint32_t kBlack = 0xFF000000u;

class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(UseHeadlessWindowSystem());
    ResetWindowSystem();
    ResetViewerState();
  }
  void TearDown() override {
    ResetWindowSystem();
    ResetViewerState();
  }

  // The globals start zeroed at load; every test starts from there again.
  static void ResetViewerState() {
    MainWindow = nullptr;
    Dragging = false;
    MouseX = MouseY = LastMouseX = LastMouseY = 0;
    YawDegrees = PitchDegrees = 0.0f;
    GraphicsSystemObject = nullptr;
    Device = nullptr;
    CubeVertexBuffer = nullptr;
    CubeIndexBuffer = nullptr;
  }

  static std::int32_t Run() { return ViewerMain(GetProcessInstance(), SHOW_DEFAULT); }

  static void Proc(std::uint32_t code, int x, int y, WParam wParam = 0) {
    ViewerWindowProc(nullptr, code, wParam, MakeMouseParam(x, y));
  }
};

// ---- Loop ------------------------------------------------------------------

TEST_F(ViewerTest, EscapeEndsWithZeroAfterQueuedMessagesOnePerFrame) {
  HeadlessInjectKeyDown('A');
  HeadlessInjectMouse(MSG_MOUSEMOVE, 10, 10);
  HeadlessInjectKeyUp('A');
  HeadlessInjectKeyDown(KEY_ESCAPE);
  HeadlessInjectMouse(MSG_MOUSEMOVE, 20, 20);  // queued behind Escape, ahead of the quit
  EXPECT_EQ(Run(), 0);
  // Five input messages, one per turn, then the turn that takes the quit
  // message and still draws.
  EXPECT_EQ(HeadlessFrames().size(), 6u);
  for (const HeadlessFrame& f : HeadlessFrames()) {
    EXPECT_EQ(f.window, MainWindow);
    EXPECT_EQ(f.width, 640);
    EXPECT_EQ(f.height, 480);
  }
  EXPECT_EQ(MouseX, 20) << "the message behind Escape was still handled";
  EXPECT_TRUE(IsLiveWindow(MainWindow));
}

TEST_F(ViewerTest, EachTurnHandlesOneMessageBeforeItsFrame) {
  HeadlessInjectMouse(MSG_LBUTTONDOWN, 300, 200);
  HeadlessInjectMouse(MSG_MOUSEMOVE, 330, 200);
  HeadlessInjectKeyDown(KEY_ESCAPE);
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(HeadlessFrames().size(), 4u);
  const auto& frames = HeadlessFrames();
  EXPECT_NE(frames[0].pixels, frames[1].pixels) << "the drag shows in the frame of its turn";
  EXPECT_EQ(frames[1].pixels, frames[2].pixels);
  EXPECT_EQ(frames[2].pixels, frames[3].pixels);
  EXPECT_FLOAT_EQ(YawDegrees, -30.0f);
}

TEST_F(ViewerTest, OtherKeysDoNothing) {
  for (WParam key : {WParam{'A'}, WParam{'Q'}, WParam{KEY_SPACE}, WParam{KEY_OTHER_BASE + 41}}) {
    HeadlessInjectKeyDown(key);
  }
  HeadlessInjectKeyDown(KEY_ESCAPE);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(HeadlessFrames().size(), 6u);
  EXPECT_EQ(YawDegrees, 0.0f);
  EXPECT_EQ(PitchDegrees, 0.0f);
  EXPECT_TRUE(IsLiveWindow(MainWindow));
}

TEST_F(ViewerTest, CloseBoxEndsWithZeroAndTheWindowOutlivesTeardown) {
  HeadlessInjectClose();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(HeadlessFrames().size(), 2u);
  EXPECT_TRUE(IsLiveWindow(MainWindow)) << "the close request must not destroy the window";
  // The window was alive when the class was unregistered, so that failed.
  WindowClass again{};
  again.procedure = ViewerWindowProc;
  again.className = "Cube";
  EXPECT_EQ(RegisterWindowClass(&again), 0);
}

TEST_F(ViewerTest, DestroyAndCloseEachPostQuitZero) {
  for (std::uint32_t code : {MSG_DESTROY, MSG_CLOSE}) {
    ResetWindowSystem();
    EXPECT_EQ(ViewerWindowProc(nullptr, code, 0, 0), 0);
    WindowMessage m{};
    ASSERT_TRUE(PeekWindowMessage(&m, nullptr, 0, 0, PEEK_REMOVE));
    EXPECT_EQ(m.code, MSG_QUIT);
    EXPECT_EQ(m.wParam, 0u);
    EXPECT_FALSE(PeekWindowMessage(&m, nullptr, 0, 0, PEEK_REMOVE));
  }
}

TEST_F(ViewerTest, WindowDestroyedFromOutsideEndsTheLoop) {
  // A window destroyed from outside (here on its first turn) ends the program too.
  HeadlessInjectMouse(MSG_MOUSEMOVE, 1, 1);
  static bool destroyed;
  destroyed = false;
  struct Hook {
    static ProcResult Proc(WindowHandle w, std::uint32_t c, WParam wp, LParam lp) {
      if (c == MSG_MOUSEMOVE && !destroyed) {
        destroyed = true;
        DestroyTopLevelWindow(w);
        return 0;
      }
      return ViewerWindowProc(w, c, wp, lp);
    }
  };
  // Same loop, with a procedure that destroys the window on the first move.
  WindowClass c{};
  c.procedure = Hook::Proc;
  c.className = "Hook";
  ASSERT_NE(RegisterWindowClass(&c), 0);
  MainWindow =
      CreateTopLevelWindow("Hook", "t", WINDOW_OVERLAPPED, 0, 0, 640, 480, nullptr, nullptr);
  ASSERT_NE(MainWindow, nullptr);
  WindowMessage m{};
  int turns = 0;
  while (m.code != MSG_QUIT && turns < 10) {
    if (PeekWindowMessage(&m, nullptr, 0, 0, PEEK_REMOVE)) DispatchWindowMessage(&m);
    ++turns;
  }
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(m.code, MSG_QUIT);
  EXPECT_EQ(m.wParam, 0u);
  EXPECT_EQ(turns, 2);
}

// ---- Drag arithmetic ---------------------------------------------------------

TEST_F(ViewerTest, DragTurnsOneDegreePerPixel) {
  Proc(MSG_LBUTTONDOWN, 100, 100);
  Proc(MSG_MOUSEMOVE, 110, 100);
  EXPECT_EQ(YawDegrees, -10.0f) << "right lowers the yaw, exactly";
  EXPECT_EQ(PitchDegrees, 0.0f);
  Proc(MSG_MOUSEMOVE, 110, 110);
  EXPECT_EQ(PitchDegrees, -10.0f) << "down lowers the pitch";
  Proc(MSG_MOUSEMOVE, 95, 97);
  EXPECT_EQ(YawDegrees, 5.0f) << "left raises the yaw";
  EXPECT_EQ(PitchDegrees, 3.0f) << "up raises the pitch";
  EXPECT_EQ(MouseX, 95);
  EXPECT_EQ(LastMouseX, 95);
  EXPECT_EQ(LastMouseY, 97);
}

TEST_F(ViewerTest, ButtonDownAloneChangesNoAngleButSetsTheAnchor) {
  Proc(MSG_LBUTTONDOWN, 40, 50);
  EXPECT_TRUE(Dragging);
  EXPECT_EQ(YawDegrees, 0.0f);
  EXPECT_EQ(PitchDegrees, 0.0f);
  EXPECT_EQ(MouseX, 40);
  EXPECT_EQ(LastMouseX, 40);
  EXPECT_EQ(MouseY, 50);
  EXPECT_EQ(LastMouseY, 50);
  // A second press while dragging only moves the anchor.
  Proc(MSG_LBUTTONDOWN, 200, 300);
  EXPECT_EQ(YawDegrees, 0.0f);
  Proc(MSG_MOUSEMOVE, 201, 300);
  EXPECT_EQ(YawDegrees, -1.0f);
}

TEST_F(ViewerTest, MovesWithoutButtonOnlyTrackThePosition) {
  Proc(MSG_MOUSEMOVE, 10, 10);
  Proc(MSG_MOUSEMOVE, 400, 300);
  EXPECT_EQ(YawDegrees, 0.0f);
  EXPECT_EQ(PitchDegrees, 0.0f);
  EXPECT_EQ(LastMouseX, 400);
  EXPECT_EQ(LastMouseY, 300);
  // The next drag counts from where the button went down, not from the last move.
  Proc(MSG_LBUTTONDOWN, 50, 60);
  Proc(MSG_MOUSEMOVE, 52, 63);
  EXPECT_EQ(YawDegrees, -2.0f);
  EXPECT_EQ(PitchDegrees, -3.0f);
  Proc(MSG_LBUTTONUP, 52, 63);
  EXPECT_FALSE(Dragging);
  Proc(MSG_MOUSEMOVE, 100, 100);
  EXPECT_EQ(YawDegrees, -2.0f);
  EXPECT_EQ(PitchDegrees, -3.0f);
}

TEST_F(ViewerTest, ReleaseOutsideTheWindowLeavesDraggingOn) {
  HeadlessInjectMouse(MSG_LBUTTONDOWN, 100, 100);
  HeadlessInjectMouse(MSG_MOUSEMOVE, 150, 100);
  HeadlessInjectMouse(MSG_MOUSEMOVE, 700, 100);  // outside: not seen
  HeadlessInjectMouse(MSG_LBUTTONUP, 700, 100);  // outside: not seen
  HeadlessInjectMouse(MSG_MOUSEMOVE, 160, 90);   // back inside, button up
  HeadlessInjectMouse(MSG_LBUTTONUP, 160, 90);
  HeadlessInjectMouse(MSG_MOUSEMOVE, 300, 300);
  HeadlessInjectKeyDown(KEY_ESCAPE);
  EXPECT_EQ(Run(), 0);
  // Measured from the last position seen inside (150, 100).
  EXPECT_EQ(YawDegrees, -60.0f);
  EXPECT_EQ(PitchDegrees, 10.0f);
  EXPECT_FALSE(Dragging);
}

TEST_F(ViewerTest, AnglesAreNeverWrapped) {
  Proc(MSG_LBUTTONDOWN, 0, 0);
  for (int i = 1; i <= 4; ++i) Proc(MSG_MOUSEMOVE, 200 * i, 150 * i);
  EXPECT_EQ(YawDegrees, -800.0f);
  EXPECT_EQ(PitchDegrees, -600.0f);
  Proc(MSG_LBUTTONDOWN, 1200, 1000);
  Proc(MSG_MOUSEMOVE, 0, 0);
  EXPECT_EQ(YawDegrees, 400.0f);
  EXPECT_EQ(PitchDegrees, 400.0f);
}

TEST_F(ViewerTest, PositionsAreUnsignedSixteenBitFields) {
  Proc(MSG_LBUTTONDOWN, 0xFFFF, 0x8000);
  EXPECT_EQ(MouseX, 65535) << "no sign extension";
  EXPECT_EQ(MouseY, 32768);
  Proc(MSG_MOUSEMOVE, 0, 0);
  EXPECT_EQ(YawDegrees, 65535.0f);
  EXPECT_EQ(PitchDegrees, 32768.0f);
}

// ---- Failures -------------------------------------------------------------------

using ViewerDeathTest = ViewerTest;

TEST_F(ViewerDeathTest, RegistrationFailureShowsItsMessageAndExitsWithOne) {
  GTEST_FLAG_SET(death_test_style, kubik::testing::kDeathTestStyle);
  HeadlessFailRegistration(true);
  EXPECT_EXIT(Run(), ::testing::ExitedWithCode(1), "Ошибка при регистрации класса\\.");
}

TEST_F(ViewerDeathTest, WindowFailureShowsItsMessageAndExitsWithOne) {
  GTEST_FLAG_SET(death_test_style, kubik::testing::kDeathTestStyle);
  HeadlessFailWindowCreation(true);
  EXPECT_EXIT(Run(), ::testing::ExitedWithCode(1), "Ошибка создания окна");
}

// ---- Graphics -----------------------------------------------------------------

class ViewerGraphicsTest : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    WindowClass c{};
    c.procedure = ViewerWindowProc;
    c.className = "Cube";
    ASSERT_NE(RegisterWindowClass(&c), 0);
    MainWindow = CreateTopLevelWindow("Cube", "Kubik - Cube", WINDOW_OVERLAPPED, 0, 0, 640, 480,
                                      nullptr, nullptr);
    ASSERT_NE(MainWindow, nullptr);
  }
};

TEST_F(ViewerGraphicsTest, SetUpFixesStatesProjectionAndBuffers) {
  SetUpGraphics();
  ASSERT_NE(GraphicsSystemObject, nullptr);
  ASSERT_NE(Device, nullptr);
  ASSERT_NE(CubeVertexBuffer, nullptr);
  ASSERT_NE(CubeIndexBuffer, nullptr);

  std::uint32_t value = 0;
  ASSERT_EQ(Device->GetRenderState(RS_LIGHTING, &value), GFX_OK);
  EXPECT_EQ(value, 0u);
  ASSERT_EQ(Device->GetRenderState(RS_FILLMODE, &value), GFX_OK);
  EXPECT_EQ(value, FILL_WIREFRAME);
  ASSERT_EQ(Device->GetRenderState(RS_CULLMODE, &value), GFX_OK);
  EXPECT_EQ(value, CULL_CCW) << "culling stays at the default";

  KMMATRIX projection, expected;
  ASSERT_EQ(Device->GetTransform(TRANSFORM_PROJECTION, &projection), GFX_OK);
  KMMatrixPerspectiveFovLH(&expected, 0.785398185f, 1.33333337f, 0.1f, 100.0f);
  EXPECT_EQ(std::memcmp(&projection, &expected, sizeof(KMMATRIX)), 0);

  void* data = nullptr;
  ASSERT_EQ(CubeVertexBuffer->Lock(0, 96, &data, LOCK_READONLY), GFX_OK);
  EXPECT_EQ(std::memcmp(data, CubeVertices, 96), 0);
  CubeVertexBuffer->Unlock();
  ASSERT_EQ(CubeIndexBuffer->Lock(0, 48, &data, LOCK_READONLY), GFX_OK);
  EXPECT_EQ(std::memcmp(data, CubeIndices, 48), 0);
  CubeIndexBuffer->Unlock();

  ReleaseGraphics();
}

TEST_F(ViewerGraphicsTest, EveryFrameSetsTheWorldFromTheAngles) {
  SetUpGraphics();
  ASSERT_NE(Device, nullptr);
  YawDegrees = -30.0f;
  PitchDegrees = 12.0f;
  RenderFrame();
  KMMATRIX world, rotation, translation;
  ASSERT_EQ(Device->GetTransform(TRANSFORM_WORLD, &world), GFX_OK);
  KMMatrixRotationYawPitchRoll(&rotation, -30.0f * 0.0174532924f, 12.0f * 0.0174532924f, 0.0f);
  KMMatrixTranslation(&translation, 0.0f, 0.0f, 5.0f);
  KMMATRIX expected = rotation * translation;
  EXPECT_EQ(std::memcmp(&world, &expected, sizeof(KMMATRIX)), 0);
  EXPECT_FLOAT_EQ(world._43, 5.0f) << "rotated about its centre, then moved";
  EXPECT_EQ(HeadlessFrames().size(), 1u);
  ReleaseGraphics();
}

TEST_F(ViewerGraphicsTest, MissingDeviceMeansNoDrawingAndNoCrash) {
  // A device without a window cannot be made; the viewer then draws nothing.
  MainWindow = nullptr;
  SetUpGraphics();
  if (Device != nullptr) GTEST_SKIP() << "the device layer accepted a device without a window";
  EXPECT_EQ(CubeVertexBuffer, nullptr);
  EXPECT_EQ(CubeIndexBuffer, nullptr);
  RenderFrame();
  RenderFrame();
  EXPECT_TRUE(HeadlessFrames().empty());
  ReleaseGraphics();
}

// ---- The first frame ---------------------------------------------------------------

struct ScreenPoint {
  double x, y;
};

// Distance from p to the segment a-b.
double DistanceToSegment(ScreenPoint p, ScreenPoint a, ScreenPoint b) {
  double dx = b.x - a.x, dy = b.y - a.y;
  double t = ((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy);
  t = std::fmax(0.0, std::fmin(1.0, t));
  double ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
  return std::sqrt(ex * ex + ey * ey);
}

TEST_F(ViewerTest, FirstFrameShowsOnlyTheNearFaceOutlineAndOneDiagonal) {
  HeadlessInjectKeyDown(KEY_ESCAPE);
  ASSERT_EQ(Run(), 0);
  ASSERT_FALSE(HeadlessFrames().empty());
  const HeadlessFrame& f = HeadlessFrames()[0];
  ASSERT_EQ(f.width, 640);
  ASSERT_EQ(f.height, 480);

  // Corners of the face z = -1 in normalised coordinates: +-cot(pi/8)/(4 aspect), +-cot(pi/8)/4.
  const double cot = 1.0 / std::tan(3.14159265358979 / 8.0);
  const double nx = cot / (4.0 * (4.0 / 3.0)), ny = cot / 4.0;
  auto toScreen = [](double x, double y) {
    return ScreenPoint{(x + 1.0) * 0.5 * 640.0, (1.0 - y) * 0.5 * 480.0};
  };
  const ScreenPoint v0 = toScreen(-nx, ny), v1 = toScreen(nx, ny);
  const ScreenPoint v2 = toScreen(-nx, -ny), v3 = toScreen(nx, -ny);
  const ScreenPoint drawn[][2] = {{v0, v1}, {v2, v3}, {v0, v2}, {v1, v3}, {v1, v2}};

  auto pixel = [&](int x, int y) { return f.pixels[static_cast<std::size_t>(y) * 640 + x]; };
  auto whiteNear = [&](ScreenPoint p, int radius) {
    for (int y = static_cast<int>(p.y) - radius; y <= static_cast<int>(p.y) + radius; ++y) {
      for (int x = static_cast<int>(p.x) - radius; x <= static_cast<int>(p.x) + radius; ++x) {
        if (x >= 0 && y >= 0 && x < 640 && y < 480 && pixel(x, y) == kWhite) return true;
      }
    }
    return false;
  };

  // Only opaque black and white, and every white pixel on one of the five lines.
  int whiteCount = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      std::uint32_t p = pixel(x, y);
      ASSERT_TRUE(p == kBlack || p == kWhite)
          << std::hex << p << " at " << std::dec << x << "," << y;
      if (p != kWhite) continue;
      ++whiteCount;
      ScreenPoint c{x + 0.5, y + 0.5};
      double nearest = 1e9;
      for (const auto& seg : drawn)
        nearest = std::fmin(nearest, DistanceToSegment(c, seg[0], seg[1]));
      ASSERT_LT(nearest, 1.5) << "stray white pixel at " << x << "," << y;
    }
  }
  // The lines are whole: every stretch of each has a white pixel at hand.
  for (const auto& seg : drawn) {
    for (int i = 1; i < 40; ++i) {
      double t = i / 40.0;
      ScreenPoint p{seg[0].x + t * (seg[1].x - seg[0].x), seg[0].y + t * (seg[1].y - seg[0].y)};
      EXPECT_TRUE(whiteNear(p, 1)) << "gap near " << p.x << "," << p.y;
    }
  }
  // One-pixel lines: about the total length of the five segments.
  EXPECT_GT(whiteCount, 1100);
  EXPECT_LT(whiteCount, 2300);
  // The other diagonal (0 to 3) is not drawn, away from the centre where they cross.
  for (double t : {0.2, 0.3, 0.7, 0.8}) {
    ScreenPoint p{v0.x + t * (v3.x - v0.x), v0.y + t * (v3.y - v0.y)};
    EXPECT_FALSE(whiteNear(p, 2)) << "diagonal 0-3 near " << p.x << "," << p.y;
  }
}

}  // namespace
}  // namespace kubik
