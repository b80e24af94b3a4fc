// The X display going away under a running program. Xlib calls the handler
// and then exits on its own, so the handler ends the process itself, and
// without running exit handlers that could call into Xlib again.
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>

#include "platform/window/backend.h"
#include "platform/window/window.h"

namespace kubik::window_internal {
namespace {

int OnDisplayLost(Display* display) {
  const char* name = display != nullptr ? DisplayString(display) : nullptr;
  std::fprintf(stderr, "window system: lost the connection to the display %s; exiting with %d\n",
               name != nullptr ? name : "", kExitDisplayLost);
  std::fflush(stderr);
  _exit(kExitDisplayLost);
}

}  // namespace

void WatchForDisplayLoss() {
  XSetIOErrorHandler(&OnDisplayLost);
}

}  // namespace kubik::window_internal
