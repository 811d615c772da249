// SPDX-License-Identifier: MIT
//
// The library's one process-wide handle: the sibling image-file library.
#pragma once

#include "core/detail.hpp"
#include "platform/library.hpp"

namespace pel::detail {

// Loaded by bare file name, so the platform's default library search applies.
#if defined(_WIN32)
inline constexpr const char *kSiblingFileName = "pelcfio.dll";
#else
inline constexpr const char *kSiblingFileName = "libpelcfio.so";
#endif

// The sibling's module, loading it if it is not loaded yet; null when it
// cannot be found (it is looked for again next time).
os::HMODULE siblingModule() noexcept;
// The module as it stands, without trying to load it.
os::HMODULE loadedSibling() noexcept;

// Process attach: look for the sibling once. Never fails.
void attachProcess() noexcept;
// Process detach: release the sibling if it was loaded.
void detachProcess() noexcept;

} // namespace pel::detail
