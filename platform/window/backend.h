// Inside of the window-system layer: what a backend provides and what the
// common part offers back. Not for programs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/window/window.h"

namespace kubik::window_internal {

class TopLevelWindow : public Window {
 public:
  ~TopLevelWindow() override = default;

  void PresentFrame(const std::uint32_t* pixels, int width, int height, int pitch) final {
    // A device may outlive its window; frames for a destroyed window are dropped.
    if (alive && pixels != nullptr && width > 0 && height > 0 && pitch >= width) {
      ShowFrame(pixels, width, height, pitch);
    }
  }

  std::string className;
  std::string title;
  std::uint32_t style = 0;
  WindowProc procedure = nullptr;
  InstanceHandle instance = nullptr;
  int x = 0, y = 0;  // outer position on the screen
  int clientWidth = 0, clientHeight = 0;
  bool alive = true;
  bool visible = false;

 protected:
  virtual void ShowFrame(const std::uint32_t* pixels, int width, int height, int pitch) = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // Opens the native window. On failure returns null after writing one line
  // to stderr saying why.
  virtual std::unique_ptr<TopLevelWindow> CreateNativeWindow(const char* title, std::uint32_t style,
                                                             int x, int y, int width,
                                                             int height) = 0;
  virtual void ShowNativeWindow(TopLevelWindow& window, int showCommand) = 0;
  virtual void DestroyNativeWindow(TopLevelWindow& window) = 0;

  // Moves pending user input into the queue (through QueueMessage).
  virtual void PumpInput() = 0;

  // False when no box can be shown; the caller then writes the line to stderr.
  virtual bool ShowNativeMessageBox(const char* text, const char* caption, std::uint32_t flags) = 0;

  virtual WindowPoint CursorPosition() = 0;

  virtual bool RegistrationFails() { return false; }
};

Backend& DesktopBackend();
Backend& HeadlessBackendInstance();

// Drops the headless backend's pending input, kept frames and forced failures.
void ResetHeadlessBackend();

// Appends a message stamped with the time and the cursor position.
void QueueMessage(WindowHandle window, std::uint32_t code, WParam wParam, LParam lParam);

// The newest live window, the one input goes to; null when there is none.
TopLevelWindow* FrontWindow();

// Whether a client-area position lies inside the client area.
inline bool InsideClient(const TopLevelWindow& window, int x, int y) {
  return x >= 0 && y >= 0 && x < window.clientWidth && y < window.clientHeight;
}

// Ends the process with kExitDisplayLost and a line on stderr when the
// connection to the X display breaks, instead of the display library's own
// exit with code 1 (the code of a failed start).
void WatchForDisplayLoss();

// Milliseconds since the layer started.
std::uint32_t MessageTime();

}  // namespace kubik::window_internal
