#include "viewer/graphics_module.h"

#include <dlfcn.h>
#include <unistd.h>

namespace kubik {
namespace {

struct LoadedModule {
  CreateGraphicsSystemEntry entry = nullptr;
  std::string error;
};

// ../lib next to the program, where both the build and an installed tree
// put the module.
std::string NextToProgram() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  std::string program(path, static_cast<std::size_t>(n));
  const std::size_t slash = program.rfind('/');
  if (slash == std::string::npos) return {};
  return program.substr(0, slash) + "/../lib/" + kGraphicsModuleName;
}

std::string LoaderError() {
  const char* why = dlerror();
  return why != nullptr ? why : "unknown reason";
}

LoadedModule Load() {
  LoadedModule result;
  // Searched from the program's own code, so its run path applies, unless a
  // wrapper of dlopen (the address sanitizer's) makes the search its own:
  // then the program's ../lib is tried as well, and a module found there
  // that cannot be loaded is the one reported.
  void* module = dlopen(kGraphicsModuleName, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::string why = LoaderError();
    const std::string nearby = NextToProgram();
    if (!nearby.empty() && access(nearby.c_str(), F_OK) == 0) {
      module = dlopen(nearby.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (module == nullptr) why = LoaderError();
    }
    if (module == nullptr) {
      result.error =
          std::string("cannot load the graphics module ") + kGraphicsModuleName + ": " + why;
      return result;
    }
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
