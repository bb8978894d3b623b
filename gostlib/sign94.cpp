// GOST R 34.10-94 signatures in the CryptoPro-A group.
#include "asym.hpp"
#include "common.hpp"
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
};

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
  const Group94 g = load_group94();
  if (!g.ok()) return kErrInternal;
  uint8_t pb[kP94Bytes], qb[kQ94Bytes], ab[kP94Bytes];
  if (!mpi_to_le(g.p.get(), pb, sizeof pb) || !mpi_to_le(g.q.get(), qb, sizeof qb) ||
      !mpi_to_le(g.a.get(), ab, sizeof ab)) {
    return kErrInternal;
  }
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
  if (rc == kOk) view.commit();
  return rc;
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
  const Group94 g = load_group94();
  const Mpi x = mpi_from_le(static_cast<const uint8_t*>(key), kQ94Bytes, true);
  if (!g.ok() || !x) return kErrInternal;
  if (gcry_mpi_cmp_ui(x.get(), 0) == 0 || gcry_mpi_cmp(x.get(), g.q.get()) >= 0) return kErrBadKey;
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
  const Group94 g = load_group94();
  const Mpi y = mpi_from_le(static_cast<const uint8_t*>(key), kP94Bytes, false);
  if (!g.ok() || !y) return kErrInternal;
  if (!in_subgroup94(g, y.get())) return kErrBadKey;
  std::memcpy(view->y, key, kP94Bytes);
  view->flags |= kHasPublic;
  view.commit();
  return kOk;
}

int32_t s94_sign(void* ctx, const void* hash, void* signature) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (hash == nullptr || signature == nullptr) return kErrNullPointer;
  if (!(view->flags & kHasSecret)) return kErrSequence;
  const Group94 g = load_group94();
  const Mpi x = mpi_from_le(view->x, sizeof view->x, true);
  if (!g.ok() || !x) return kErrInternal;
  const Mpi e = digest_mod(static_cast<const uint8_t*>(hash), g.q.get());
  Mpi r = Mpi::make();
  Mpi s = Mpi::make_secure();
  Mpi t = Mpi::make_secure();
  for (;;) {
    const Mpi k = random_below(g.q.get());
    if (!k || !e) return kErrInternal;
    // r = (a^k mod p) mod q; s = (x r + k e) mod q; both must be non-zero.
    r = powm(g.a.get(), k.get(), g.p.get(), true);
    gcry_mpi_mod(r.get(), r.get(), g.q.get());
    if (gcry_mpi_cmp_ui(r.get(), 0) == 0) continue;
    gcry_mpi_mulm(s.get(), x.get(), r.get(), g.q.get());
    gcry_mpi_mulm(t.get(), k.get(), e.get(), g.q.get());
    gcry_mpi_addm(s.get(), s.get(), t.get(), g.q.get());
    if (gcry_mpi_cmp_ui(s.get(), 0) != 0) break;
  }
  auto* out = static_cast<uint8_t*>(signature);
  if (!mpi_to_be(s.get(), out, 32) || !mpi_to_be(r.get(), out + 32, 32)) return kErrInternal;
  return kOk;
}

int32_t s94_verify(void* ctx, const void* hash, const void* signature) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (hash == nullptr || signature == nullptr) return kErrNullPointer;
  if (!(view->flags & kHasPublic)) return kErrSequence;
  const Group94 g = load_group94();
  const auto* sig = static_cast<const uint8_t*>(signature);
  const Mpi s = mpi_from_be(sig, 32, false);
  const Mpi r = mpi_from_be(sig + 32, 32, false);
  const Mpi y = mpi_from_le(view->y, sizeof view->y, false);
  if (!g.ok() || !s || !r || !y) return kErrInternal;
  if (gcry_mpi_cmp_ui(r.get(), 0) == 0) return kErrZeroR;
  if (gcry_mpi_cmp_ui(s.get(), 0) == 0) return kErrZeroS;
  if (gcry_mpi_cmp(r.get(), g.q.get()) >= 0) return kErrRangeR;
  if (gcry_mpi_cmp(s.get(), g.q.get()) >= 0) return kErrRangeS;
  const Mpi e = digest_mod(static_cast<const uint8_t*>(hash), g.q.get());
  if (!e) return kErrInternal;
  // v = e^(q-2) mod q; z1 = s v; z2 = (q - r) v; u = (a^z1 y^z2 mod p) mod q.
  Mpi q2 = Mpi::make();
  gcry_mpi_sub_ui(q2.get(), g.q.get(), 2);
  const Mpi v = powm(e.get(), q2.get(), g.q.get(), false);
  Mpi z1 = Mpi::make();
  Mpi z2 = Mpi::make();
  gcry_mpi_mulm(z1.get(), s.get(), v.get(), g.q.get());
  gcry_mpi_sub(z2.get(), g.q.get(), r.get());
  gcry_mpi_mulm(z2.get(), z2.get(), v.get(), g.q.get());
  const Mpi u1 = powm(g.a.get(), z1.get(), g.p.get(), false);
  const Mpi u2 = powm(y.get(), z2.get(), g.p.get(), false);
  Mpi u = Mpi::make();
  gcry_mpi_mulm(u.get(), u1.get(), u2.get(), g.p.get());
  gcry_mpi_mod(u.get(), u.get(), g.q.get());
  return gcry_mpi_cmp(u.get(), r.get()) == 0 ? kOk : kErrSignature;
}

int32_t s94_clear_secret_key(void* ctx) { return clear_key<View>(ctx, kHasSecret, &Sign94State::x); }

int32_t s94_clear_public_key(void* ctx) { return clear_key<View>(ctx, kHasPublic, &Sign94State::y); }

int32_t s94_clear(void* ctx) { return clear_context<View>(ctx); }

}  // namespace gost
