// SPDX-License-Identifier: MIT
//
// Loading other libraries by file name: LoadLibraryA, GetProcAddress and
// FreeLibrary with their Windows behaviour (null when the library or the
// entry point cannot be found).
#pragma once

#include "platform/platform.hpp"

namespace pel::os {

#if defined(_WIN32)
using ::FARPROC;
using ::HMODULE;
#else
struct ModuleTag;
using HMODULE = ModuleTag *;
using FARPROC = void (*)();
#endif

HMODULE LoadLibraryA(const char *fileName) noexcept;
FARPROC GetProcAddress(HMODULE module, const char *name) noexcept;
BOOL FreeLibrary(HMODULE module) noexcept;

} // namespace pel::os
