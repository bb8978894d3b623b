// The GOST R 34.10-94 CryptoPro-A group (p 1024 bits, q 256 bits, a of
// order q), shared by the 94 signatures and the Diffie-Hellman agreement:
// byte-level operations over the arithmetic of mont1024.hpp. Integers are
// little-endian byte strings unless said otherwise.
#pragma once

#include <cstring>

#include "common.hpp"
#include "keyio.hpp"

namespace gost {

inline constexpr size_t kP94Bytes = 128;
inline constexpr size_t kQ94Bytes = 32;

// The group's p, q and a.
void group94_values(uint8_t p[kP94Bytes], uint8_t q[kQ94Bytes], uint8_t a[kP94Bytes]);

// A secret of n >= 32 bytes in [1, q - 1] (bytes past the 32nd zero);
// constant time.
bool group94_valid_secret(const uint8_t* x, size_t n);

// A uniformly random integer in [1, q - 1] from the strong generator.
bool group94_random_scalar(uint8_t out[kQ94Bytes]);

// y = a^x mod p for a secret x in [1, q - 1].
void group94_public_of(uint8_t y[kP94Bytes], const uint8_t x[kQ94Bytes]);

// 2 <= y <= p - 2.
bool group94_public_in_range(const uint8_t y[kP94Bytes]);

// 2 <= y <= p - 2 and y^q = 1 mod p. powers (when not null) receives
// y^(2^64), y^(2^128), y^(2^192), which later verifications under y take.
bool group94_check_public(const uint8_t y[kP94Bytes], uint8_t powers[3][kP94Bytes]);

// The signature s (big-endian) || r (big-endian) of a digest (read
// little-endian, mod q, 0 taken as 1) under secret x, with a fresh k.
bool group94_sign(uint8_t signature[64], const uint8_t x[kQ94Bytes], const uint8_t digest[32]);

// kOk or kErrSignature for a signature whose parts are already known to be
// in [1, q - 1], under a key y in range.
// group94_verify_checking: y not yet checked. y^q = 1 is checked on the
// verification's own squarings: kErrBadKey for a y outside the subgroup;
// otherwise powers receives what group94_check_public gives.
int32_t group94_verify_checking(const uint8_t y[kP94Bytes], uint8_t powers[3][kP94Bytes],
                                const uint8_t digest[32], const uint8_t signature[64]);
// group94_verify: y checked, with its powers.
int32_t group94_verify(const uint8_t y[kP94Bytes], const uint8_t powers[3][kP94Bytes], const uint8_t digest[32],
                       const uint8_t signature[64]);

// Signature part codes: kErrZeroR / kErrZeroS / kErrRangeR / kErrRangeS, or kOk.
int32_t group94_signature_parts(const uint8_t signature[64]);

// shared = peer^x mod p after checking the peer as group94_check_public
// does (on the same squarings); false (shared untouched) for a peer outside the subgroup.
bool group94_agree(uint8_t shared[kP94Bytes], const uint8_t* x, const uint8_t peer[kP94Bytes]);

// Key generation in the group, shared by the 94 signature and Diffie-Hellman
// contexts: a State has `flags`, the secret `x` (at least 32 bytes) and the
// public `y`, little-endian. The caller commits the state when the result
// is kOk.

// x drawn uniformly from [1, q-1].
template <class State>
int32_t group94_gen_secret(State& st) {
  if (st.flags & kHasSecret) return kErrKeyPresent;
  std::memset(st.x, 0, sizeof st.x);
  if (!group94_random_scalar(st.x)) return kErrInternal;
  st.flags |= kHasSecret;
  return kOk;
}

// The stored secret x of a context, checked before each use: only values in
// [1, q - 1] are ever stored, so a failure means the caller's context was
// altered (kErrInternal, as for GOST R 34.10-2001).
template <class State>
bool group94_stored_secret_ok(const State& st) {
  return group94_valid_secret(st.x, sizeof st.x);
}

// y = a^x mod p.
template <class State>
int32_t group94_gen_public(State& st) {
  if (!(st.flags & kHasSecret)) return kErrSequence;
  if (!group94_stored_secret_ok(st)) return kErrInternal;
  group94_public_of(st.y, st.x);
  st.flags |= kHasPublic;
  return kOk;
}

}  // namespace gost
