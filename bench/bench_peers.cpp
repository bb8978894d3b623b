// libcrypt.dll's GOST primitives next to the fastest peers, single-threaded,
// in one run: OpenSSL 3 (its gost engine for GOST R 34.10-2001 and its
// hand-tuned P-256 ECDSA as the anchor for a 256-bit curve, its BN
// arithmetic for the GOST R 34.10-94 group), nettle and libgcrypt. The
// library is called through its entry points as the engine calls it.
//
// The gost engine is reached through the ENGINE interface, deprecated in
// OpenSSL 3 but the only one it offers for raw signatures on a digest.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <nettle/ecc-curve.h>
#include <nettle/ecc.h>
#include <nettle/ecdsa.h>
#include <nettle/gostdsa.h>
#include <nettle/knuth-lfib.h>
#include <openssl/bn.h>
#include <openssl/engine.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "gostlib_entry.h"

namespace {

using namespace dz_bench;

constexpr uint8_t kDigest[32] = {0x3A, 0x1F, 0x77, 0x02, 0x9C, 0x44, 0xE1, 0x5B, 0x60, 0x0D, 0x28,
                                 0xB3, 0x91, 0x4E, 0x7C, 0x15, 0xA8, 0x33, 0x6F, 0xC2, 0x09, 0xD4,
                                 0x57, 0x8B, 0x1E, 0xF0, 0x62, 0x3D, 0xAE, 0x85, 0x19, 0x4C};

// ---- OpenSSL handles ------------------------------------------------------------

template <class T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using Bn = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_clear_free>>;
using BnCtx = std::unique_ptr<BN_CTX, Deleter<BN_CTX, BN_CTX_free>>;
using Mont = std::unique_ptr<BN_MONT_CTX, Deleter<BN_MONT_CTX, BN_MONT_CTX_free>>;
using Pkey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;

void release_engine(ENGINE* e) {
  ENGINE_finish(e);
  ENGINE_free(e);
}
using Engine = std::unique_ptr<ENGINE, Deleter<ENGINE, release_engine>>;

constexpr const char* kNoEngine =
    "OpenSSL's gost engine is not available: install it with DZ_WITH_BENCH=1 scripts/deps.sh "
    "(package libengine-gost-openssl) or set DZ_GOST_ENGINE to the path of its gost.so";

// The engine by its id from OpenSSL's engine directory; failing that, the
// shared object named by DZ_GOST_ENGINE through the dynamic loader engine.
ENGINE* load_engine() {
  ENGINE* e = ENGINE_by_id("gost");
  const char* path = std::getenv("DZ_GOST_ENGINE");
  if (e == nullptr && path != nullptr && *path != '\0') {
    e = ENGINE_by_id("dynamic");
    if (e != nullptr && (!ENGINE_ctrl_cmd_string(e, "SO_PATH", path, 0) ||
                         !ENGINE_ctrl_cmd_string(e, "ID", "gost", 0) ||
                         !ENGINE_ctrl_cmd_string(e, "LOAD", nullptr, 0))) {
      ENGINE_free(e);
      e = nullptr;
    }
  }
  if (e != nullptr && !ENGINE_init(e)) {
    ENGINE_free(e);
    e = nullptr;
  }
  // Its key types become known to EVP only once registered.
  if (e != nullptr && (!ENGINE_register_pkey_asn1_meths(e) || !ENGINE_register_pkey_meths(e))) {
    release_engine(e);
    e = nullptr;
  }
  ERR_clear_error();
  return e;
}

ENGINE* gost_engine() {
  static const Engine engine(load_engine());
  return engine.get();
}

// ---- GOST R 34.10-2001: OpenSSL's gost engine -----------------------------------

// A key pair on the CryptoPro-A curve (paramset "A"), or null.
Pkey engine_key_2001() {
  PkeyCtx ctx(EVP_PKEY_CTX_new_id(NID_id_GostR3410_2001, gost_engine()));
  EVP_PKEY* key = nullptr;
  if (ctx == nullptr || EVP_PKEY_keygen_init(ctx.get()) != 1 ||
      EVP_PKEY_CTX_ctrl_str(ctx.get(), "paramset", "A") <= 0 || EVP_PKEY_keygen(ctx.get(), &key) != 1) {
    ERR_clear_error();
    return nullptr;
  }
  return Pkey(key);
}

// One context per key, reused across operations (the peer's best case).
PkeyCtx evp_ctx(EVP_PKEY* key, ENGINE* engine, int (*init)(EVP_PKEY_CTX*)) {
  PkeyCtx ctx(EVP_PKEY_CTX_new(key, engine));
  if (ctx != nullptr && init(ctx.get()) != 1) ctx.reset();
  return ctx;
}

// A signature as the peer encodes it: 64 bytes s || r for the gost engine,
// DER for ECDSA (at most 72 bytes on a 256-bit curve).
struct PeerSignature {
  uint8_t bytes[80] = {};
  size_t size = 0;
};

bool evp_sign(EVP_PKEY_CTX* ctx, PeerSignature& sig) {
  sig.size = sizeof sig.bytes;
  return EVP_PKEY_sign(ctx, sig.bytes, &sig.size, kDigest, sizeof kDigest) == 1;
}

bool evp_verify(EVP_PKEY_CTX* ctx, const PeerSignature& sig) {
  return EVP_PKEY_verify(ctx, sig.bytes, sig.size, kDigest, sizeof kDigest) == 1;
}

// An EVP key pair with a signing and a verifying context and one signature,
// checked before timing: the signature verifies, a changed one does not.
// Byte 5 lies inside s for the gost engine and inside r for DER ECDSA.
struct EvpSigner {
  explicit EvpSigner(const char* peer) : name(peer) {}

