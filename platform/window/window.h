// Window-system layer: window classes, one top-level window per program, a
// per-thread message queue with a non-blocking take, dispatch to the class's
// window procedure, and a one-button message box.
//
// Two backends sit behind these calls: a desktop backend (real window, real
// mouse and keyboard) and a headless one for tests and machines without a
// display (see headless.h). Everything runs on the thread that calls it; the
// window procedure is called synchronously inside DispatchWindowMessage and
// inside the calls that send messages (creation, show, update, destruction).
#pragma once

#include <cstdint>

#include "platform/window/window_surface.h"

namespace kubik {

// Opaque token of the program module that owns classes and windows.
struct InstanceToken;
using InstanceHandle = InstanceToken*;

// The handle of the running program, never null.
InstanceHandle GetProcessInstance();

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using ProcResult = std::intptr_t;
using ClassId = std::uint16_t;

using WindowProc = ProcResult (*)(WindowHandle window, std::uint32_t code, WParam wParam,
                                  LParam lParam);

// Message codes. Zero is never used, so a zeroed record holds no message.
enum : std::uint32_t {
  MSG_CREATE = 1,  // sent during CreateTopLevelWindow
  MSG_DESTROY = 2,
  MSG_SHOW = 3,   // sent by ShowTopLevelWindow; wParam 1 when shown, 0 when hidden
  MSG_PAINT = 4,  // sent by UpdateTopLevelWindow
  MSG_CLOSE = 5,  // the user asked to close the window (close box)
  MSG_QUIT = 6,   // wParam is the exit code; addressed to no window
  MSG_KEYDOWN = 16,
  MSG_KEYUP = 17,
  MSG_MOUSEMOVE = 32,
  MSG_LBUTTONDOWN = 33,
  MSG_LBUTTONUP = 34,
};

// Key codes in wParam of MSG_KEYDOWN / MSG_KEYUP. Letters and digits use
// their upper-case character codes; keys without a code here get
// KEY_OTHER_BASE plus a backend-specific number.
enum : WParam {
  KEY_BACKSPACE = 8,
  KEY_TAB = 9,
  KEY_RETURN = 13,
  KEY_ESCAPE = 27,
  KEY_SPACE = 32,
  KEY_OTHER_BASE = 0x1000,
};

// Flags in wParam of mouse messages: buttons held at the time of the message.
enum : WParam {
  MOUSE_LBUTTON = 1,
  MOUSE_RBUTTON = 2,
  MOUSE_MBUTTON = 4,
};

// Mouse position in lParam: x in the low 16 bits, y in the high 16 bits.
constexpr LParam MakeMouseParam(int x, int y) {
  return static_cast<LParam>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) |
                             static_cast<std::uint32_t>(x & 0xFFFF));
}

// Class styles.
enum : std::uint32_t {
  CLASS_REDRAW_ON_WIDTH = 1u << 0,
  CLASS_REDRAW_ON_HEIGHT = 1u << 1,
};

// Window styles.
enum : std::uint32_t {
  WINDOW_TITLE_BAR = 1u << 0,
  WINDOW_SYSTEM_MENU = 1u << 1,  // includes the close box
  WINDOW_SIZING_BORDER = 1u << 2,
  WINDOW_MINIMIZE_BOX = 1u << 3,
  WINDOW_MAXIMIZE_BOX = 1u << 4,
  WINDOW_EDGED_FRAME = 1u << 5,
  WINDOW_OVERLAPPED = WINDOW_TITLE_BAR | WINDOW_SYSTEM_MENU | WINDOW_SIZING_BORDER |
                      WINDOW_MINIMIZE_BOX | WINDOW_MAXIMIZE_BOX | WINDOW_EDGED_FRAME,
};

// Show commands for ShowTopLevelWindow.
enum : int {
  SHOW_HIDE = 0,
  SHOW_NORMAL = 1,
  SHOW_MINIMIZED = 2,
  SHOW_MAXIMIZED = 3,
  SHOW_DEFAULT = 4,
};

// Stock resources a class can name.
enum : std::uint32_t { ICON_APPLICATION = 1 };
enum : std::uint32_t { CURSOR_ARROW = 1 };
enum : std::uint32_t { BACKGROUND_BLACK = 1, BACKGROUND_WHITE = 2 };

