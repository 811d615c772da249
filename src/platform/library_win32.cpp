// SPDX-License-Identifier: MIT
#include "platform/library.hpp"

namespace pel::os {

HMODULE LoadLibraryA(const char *fileName) noexcept { return ::LoadLibraryA(fileName); }
FARPROC GetProcAddress(HMODULE module, const char *name) noexcept {
  return ::GetProcAddress(module, name);
}
BOOL FreeLibrary(HMODULE module) noexcept { return ::FreeLibrary(module); }

} // namespace pel::os
