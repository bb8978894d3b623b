// Forced results of the fault-injecting test build (see test_hooks.h).
// In the normal build forced_result() is never compiled in.
#pragma once

#include <cstdint>

namespace gost {

// True when the entry point `name` must return *code instead of working.
bool forced_result(const char* name, int32_t* code);

}  // namespace gost
