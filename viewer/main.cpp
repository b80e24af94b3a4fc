#include <cstdlib>

#include "platform/window/window.h"
#include "viewer/viewer.h"

int main() {
  std::exit(kubik::ViewerMain(kubik::GetProcessInstance(), kubik::SHOW_DEFAULT));
}