  const char* name;
  Pkey key;
  PkeyCtx sign;
  PkeyCtx check;
  PeerSignature sig;

  // Null when ready, else what went wrong.
  const char* Open(Pkey made, ENGINE* engine) {
    key = std::move(made);
    if (key == nullptr) return "no key pair";
    sign = evp_ctx(key.get(), engine, EVP_PKEY_sign_init);
    check = evp_ctx(key.get(), engine, EVP_PKEY_verify_init);
    if (!sign || !check || !evp_sign(sign.get(), sig) || !evp_verify(check.get(), sig)) {
      return "a signature of its own does not verify";
    }
    PeerSignature bad = sig;
    bad.bytes[5] ^= 1;
    if (evp_verify(check.get(), bad)) return "a changed signature verifies";
    ERR_clear_error();
    return nullptr;
  }
};

void evp_rows(benchmark::State& st, EvpSigner& s, const char* error, bool verify) {
  if (error != nullptr) return st.SkipWithError((std::string(s.name) + ": " + error).c_str());
  for (auto _ : st) {
    if (verify ? !evp_verify(s.check.get(), s.sig) : !evp_sign(s.sign.get(), s.sig)) {
      st.SkipWithError((std::string(s.name) + (verify ? ": verify failed" : ": sign failed")).c_str());
    }
  }
  count_ops(st);
}

void engine_rows(benchmark::State& st, bool verify) {
  EvpSigner s("gost engine");
  const char* error = gost_engine() == nullptr ? kNoEngine : s.Open(engine_key_2001(), gost_engine());
  evp_rows(st, s, error, verify);
}

void BM_Ossl_Sign2001(benchmark::State& st) { engine_rows(st, false); }
void BM_Ossl_Verify2001(benchmark::State& st) { engine_rows(st, true); }

// ---- ECDSA on P-256: OpenSSL's hand-tuned 256-bit curve ----------------------------

// A key pair on prime256v1 from OpenSSL's default provider, whose P-256
// arithmetic is its assembly for x86-64 (the anchor of the 2001 rows).
Pkey p256_key() {
  PkeyCtx ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_EC, nullptr));
  EVP_PKEY* key = nullptr;
  if (ctx == nullptr || EVP_PKEY_keygen_init(ctx.get()) != 1 ||
      EVP_PKEY_CTX_set_ec_paramgen_curve_nid(ctx.get(), NID_X9_62_prime256v1) <= 0 ||
      EVP_PKEY_keygen(ctx.get(), &key) != 1) {
    ERR_clear_error();
    return nullptr;
  }
  return Pkey(key);
}

