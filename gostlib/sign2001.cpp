// GOST R 34.10-2001 signatures on the CryptoPro-A curve, through libgcrypt's
// curve "GOST2001-CryptoPro-A" (signing and verifying with flags gost).
#include "asym.hpp"
#include "common.hpp"
#include "keyio.hpp"
#include "mpi.hpp"
#include "state.hpp"

namespace gost {

namespace {

constexpr const char* kCurve = "GOST2001-CryptoPro-A";
constexpr const char* kOrder = "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF6C611070995AD10045841B09B761B893";
constexpr const char* kPrime = "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFD97";
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

class EcContext {
 public:
  EcContext() { gcry_mpi_ec_new(&ctx_, nullptr, kCurve); }
  ~EcContext() { gcry_ctx_release(ctx_); }
  EcContext(const EcContext&) = delete;
  EcContext& operator=(const EcContext&) = delete;
  gcry_ctx_t get() const { return ctx_; }

 private:
  gcry_ctx_t ctx_ = nullptr;
};

class Point {
 public:
  Point() : p_(gcry_mpi_point_new(0)) {}
  explicit Point(gcry_mpi_point_t p) : p_(p) {}
  ~Point() { gcry_mpi_point_release(p_); }
  Point(const Point&) = delete;
  Point& operator=(const Point&) = delete;
  gcry_mpi_point_t get() const { return p_; }

 private:
  gcry_mpi_point_t p_;
};

int32_t open(View& view) {
  if (const int32_t rc = view.check(); rc != kOk) return rc;
  return ensure_gcrypt() ? kOk : kErrInternal;
}

bool in_range(gcry_mpi_t v, const char* bound_hex) {
  const Mpi bound = mpi_from_hex(bound_hex);
  return bound && gcry_mpi_cmp_ui(v, 0) != 0 && gcry_mpi_cmp(v, bound.get()) < 0;
}

// k * P in affine little-endian coordinates; false for the point at infinity.
bool multiply(const EcContext& ec, gcry_mpi_t k, gcry_mpi_point_t p, uint8_t* x_le, uint8_t* y_le) {
  Point r;
  gcry_mpi_ec_mul(r.get(), k, p, ec.get());
  Mpi x = Mpi::make();
  Mpi y = Mpi::make();
  if (gcry_mpi_ec_get_affine(x.get(), y.get(), r.get(), ec.get()) != 0) return false;
  return mpi_to_le(x.get(), x_le, kCoord) && mpi_to_le(y.get(), y_le, kCoord);
}

// The curve point of little-endian coordinates, checked to lie on the curve.
bool load_point(const EcContext& ec, const uint8_t* x_le, const uint8_t* y_le, Point& out) {
  const Mpi x = mpi_from_le(x_le, kCoord, false);
  const Mpi y = mpi_from_le(y_le, kCoord, false);
  const Mpi prime = mpi_from_hex(kPrime);
  if (!x || !y || !prime) return false;
  if (gcry_mpi_cmp(x.get(), prime.get()) >= 0 || gcry_mpi_cmp(y.get(), prime.get()) >= 0) return false;
  const Mpi one = Mpi(gcry_mpi_set_ui(nullptr, 1));
  gcry_mpi_point_set(out.get(), x.get(), y.get(), one.get());
  return gcry_mpi_ec_curve_point(out.get(), ec.get()) != 0;
}

// The public point as libgcrypt's uncompressed encoding 04 || x || y (big-endian).
void encode_q(const uint8_t* x_le, const uint8_t* y_le, uint8_t out[65]) {
  out[0] = 0x04;
  for (size_t i = 0; i < kCoord; ++i) {
    out[1 + i] = x_le[kCoord - 1 - i];
    out[1 + kCoord + i] = y_le[kCoord - 1 - i];
  }
}

// The digest as libgcrypt's big-endian value.
void digest_be(const void* hash, uint8_t out[32]) {
  const auto* h = static_cast<const uint8_t*>(hash);
  for (size_t i = 0; i < 32; ++i) out[i] = h[31 - i];
}

Mpi sig_component(gcry_sexp_t sig, const char* name) {
  Sexp tok;
  *tok.out() = gcry_sexp_find_token(sig, name, 0);
  if (tok.get() == nullptr) return Mpi();
  return Mpi(gcry_sexp_nth_mpi(tok.get(), 1, GCRYMPI_FMT_USG));
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
  const Mpi q = mpi_from_hex(kOrder);
  const Mpi d = q ? random_below(q.get()) : Mpi();
  if (!d || !mpi_to_le(d.get(), view->d, kCoord)) return kErrInternal;
  view->flags |= kHasSecret;
  view.commit();
  return kOk;
}

int32_t s01_gen_public_key(void* ctx) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (!(view->flags & kHasSecret)) return kErrSequence;
  const EcContext ec;
  const Mpi d = mpi_from_le(view->d, kCoord, true);
  if (ec.get() == nullptr || !d) return kErrInternal;
  const Point g(gcry_mpi_ec_get_point("g", ec.get(), 1));
  if (g.get() == nullptr || !multiply(ec, d.get(), g.get(), view->x, view->y)) return kErrInternal;
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
  const Mpi d = mpi_from_le(static_cast<const uint8_t*>(key), kCoord, true);
  if (!d) return kErrInternal;
  if (!in_range(d.get(), kOrder)) return kErrBadKey;
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
  const EcContext ec;
  Point point;
  if (ec.get() == nullptr) return kErrInternal;
  if (!load_point(ec, k, k + kCoord, point)) return kErrBadKey;
  std::memcpy(view->x, k, kCoord);
  std::memcpy(view->y, k + kCoord, kCoord);
  view->flags |= kHasPublic;
  view.commit();
  return kOk;
}

int32_t s01_sign(void* ctx, const void* hash, void* signature) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (hash == nullptr || signature == nullptr) return kErrNullPointer;
  if (!(view->flags & kHasSecret)) return kErrSequence;
  const Mpi d = mpi_from_le(view->d, kCoord, true);
  if (!d) return kErrInternal;
  uint8_t value[32];
  digest_be(hash, value);
  Sexp key, data, sig;
  if (gcry_sexp_build(key.out(), nullptr, "(private-key(ecc(curve %s)(d %m)))", kCurve, d.get()) != 0 ||
      gcry_sexp_build(data.out(), nullptr, "(data(flags gost)(value %b))", 32, value) != 0 ||
      gcry_pk_sign(sig.out(), data.get(), key.get()) != 0) {
    return kErrInternal;
  }
  const Mpi r = sig_component(sig.get(), "r");
  const Mpi s = sig_component(sig.get(), "s");
  auto* out = static_cast<uint8_t*>(signature);
  if (!r || !s || !mpi_to_be(s.get(), out, 32) || !mpi_to_be(r.get(), out + 32, 32)) {
    return kErrInternal;
  }
  return kOk;
}

