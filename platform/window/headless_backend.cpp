// Headless backend: windows in memory, injected input, frames kept for
// inspection, message boxes on stderr.
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "platform/window/backend.h"
#include "platform/window/headless.h"

namespace kubik {
namespace window_internal {
namespace {

struct Input {
  std::uint32_t code;
  WParam wParam;
  int x, y;  // client coordinates, mouse input only
  bool mouse;
};

struct HeadlessState {
  bool failRegistration = false;
  bool failCreation = false;
  std::deque<Input> input;
  std::vector<HeadlessFrame> frames;
  WindowPoint cursor{0, 0};
  WParam buttons = 0;
};

HeadlessState& Headless() {
  static HeadlessState* state = new HeadlessState;
  return *state;
}

class HeadlessWindow final : public TopLevelWindow {
 protected:
  void ShowFrame(const std::uint32_t* pixels, int width, int height, int pitch) override {
    HeadlessFrame frame{this, width, height, {}};
    frame.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int row = 0; row < height; ++row) {
      std::memcpy(&frame.pixels[static_cast<std::size_t>(row) * static_cast<std::size_t>(width)],
                  pixels + static_cast<std::ptrdiff_t>(row) * pitch,
                  static_cast<std::size_t>(width) * sizeof(std::uint32_t));
    }
    Headless().frames.push_back(std::move(frame));
  }
};

class HeadlessBackend final : public Backend {
 public:
  std::unique_ptr<TopLevelWindow> CreateNativeWindow(const char* /*title*/, std::uint32_t /*style*/,
                                                     int x, int y, int width, int height) override {
    if (Headless().failCreation) {
      std::fprintf(stderr, "window system: window creation refused (headless test setting)\n");
      return nullptr;
    }
    auto w = std::make_unique<HeadlessWindow>();
    // No frame here: the client area is the whole outer rectangle.
    w->x = x;
    w->y = y;
    w->clientWidth = width > 0 ? width : 0;
    w->clientHeight = height > 0 ? height : 0;
    return w;
  }

  void ShowNativeWindow(TopLevelWindow&, int) override {}
  void DestroyNativeWindow(TopLevelWindow&) override {}

  void PumpInput() override {
    HeadlessState& h = Headless();
    TopLevelWindow* front = FrontWindow();
    if (front == nullptr) return;  // held until a window can receive it
    while (!h.input.empty()) {
      Input in = h.input.front();
      h.input.pop_front();
      if (!in.mouse) {
        QueueMessage(front, in.code, in.wParam, 0);
        continue;
      }
      if (in.code == MSG_LBUTTONDOWN) h.buttons |= MOUSE_LBUTTON;
      if (in.code == MSG_LBUTTONUP) h.buttons &= ~static_cast<WParam>(MOUSE_LBUTTON);
      h.cursor = WindowPoint{front->x + in.x, front->y + in.y};
      if (!InsideClient(*front, in.x, in.y)) continue;
      QueueMessage(front, in.code, h.buttons, MakeMouseParam(in.x, in.y));
    }
  }

  bool ShowNativeMessageBox(const char*, const char*, std::uint32_t) override { return false; }

  WindowPoint CursorPosition() override { return Headless().cursor; }

  bool RegistrationFails() override { return Headless().failRegistration; }
};

}  // namespace

Backend& HeadlessBackendInstance() {
  static HeadlessBackend* backend = new HeadlessBackend;
  return *backend;
}

void ResetHeadlessBackend() {
  HeadlessState& h = Headless();
  h = HeadlessState{};
}

}  // namespace window_internal

using namespace window_internal;

void HeadlessFailRegistration(bool fail) {
  Headless().failRegistration = fail;
}
void HeadlessFailWindowCreation(bool fail) {
  Headless().failCreation = fail;
}

void HeadlessInjectKeyDown(WParam key) {
  Headless().input.push_back({MSG_KEYDOWN, key, 0, 0, false});
}
void HeadlessInjectKeyUp(WParam key) {
  Headless().input.push_back({MSG_KEYUP, key, 0, 0, false});
}

void HeadlessInjectMouse(std::uint32_t code, int clientX, int clientY) {
  Headless().input.push_back({code, 0, clientX, clientY, true});
}

void HeadlessInjectClose() {
  Headless().input.push_back({MSG_CLOSE, 0, 0, 0, false});
}

const std::vector<HeadlessFrame>& HeadlessFrames() {
  return Headless().frames;
}

}  // namespace kubik
