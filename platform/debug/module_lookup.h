// Lookup of shared modules through the dynamic loader.
#pragma once

namespace kubik {

using ModuleHandle = void*;

// The module if it is already loaded in the process, else null. Never loads anything and leaves
// the module's reference count as it was. A plain file name ("libkgfx.so") also matches a module
// that was loaded by a full path ending in that name.
ModuleHandle FindLoadedModule(const char* name);

// Takes a reference to the module, loading it when needed; null on failure. An already loaded
// module of that file name is preferred over a search of the library path.
ModuleHandle LoadModule(const char* name);

// Address of the module's export, or null when the module is null or lacks the export.
void* FindModuleExport(ModuleHandle module, const char* name);

// The three calls above behind an interface, so that callers can be tested with a fake.
class ModuleLoader {
 public:
  virtual ~ModuleLoader() = default;
  virtual ModuleHandle FindLoadedModule(const char* name) = 0;
  virtual ModuleHandle LoadModule(const char* name) = 0;
  virtual void* FindModuleExport(ModuleHandle module, const char* name) = 0;
};

// The dynamic loader of the process.
ModuleLoader& SystemModuleLoader();

}  // namespace kubik
