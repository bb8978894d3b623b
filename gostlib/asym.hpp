// Public-key algorithms on caller-owned contexts: GOST R 34.10-94 and the
// Diffie-Hellman agreement in its group (CryptoPro-A parameters), and
// GOST R 34.10-2001 on the CryptoPro-A curve. Keys are little-endian byte
// strings; signatures are s (big-endian) || r (big-endian), 64 bytes.
#pragma once

#include <cstdint>

namespace gost {

// GOST R 34.10-94: secret 32 bytes, public 128 bytes.
int32_t s94_set_parms(void* ctx, void* state, const void* p, int32_t p_len, const void* q,
                      int32_t q_len, const void* a);
int32_t s94_get_parms(void* ctx, void* p, int32_t* p_len, void* q, int32_t* q_len, void* a);
int32_t s94_gen_secret_key(void* ctx);
int32_t s94_gen_public_key(void* ctx);
int32_t s94_get_secret_key(void* ctx, void* out, int32_t* length);
int32_t s94_get_public_key(void* ctx, void* out, int32_t* length);
int32_t s94_set_secret_key(void* ctx, const void* key);
int32_t s94_set_public_key(void* ctx, const void* key);
int32_t s94_sign(void* ctx, const void* hash, void* signature);
int32_t s94_verify(void* ctx, const void* hash, const void* signature);
int32_t s94_clear_secret_key(void* ctx);
int32_t s94_clear_public_key(void* ctx);
int32_t s94_clear(void* ctx);

// GOST R 34.10-2001: secret 32 bytes; public x || y in a 100-byte area.
int32_t s01_set_parms(void* ctx, void* state, const void* p, int32_t p_len, const void* q,
                      int32_t q_len, const void* a, const void* b, const void* base);
int32_t s01_gen_secret_key(void* ctx);
int32_t s01_gen_public_key(void* ctx);
int32_t s01_get_secret_key(void* ctx, void* out, int32_t* length);
int32_t s01_get_public_key(void* ctx, void* out, int32_t* length);
int32_t s01_set_secret_key(void* ctx, const void* key);
int32_t s01_set_public_key(void* ctx, const void* key);
int32_t s01_sign(void* ctx, const void* hash, void* signature);
int32_t s01_verify(void* ctx, const void* hash, const void* signature);
int32_t s01_gen_mutual_key(void* ctx, const void* peer, void* out);
int32_t s01_clear_secret_key(void* ctx);
int32_t s01_clear_public_key(void* ctx);
int32_t s01_clear(void* ctx);

// Diffie-Hellman: secret and public 128 bytes, shared secret 128 bytes.
int32_t pka_set_parms(void* ctx, void* state, const void* p, int32_t p_len, const void* g);
int32_t pka_get_parms(void* ctx, void* p, int32_t* p_len, void* g);
int32_t pka_gen_secret_key(void* ctx);
int32_t pka_gen_public_key(void* ctx);
int32_t pka_gen_mutual_key(void* ctx, const void* peer, void* out);
int32_t pka_get_secret_key(void* ctx, void* out, int32_t* length);
int32_t pka_get_public_key(void* ctx, void* out, int32_t* length);
int32_t pka_set_secret_key(void* ctx, const void* key);
int32_t pka_clear_secret_key(void* ctx);
int32_t pka_clear_public_key(void* ctx);
int32_t pka_clear(void* ctx);

// Random bytes from the strong generator; advances the state block.
int32_t random_fill(void* state, void* buffer, int32_t length);

}  // namespace gost
