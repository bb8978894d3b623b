// Substitution tables of GOST 28147-89: validation of the caller's table,
// expansion into four merged 8-to-32-bit tables, the standard tables expanded
// at compile time, and a process-wide cache of the others; contexts refer to
// a table by index.
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

// Finds or adds the expanded form of a table. The standard tables (GOST R
// 34.11-94 test and CryptoPro parameter sets) are always found; up to 64
// others are cached for the life of the library. Returns kOk and its index,
// or kErrArgument when the table is unusable (a row that is not a
// permutation of 0..15) or it is not standard and the cache is full.
int32_t acquire_sbox(const uint8_t* table, uint32_t* index);

// The expanded table of a cached index, or nullptr for an unknown index.
const ExpandedSbox* sbox_at(uint32_t index);

}  // namespace gost