void p256_rows(benchmark::State& st, bool verify) {
  EvpSigner s("OpenSSL P-256");
  evp_rows(st, s, s.Open(p256_key(), nullptr), verify);
}

void BM_Ossl_SignP256(benchmark::State& st) { p256_rows(st, false); }
void BM_Ossl_VerifyP256(benchmark::State& st) { p256_rows(st, true); }

// ---- GOST R 34.10-2001: nettle ------------------------------------------------------

void lfib_random(void* ctx, size_t n, uint8_t* dst) { knuth_lfib_random(static_cast<knuth_lfib_ctx*>(ctx), n, dst); }

// A key pair on nettle's gc256b (the CryptoPro-A curve) and one signature.
// The nonces come from nettle's fast non-cryptographic generator, so the
// signing row is nettle's best case.
struct NettleSigner {
  knuth_lfib_ctx rng{};
  ecc_point pub{};
  ecc_scalar key{};
  dsa_signature sig{};
  NettleSigner() {
    knuth_lfib_init(&rng, 2001);
    ecc_point_init(&pub, nettle_get_gost_gc256b());
    ecc_scalar_init(&key, nettle_get_gost_gc256b());
    dsa_signature_init(&sig);
    ecdsa_generate_keypair(&pub, &key, &rng, lfib_random);
  }
  NettleSigner(const NettleSigner&) = delete;
  NettleSigner& operator=(const NettleSigner&) = delete;
  ~NettleSigner() {
    dsa_signature_clear(&sig);
    ecc_scalar_clear(&key);
    ecc_point_clear(&pub);
  }
  void sign() { gostdsa_sign(&key, &rng, lfib_random, sizeof kDigest, kDigest, &sig); }
  bool verify() const { return gostdsa_verify(&pub, sizeof kDigest, kDigest, &sig) == 1; }
};

void BM_Nettle_Sign2001(benchmark::State& st) {
  NettleSigner n;
  n.sign();
  if (!n.verify()) return st.SkipWithError("nettle: a signature of its own does not verify");
  for (auto _ : st) {
    n.sign();
    benchmark::DoNotOptimize(n.sig);
  }
  count_ops(st);
}

void BM_Nettle_Verify2001(benchmark::State& st) {
  NettleSigner n;
  n.sign();
  uint8_t other[sizeof kDigest];
  std::memcpy(other, kDigest, sizeof other);
  other[0] ^= 1;
  if (gostdsa_verify(&n.pub, sizeof other, other, &n.sig) != 0) {
    return st.SkipWithError("nettle: a signature verifies for another digest");
  }
  for (auto _ : st) {
    if (!n.verify()) st.SkipWithError("nettle: verify failed");
  }
  count_ops(st);
}

// ---- GOST R 34.10-94 group on OpenSSL's BN ----------------------------------------

Bn hex_bn(const char* hex) {
  BIGNUM* b = nullptr;
  BN_hex2bn(&b, hex);
  return Bn(b);
}

Bn new_bn() { return Bn(BN_new()); }

