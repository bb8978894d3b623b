// GOST R 34.10-2001 signatures and the plain curve agreement on the
// CryptoPro-A curve, on the constant-time arithmetic of ec256.hpp. libgcrypt
// only supplies random bytes (its strong generator for keys, its nonce
// generator for the nonces) and SHA-512 for deriving the nonces.
#include <gcrypt.h>

#include "asym.hpp"
#include "common.hpp"
#include "ec256.hpp"
#include "gcrypt_init.hpp"
#include "keyio.hpp"
#include "state.hpp"

namespace gost {

namespace {

namespace ec = ec256;

constexpr size_t kCoord = 32;
constexpr size_t kPublicArea = 100;

struct Sign2001State {
  static constexpr uint32_t kTag = 0x31304753;  // "SG01"
  uint32_t tag;
  uint32_t flags;
  uint8_t d[kCoord];  // secret, little-endian
  uint8_t x[kCoord];  // public point, little-endian coordinates
  uint8_t y[kCoord];
};

using View = ContextView<Sign2001State, kSign2001ContextSize>;

// Scalars and points that may hold secrets, wiped on scope exit.
template <class T>
class Secret {
 public:
  Secret() = default;
  ~Secret() { wipe(&value_, sizeof value_); }
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;
  T& operator*() { return value_; }
  T* operator->() { return &value_; }

 private:
  T value_{};
};

int32_t open(View& view) {
  if (const int32_t rc = view.check(); rc != kOk) return rc;
  return ensure_gcrypt() ? kOk : kErrInternal;
}

// A uniformly random scalar in [1, q - 1] from the strong generator.
void random_scalar(ec::Sc& out) {
  uint8_t bytes[kCoord];
  for (;;) {
    gcry_randomize(bytes, sizeof bytes, GCRY_STRONG_RANDOM);
    if (ec::sc_from_le(bytes, out) && !ec::sc_is_zero(out)) break;
  }
  wipe(bytes, sizeof bytes);
}

// The secret key of the context. Only keys in [1, q - 1] are ever stored,
// so false means the caller's context was altered.
bool load_secret(const Sign2001State& st, ec::Sc& out) {
  return ec::sc_from_le(st.d, out) && !ec::sc_is_zero(out);
}

// The nonce k of one signature: SHA-512 over a label, the secret d, the
// digest, 32 fresh bytes of libgcrypt's nonce generator and a counter,
// reduced mod q (64 bytes, so the bias is below 2^-250). k stays secret as
// long as d does, even if the fresh bytes were known, and the fresh bytes
// make each signature of the same digest use another k. libgcrypt's strong
// generator, which makes the keys, costs half of a whole signature per call.
void derive_nonce(const uint8_t d[kCoord], const void* digest, uint32_t counter, ec::Sc& k) {
  static constexpr char kLabel[16] = "GOST 2001 nonce";
  uint8_t in[sizeof kLabel + 3 * kCoord + 4];
  uint8_t* p = in;
  std::memcpy(p, kLabel, sizeof kLabel);
  std::memcpy(p += sizeof kLabel, d, kCoord);
  std::memcpy(p += kCoord, digest, kCoord);
  gcry_create_nonce(p += kCoord, kCoord);
  store_le32(p + kCoord, counter);
  uint8_t hash[64];
  gcry_md_hash_buffer(GCRY_MD_SHA512, hash, in, sizeof in);
  k = ec::sc_reduce_wide_le(hash);
  wipe(in, sizeof in);
  wipe(hash, sizeof hash);
}

// The curve point of little-endian coordinates: each below p, on the curve.
bool load_point(const uint8_t* x_le, const uint8_t* y_le, ec::Affine& out) {
  return ec::fe_from_le(x_le, out.x) && ec::fe_from_le(y_le, out.y) && ec::on_curve(out);
}

// The digest read little-endian, reduced mod q; 0 becomes 1.
ec::Sc digest_scalar(const void* hash) {
  ec::Sc e = ec::sc_reduce_le(static_cast<const uint8_t*>(hash));
  if (ec::sc_is_zero(e)) e.v[0] = 1;
  return e;
}

}  // namespace

int32_t s01_set_parms(void* ctx, void* state, const void* p, int32_t p_len, const void* q,
                      int32_t q_len, const void* a, const void* b, const void* base) {
  View view(ctx);
  if (ctx == nullptr || state == nullptr) return kErrNullPointer;
  // Only the built-in curve is offered: explicit values are refused.
  if (p != nullptr || q != nullptr || a != nullptr || b != nullptr || base != nullptr ||
      p_len != int32_t(kCoord) || q_len != int32_t(kCoord)) {
    view.erase();
    return kErrArgument;
  }
  if (!ensure_gcrypt()) return kErrInternal;
  touch_state(state);
  view.reset();
  view.commit();
  return kOk;
}

int32_t s01_gen_secret_key(void* ctx) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (view->flags & kHasSecret) return kErrKeyPresent;
  Secret<ec::Sc> d;
  random_scalar(*d);
  ec::sc_to_le(*d, view->d);
  view->flags |= kHasSecret;
  view.commit();
  return kOk;
}

int32_t s01_gen_public_key(void* ctx) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (!(view->flags & kHasSecret)) return kErrSequence;
  Secret<ec::Sc> d;
  Secret<ec::Point> point;
  Secret<ec::Affine> pub;
  if (!load_secret(*view, *d)) return kErrInternal;
  *point = ec::mul_base(*d);
  if (!ec::to_affine(*point, *pub)) return kErrInternal;
  ec::fe_to_le(pub->x, view->x);
  ec::fe_to_le(pub->y, view->y);
  view->flags |= kHasPublic;
  view.commit();
  return kOk;
}

