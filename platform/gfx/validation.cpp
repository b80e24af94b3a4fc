#include "platform/gfx/validation.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "platform/debug/debug_output.h"
#include "platform/gfx/gfx.h"

namespace kubik::gfx {
namespace {

std::atomic<std::int32_t> g_muted{0};

void Report(const char* severity, const char* call, const char* format, std::va_list args) {
  if (!kValidationEnabled || g_muted.load(std::memory_order_relaxed) != 0) return;
  char text[384];
  std::vsnprintf(text, sizeof text, format, args);
  char line[512];
  std::snprintf(line, sizeof line, "kgfx: (%s) %s: %s\n", severity, call, text);
  WriteDebugOutput(line);
}

}  // namespace

void ReportError(const char* call, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  Report("ERROR", call, format, args);
  va_end(args);
}

void ReportWarning(const char* call, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  Report("WARN", call, format, args);
  va_end(args);
}

}  // namespace kubik::gfx

extern "C" void SetDebugMute(std::int32_t mute) {
  kubik::gfx::g_muted.store(mute != 0 ? 1 : 0, std::memory_order_relaxed);
}
