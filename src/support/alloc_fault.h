// Test-only fault injection for the working-buffer allocator of secure.h.
// While armed, every working buffer (data, blocks, signatures, key images)
// is counted, and the n-th one fails as if memory were exhausted
// (std::bad_alloc). Disarmed, which is the state unless a test arms it, an
// allocation pays one relaxed atomic load and behaves exactly as without the
// seam. Nothing outside a test program can arm it: the engine library exports
// only its API.
#pragma once

#include <cstdint>

namespace dizora::support::fault {

// Makes the `n`-th working-buffer allocation from now fail (1-based).
void ArmAllocationFault(std::int64_t n) noexcept;

// Counts allocations without failing any (n = 0), to learn how many an
// operation performs.
void CountAllocations() noexcept;

// Stops counting and failing.
void DisarmAllocationFault() noexcept;

// Allocations counted since the last Arm/Count.
std::int64_t AllocationCount() noexcept;

// True once the armed fault has fired.
bool AllocationFaultFired() noexcept;

// Called by the allocator before it allocates: counts this allocation and
// says whether it must fail.
bool AllocationFails() noexcept;

}  // namespace dizora::support::fault