// The fixed group with its Montgomery context (built once, as an
// implementation with fixed parameters keeps it) and a key pair.
struct Group94 {
  BnCtx ctx{BN_CTX_new()};
  Bn p = hex_bn(kGroup94P), q = hex_bn(kGroup94Q), a = hex_bn(kGroup94A);
  Mont mont{BN_MONT_CTX_new()};
  Bn x = new_bn(), y = new_bn();
  Group94() {
    BN_MONT_CTX_set(mont.get(), p.get(), ctx.get());
    random_secret(x.get());
    power(y.get(), a.get(), x.get());
  }
  // A secret exponent in [1, q - 1], handled in constant time.
  void random_secret(BIGNUM* k) const {
    do {
      BN_priv_rand_range(k, q.get());
    } while (BN_is_zero(k));
    BN_set_flags(k, BN_FLG_CONSTTIME);
  }
  // r = base^k mod p by the constant-time fixed-window exponentiation.
  bool power(BIGNUM* r, const BIGNUM* base, const BIGNUM* k) const {
    return BN_mod_exp_mont_consttime(r, base, k, p.get(), ctx.get(), mont.get()) == 1;
  }
  // The digest as a number mod q (little-endian, zero taken as one).
  Bn digest_mod_q() const {
    Bn h(BN_lebin2bn(kDigest, sizeof kDigest, nullptr));
    BN_nnmod(h.get(), h.get(), q.get(), ctx.get());
    if (BN_is_zero(h.get())) BN_one(h.get());
    return h;
  }
};

struct Signature94 {
  Bn r = new_bn(), s = new_bn();
};

// r = (a^k mod p) mod q, s = (x r + k h) mod q, with a fresh k each time.
bool sign94(const Group94& g, const BIGNUM* h, Signature94& out) {
  BN_CTX* c = g.ctx.get();
  const Bn k = new_bn(), t = new_bn(), u = new_bn();
  do {
    g.random_secret(k.get());
    if (!g.power(t.get(), g.a.get(), k.get()) || !BN_nnmod(out.r.get(), t.get(), g.q.get(), c)) return false;
    if (BN_is_zero(out.r.get())) continue;
    if (!BN_mod_mul(t.get(), g.x.get(), out.r.get(), g.q.get(), c) ||
        !BN_mod_mul(u.get(), k.get(), h, g.q.get(), c) || !BN_mod_add(out.s.get(), t.get(), u.get(), g.q.get(), c)) {
      return false;
    }
  } while (BN_is_zero(out.r.get()) || BN_is_zero(out.s.get()));
  return true;
}

// v = h^-1 mod q, z1 = s v mod q, z2 = (q - r) v mod q; valid when
// (a^z1 y^z2 mod p) mod q == r. With `simultaneous`, the two powers are one
// BN_mod_exp2_mont; otherwise two BN_mod_exp_mont and a BN_mod_mul.
bool verify94(const Group94& g, const BIGNUM* h, const Signature94& sig, bool simultaneous) {
  BN_CTX* c = g.ctx.get();
  const BIGNUM *p = g.p.get(), *q = g.q.get();
  if (BN_is_zero(sig.r.get()) || BN_is_zero(sig.s.get()) || BN_cmp(sig.r.get(), q) >= 0 ||
      BN_cmp(sig.s.get(), q) >= 0) {
    return false;
  }
  const Bn v = new_bn(), z1 = new_bn(), z2 = new_bn(), u = new_bn(), w = new_bn();
  if (BN_mod_inverse(v.get(), h, q, c) == nullptr || !BN_mod_mul(z1.get(), sig.s.get(), v.get(), q, c) ||
      !BN_sub(z2.get(), q, sig.r.get()) || !BN_mod_mul(z2.get(), z2.get(), v.get(), q, c)) {
    return false;
  }
  bool ok = false;
  if (simultaneous) {
    ok = BN_mod_exp2_mont(u.get(), g.a.get(), z1.get(), g.y.get(), z2.get(), p, c, g.mont.get()) == 1;
  } else {
    ok = BN_mod_exp_mont(u.get(), g.a.get(), z1.get(), p, c, g.mont.get()) == 1 &&
         BN_mod_exp_mont(w.get(), g.y.get(), z2.get(), p, c, g.mont.get()) == 1 &&
         BN_mod_mul(u.get(), u.get(), w.get(), p, c) == 1;
  }
  return ok && BN_nnmod(u.get(), u.get(), q, c) == 1 && BN_cmp(u.get(), sig.r.get()) == 0;
}

