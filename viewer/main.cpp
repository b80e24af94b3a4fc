#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/window/window.h"
#include "viewer/graphics_module.h"
#include "viewer/viewer.h"

int main() {
  // Checked before any window opens, as the dynamic loader would have.
  std::string error;
  if (kubik::GraphicsModuleEntry(&error) == nullptr) {
    std::fprintf(stderr, "kubik-cube: %s\n", error.c_str());
    return kubik::kExitGraphicsModuleMissing;
  }
  std::exit(kubik::ViewerMain(kubik::GetProcessInstance(), kubik::SHOW_DEFAULT));
}
