#include "platform/debug/debug_output.h"

#include <cstdio>
#include <mutex>

namespace kubik {
namespace {

void WriteToStandardError(const char* line, void*) {
  std::fputs(line, stderr);
  std::fflush(stderr);
}

std::mutex& ReceiverMutex() {
  static std::mutex mutex;
  return mutex;
}

DebugOutputBinding& CurrentBinding() {
  static DebugOutputBinding binding{&WriteToStandardError, nullptr};
  return binding;
}

}  // namespace

void WriteDebugOutput(const char* line) {
  // Lines from several threads must not interleave inside one receiver call.
  std::lock_guard<std::mutex> lock(ReceiverMutex());
  const DebugOutputBinding& binding = CurrentBinding();
  binding.receiver(line, binding.context);
}

DebugOutputBinding SetDebugOutputReceiver(DebugOutputReceiver receiver, void* context) {
  std::lock_guard<std::mutex> lock(ReceiverMutex());
  DebugOutputBinding previous = CurrentBinding();
  CurrentBinding() = receiver ? DebugOutputBinding{receiver, context}
                              : DebugOutputBinding{&WriteToStandardError, nullptr};
  return previous;
}

}  // namespace kubik
