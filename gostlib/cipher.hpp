// GOST 28147-89 modes on caller-owned contexts: simple replacement (ECB),
// gamma (the counter mode of the standard), gamma with feedback (64-bit
// CFB) and the 16-round MAC. Each function returns a result code.
#pragma once

#include <cstdint>

namespace gost {

int32_t block_init(void* ctx, const void* params, void* state, const void* key);
int32_t block_crypt(void* ctx, const void* src, void* dst, int32_t length, bool decrypt);
int32_t block_clear(void* ctx);

int32_t gamma_init(void* ctx, const void* params, void* state, const void* key, const void* iv);
int32_t gamma_crypt(void* ctx, const void* src, void* dst, int32_t length);
int32_t gamma_clear(void* ctx);

int32_t cfb_init(void* ctx, const void* params, void* state, const void* key, const void* iv);
int32_t cfb_crypt(void* ctx, const void* src, void* dst, int32_t length, bool decrypt);
int32_t cfb_clear(void* ctx);

int32_t mac_init(void* ctx, const void* params, void* state, const void* key);
int32_t mac_update(void* ctx, const void* data, int32_t length);
int32_t mac_final(void* ctx, void* mac);
int32_t mac_clear(void* ctx);

}  // namespace gost
