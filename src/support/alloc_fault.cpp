#include "support/alloc_fault.h"

#include <atomic>

namespace dizora::support::fault {

namespace {
// Test-only state: off unless a test arms it.
std::atomic<bool> g_active{false};
std::atomic<std::int64_t> g_count{0};
std::atomic<std::int64_t> g_fail_at{0};
std::atomic<bool> g_fired{false};
}  // namespace

void ArmAllocationFault(std::int64_t n) noexcept {
  g_count.store(0);
  g_fired.store(false);
  g_fail_at.store(n);
  g_active.store(true);
}

void CountAllocations() noexcept { ArmAllocationFault(0); }

void DisarmAllocationFault() noexcept { g_active.store(false); }

std::int64_t AllocationCount() noexcept { return g_count.load(); }

bool AllocationFaultFired() noexcept { return g_fired.load(); }

bool AllocationFails() noexcept {
  if (!g_active.load(std::memory_order_relaxed)) return false;
  const std::int64_t n = g_count.fetch_add(1) + 1;
  if (n != g_fail_at.load()) return false;
  g_fired.store(true);
  return true;
}

}  // namespace dizora::support::fault
