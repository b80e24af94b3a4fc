// Process-wide debug output: whole lines go to one receiver, stderr by default.
#pragma once

namespace kubik {

// Receives one whole line (including its line feed, when the writer sent one).
using DebugOutputReceiver = void (*)(const char* line, void* context);

// Sends a line to the current receiver.
void WriteDebugOutput(const char* line);

// Installs a receiver; null restores the default (standard error stream).
// Returns the previous receiver so that a caller can put it back.
struct DebugOutputBinding {
  DebugOutputReceiver receiver;
  void* context;
};
DebugOutputBinding SetDebugOutputReceiver(DebugOutputReceiver receiver, void* context);

}  // namespace kubik
