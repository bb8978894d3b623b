// GOST R 34.10-94 signatures in the CryptoPro-A group.
#include "asym.hpp"
#include "common.hpp"
#include "gcrypt_init.hpp"
#include "group94.hpp"
#include "keyio.hpp"
#include "state.hpp"

namespace gost {

namespace {

struct Sign94State {
  static constexpr uint32_t kTag = 0x34394753;  // "SG94"
  uint32_t tag;
  uint32_t flags;
  uint8_t x[kQ94Bytes];  // secret, little-endian
  uint8_t y[kP94Bytes];  // public, little-endian
  // y^(2^64), y^(2^128), y^(2^192): by-products of the subgroup check that
  // shorten every later verification with the key. Valid with the flag below.
  uint8_t y_pow[3][kP94Bytes];
};

// Set with kHasPublic once y is known to lie in the order-q subgroup and
// y_pow holds its powers: a derived key is checked at once; a set one by
// the first verification under it, on that verification's own squarings,
// so that setting a key costs no exponentiation of its own.
constexpr uint32_t kPublicInSubgroup = 4;

using View = ContextView<Sign94State, kSign1994ContextSize>;

// Opens a context for a key operation: it must carry the parameters.
int32_t open(View& view) {
  if (const int32_t rc = view.check(); rc != kOk) return rc;
  return ensure_gcrypt() ? kOk : kErrInternal;
}

}  // namespace

int32_t s94_set_parms(void* ctx, void* state, const void* p, int32_t p_len, const void* q,
                      int32_t q_len, const void* a) {
  View view(ctx);
  if (ctx == nullptr || state == nullptr) return kErrNullPointer;
  // Only the built-in parameters are offered: explicit values are refused.
  if (p != nullptr || q != nullptr || a != nullptr || p_len != int32_t(kP94Bytes) ||
      q_len != int32_t(kQ94Bytes)) {
    view.erase();
    return kErrArgument;
  }
  if (!ensure_gcrypt()) return kErrInternal;
  touch_state(state);
  view.reset();
  view.commit();
  return kOk;
}

int32_t s94_get_parms(void* ctx, void* p, int32_t* p_len, void* q, int32_t* q_len, void* a) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (p_len == nullptr || q_len == nullptr) return kErrNullPointer;
  uint8_t pb[kP94Bytes], qb[kQ94Bytes], ab[kP94Bytes];
  group94_values(pb, qb, ab);
  const int32_t p_capacity = *p_len;
  if (const int32_t rc = copy_out_checked(pb, sizeof pb, p, p_len); rc != kOk) return rc;
  if (const int32_t rc = copy_out_checked(qb, sizeof qb, q, q_len); rc != kOk) return rc;
  if (a != nullptr) {
    int32_t a_len = p_capacity;
    return copy_out_checked(ab, sizeof ab, a, &a_len);
  }
  return kOk;
}

int32_t s94_gen_secret_key(void* ctx) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  const int32_t rc = group94_gen_secret(*view);
  if (rc == kOk) view.commit();
  return rc;
}

int32_t s94_gen_public_key(void* ctx) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  const int32_t rc = group94_gen_public(*view);
  if (rc != kOk) return rc;
  // a^x lies in the subgroup by construction; the check stays as a guard
  // against a fault in the arithmetic (a key pair is derived at every key
  // load, so a miscomputed public key must not pass as a good one).
  if (!group94_check_public(view->y, view->y_pow)) return kErrInternal;
  view->flags |= kPublicInSubgroup;
  view.commit();
  return kOk;
}

int32_t s94_get_secret_key(void* ctx, void* out, int32_t* length) {
  View view(ctx);
  if (const int32_t rc = view.check(); rc != kOk) return rc;
  if (!(view->flags & kHasSecret)) return kErrSequence;
  return copy_out_checked(view->x, sizeof view->x, out, length);
}

int32_t s94_get_public_key(void* ctx, void* out, int32_t* length) {
  View view(ctx);
  if (const int32_t rc = view.check(); rc != kOk) return rc;
  if (!(view->flags & kHasPublic)) return kErrSequence;
  return copy_out_checked(view->y, sizeof view->y, out, length);
}

int32_t s94_set_secret_key(void* ctx, const void* key) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (key == nullptr) return kErrNullPointer;
  if (view->flags & kHasSecret) return kErrKeyPresent;
  if (!group94_valid_secret(static_cast<const uint8_t*>(key), kQ94Bytes)) return kErrBadKey;
  std::memcpy(view->x, key, kQ94Bytes);
  view->flags |= kHasSecret;
  view.commit();
  return kOk;
}

int32_t s94_set_public_key(void* ctx, const void* key) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (key == nullptr) return kErrNullPointer;
  if (view->flags & kHasPublic) return kErrKeyPresent;
  // The range here; the subgroup at the first verification (kErrBadKey there).
  if (!group94_public_in_range(static_cast<const uint8_t*>(key))) return kErrBadKey;
  std::memcpy(view->y, key, kP94Bytes);
  view->flags = (view->flags | kHasPublic) & ~kPublicInSubgroup;
  view.commit();
  return kOk;
}

int32_t s94_sign(void* ctx, const void* hash, void* signature) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (hash == nullptr || signature == nullptr) return kErrNullPointer;
  if (!(view->flags & kHasSecret)) return kErrSequence;
  if (!group94_stored_secret_ok(*view)) return kErrInternal;
  return group94_sign(static_cast<uint8_t*>(signature), view->x, static_cast<const uint8_t*>(hash))
             ? kOk
             : kErrInternal;
}

int32_t s94_verify(void* ctx, const void* hash, const void* signature) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (hash == nullptr || signature == nullptr) return kErrNullPointer;
  if (!(view->flags & kHasPublic)) return kErrSequence;
  const auto* sig = static_cast<const uint8_t*>(signature);
  const auto* digest = static_cast<const uint8_t*>(hash);
  const int32_t parts = group94_signature_parts(sig);
  if (view->flags & kPublicInSubgroup) {
    return parts != kOk ? parts : group94_verify(view->y, view->y_pow, digest, sig);
  }
  // The first verification under a set key checks it, on its own squarings
  // (alone when the signature's parts are out of range): a key outside the
  // subgroup answers kErrBadKey whatever the signature.
  int32_t rc = parts;
  if (parts != kOk) {
    if (!group94_check_public(view->y, view->y_pow)) return kErrBadKey;
  } else {
    rc = group94_verify_checking(view->y, view->y_pow, digest, sig);
    if (rc == kErrBadKey) return rc;
  }
  view->flags |= kPublicInSubgroup;
  view.commit();
  return rc;
}

int32_t s94_clear_secret_key(void* ctx) { return clear_key<View>(ctx, kHasSecret, &Sign94State::x); }

int32_t s94_clear_public_key(void* ctx) {
  return clear_key<View>(ctx, kHasPublic | kPublicInSubgroup, &Sign94State::y, &Sign94State::y_pow);
}

int32_t s94_clear(void* ctx) { return clear_context<View>(ctx); }

}  // namespace gost
