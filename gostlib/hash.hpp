// GOST R 34.11-94 on caller-owned 120-byte contexts, using the GOST 28147-89
// core with the substitution table of the caller's parameter block.
#pragma once

#include <cstdint>

namespace gost {

int32_t hash_init(void* ctx, const void* params, void* state, const void* start_vector);
int32_t hash_update(void* ctx, const void* data, int32_t length);
int32_t hash_final(void* ctx, void* digest);
int32_t hash_clear(void* ctx);

}  // namespace gost