int32_t s01_verify(void* ctx, const void* hash, const void* signature) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (hash == nullptr || signature == nullptr) return kErrNullPointer;
  if (!(view->flags & kHasPublic)) return kErrSequence;
  const auto* sig = static_cast<const uint8_t*>(signature);
  const Mpi s = mpi_from_be(sig, 32, false);
  const Mpi r = mpi_from_be(sig + 32, 32, false);
  const Mpi q = mpi_from_hex(kOrder);
  if (!s || !r || !q) return kErrInternal;
  if (gcry_mpi_cmp_ui(r.get(), 0) == 0) return kErrZeroR;
  if (gcry_mpi_cmp_ui(s.get(), 0) == 0) return kErrZeroS;
  if (gcry_mpi_cmp(r.get(), q.get()) >= 0) return kErrRangeR;
  if (gcry_mpi_cmp(s.get(), q.get()) >= 0) return kErrRangeS;
  uint8_t point[65];
  encode_q(view->x, view->y, point);
  uint8_t value[32];
  digest_be(hash, value);
  Sexp key, data, sv;
  if (gcry_sexp_build(key.out(), nullptr, "(public-key(ecc(curve %s)(q %b)))", kCurve, 65, point) != 0 ||
      gcry_sexp_build(data.out(), nullptr, "(data(flags gost)(value %b))", 32, value) != 0 ||
      gcry_sexp_build(sv.out(), nullptr, "(sig-val(gost(r %m)(s %m)))", r.get(), s.get()) != 0) {
    return kErrInternal;
  }
  const gcry_error_t err = gcry_pk_verify(sv.get(), data.get(), key.get());
  if (err == 0) return kOk;
  return gcry_err_code(err) == GPG_ERR_BAD_SIGNATURE ? kErrSignature : kErrInternal;
}

int32_t s01_gen_mutual_key(void* ctx, const void* peer, void* out) {
  View view(ctx);
  if (const int32_t rc = open(view); rc != kOk) return rc;
  if (peer == nullptr || out == nullptr) return kErrNullPointer;
  if (!(view->flags & kHasSecret)) return kErrSequence;
  // Plain agreement on the curve: d * peer, written as x || y (little-endian).
  const auto* k = static_cast<const uint8_t*>(peer);
  const EcContext ec;
  Point point;
  const Mpi d = mpi_from_le(view->d, kCoord, true);
  if (ec.get() == nullptr || !d) return kErrInternal;
  if (!load_point(ec, k, k + kCoord, point)) return kErrBadKey;
  uint8_t xy[2 * kCoord];
  if (!multiply(ec, d.get(), point.get(), xy, xy + kCoord)) return kErrBadKey;
  std::memcpy(out, xy, sizeof xy);
  wipe(xy, sizeof xy);
  return kOk;
}

int32_t s01_clear_secret_key(void* ctx) { return clear_key<View>(ctx, kHasSecret, &Sign2001State::d); }

int32_t s01_clear_public_key(void* ctx) {
  return clear_key<View>(ctx, kHasPublic, &Sign2001State::x, &Sign2001State::y);
}

int32_t s01_clear(void* ctx) { return clear_context<View>(ctx); }

}  // namespace gost
