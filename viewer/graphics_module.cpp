#include "viewer/graphics_module.h"

#include <dlfcn.h>

namespace kubik {
namespace {

struct LoadedModule {
  CreateGraphicsSystemEntry entry = nullptr;
  std::string error;
};

LoadedModule Load() {
  LoadedModule result;
  // Called from the program's own code, so the program's run path applies.
  void* module = dlopen(kGraphicsModuleName, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* why = dlerror();
    result.error = std::string("cannot load the graphics module ") + kGraphicsModuleName + ": " +
                   (why != nullptr ? why : "unknown reason");
    return result;
  }
  void* entry = dlsym(module, kGraphicsModuleEntryName);
  if (entry == nullptr) {
    result.error = std::string("the graphics module ") + kGraphicsModuleName + " has no entry " +
                   kGraphicsModuleEntryName;
    dlclose(module);
    return result;
  }
  result.entry = reinterpret_cast<CreateGraphicsSystemEntry>(entry);
  return result;
}

}  // namespace

CreateGraphicsSystemEntry GraphicsModuleEntry(std::string* error) {
  static const LoadedModule loaded = Load();
  if (loaded.entry == nullptr && error != nullptr) *error = loaded.error;
  return loaded.entry;
}

}  // namespace kubik
