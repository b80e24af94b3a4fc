// Entry, window, message loop and drag input of the viewer.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/window/window.h"
#include "viewer/viewer.h"

namespace kubik {

WindowHandle MainWindow = nullptr;
bool Dragging = false;
std::int32_t MouseX = 0;
std::int32_t MouseY = 0;
std::int32_t LastMouseX = 0;
std::int32_t LastMouseY = 0;
float YawDegrees = 0.0f;
float PitchDegrees = 0.0f;

namespace {

// Positions are unsigned 16-bit fields: widened, never sign-extended.
std::int32_t LowWord(LParam value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) & 0xFFFFu);
}
std::int32_t HighWord(LParam value) {
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(value) >> 16) & 0xFFFFu);
}

}  // namespace

ProcResult ViewerWindowProc(WindowHandle window, std::uint32_t code, WParam wParam, LParam lParam) {
  switch (code) {
    case MSG_CLOSE:
      // Quit without destroying: the device keeps a live window until teardown.
      PostQuitMessage(0);
      return 0;
    case MSG_DESTROY:
      PostQuitMessage(0);
      return 0;
    case MSG_KEYDOWN:
      if (wParam == KEY_ESCAPE) PostQuitMessage(0);
      return 0;
    case MSG_LBUTTONDOWN:
      MouseX = LastMouseX = LowWord(lParam);
      MouseY = LastMouseY = HighWord(lParam);
      Dragging = true;
      return 0;
    case MSG_LBUTTONUP:
      Dragging = false;
      return 0;
    case MSG_MOUSEMOVE:
      MouseX = LowWord(lParam);
      MouseY = HighWord(lParam);
      if (Dragging) {
        YawDegrees = YawDegrees - static_cast<float>(MouseX - LastMouseX);
        PitchDegrees = PitchDegrees - static_cast<float>(MouseY - LastMouseY);
      }
      LastMouseX = MouseX;
      LastMouseY = MouseY;
      return 0;
    default:
      return DefaultWindowProc(window, code, wParam, lParam);
  }
}

std::int32_t ViewerMain(InstanceHandle instance, int showCommand) {
  WindowClass windowClass;
  windowClass.style = CLASS_REDRAW_ON_WIDTH | CLASS_REDRAW_ON_HEIGHT;
  windowClass.procedure = ViewerWindowProc;
  windowClass.instance = instance;
  windowClass.icon = ICON_APPLICATION;
  windowClass.cursor = CURSOR_ARROW;
  windowClass.background = BACKGROUND_BLACK;
  windowClass.className = kViewerClassName;
  if (RegisterWindowClass(&windowClass) == 0) {
    ShowMessageBox(nullptr, kRegistrationFailedText, nullptr, MESSAGE_BOX_OK);
    std::exit(1);
  }

  MainWindow = CreateTopLevelWindow(kViewerClassName, kViewerTitle, WINDOW_OVERLAPPED, 0, 0, 640,
                                    480, nullptr, instance);
  if (MainWindow == nullptr) {
    ShowMessageBox(nullptr, kWindowFailedText, nullptr, MESSAGE_BOX_OK);
    std::exit(1);
  }

  ShowTopLevelWindow(MainWindow, showCommand);
  UpdateTopLevelWindow(MainWindow);

  WindowMessage message;
  std::memset(&message, 0, sizeof(message));

  SetUpGraphics();

  // Busy loop: at most one message per turn, then one frame. The turn that
  // takes the quit message still draws.
  while (message.code != MSG_QUIT) {
    if (PeekWindowMessage(&message, nullptr, 0, 0, PEEK_REMOVE)) {
      TranslateWindowMessage(&message);
      DispatchWindowMessage(&message);
    }
    RenderFrame();
  }

  ReleaseGraphics();
  UnregisterWindowClass(kViewerClassName, instance);
  return static_cast<std::int32_t>(message.wParam);
}

}  // namespace kubik
