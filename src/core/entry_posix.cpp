// SPDX-License-Identifier: MIT
//
// Attach and detach of the shared library on POSIX systems: the dynamic
// loader runs these after the language runtime is up and before it goes.
#include "core/lifecycle.hpp"

namespace {
__attribute__((constructor)) void onLoad() { pel::detail::attachProcess(); }
__attribute__((destructor)) void onUnload() { pel::detail::detachProcess(); }
} // namespace
