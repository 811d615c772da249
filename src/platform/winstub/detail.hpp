// SPDX-License-Identifier: MIT
//
// Included first by every source of the stand-in library: marks its build, so
// the header exports what it declares. The stand-in keeps one lock for all
// its tables, as the system keeps its own; it is never observable.
#pragma once

#define PELC_WINSTUB_BUILDING 1
#include "pelc_winstub.h"

#include <cstdint>
#include <mutex>

namespace pel::winstub {

std::mutex &tableLock() noexcept;

} // namespace pel::winstub
