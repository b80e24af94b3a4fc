// Window-system layer, driven through its headless backend (and the desktop
// backend where no display can be reached).
#include "platform/window/window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/window/headless.h"
#include "tests/death_test_style.h"

namespace kubik {
namespace {

struct Seen {
  WindowHandle window;
  std::uint32_t code;
  WParam wParam;
  LParam lParam;
};

std::vector<Seen> seen;
// What the recording procedure does with messages it does not record.
bool passCloseToDefault = true;

ProcResult RecordingProc(WindowHandle window, std::uint32_t code, WParam wParam, LParam lParam) {
  seen.push_back({window, code, wParam, lParam});
  if (code == MSG_CLOSE && passCloseToDefault) {
    return DefaultWindowProc(window, code, wParam, lParam);
  }
  return 0;
}

std::vector<std::uint32_t> SeenCodes() {
  std::vector<std::uint32_t> codes;
  for (const Seen& s : seen) codes.push_back(s.code);
  return codes;
}

WindowClass TestClass(const char* name = "Test") {
  WindowClass c{};
  c.procedure = RecordingProc;
  c.instance = GetProcessInstance();
  c.className = name;
  return c;
}

class HeadlessWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(UseHeadlessWindowSystem());
    ResetWindowSystem();
    seen.clear();
    passCloseToDefault = true;
  }
  void TearDown() override { ResetWindowSystem(); }

  WindowHandle MakeWindow(int width = 640, int height = 480) {
    WindowClass c = TestClass();
    EXPECT_NE(RegisterWindowClass(&c), 0);
    WindowHandle w = CreateTopLevelWindow("Test", "title", WINDOW_OVERLAPPED, 0, 0, width, height,
                                          nullptr, GetProcessInstance());
    EXPECT_NE(w, nullptr);
    seen.clear();
    return w;
  }

  static bool Take(WindowMessage* m) { return PeekWindowMessage(m, nullptr, 0, 0, PEEK_REMOVE); }
};

TEST_F(HeadlessWindowTest, MessageCodesAreDistinctAndNonzero) {
  const std::vector<std::uint32_t> codes = {
      MSG_QUIT,      MSG_CLOSE,     MSG_DESTROY, MSG_KEYDOWN, MSG_KEYUP, MSG_LBUTTONDOWN,
      MSG_LBUTTONUP, MSG_MOUSEMOVE, MSG_CREATE,  MSG_SHOW,    MSG_PAINT};
  for (std::size_t i = 0; i < codes.size(); ++i) {
    EXPECT_NE(codes[i], 0u);
    for (std::size_t j = i + 1; j < codes.size(); ++j) EXPECT_NE(codes[i], codes[j]);
  }
}

TEST_F(HeadlessWindowTest, RegistrationRefusesBadOrDuplicateClasses) {
  WindowClass c = TestClass();
  ClassId first = RegisterWindowClass(&c);
  EXPECT_NE(first, 0);
  EXPECT_EQ(RegisterWindowClass(&c), 0) << "a name is registered once";

  WindowClass noProc = TestClass("NoProc");
  noProc.procedure = nullptr;
  EXPECT_EQ(RegisterWindowClass(&noProc), 0);
  WindowClass noName = TestClass(nullptr);
  EXPECT_EQ(RegisterWindowClass(&noName), 0);
  EXPECT_EQ(RegisterWindowClass(nullptr), 0);

  WindowClass other = TestClass("Other");
  ClassId second = RegisterWindowClass(&other);
  EXPECT_NE(second, 0);
  EXPECT_NE(second, first);
}

TEST_F(HeadlessWindowTest, ForcedRegistrationFailure) {
  HeadlessFailRegistration(true);
  WindowClass c = TestClass();
  EXPECT_EQ(RegisterWindowClass(&c), 0);
  HeadlessFailRegistration(false);
  EXPECT_NE(RegisterWindowClass(&c), 0);
}

TEST_F(HeadlessWindowTest, CreationFailsForUnknownClassOrWhenForced) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(CreateTopLevelWindow("Missing", "t", 0, 0, 0, 10, 10, nullptr, nullptr), nullptr);
  WindowClass c = TestClass();
  ASSERT_NE(RegisterWindowClass(&c), 0);
  HeadlessFailWindowCreation(true);
  EXPECT_EQ(CreateTopLevelWindow("Test", "t", 0, 0, 0, 10, 10, nullptr, nullptr), nullptr);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Missing"), std::string::npos) << err;
  EXPECT_TRUE(seen.empty()) << "no procedure runs for a window that was not made";
}

