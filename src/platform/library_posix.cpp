// SPDX-License-Identifier: MIT
//
// Libraries on POSIX systems: dlopen by bare name, so the dynamic loader's
// default search applies, as it does for a bare name on Windows.
#include "platform/library.hpp"

#include <dlfcn.h>

namespace pel::os {

HMODULE LoadLibraryA(const char *fileName) noexcept {
  if (!fileName) return nullptr;
  return static_cast<HMODULE>(::dlopen(fileName, RTLD_NOW | RTLD_LOCAL));
}

FARPROC GetProcAddress(HMODULE module, const char *name) noexcept {
  if (!module || !name) return nullptr;
  // Object and function pointers share one representation on every target
  // this builds for; POSIX requires it of dlsym.
  return reinterpret_cast<FARPROC>(::dlsym(module, name));
}

BOOL FreeLibrary(HMODULE module) noexcept { return module && ::dlclose(module) == 0 ? 1 : 0; }

} // namespace pel::os
