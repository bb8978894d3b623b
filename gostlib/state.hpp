// The caller's 76-byte library state block. It holds a tag and a counter
// that every call receiving the block advances, so a caller can tell
// whether a copy of the block went through the library.
#pragma once

#include <cstdint>

namespace gost {

// Advances the counter (starting a fresh block when the tag is absent).
// Returns kErrNullPointer for a null block.
int32_t touch_state(void* state);

// The counter of a block, 0 for a block the library has not touched.
uint64_t state_counter(const void* state);

}  // namespace gost