// The check the library makes of every public key it is given: 2 <= y <=
// p - 2 and y^q = 1 mod p (public data: the variable-time exponentiation).
bool check_public94(const Group94& g, const BIGNUM* y) {
  BN_CTX* c = g.ctx.get();
  const Bn limit = new_bn(), t = new_bn();
  if (!BN_sub(limit.get(), g.p.get(), BN_value_one()) || !BN_sub_word(limit.get(), 1)) return false;
  if (BN_cmp(y, BN_value_one()) <= 0 || BN_cmp(y, limit.get()) > 0) return false;
  return BN_mod_exp_mont(t.get(), y, g.q.get(), g.p.get(), c, g.mont.get()) == 1 && BN_is_one(t.get());
}

// -a has order 2q: inside the range, outside the subgroup. The check must
// refuse it and accept a itself, or the rows below measure nothing.
bool check_public94_works(const Group94& g) {
  const Bn minus_a = new_bn();
  return BN_sub(minus_a.get(), g.p.get(), g.a.get()) == 1 && !check_public94(g, minus_a.get()) &&
         check_public94(g, g.a.get());
}

// One exponentiation with a 256-bit secret exponent: a Diffie-Hellman
// secret (the peer's public key to one's own secret), the cost of a sign.
void BM_Ossl_ModExp94(benchmark::State& st) {
  const Group94 g;
  const Bn secret = new_bn(), peer = new_bn(), shared = new_bn();
  g.random_secret(secret.get());
  g.power(peer.get(), g.a.get(), secret.get());
  g.random_secret(secret.get());
  for (auto _ : st) {
    if (!g.power(shared.get(), peer.get(), secret.get())) st.SkipWithError("BN_mod_exp_mont_consttime failed");
  }
  count_ops(st);
}

// The same work as the library's agreement: the peer's key checked, then
// the exponentiation.
void BM_Ossl_CheckedModExp94(benchmark::State& st) {
  const Group94 g;
  if (!check_public94_works(g)) return st.SkipWithError("BN: the subgroup check does not tell members");
  const Bn secret = new_bn(), peer = new_bn(), shared = new_bn();
  g.random_secret(secret.get());
  g.power(peer.get(), g.a.get(), secret.get());
  g.random_secret(secret.get());
  for (auto _ : st) {
    if (!check_public94(g, peer.get()) || !g.power(shared.get(), peer.get(), secret.get()))
      st.SkipWithError("BN: checked agreement failed");
  }
  count_ops(st);
}

void BM_Ossl_Sign94(benchmark::State& st) {
  const Group94 g;
  const Bn h = g.digest_mod_q();
  Signature94 sig;
  if (!sign94(g, h.get(), sig) || !verify94(g, h.get(), sig, false) || !verify94(g, h.get(), sig, true)) {
    return st.SkipWithError("BN GOST R 34.10-94: a signature of its own does not verify");
  }
  for (auto _ : st) {
    if (!sign94(g, h.get(), sig)) st.SkipWithError("BN GOST R 34.10-94: sign failed");
  }
  count_ops(st);
}

void ossl_verify94(benchmark::State& st, bool simultaneous) {
  const Group94 g;
  const Bn h = g.digest_mod_q();
  Signature94 sig;
  if (!sign94(g, h.get(), sig)) return st.SkipWithError("BN GOST R 34.10-94: sign failed");
  BN_add_word(sig.s.get(), 1);
  if (verify94(g, h.get(), sig, simultaneous)) {
    return st.SkipWithError("BN GOST R 34.10-94: a changed signature verifies");
  }
  BN_sub_word(sig.s.get(), 1);
  for (auto _ : st) {
    if (!verify94(g, h.get(), sig, simultaneous)) st.SkipWithError("BN GOST R 34.10-94: verify failed");
  }
  count_ops(st);
}

