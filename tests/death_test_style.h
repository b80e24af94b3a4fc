// The death-test style that runs each death test in a freshly started copy
// of the program. An emulator cannot start the program anew from inside
// it, so cross builds, whose tests run emulated, fork without re-executing.
#pragma once

namespace kubik::testing {

#if defined(KUBIK_TESTS_UNDER_EMULATOR)
inline constexpr const char* kDeathTestStyle = "fast";
#else
inline constexpr const char* kDeathTestStyle = "threadsafe";
#endif

}  // namespace kubik::testing
