#include "support/alloc_fault.h"

#include "platform/fault_counter.h"

namespace dizora::support::fault {

namespace {
// Test-only state: off unless a test arms it.
platform::fault::FaultCounter g_allocations;
}  // namespace

void ArmAllocationFault(std::int64_t n) noexcept { g_allocations.Arm(n); }

void CountAllocations() noexcept { g_allocations.Arm(0); }

void DisarmAllocationFault() noexcept { g_allocations.Disarm(); }

std::int64_t AllocationCount() noexcept { return g_allocations.Count(); }

bool AllocationFaultFired() noexcept { return g_allocations.Fired(); }

bool AllocationFails() noexcept { return g_allocations.Fails(); }

}  // namespace dizora::support::fault
