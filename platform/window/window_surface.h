// The part of a window that the graphics device layer needs: a place to show
// a finished frame. The graphics module sees windows only through this
// interface, so it never links the window layer's state into itself.
#pragma once

#include <cstdint>

namespace kubik {

class Window {
 public:
  // Shows a frame of width × height pixels, 0xAARRGGBB, rows top to bottom,
  // `pitch` pixels apart. The window scales it into its client area.
  virtual void PresentFrame(const std::uint32_t* pixels, int width, int height, int pitch) = 0;

 protected:
  virtual ~Window() = default;
};

using WindowHandle = Window*;

}  // namespace kubik
