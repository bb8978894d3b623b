// The exported C entry points of libcrypt.dll. Each one runs its body inside
// a guard that turns any exception into a result code.
#include <cstdint>

#include "asym.hpp"
#include "cipher.hpp"
#include "common.hpp"
#include "export.hpp"
#include "hash.hpp"
#include "selftest.hpp"
#include "state.hpp"
#ifdef GOSTLIB_FAULT_HOOKS
#include "fault.hpp"
#endif

#define GOSTLIB_API GOSTLIB_EXPORT int32_t

namespace {

// Runs body, catching everything. In the fault-injecting build a forced
// result replaces the body (still advancing a state block it receives).
template <class Body>
int32_t guarded(const char* name, void* state, Body&& body) noexcept {
  try {
#ifdef GOSTLIB_FAULT_HOOKS
    int32_t code = 0;
    if (gost::forced_result(name, &code)) {
      if (state != nullptr) gost::touch_state(state);
      return code;
    }
#else
    (void)name;
    (void)state;
#endif
    return body();
  } catch (...) {
    return gost::kErrInternal;
  }
}

#define GUARD(state, expr) return guarded(__func__, state, [&]() -> int32_t { return expr; })

}  // namespace

// GOST 28147-89 simple replacement (ECB) on whole blocks; context 100 bytes.
GOSTLIB_API RuroV_G28147_1989_block_init(void* ctx, const void* params, void* state, const void* key) {
  GUARD(state, gost::block_init(ctx, params, state, key));
}
GOSTLIB_API RuroV_G28147_1989_block_encrypt(void* ctx, const void* src, void* dst, int32_t length) {
  GUARD(nullptr, gost::block_crypt(ctx, src, dst, length, false));
}
GOSTLIB_API RuroV_G28147_1989_block_decrypt(void* ctx, const void* src, void* dst, int32_t length) {
  GUARD(nullptr, gost::block_crypt(ctx, src, dst, length, true));
}
GOSTLIB_API RuroV_G28147_1989_block_clear(void* ctx) { GUARD(nullptr, gost::block_clear(ctx)); }

// Gamma (counter mode).
GOSTLIB_API RuroV_G28147_1989_gamma_init(void* ctx, const void* params, void* state, const void* key,
                                         const void* iv) {
  GUARD(state, gost::gamma_init(ctx, params, state, key, iv));
}
GOSTLIB_API RuroV_G28147_1989_gamma_clear(void* ctx) { GUARD(nullptr, gost::gamma_clear(ctx)); }
GOSTLIB_API RuroV_G28147_1989_gamma_crypt(void* ctx, const void* src, void* dst, int32_t length) {
  GUARD(nullptr, gost::gamma_crypt(ctx, src, dst, length));
}

// Gamma with feedback (64-bit CFB).
GOSTLIB_API RuroV_G28147_1989_gamma_ofb_init(void* ctx, const void* params, void* state, const void* key,
                                             const void* iv) {
  GUARD(state, gost::cfb_init(ctx, params, state, key, iv));
}
GOSTLIB_API RuroV_G28147_1989_gamma_ofb_clear(void* ctx) { GUARD(nullptr, gost::cfb_clear(ctx)); }
GOSTLIB_API RuroV_G28147_1989_gamma_ofb_encrypt(void* ctx, const void* src, void* dst, int32_t length) {
  GUARD(nullptr, gost::cfb_crypt(ctx, src, dst, length, false));
}
GOSTLIB_API RuroV_G28147_1989_gamma_ofb_decrypt(void* ctx, const void* src, void* dst, int32_t length) {
  GUARD(nullptr, gost::cfb_crypt(ctx, src, dst, length, true));
}

// MAC. The MAC area of init is not read; final writes the 8-byte MAC.
GOSTLIB_API RuroV_G28147_1989_mac_init(void* ctx, const void* params, void* state, const void* key,
                                       void* mac) {
  (void)mac;
  GUARD(state, gost::mac_init(ctx, params, state, key));
}
GOSTLIB_API RuroV_G28147_1989_mac_update(void* ctx, const void* data, int32_t length) {
  GUARD(nullptr, gost::mac_update(ctx, data, length));
}
GOSTLIB_API RuroV_G28147_1989_mac_final(void* ctx, void* mac) { GUARD(nullptr, gost::mac_final(ctx, mac)); }
GOSTLIB_API RuroV_G28147_1989_mac_clear(void* ctx) { GUARD(nullptr, gost::mac_clear(ctx)); }
// MACs of files are not offered by this library.
GOSTLIB_API RuroV_G28147_1989_mac_file_const(void) { GUARD(nullptr, gost::kErrArgument); }