// PeekWindowMessage removal flag.
enum : std::uint32_t {
  PEEK_KEEP = 0,
  PEEK_REMOVE = 1,
};

// Message box flags: the buttons (only OK exists) and an optional icon.
enum : std::uint32_t {
  MESSAGE_BOX_OK = 0,
  MESSAGE_BOX_ICON_ERROR = 0x10,
  MESSAGE_BOX_ICON_WARNING = 0x20,
  MESSAGE_BOX_ICON_INFORMATION = 0x40,
};
enum : int { MESSAGE_BOX_RESULT_OK = 1 };

struct WindowClass {
  std::uint32_t style;
  WindowProc procedure;
  InstanceHandle instance;
  std::uint32_t icon;
  std::uint32_t cursor;
  std::uint32_t background;
  const char* className;
};

struct WindowPoint {
  std::int32_t x;
  std::int32_t y;
};

struct WindowMessage {
  WindowHandle window;  // null for messages addressed to the thread (MSG_QUIT)
  std::uint32_t code;
  WParam wParam;
  LParam lParam;
  std::uint32_t time;  // milliseconds since the layer started
  WindowPoint cursor;  // cursor position on the screen when the message was queued
};

// Returns the class identifier, or 0 when the class cannot be registered
// (missing name or procedure, or the name is taken).
ClassId RegisterWindowClass(const WindowClass* windowClass);

// Fails (returns false) while a live window of the class exists.
bool UnregisterWindowClass(const char* className, InstanceHandle instance);

// Creates a top-level window of outer size width x height at (x, y). Returns
// null when the class is unknown or no window can be opened (the reason goes
// to stderr as one line). MSG_CREATE reaches the procedure before it returns.
WindowHandle CreateTopLevelWindow(const char* className, const char* title, std::uint32_t style,
                                  int x, int y, int width, int height, WindowHandle parent,
                                  InstanceHandle instance);

// Returns whether the window was visible before the call.
bool ShowTopLevelWindow(WindowHandle window, int showCommand);
bool UpdateTopLevelWindow(WindowHandle window);

// Sends MSG_DESTROY and then removes the window and its queued messages.
bool DestroyTopLevelWindow(WindowHandle window);

// True from creation until destruction.
bool IsLiveWindow(WindowHandle window);

// Size of the client area, in pixels.
bool GetClientSize(WindowHandle window, int* width, int* height);

// Takes the first queued message for `window` (null: any) whose code lies in
// [minCode, maxCode] (both 0: any). Never waits. Returns false when none.
bool PeekWindowMessage(WindowMessage* message, WindowHandle window, std::uint32_t minCode,
                       std::uint32_t maxCode, std::uint32_t removeFlag);

// Key translation hook; this layer produces no character messages. Returns
// true for key messages.
bool TranslateWindowMessage(const WindowMessage* message);

// Calls the procedure of the message's window; messages without a live
// window go nowhere and give 0.
ProcResult DispatchWindowMessage(const WindowMessage* message);

// Calls the window's procedure at once.
ProcResult SendWindowMessage(WindowHandle window, std::uint32_t code, WParam wParam, LParam lParam);

// Appends a message to the queue.
bool PostWindowMessage(WindowHandle window, std::uint32_t code, WParam wParam, LParam lParam);

// Appends MSG_QUIT carrying `exitCode` to the queue.
void PostQuitMessage(int exitCode);

// What a window does with a message its procedure leaves alone: MSG_CLOSE
// destroys the window; everything else is ignored and gives 0.
ProcResult DefaultWindowProc(WindowHandle window, std::uint32_t code, WParam wParam, LParam lParam);

// One OK button. A null caption shows "Error". Shown on the desktop when a
// display is there, else written as one line to stderr. Returns
// MESSAGE_BOX_RESULT_OK.
int ShowMessageBox(WindowHandle owner, const char* text, const char* caption, std::uint32_t flags);

// Exit code of a process whose display went away while it ran: the desktop
// backend writes one line to stderr and ends the process with it at once.
inline constexpr int kExitDisplayLost = 3;

}  // namespace kubik