int32_t s01_get_secret_key(void* ctx, void* out, int32_t* length) {
  View view(ctx);
  if (const int32_t rc = view.check(); rc != kOk) return rc;
  if (!(view->flags & kHasSecret)) return kErrSequence;
  return copy_out_checked(view->d, kCoord, out, length);
}

int32_t s01_get_public_key(void* ctx, void* out, int32_t* length) {
  View view(ctx);
  if (const int32_t rc = view.check(); rc != kOk) return rc;
  if (!(view->flags & kHasPublic)) return kErrSequence;
  uint8_t xy[2 * kCoord];
  std::memcpy(xy, view->x, kCoord);
  std::memcpy(xy + kCoord, view->y, kCoord);
  return copy_out_fixed(xy, sizeof xy, kPublicArea, out, length);
}

int32_t s01_set_secret_key(void* ctx, const void* key) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (key == nullptr) return kErrNullPointer;
  if (view->flags & kHasSecret) return kErrKeyPresent;
  Secret<ec::Sc> d;
  if (!ec::sc_from_le(static_cast<const uint8_t*>(key), *d) || ec::sc_is_zero(*d)) return kErrBadKey;
  std::memcpy(view->d, key, kCoord);
  view->flags |= kHasSecret;
  view.commit();
  return kOk;
}

int32_t s01_set_public_key(void* ctx, const void* key) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (key == nullptr) return kErrNullPointer;
  if (view->flags & kHasPublic) return kErrKeyPresent;
  const auto* k = static_cast<const uint8_t*>(key);
  ec::Affine point;
  if (!load_point(k, k + kCoord, point)) return kErrBadKey;
  std::memcpy(view->x, k, kCoord);
  std::memcpy(view->y, k + kCoord, kCoord);
  view->flags |= kHasPublic;
  view.commit();
  return kOk;
}

// r = x(kG) mod q, s = (r d + k e) mod q, a fresh k until neither is zero.
int32_t s01_sign(void* ctx, const void* hash, void* signature) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (hash == nullptr || signature == nullptr) return kErrNullPointer;
  if (!(view->flags & kHasSecret)) return kErrSequence;
  const ec::Sc e = digest_scalar(hash);
  Secret<ec::Sc> d, k, s;
  Secret<ec::Point> point;
  Secret<ec::Affine> affine;
  ec::Sc r{};
  if (!load_secret(*view, *d)) return kErrInternal;
  for (uint32_t counter = 0;; ++counter) {
    derive_nonce(view->d, hash, counter, *k);
    if (ec::sc_is_zero(*k)) continue;
    *point = ec::mul_base(*k);
    if (!ec::to_affine(*point, *affine)) return kErrInternal;
    r = ec::sc_from_fe(affine->x);
    if (ec::sc_is_zero(r)) continue;
    *s = ec::sc_add(ec::sc_mul(r, *d), ec::sc_mul(*k, e));
    if (!ec::sc_is_zero(*s)) break;
  }
  auto* out = static_cast<uint8_t*>(signature);
  ec::sc_to_be(*s, out);
  ec::sc_to_be(r, out + 32);
  return kOk;
}

// v = e^-1, z1 = s v, z2 = -r v, R = z1 G + z2 Q: valid when x(R) mod q == r.
int32_t s01_verify(void* ctx, const void* hash, const void* signature) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (hash == nullptr || signature == nullptr) return kErrNullPointer;
  if (!(view->flags & kHasPublic)) return kErrSequence;
  const auto* sig = static_cast<const uint8_t*>(signature);
  const bool r_zero = all_zero(sig + 32, 32);
  const bool s_zero = all_zero(sig, 32);
  ec::Sc r, s;
  if (r_zero) return kErrZeroR;
  if (s_zero) return kErrZeroS;
  if (!ec::sc_from_be(sig + 32, r)) return kErrRangeR;
  if (!ec::sc_from_be(sig, s)) return kErrRangeS;
  ec::Affine q;
  if (!load_point(view->x, view->y, q)) return kErrInternal;
  const ec::Sc v = ec::sc_inv_public(digest_scalar(hash));
  const ec::Sc z1 = ec::sc_mul(s, v);
  const ec::Sc z2 = ec::sc_neg(ec::sc_mul(r, v));
  const ec::Point sum = ec::mul_double_public(z1, z2, q);
  return ec::x_mod_q_equals(sum, r) ? kOk : kErrSignature;
}

int32_t s01_gen_mutual_key(void* ctx, const void* peer, void* out) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (peer == nullptr || out == nullptr) return kErrNullPointer;
  if (!(view->flags & kHasSecret)) return kErrSequence;
  // Plain agreement on the curve: d * peer, written as x || y (little-endian).
  const auto* k = static_cast<const uint8_t*>(peer);
  ec::Affine point;
  if (!load_point(k, k + kCoord, point)) return kErrBadKey;
  Secret<ec::Sc> d;
  Secret<ec::Point> product;
  Secret<ec::Affine> shared;
  if (!load_secret(*view, *d)) return kErrInternal;
  *product = ec::mul(*d, point);
  if (!ec::to_affine(*product, *shared)) return kErrBadKey;
  auto* xy = static_cast<uint8_t*>(out);
  ec::fe_to_le(shared->x, xy);
  ec::fe_to_le(shared->y, xy + kCoord);
  return kOk;
}

int32_t s01_clear_secret_key(void* ctx) { return clear_key<View>(ctx, kHasSecret, &Sign2001State::d); }

int32_t s01_clear_public_key(void* ctx) {
  return clear_key<View>(ctx, kHasPublic, &Sign2001State::x, &Sign2001State::y);
}

int32_t s01_clear(void* ctx) { return clear_context<View>(ctx); }

}  // namespace gost
