#include "platform/debug/module_lookup.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <string>

namespace kubik {
namespace {

// The loader matches a bare name against the names modules were opened by and their sonames; a
// module opened by full path without a soname is only found by its path, so look that up here.
std::string LoadedPathWithFileName(const char* file_name) {
  struct Search {
    const char* file_name;
    std::string path;
  } search{file_name, {}};
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) -> int {
        auto* search = static_cast<Search*>(data);
        const char* path = info->dlpi_name;
        if (path == nullptr || path[0] == '\0') return 0;
        const char* slash = std::strrchr(path, '/');
        const char* base = slash != nullptr ? slash + 1 : path;
        if (std::strcmp(base, search->file_name) != 0) return 0;
        search->path = path;
        return 1;
      },
      &search);
  return search.path;
}

// A new reference to an already loaded module, or null; never loads.
void* ReferenceLoadedModule(const char* name) {
  void* handle = dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr && std::strchr(name, '/') == nullptr) {
    const std::string path = LoadedPathWithFileName(name);
    if (!path.empty()) handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  }
  return handle;
}

class DynamicLoader final : public ModuleLoader {
 public:
  ModuleHandle FindLoadedModule(const char* name) override { return kubik::FindLoadedModule(name); }
  ModuleHandle LoadModule(const char* name) override { return kubik::LoadModule(name); }
  void* FindModuleExport(ModuleHandle module, const char* name) override {
    return kubik::FindModuleExport(module, name);
  }
};

}  // namespace

ModuleHandle FindLoadedModule(const char* name) {
  if (name == nullptr) return nullptr;
  void* handle = ReferenceLoadedModule(name);
  // RTLD_NOLOAD still counts a reference; give it back so that the module's owner decides its
  // lifetime. The handle stays valid while the module is loaded.
  if (handle != nullptr) dlclose(handle);
  return handle;
}

ModuleHandle LoadModule(const char* name) {
  if (name == nullptr) return nullptr;
  void* handle = ReferenceLoadedModule(name);
  if (handle == nullptr) handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  return handle;
}

void* FindModuleExport(ModuleHandle module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return dlsym(module, name);
}

ModuleLoader& SystemModuleLoader() {
  static DynamicLoader loader;
  return loader;
}

}  // namespace kubik
