// SPDX-License-Identifier: MIT
//
// What the per-OS layers share: the allocation-failure hook, the live-block
// count and the message sink.
#include "platform/platform.hpp"

#include <atomic>

namespace pel::os {
namespace {
std::atomic<unsigned> failCountdown{0};
std::atomic<long> live{0};
std::atomic<test::MessageSink> sink{nullptr};
} // namespace

namespace test {
void failAllocation(unsigned nth) noexcept { failCountdown.store(nth); }
long liveBlocks() noexcept { return live.load(); }
void setMessageSink(MessageSink s) noexcept { sink.store(s); }
} // namespace test

namespace detail {
bool refuseAllocation() noexcept {
  unsigned n = failCountdown.load();
  while (n != 0) {
    if (failCountdown.compare_exchange_weak(n, n - 1)) return n == 1;
  }
  return false;
}
void blockObtained() noexcept { live.fetch_add(1); }
void blockReleased() noexcept { live.fetch_sub(1); }
test::MessageSink messageSink() noexcept { return sink.load(); }
} // namespace detail

} // namespace pel::os