void BM_Ossl_Verify94(benchmark::State& st) { ossl_verify94(st, false); }
void BM_Ossl_Verify94Exp2(benchmark::State& st) { ossl_verify94(st, true); }

// The same work as the library's verification: the signer's key checked,
// then the simultaneous exponentiation.
void BM_Ossl_CheckedVerify94Exp2(benchmark::State& st) {
  const Group94 g;
  if (!check_public94_works(g)) return st.SkipWithError("BN: the subgroup check does not tell members");
  const Bn h = g.digest_mod_q();
  Signature94 sig;
  if (!sign94(g, h.get(), sig)) return st.SkipWithError("BN GOST R 34.10-94: sign failed");
  for (auto _ : st) {
    if (!check_public94(g, g.y.get()) || !verify94(g, h.get(), sig, true))
      st.SkipWithError("BN GOST R 34.10-94: checked verify failed");
  }
  count_ops(st);
}

// ---- the library and the symmetric rows ---------------------------------------------

void BM_Lib_Sign2001(benchmark::State& st) { lib_sign(st, k01, false); }
void BM_Lib_Verify2001(benchmark::State& st) { lib_sign(st, k01, true); }
void BM_Gcry_Sign2001(benchmark::State& st) { gcry_sign(st, gcry_keys_2001, false); }
void BM_Gcry_Verify2001(benchmark::State& st) { gcry_sign(st, gcry_keys_2001, true); }
void BM_Lib_Sign94(benchmark::State& st) { lib_sign(st, k94, false); }
void BM_Lib_Verify94(benchmark::State& st) { lib_sign(st, k94, true); }
void BM_Lib_DH(benchmark::State& st) { lib_dh(st); }

void BM_Lib_Hash(benchmark::State& st) { lib_hash(st); }
void BM_Nettle_Hash(benchmark::State& st) { nettle_hash(st); }
void BM_Lib_Gamma(benchmark::State& st) { lib_gamma(st); }
void BM_Gcry_Ecb(benchmark::State& st) { gcry_cipher(st, GCRY_CIPHER_MODE_ECB); }

}  // namespace

// Each library row next to its peers, so that a change of load hits both.
BENCHMARK(BM_Lib_Sign2001);
BENCHMARK(BM_Ossl_SignP256);
BENCHMARK(BM_Ossl_Sign2001);
BENCHMARK(BM_Nettle_Sign2001);
BENCHMARK(BM_Gcry_Sign2001);
BENCHMARK(BM_Lib_Verify2001);
BENCHMARK(BM_Ossl_VerifyP256);
BENCHMARK(BM_Ossl_Verify2001);
BENCHMARK(BM_Nettle_Verify2001);
BENCHMARK(BM_Gcry_Verify2001);
BENCHMARK(BM_Lib_Sign94);
BENCHMARK(BM_Ossl_Sign94);
BENCHMARK(BM_Ossl_ModExp94);
BENCHMARK(BM_Lib_Verify94);
BENCHMARK(BM_Ossl_Verify94);
BENCHMARK(BM_Ossl_Verify94Exp2);
BENCHMARK(BM_Ossl_CheckedVerify94Exp2);
BENCHMARK(BM_Lib_DH);
BENCHMARK(BM_Ossl_CheckedModExp94);
BENCHMARK(BM_Lib_Hash)->Arg(1 << 20);
BENCHMARK(BM_Nettle_Hash)->Arg(1 << 20);
BENCHMARK(BM_Lib_Gamma)->Arg(1 << 20);
BENCHMARK(BM_Gcry_Ecb)->Arg(1 << 20);

BENCHMARK_MAIN();