TEST_F(HeadlessWindowTest, CreationShowAndUpdateSendSynchronously) {
  WindowClass c = TestClass();
  ASSERT_NE(RegisterWindowClass(&c), 0);
  WindowHandle w = CreateTopLevelWindow("Test", "title", WINDOW_OVERLAPPED, 0, 0, 640, 480, nullptr,
                                        GetProcessInstance());
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(SeenCodes(), std::vector<std::uint32_t>{MSG_CREATE});
  EXPECT_FALSE(ShowTopLevelWindow(w, SHOW_DEFAULT)) << "was hidden before";
  EXPECT_TRUE(UpdateTopLevelWindow(w));
  EXPECT_EQ(SeenCodes(), (std::vector<std::uint32_t>{MSG_CREATE, MSG_SHOW, MSG_PAINT}));
  EXPECT_EQ(seen[1].wParam, 1u);
  WindowMessage m;
  EXPECT_FALSE(Take(&m)) << "sent messages never go through the queue";

  int cw = 0, ch = 0;
  ASSERT_TRUE(GetClientSize(w, &cw, &ch));
  EXPECT_EQ(cw, 640);
  EXPECT_EQ(ch, 480);
}

TEST_F(HeadlessWindowTest, QueueIsFifoAndQuitCarriesTheExitCode) {
  WindowHandle w = MakeWindow();
  PostWindowMessage(w, MSG_KEYDOWN, 'A', 0);
  PostQuitMessage(7);
  PostWindowMessage(w, MSG_KEYDOWN, 'B', 0);

  WindowMessage m{};
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.code, MSG_KEYDOWN);
  EXPECT_EQ(m.wParam, WParam{'A'});
  EXPECT_EQ(m.window, w);
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.code, MSG_QUIT);
  EXPECT_EQ(m.wParam, 7u);
  EXPECT_EQ(m.window, nullptr);
  EXPECT_EQ(DispatchWindowMessage(&m), 0);
  EXPECT_TRUE(seen.empty()) << "the quit message reaches no procedure";
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.wParam, WParam{'B'});
  EXPECT_FALSE(Take(&m));
}

TEST_F(HeadlessWindowTest, PeekCanKeepAndFilter) {
  WindowHandle w = MakeWindow();
  PostWindowMessage(w, MSG_KEYDOWN, 'A', 0);
  PostWindowMessage(w, MSG_MOUSEMOVE, 0, MakeMouseParam(1, 2));
  WindowMessage m{};
  ASSERT_TRUE(PeekWindowMessage(&m, nullptr, 0, 0, PEEK_KEEP));
  EXPECT_EQ(m.code, MSG_KEYDOWN);
  ASSERT_TRUE(PeekWindowMessage(&m, w, MSG_MOUSEMOVE, MSG_MOUSEMOVE, PEEK_REMOVE));
  EXPECT_EQ(m.code, MSG_MOUSEMOVE);
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.code, MSG_KEYDOWN);
  EXPECT_FALSE(Take(&m));
}

TEST_F(HeadlessWindowTest, DispatchCallsTheClassProcedureWithTheFourArguments) {
  WindowHandle w = MakeWindow();
  PostWindowMessage(w, MSG_MOUSEMOVE, MOUSE_LBUTTON, MakeMouseParam(3, 4));
  WindowMessage m{};
  ASSERT_TRUE(Take(&m));
  EXPECT_TRUE(TranslateWindowMessage(&m) == false);
  DispatchWindowMessage(&m);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].window, w);
  EXPECT_EQ(seen[0].code, MSG_MOUSEMOVE);
  EXPECT_EQ(seen[0].wParam, WParam{MOUSE_LBUTTON});
  EXPECT_EQ(seen[0].lParam, MakeMouseParam(3, 4));
}

TEST_F(HeadlessWindowTest, MouseParamPacksSixteenBitFields) {
  EXPECT_EQ(MakeMouseParam(0x1234, 0x5678), LParam{0x56781234});
  EXPECT_EQ(MakeMouseParam(0xFFFF, 0), LParam{0xFFFF});
  EXPECT_EQ(MakeMouseParam(0, 0xFFFF), LParam{0xFFFF0000});
}

TEST_F(HeadlessWindowTest, DefaultProcDestroysOnCloseAndDropsItsMessages) {
  WindowHandle w = MakeWindow();
  PostWindowMessage(w, MSG_KEYDOWN, 'A', 0);
  EXPECT_EQ(DefaultWindowProc(w, MSG_CLOSE, 0, 0), 0);
  EXPECT_EQ(SeenCodes(), std::vector<std::uint32_t>{MSG_DESTROY});
  EXPECT_FALSE(IsLiveWindow(w));
  WindowMessage m;
  EXPECT_FALSE(Take(&m)) << "messages of a destroyed window are dropped";
  EXPECT_FALSE(DestroyTopLevelWindow(w));
  EXPECT_EQ(SendWindowMessage(w, MSG_PAINT, 0, 0), 0);
  EXPECT_EQ(seen.size(), 1u);

  // Its class can go once no window of it is left.
  EXPECT_TRUE(UnregisterWindowClass("Test", GetProcessInstance()));
}

TEST_F(HeadlessWindowTest, ClassStaysRegisteredWhileAWindowLives) {
  WindowHandle w = MakeWindow();
  EXPECT_FALSE(UnregisterWindowClass("Test", GetProcessInstance()));
  EXPECT_TRUE(IsLiveWindow(w));
  EXPECT_FALSE(UnregisterWindowClass("Nope", GetProcessInstance()));
}

