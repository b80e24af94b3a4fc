// Desktop backend of a build without a desktop window library (the cross
// builds): no window can be opened, so the program ends as on a machine
// without a display; message boxes fall back to their line on stderr.
#include <cstdio>

#include "platform/window/backend.h"

namespace kubik::window_internal {
namespace {

class NoDesktopBackend final : public Backend {
 public:
  std::unique_ptr<TopLevelWindow> CreateNativeWindow(const char*, std::uint32_t, int, int, int,
                                                     int) override {
    std::fprintf(stderr, "window system: no display: this build has no desktop window support\n");
    return nullptr;
  }
  void ShowNativeWindow(TopLevelWindow&, int) override {}
  void DestroyNativeWindow(TopLevelWindow&) override {}
  void PumpInput() override {}
  bool ShowNativeMessageBox(const char*, const char*, std::uint32_t) override { return false; }
  WindowPoint CursorPosition() override { return {0, 0}; }
};

}  // namespace

Backend& DesktopBackend() {
  static NoDesktopBackend backend;
  return backend;
}

}  // namespace kubik::window_internal
