// The graphics device module, loaded when the viewer first needs it rather
// than by the dynamic loader at start, so that a missing or broken module is
// a message and an exit code of the viewer's own.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gfx/gfx.h"

namespace kubik {

inline constexpr const char* kGraphicsModuleName = "libkgfx.so";
inline constexpr const char* kGraphicsModuleEntryName = "CreateGraphicsSystem";

// Exit code of the viewer when the graphics module cannot be loaded.
inline constexpr int kExitGraphicsModuleMissing = 2;

using CreateGraphicsSystemEntry = GraphicsSystem* (*)(std::uint32_t version);

// The module's entry, loading the module on the first call (searched like a
// library of the program: its run path, then the library path). Null when it
// cannot be loaded or lacks the entry; *error then says why. The module stays
// loaded for the life of the process.
CreateGraphicsSystemEntry GraphicsModuleEntry(std::string* error = nullptr);

}  // namespace kubik