// GOST R 34.11-94.
GOSTLIB_API RuroV_R34_11_1994_init(void* ctx, const void* params, void* state, const void* start) {
  GUARD(state, gost::hash_init(ctx, params, state, start));
}
GOSTLIB_API RuroV_R34_11_1994_update(void* ctx, const void* data, int32_t length) {
  GUARD(nullptr, gost::hash_update(ctx, data, length));
}
GOSTLIB_API RuroV_R34_11_1994_final(void* ctx, void* digest) { GUARD(nullptr, gost::hash_final(ctx, digest)); }
GOSTLIB_API RuroV_R34_11_1994_clear(void* ctx) { GUARD(nullptr, gost::hash_clear(ctx)); }

// GOST R 34.10-94 and GOST R 34.10-2001.
GOSTLIB_API RuroV_LR34_10_1994_set_parms(void* ctx, void* state, const void* p, int32_t p_len, const void* q,
                                         int32_t q_len, const void* a) {
  GUARD(state, gost::s94_set_parms(ctx, state, p, p_len, q, q_len, a));
}
GOSTLIB_API RuroV_LR34_10_2001_set_parms(void* ctx, void* state, const void* p, int32_t p_len, const void* q,
                                         int32_t q_len, const void* a, const void* b, const void* base) {
  GUARD(state, gost::s01_set_parms(ctx, state, p, p_len, q, q_len, a, b, base));
}
GOSTLIB_API RuroV_LR34_10_1994_get_parms(void* ctx, void* p, int32_t* p_len, void* q, int32_t* q_len,
                                         void* a) {
  GUARD(nullptr, gost::s94_get_parms(ctx, p, p_len, q, q_len, a));
}
GOSTLIB_API RuroV_LR34_10_1994_gen_secret_key(void* ctx) { GUARD(nullptr, gost::s94_gen_secret_key(ctx)); }
GOSTLIB_API RuroV_LR34_10_2001_gen_secret_key(void* ctx) { GUARD(nullptr, gost::s01_gen_secret_key(ctx)); }
GOSTLIB_API RuroV_LR34_10_1994_gen_public_key(void* ctx) { GUARD(nullptr, gost::s94_gen_public_key(ctx)); }
GOSTLIB_API RuroV_LR34_10_2001_gen_public_key(void* ctx) { GUARD(nullptr, gost::s01_gen_public_key(ctx)); }
GOSTLIB_API RuroV_LR34_10_1994_get_secret_key(void* ctx, void* out, int32_t* length) {
  GUARD(nullptr, gost::s94_get_secret_key(ctx, out, length));
}
GOSTLIB_API RuroV_LR34_10_2001_get_secret_key(void* ctx, void* out, int32_t* length) {
  GUARD(nullptr, gost::s01_get_secret_key(ctx, out, length));
}
GOSTLIB_API RuroV_LR34_10_1994_get_public_key(void* ctx, void* out, int32_t* length) {
  GUARD(nullptr, gost::s94_get_public_key(ctx, out, length));
}
GOSTLIB_API RuroV_LR34_10_2001_get_public_key(void* ctx, void* out, int32_t* length) {
  GUARD(nullptr, gost::s01_get_public_key(ctx, out, length));
}
GOSTLIB_API RuroV_LR34_10_1994_set_secret_key(void* ctx, const void* key) {
  GUARD(nullptr, gost::s94_set_secret_key(ctx, key));
}
GOSTLIB_API RuroV_LR34_10_2001_set_secret_key(void* ctx, const void* key) {
  GUARD(nullptr, gost::s01_set_secret_key(ctx, key));
}
GOSTLIB_API RuroV_LR34_10_1994_set_public_key(void* ctx, const void* key) {
  GUARD(nullptr, gost::s94_set_public_key(ctx, key));
}
GOSTLIB_API RuroV_LR34_10_2001_set_public_key(void* ctx, const void* key) {
  GUARD(nullptr, gost::s01_set_public_key(ctx, key));
}
GOSTLIB_API RuroV_LR34_10_1994_sign(void* ctx, const void* hash, void* signature) {
  GUARD(nullptr, gost::s94_sign(ctx, hash, signature));
}
GOSTLIB_API RuroV_LR34_10_2001_sign(void* ctx, const void* hash, void* signature) {
  GUARD(nullptr, gost::s01_sign(ctx, hash, signature));
}
GOSTLIB_API RuroV_LR34_10_1994_verify(void* ctx, const void* hash, const void* signature) {
  GUARD(nullptr, gost::s94_verify(ctx, hash, signature));
}
GOSTLIB_API RuroV_LR34_10_2001_verify(void* ctx, const void* hash, const void* signature) {
  GUARD(nullptr, gost::s01_verify(ctx, hash, signature));
}
GOSTLIB_API RuroV_LR34_10_1994_clear_secret_key(void* ctx) { GUARD(nullptr, gost::s94_clear_secret_key(ctx)); }
GOSTLIB_API RuroV_LR34_10_2001_clear_secret_key(void* ctx) { GUARD(nullptr, gost::s01_clear_secret_key(ctx)); }
GOSTLIB_API RuroV_LR34_10_1994_clear_public_key(void* ctx) { GUARD(nullptr, gost::s94_clear_public_key(ctx)); }
GOSTLIB_API RuroV_LR34_10_2001_clear_public_key(void* ctx) { GUARD(nullptr, gost::s01_clear_public_key(ctx)); }
GOSTLIB_API RuroV_LR34_10_1994_clear(void* ctx) { GUARD(nullptr, gost::s94_clear(ctx)); }
GOSTLIB_API RuroV_LR34_10_2001_clear(void* ctx) { GUARD(nullptr, gost::s01_clear(ctx)); }
// Agreement on the curve: out receives d * peer as x || y, 64 bytes.
GOSTLIB_API RuroV_LR34_10_2001_gen_mutual_key(void* ctx, const void* peer, void* out) {
  GUARD(nullptr, gost::s01_gen_mutual_key(ctx, peer, out));
}

