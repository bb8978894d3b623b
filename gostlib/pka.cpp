// Diffie-Hellman agreement in the GOST R 34.10-94 CryptoPro-A group.
#include "asym.hpp"
#include "common.hpp"
#include "gcrypt_init.hpp"
#include "group94.hpp"
#include "keyio.hpp"
#include "state.hpp"

namespace gost {

namespace {

struct PkaState {
  static constexpr uint32_t kTag = 0x414B5044;  // "DPKA"
  uint32_t tag;
  uint32_t flags;
  uint8_t x[kP94Bytes];  // secret in [1, q-1], little-endian, zero-padded
  uint8_t y[kP94Bytes];  // public a^x mod p, little-endian
};

using View = ContextView<PkaState, kPkaContextSize>;

int32_t open(View& view) {
  if (const int32_t rc = view.check(); rc != kOk) return rc;
  return ensure_gcrypt() ? kOk : kErrInternal;
}

}  // namespace

int32_t pka_set_parms(void* ctx, void* state, const void* p, int32_t p_len, const void* g) {
  View view(ctx);
  if (ctx == nullptr || state == nullptr) return kErrNullPointer;
  // Only the built-in group is offered: explicit values are refused.
  if (p != nullptr || g != nullptr || p_len != int32_t(kP94Bytes)) {
    view.erase();
    return kErrArgument;
  }
  if (!ensure_gcrypt()) return kErrInternal;
  touch_state(state);
  view.reset();
  view.commit();
  return kOk;
}

int32_t pka_get_parms(void* ctx, void* p, int32_t* p_len, void* g) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (p_len == nullptr) return kErrNullPointer;
  uint8_t pb[kP94Bytes], qb[kQ94Bytes], gb[kP94Bytes];
  group94_values(pb, qb, gb);
  const int32_t capacity = *p_len;
  if (const int32_t rc = copy_out_checked(pb, sizeof pb, p, p_len); rc != kOk) return rc;
  if (g == nullptr) return kOk;
  int32_t g_len = capacity;
  return copy_out_checked(gb, sizeof gb, g, &g_len);
}

int32_t pka_gen_secret_key(void* ctx) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  const int32_t rc = group94_gen_secret(*view);
  if (rc == kOk) view.commit();
  return rc;
}

int32_t pka_gen_public_key(void* ctx) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  const int32_t rc = group94_gen_public(*view);
  if (rc == kOk) view.commit();
  return rc;
}

int32_t pka_gen_mutual_key(void* ctx, const void* peer, void* out) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (peer == nullptr || out == nullptr) return kErrNullPointer;
  if (!(view->flags & kHasSecret)) return kErrSequence;
  if (!group94_stored_secret_ok(*view)) return kErrInternal;
  uint8_t buf[kP94Bytes];
  const bool ok = group94_agree(buf, view->x, static_cast<const uint8_t*>(peer));
  if (ok) std::memcpy(out, buf, sizeof buf);
  wipe(buf, sizeof buf);
  return ok ? kOk : kErrBadKey;
}

int32_t pka_get_secret_key(void* ctx, void* out, int32_t* length) {
  View view(ctx);
  if (const int32_t rc = view.check(); rc != kOk) return rc;
  if (!(view->flags & kHasSecret)) return kErrSequence;
  return copy_out_fixed(view->x, sizeof view->x, kP94Bytes, out, length);
}

int32_t pka_get_public_key(void* ctx, void* out, int32_t* length) {
  View view(ctx);
  if (const int32_t rc = view.check(); rc != kOk) return rc;
  if (!(view->flags & kHasPublic)) return kErrSequence;
  return copy_out_fixed(view->y, sizeof view->y, kP94Bytes, out, length);
}

int32_t pka_set_secret_key(void* ctx, const void* key) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (key == nullptr) return kErrNullPointer;
  if (view->flags & kHasSecret) return kErrKeyPresent;
  if (!group94_valid_secret(static_cast<const uint8_t*>(key), kP94Bytes)) return kErrBadKey;
  std::memcpy(view->x, key, kP94Bytes);
  view->flags |= kHasSecret;
  view.commit();
  return kOk;
}

int32_t pka_clear_secret_key(void* ctx) { return clear_key<View>(ctx, kHasSecret, &PkaState::x); }

int32_t pka_clear_public_key(void* ctx) { return clear_key<View>(ctx, kHasPublic, &PkaState::y); }

int32_t pka_clear(void* ctx) { return clear_context<View>(ctx); }

}  // namespace gost
