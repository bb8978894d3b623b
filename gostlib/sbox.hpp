// Substitution tables of GOST 28147-89: validation of the caller's table,
// expansion into four merged 8-to-32-bit tables, and a process-wide cache of
// expanded tables that contexts refer to by index.
#pragma once

#include <cstdint>

namespace gost {

// The caller's table: the first 128 bytes of the parameter block, rows K8
// down to K1, one 4-bit value per byte.
inline constexpr int kSboxBytes = 128;

// Four lookup tables, one per input byte of the round function, each entry
// already substituted and rotated left by 11 bits.
struct ExpandedSbox {
  uint32_t t[4][256];
};

// Finds or adds the expanded form of a table. Returns kOk and its index, or
// kErrArgument when the table is unusable (a row that is not a permutation
// of 0..15) or the cache is full.
int32_t acquire_sbox(const uint8_t* table, uint32_t* index);

// The expanded table of a cached index, or nullptr for an unknown index.
const ExpandedSbox* sbox_at(uint32_t index);

}  // namespace gost