// Diffie-Hellman (LDH_PKA).
GOSTLIB_API RuroV_LDH_PKA_set_parms(void* ctx, void* state, const void* p, int32_t p_len, const void* g) {
  GUARD(state, gost::pka_set_parms(ctx, state, p, p_len, g));
}
GOSTLIB_API RuroV_LDH_PKA_get_parms(void* ctx, void* p, int32_t* p_len, void* g) {
  GUARD(nullptr, gost::pka_get_parms(ctx, p, p_len, g));
}
GOSTLIB_API RuroV_LDH_PKA_gen_secret_key(void* ctx) { GUARD(nullptr, gost::pka_gen_secret_key(ctx)); }
GOSTLIB_API RuroV_LDH_PKA_gen_public_key(void* ctx) { GUARD(nullptr, gost::pka_gen_public_key(ctx)); }
GOSTLIB_API RuroV_LDH_PKA_gen_mutual_key(void* ctx, const void* peer, void* out) {
  GUARD(nullptr, gost::pka_gen_mutual_key(ctx, peer, out));
}
GOSTLIB_API RuroV_LDH_PKA_get_secret_key(void* ctx, void* out, int32_t* length) {
  GUARD(nullptr, gost::pka_get_secret_key(ctx, out, length));
}
GOSTLIB_API RuroV_LDH_PKA_get_public_key(void* ctx, void* out, int32_t* length) {
  GUARD(nullptr, gost::pka_get_public_key(ctx, out, length));
}
GOSTLIB_API RuroV_LDH_PKA_set_secret_key(void* ctx, const void* key) {
  GUARD(nullptr, gost::pka_set_secret_key(ctx, key));
}
GOSTLIB_API RuroV_LDH_PKA_clear_secret_key(void* ctx) { GUARD(nullptr, gost::pka_clear_secret_key(ctx)); }
GOSTLIB_API RuroV_LDH_PKA_clear_public_key(void* ctx) { GUARD(nullptr, gost::pka_clear_public_key(ctx)); }
GOSTLIB_API RuroV_LDH_PKA_clear(void* ctx) { GUARD(nullptr, gost::pka_clear(ctx)); }

GOSTLIB_API RuroV_Random_Fill(void* state, void* buffer, int32_t length) {
  GUARD(state, gost::random_fill(state, buffer, length));
}

// Known-answer self-tests: 0, or the code of the first failure.
GOSTLIB_API RuroV_TestCryptoFunctions_(void) { GUARD(nullptr, gost::self_test_crypto()); }
#ifndef GOSTLIB_OMIT_TEST_SIGN
GOSTLIB_API RuroV_TestSignFunctions_(void) { GUARD(nullptr, gost::self_test_sign()); }
#endif
