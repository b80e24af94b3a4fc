// Call validation: the validating build reports misuse on the debug output.
// Both builds refuse the same calls with the same result codes; only the
// messages differ, so a program behaves alike on either module.
#pragma once

namespace kubik::gfx {

// True in the validating build (libkgfx-debug.so); set per module at link time.
extern const bool kValidationEnabled;

// Writes "kgfx: (ERROR) <call>: <printf-formatted text>\n" unless validation
// is off or muted.
[[gnu::format(printf, 2, 3)]] void ReportError(const char* call, const char* format, ...);
// The same with "(WARN)", for calls that go on despite the complaint.
[[gnu::format(printf, 2, 3)]] void ReportWarning(const char* call, const char* format, ...);

}  // namespace kubik::gfx
