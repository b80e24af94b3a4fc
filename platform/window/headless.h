// Headless form of the window-system layer, for tests and machines without a
// display. Windows live in memory, input is what the caller injects, every
// presented frame is kept, and message boxes are one line on stderr.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/window/window.h"

namespace kubik {

// Chooses the headless backend. Returns false (and changes nothing) while a
// window exists.
bool UseHeadlessWindowSystem();
bool UsingHeadlessWindowSystem();
// Goes back to the desktop backend (the default), under the same condition.
bool UseDesktopWindowSystem();

// Forgets every class, window, queued message, pending input and kept frame,
// and clears the forced failures. The backend choice stays.
void ResetWindowSystem();

// Forced failures, until cleared or reset.
void HeadlessFailRegistration(bool fail);
void HeadlessFailWindowCreation(bool fail);

// Simulated user input. It is held until the next PeekWindowMessage, which
// queues it for the newest live window, as a desktop delivers input to the
// window in front. Mouse input outside that window's client area is dropped:
// the mouse is not captured.
void HeadlessInjectKeyDown(WParam key);
void HeadlessInjectKeyUp(WParam key);
void HeadlessInjectMouse(std::uint32_t code, int clientX, int clientY);
void HeadlessInjectClose();  // the close box

struct HeadlessFrame {
  WindowHandle window;
  int width;
  int height;
  std::vector<std::uint32_t> pixels;  // 0xAARRGGBB, width * height, rows top to bottom
};

// Every frame presented since the last reset, oldest first.
const std::vector<HeadlessFrame>& HeadlessFrames();

}  // namespace kubik
