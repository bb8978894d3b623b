#include "group94.hpp"

#include <gcrypt.h>

#include <algorithm>

#include "mont1024.hpp"

namespace gost {

namespace {

using Group = NativeGroup94;
using Elem = Group::Elem;
using Scalar = Group::Scalar;

template <class T>
void wipe_value(T& v) {
  wipe(&v, sizeof v);
}

void load_be32(Scalar& r, const uint8_t* be) {
  uint8_t le[kQ94Bytes];
  std::reverse_copy(be, be + kQ94Bytes, le);
  mont::from_le_bytes(r, le);
}

void store_be32(uint8_t* be, const Scalar& v) {
  uint8_t le[kQ94Bytes];
  mont::to_le_bytes(le, v);
  std::reverse_copy(le, le + kQ94Bytes, be);
  wipe_value(le);
}

// The digest as an integer mod q (below 2q as it is: q > 2^255), 0 as 1.
void digest_value(Scalar& e, const uint8_t digest[32]) {
  const Group& g = Group::get();
  mont::from_le_bytes(e, digest);
  Scalar d;
  if (mont::sub(d, e, g.q()) == 0) e = d;
  if (mont::is_zero_mask(e) != 0) e[0] = 1;
}

}  // namespace

void group94_values(uint8_t p[kP94Bytes], uint8_t q[kQ94Bytes], uint8_t a[kP94Bytes]) {
  const Group& g = Group::get();
  mont::to_le_bytes(p, g.p());
  mont::to_le_bytes(q, g.q());
  mont::to_le_bytes(a, g.a());
}

bool group94_valid_secret(const uint8_t* x, size_t n) {
  Scalar v;
  mont::from_le_bytes(v, x);
  const bool high_zero = all_zero(x + kQ94Bytes, n - kQ94Bytes);
  const bool ok = Group::get().valid_scalar(v);
  wipe_value(v);
  return ok & high_zero;
}

bool group94_random_scalar(uint8_t out[kQ94Bytes]) {
  // Rejection sampling over 256-bit draws (q > 2^255: most are accepted).
  for (int tries = 0; tries < 1000; ++tries) {
    gcry_randomize(out, kQ94Bytes, GCRY_STRONG_RANDOM);
    if (group94_valid_secret(out, kQ94Bytes)) return true;
  }
  wipe(out, kQ94Bytes);
  return false;
}

void group94_public_of(uint8_t y[kP94Bytes], const uint8_t x[kQ94Bytes]) {
  Scalar v;
  Elem r;
  mont::from_le_bytes(v, x);
  Group::get().pow_a(r, v);
  mont::to_le_bytes(y, r);
  wipe_value(v);
  wipe_value(r);
}

bool group94_public_in_range(const uint8_t y[kP94Bytes]) {
  Elem v;
  mont::from_le_bytes(v, y);
  return Group::get().in_range(v);
}

bool group94_check_public(const uint8_t y[kP94Bytes], uint8_t powers[3][kP94Bytes]) {
  Elem v, pw[3];
  mont::from_le_bytes(v, y);
  if (!Group::get().check_public(v, powers != nullptr ? pw : nullptr)) return false;
  if (powers != nullptr) {
    for (size_t j = 0; j < 3; ++j) mont::to_le_bytes(powers[j], pw[j]);
  }
  return true;
}

bool group94_sign(uint8_t signature[64], const uint8_t x[kQ94Bytes], const uint8_t digest[32]) {
  const Group& g = Group::get();
  Scalar xs, k, e, r, s;
  uint8_t kb[kQ94Bytes];
  mont::from_le_bytes(xs, x);
  digest_value(e, digest);
  bool done = false;
  for (int tries = 0; tries < 100 && !done; ++tries) {
    if (!group94_random_scalar(kb)) break;
    mont::from_le_bytes(k, kb);
    done = g.sign(r, s, xs, k, e);
  }
  if (done) {
    store_be32(signature, s);
    store_be32(signature + 32, r);
  }
  wipe_value(xs);
  wipe_value(k);
  wipe_value(kb);
  wipe_value(s);
  return done;
}

int32_t group94_signature_parts(const uint8_t signature[64]) {
  const Group& g = Group::get();
  Scalar s, r;
  load_be32(s, signature);
  load_be32(r, signature + 32);
  if (mont::is_zero_mask(r) != 0) return kErrZeroR;
  if (mont::is_zero_mask(s) != 0) return kErrZeroS;
  if (mont::cmp_vartime(r, g.q()) >= 0) return kErrRangeR;
  if (mont::cmp_vartime(s, g.q()) >= 0) return kErrRangeS;
  return kOk;
}

namespace {

struct VerifyInputs {
  Scalar s, r, e;
  Elem y;
  VerifyInputs(const uint8_t y_le[kP94Bytes], const uint8_t digest[32], const uint8_t signature[64]) {
    load_be32(s, signature);
    load_be32(r, signature + 32);
    digest_value(e, digest);
    mont::from_le_bytes(y, y_le);
  }
};

}  // namespace

int32_t group94_verify_checking(const uint8_t y[kP94Bytes], uint8_t powers[3][kP94Bytes],
                                const uint8_t digest[32], const uint8_t signature[64]) {
  const VerifyInputs in(y, digest, signature);
  Scalar u;
  Elem pw[3];
  if (!Group::get().verify_checking(u, pw, in.y, in.e, in.r, in.s)) return kErrBadKey;
  for (size_t j = 0; j < 3; ++j) mont::to_le_bytes(powers[j], pw[j]);
  return mont::cmp_vartime(u, in.r) == 0 ? kOk : kErrSignature;
}

int32_t group94_verify(const uint8_t y[kP94Bytes], const uint8_t powers[3][kP94Bytes], const uint8_t digest[32],
                       const uint8_t signature[64]) {
  const VerifyInputs in(y, digest, signature);
  Scalar u;
  Elem pw[3];
  for (size_t j = 0; j < 3; ++j) mont::from_le_bytes(pw[j], powers[j]);
  Group::get().verify_with_powers(u, in.y, pw, in.e, in.r, in.s);
  return mont::cmp_vartime(u, in.r) == 0 ? kOk : kErrSignature;
}

bool group94_agree(uint8_t shared[kP94Bytes], const uint8_t* x, const uint8_t peer[kP94Bytes]) {
  Scalar xs;
  Elem y, out;
  mont::from_le_bytes(xs, x);
  mont::from_le_bytes(y, peer);
  const bool ok = Group::get().agree(out, y, xs);
  if (ok) mont::to_le_bytes(shared, out);
  wipe_value(xs);
  wipe_value(out);
  return ok;
}

}  // namespace gost