TEST_F(HeadlessWindowTest, CloseBoxIsQueuedAsCloseAndDestroysOnlyThroughTheDefault) {
  WindowHandle w = MakeWindow();
  passCloseToDefault = false;
  HeadlessInjectClose();
  WindowMessage m{};
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.code, MSG_CLOSE);
  DispatchWindowMessage(&m);
  EXPECT_TRUE(IsLiveWindow(w)) << "a procedure that keeps MSG_CLOSE keeps its window";
}

TEST_F(HeadlessWindowTest, InjectedInputWaitsForAWindowAndGoesToIt) {
  HeadlessInjectKeyDown(KEY_ESCAPE);
  WindowMessage m{};
  EXPECT_FALSE(Take(&m));
  WindowHandle w = MakeWindow();
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.window, w);
  EXPECT_EQ(m.code, MSG_KEYDOWN);
  EXPECT_EQ(m.wParam, WParam{KEY_ESCAPE});
  EXPECT_TRUE(TranslateWindowMessage(&m));
}

TEST_F(HeadlessWindowTest, MouseOutsideTheClientAreaIsNotDelivered) {
  WindowHandle w = MakeWindow(640, 480);
  HeadlessInjectMouse(MSG_LBUTTONDOWN, 10, 20);
  HeadlessInjectMouse(MSG_MOUSEMOVE, 700, 20);  // right of the window
  HeadlessInjectMouse(MSG_MOUSEMOVE, 10, -1);   // above it
  HeadlessInjectMouse(MSG_LBUTTONUP, 640, 480);
  HeadlessInjectMouse(MSG_MOUSEMOVE, 639, 479);
  WindowMessage m{};
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.code, MSG_LBUTTONDOWN);
  EXPECT_EQ(m.lParam, MakeMouseParam(10, 20));
  EXPECT_EQ(m.window, w);
  ASSERT_TRUE(Take(&m));
  EXPECT_EQ(m.code, MSG_MOUSEMOVE);
  EXPECT_EQ(m.lParam, MakeMouseParam(639, 479));
  EXPECT_EQ(m.wParam, 0u) << "the release outside still let go of the button";
  EXPECT_FALSE(Take(&m));
}

TEST_F(HeadlessWindowTest, FramesAreKeptRowByRowHonouringThePitch) {
  WindowHandle w = MakeWindow();
  // 3 x 2 pixels in rows 4 apart; the padding must not leak into the frame.
  const std::uint32_t pixels[] = {1, 2, 3, 0xDEAD, 4, 5, 6, 0xBEEF};
  w->PresentFrame(pixels, 3, 2, 4);
  ASSERT_EQ(HeadlessFrames().size(), 1u);
  const HeadlessFrame& f = HeadlessFrames()[0];
  EXPECT_EQ(f.window, w);
  EXPECT_EQ(f.width, 3);
  EXPECT_EQ(f.height, 2);
  EXPECT_EQ(f.pixels, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6}));

  w->PresentFrame(pixels, 3, 2, 2);  // pitch shorter than a row: refused
  EXPECT_EQ(HeadlessFrames().size(), 1u);
  DestroyTopLevelWindow(w);
  w->PresentFrame(pixels, 3, 2, 4);  // the handle stays safe to use
  EXPECT_EQ(HeadlessFrames().size(), 1u);
}

TEST_F(HeadlessWindowTest, MessageBoxIsOneLineOnStderr) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ShowMessageBox(nullptr, "something broke", nullptr, MESSAGE_BOX_OK),
            MESSAGE_BOX_RESULT_OK);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: something broke\n");
  ::testing::internal::CaptureStderr();
  ShowMessageBox(nullptr, "text", "Caption", MESSAGE_BOX_OK);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Caption: text\n");
}

TEST_F(HeadlessWindowTest, BackendCannotChangeWhileAWindowLives) {
  WindowHandle w = MakeWindow();
  EXPECT_FALSE(UseDesktopWindowSystem());
  EXPECT_TRUE(UsingHeadlessWindowSystem());
  DestroyTopLevelWindow(w);
  EXPECT_TRUE(UseDesktopWindowSystem());
  EXPECT_TRUE(UseHeadlessWindowSystem());
}

using DesktopWindowDeathTest = HeadlessWindowTest;

TEST_F(DesktopWindowDeathTest, NoDisplayMeansNoWindowAndOneLineSayingWhy) {
  GTEST_FLAG_SET(death_test_style, kubik::testing::kDeathTestStyle);
  EXPECT_EXIT(
      {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        UseDesktopWindowSystem();
        WindowClass c = TestClass();
        RegisterWindowClass(&c);
        WindowHandle w =
            CreateTopLevelWindow("Test", "t", WINDOW_OVERLAPPED, 0, 0, 640, 480, nullptr, nullptr);
        ShowMessageBox(nullptr, "fallback", nullptr, MESSAGE_BOX_OK);
        std::exit(w == nullptr ? 3 : 4);
      },
      ::testing::ExitedWithCode(3), "no display.*Error: fallback");
}

}  // namespace
}  // namespace kubik
