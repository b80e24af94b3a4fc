// Collects the debug output lines written while it is alive.
#pragma once

#include <string>
#include <vector>

#include "platform/debug/debug_output.h"

namespace kubik::testing {

class DebugCapture {
 public:
  DebugCapture() : previous_(SetDebugOutputReceiver(&Receive, this)) {}
  ~DebugCapture() { SetDebugOutputReceiver(previous_.receiver, previous_.context); }
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  const std::vector<std::string>& lines() const { return lines_; }

 private:
  static void Receive(const char* line, void* context) {
    static_cast<DebugCapture*>(context)->lines_.emplace_back(line);
  }

  DebugOutputBinding previous_;
  std::vector<std::string> lines_;
};

}  // namespace kubik::testing
