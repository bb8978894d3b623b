// GOST R 34.10-2001 on the CryptoPro-A curve, checked with nettle's gostdsa
// on gost_gc256b (the same curve) as the independent implementation.
#include <nettle/ecc-curve.h>
#include <nettle/ecc.h>
#include <nettle/gostdsa.h>
#include <nettle/yarrow.h>

#include "bignum.hpp"

namespace gosttest {
namespace {

class Sign2001 : public ::testing::Test {
 protected:
  void SetUp() override {
    ecc_point_init(&pub_, nettle_get_gost_gc256b());
    ecc_scalar_init(&key_, nettle_get_gost_gc256b());
    yarrow256_init(&yarrow_, 0, nullptr);
    const Bytes seed = random_bytes(YARROW256_SEED_FILE_SIZE, 42);
    yarrow256_seed(&yarrow_, seed.size(), seed.data());
  }
  void TearDown() override {
    ecc_point_clear(&pub_);
    ecc_scalar_clear(&key_);
  }

  // A context with built-in parameters.
  std::array<uint8_t, 748> fresh() {
    std::array<uint8_t, 748> ctx{};
    EXPECT_EQ(set_parms(ctx.data(), state, nullptr, 32, nullptr, 32, nullptr, nullptr, nullptr), 0);
    return ctx;
  }
  // A library key pair: secret 32 bytes LE, public area of 100 bytes.
  void generate(Bytes& secret, Bytes& area) {
    auto ctx = fresh();
    ASSERT_EQ(gen_secret(ctx.data()), 0);
    ASSERT_EQ(gen_public(ctx.data()), 0);
    secret.assign(32, 0);
    area.assign(100, 0);
    int32_t len = 32;
    ASSERT_EQ(get_secret(ctx.data(), secret.data(), &len), 0);
    ASSERT_EQ(get_public(ctx.data(), area.data(), &len), 0);
    EXPECT_EQ(clear(ctx.data()), 0);
  }
  Bytes sign(const Bytes& secret, const Bytes& digest) {
    auto ctx = fresh();
    Bytes sig(64);
    EXPECT_EQ(set_secret(ctx.data(), secret.data()), 0);
    EXPECT_EQ(sign_fn(ctx.data(), digest.data(), sig.data()), 0);
    clear(ctx.data());
    return sig;
  }
  int32_t verify(const Bytes& area, const Bytes& digest, const Bytes& sig) {
    auto ctx = fresh();
    const int32_t set = set_public(ctx.data(), area.data());
    if (set != 0) return 100 + set;
    const int32_t rc = verify_fn(ctx.data(), digest.data(), sig.data());
    clear(ctx.data());
    return rc;
  }
  void nettle_public(const Bytes& area) {
    Z x = z_from_le(area.data(), 32), y = z_from_le(area.data() + 32, 32);
    ASSERT_EQ(ecc_point_set(&pub_, x.get(), y.get()), 1);
  }
  bool nettle_verify(const Bytes& area, const Bytes& digest, const Bytes& sig) {
    nettle_public(area);
    dsa_signature s;
    dsa_signature_init(&s);
    Z zs = z_from_be(sig.data(), 32), zr = z_from_be(sig.data() + 32, 32);
    mpz_set(s.s, zs.get());
    mpz_set(s.r, zr.get());
    const bool ok = gostdsa_verify(&pub_, digest.size(), digest.data(), &s) == 1;
    dsa_signature_clear(&s);
    return ok;
  }
  Bytes nettle_sign(const Bytes& secret, const Bytes& digest) {
    Z d = z_from_le(secret.data(), 32);
    EXPECT_EQ(ecc_scalar_set(&key_, d.get()), 1);
    dsa_signature s;
    dsa_signature_init(&s);
    gostdsa_sign(&key_, &yarrow_, reinterpret_cast<nettle_random_func*>(yarrow256_random), digest.size(),
                 digest.data(), &s);
    Z zs, zr;
    mpz_set(zs.get(), s.s);
    mpz_set(zr.get(), s.r);
    dsa_signature_clear(&s);
    Bytes sig = z_to_be(zs, 32);
    const Bytes r = z_to_be(zr, 32);
    sig.insert(sig.end(), r.begin(), r.end());
    return sig;
  }

  Set01Fn set_parms = lib().fn<Set01Fn>("RuroV_LR34_10_2001_set_parms");
  GenFn gen_secret = lib().fn<GenFn>("RuroV_LR34_10_2001_gen_secret_key");
  GenFn gen_public = lib().fn<GenFn>("RuroV_LR34_10_2001_gen_public_key");
  GetKeyFn get_secret = lib().fn<GetKeyFn>("RuroV_LR34_10_2001_get_secret_key");
  GetKeyFn get_public = lib().fn<GetKeyFn>("RuroV_LR34_10_2001_get_public_key");
  SetKeyFn set_secret = lib().fn<SetKeyFn>("RuroV_LR34_10_2001_set_secret_key");
  SetKeyFn set_public = lib().fn<SetKeyFn>("RuroV_LR34_10_2001_set_public_key");
  SignFn sign_fn = lib().fn<SignFn>("RuroV_LR34_10_2001_sign");
  VerifyFn verify_fn = lib().fn<VerifyFn>("RuroV_LR34_10_2001_verify");
  ClearFn clear = lib().fn<ClearFn>("RuroV_LR34_10_2001_clear");
  uint8_t state[kStateSize] = {};
  ecc_point pub_;
  ecc_scalar key_;
  yarrow256_ctx yarrow_;
};

TEST_F(Sign2001, PublicKeyIsSecretTimesBasePoint) {
  Bytes secret, area;
  generate(secret, area);
  EXPECT_EQ(to_hex(area.data() + 64, 36), std::string(72, '0')) << "the last 36 bytes of the area are zero";
  Z d = z_from_le(secret.data(), 32);
  ASSERT_EQ(ecc_scalar_set(&key_, d.get()), 1);
  ecc_point_mul_g(&pub_, &key_);
  Z x, y;
  ecc_point_get(&pub_, x.get(), y.get());
  EXPECT_EQ(to_hex(z_to_le(x, 32)), to_hex(area.data(), 32));
  EXPECT_EQ(to_hex(z_to_le(y, 32)), to_hex(area.data() + 32, 32));
}

TEST_F(Sign2001, LibrarySignaturesVerifyWithNettle) {
  Bytes secret, area;
  generate(secret, area);
  for (uint32_t i = 0; i < 8; ++i) {
    const Bytes digest = random_bytes(32, 300 + i);
    const Bytes sig = sign(secret, digest);
    EXPECT_TRUE(nettle_verify(area, digest, sig)) << i;
    EXPECT_EQ(verify(area, digest, sig), 0) << i;
    Bytes other = digest;
    other[0] ^= 1;
    EXPECT_FALSE(nettle_verify(area, other, sig)) << i;
    EXPECT_EQ(verify(area, other, sig), 5) << i;
  }
}

TEST_F(Sign2001, NettleSignaturesVerifyWithTheLibrary) {
  Bytes secret, area;
  generate(secret, area);
  for (uint32_t i = 0; i < 8; ++i) {
    const Bytes digest = random_bytes(32, 400 + i);
    Bytes sig = nettle_sign(secret, digest);
    EXPECT_EQ(verify(area, digest, sig), 0) << i;
    sig[5] ^= 0x10;
    EXPECT_EQ(verify(area, digest, sig), 5) << i;
  }
}

// libgcrypt reads the value of (flags gost) big-endian: the digest reversed.
class GcryKey {
 public:
  GcryKey(const Bytes& secret, const Bytes& area) {
    init_gcrypt();
    Bytes q{0x04};
    const Bytes x = reversed(Bytes(area.begin(), area.begin() + 32));
    const Bytes y = reversed(Bytes(area.begin() + 32, area.begin() + 64));
    q.insert(q.end(), x.begin(), x.end());
    q.insert(q.end(), y.begin(), y.end());
    const Bytes d = reversed(secret);
    EXPECT_EQ(gcry_sexp_build(&secret_, nullptr, "(private-key(ecc(curve GOST2001-CryptoPro-A)(q %b)(d %b)))",
                              int(q.size()), q.data(), int(d.size()), d.data()), 0u);
    EXPECT_EQ(gcry_sexp_build(&public_, nullptr, "(public-key(ecc(curve GOST2001-CryptoPro-A)(q %b)))",
                              int(q.size()), q.data()), 0u);
  }
  ~GcryKey() {
    gcry_sexp_release(secret_);
    gcry_sexp_release(public_);
  }
  Bytes sign(const Bytes& digest) {
    const Bytes value = reversed(digest);
    gcry_sexp_t data = nullptr, sig = nullptr;
    EXPECT_EQ(gcry_sexp_build(&data, nullptr, "(data(flags gost)(value %b))", 32, value.data()), 0u);
    EXPECT_EQ(gcry_pk_sign(&sig, data, secret_), 0u);
    Bytes out = part(sig, "s");
    const Bytes r = part(sig, "r");
    out.insert(out.end(), r.begin(), r.end());
    gcry_sexp_release(data);
    gcry_sexp_release(sig);
    return out;
  }
  bool verify(const Bytes& digest, const Bytes& signature) {
    const Bytes value = reversed(digest);
    gcry_sexp_t data = nullptr, sig = nullptr;
    EXPECT_EQ(gcry_sexp_build(&data, nullptr, "(data(flags gost)(value %b))", 32, value.data()), 0u);
    EXPECT_EQ(gcry_sexp_build(&sig, nullptr, "(sig-val(gost(r %b)(s %b)))", 32, signature.data() + 32, 32,
                              signature.data()), 0u);
    const bool ok = gcry_pk_verify(sig, data, public_) == 0;
    gcry_sexp_release(data);
    gcry_sexp_release(sig);
    return ok;
  }

 private:
  static Bytes part(gcry_sexp_t sig, const char* name) {
    gcry_sexp_t tok = gcry_sexp_find_token(sig, name, 0);
    size_t n = 0;
    const char* p = gcry_sexp_nth_data(tok, 1, &n);
    Bytes raw(p, p + n);
    gcry_sexp_release(tok);
    while (raw.size() > 32 && raw.front() == 0) raw.erase(raw.begin());
    Bytes out(32 - std::min<size_t>(raw.size(), 32), 0);
    out.insert(out.end(), raw.begin(), raw.end());
    return out;
  }
  gcry_sexp_t secret_ = nullptr;
  gcry_sexp_t public_ = nullptr;
};

TEST_F(Sign2001, SignaturesInteroperateWithLibgcrypt) {
  Bytes secret, area;
  generate(secret, area);
  GcryKey ref(secret, area);
  for (uint32_t i = 0; i < 4; ++i) {
    const Bytes digest = random_bytes(32, 700 + i);
    EXPECT_TRUE(ref.verify(digest, sign(secret, digest))) << i;
    EXPECT_EQ(verify(area, digest, ref.sign(digest)), 0) << i;
    Bytes other = digest;
    other[7] ^= 4;
    EXPECT_FALSE(ref.verify(other, sign(secret, digest))) << i;
  }
}

TEST_F(Sign2001, EachSignatureUsesAFreshK) {
  Bytes secret, area;
  generate(secret, area);
  const Bytes digest = random_bytes(32, 5);
  EXPECT_NE(sign(secret, digest), sign(secret, digest));
}

TEST_F(Sign2001, DigestIsReducedModQAndZeroCountsAsOne) {
  Bytes secret, area;
  generate(secret, area);
  Bytes one(32, 0);
  one[0] = 1;
  const Bytes zero(32, 0);
  EXPECT_EQ(verify(area, one, sign(secret, zero)), 0);
  EXPECT_TRUE(nettle_verify(area, zero, sign(secret, zero)));
  const Bytes q = z_to_le(Z(kQ2001), 32);
  EXPECT_EQ(verify(area, one, sign(secret, q)), 0) << "q is 0 mod q, so its e is 1";
}

TEST_F(Sign2001, OutOfRangeSignatureParts) {
  Bytes secret, area;
  generate(secret, area);
  const Bytes digest = random_bytes(32, 6);
  const Bytes good = sign(secret, digest);
  const Bytes q = z_to_be(Z(kQ2001), 32);
  auto with = [&](size_t off, const Bytes& part) {
    Bytes sig = good;
    std::copy(part.begin(), part.end(), sig.begin() + off);
    return sig;
  };
  EXPECT_EQ(verify(area, digest, with(32, Bytes(32, 0))), 6);
  EXPECT_EQ(verify(area, digest, with(0, Bytes(32, 0))), 7);
  EXPECT_EQ(verify(area, digest, with(32, q)), 8);
  EXPECT_EQ(verify(area, digest, with(0, q)), 9);
  EXPECT_EQ(verify(area, digest, with(32, Bytes(32, 0xFF))), 8);
}

TEST_F(Sign2001, UnusableKeysAreRefused) {
  auto ctx = fresh();
  EXPECT_EQ(set_secret(ctx.data(), Bytes(32, 0).data()), 3);
  EXPECT_EQ(set_secret(ctx.data(), z_to_le(Z(kQ2001), 32).data()), 3);
  Bytes off_curve(100, 0);
  off_curve[0] = 1;
  off_curve[32] = 1;
  EXPECT_EQ(set_public(ctx.data(), off_curve.data()), 3);
  Bytes secret, area;
  generate(secret, area);
  Bytes beyond = area;
  const Bytes p = z_to_le(Z(kP2001), 32);
  std::copy(p.begin(), p.end(), beyond.begin());  // x = p is not a field element
  EXPECT_EQ(set_public(ctx.data(), beyond.data()), 3);
  ASSERT_EQ(set_public(ctx.data(), area.data()), 0);
  EXPECT_EQ(set_public(ctx.data(), area.data()), 4);
  ASSERT_EQ(set_secret(ctx.data(), secret.data()), 0);
  EXPECT_EQ(set_secret(ctx.data(), secret.data()), 4);
  EXPECT_EQ(gen_secret(ctx.data()), 4);
}

TEST_F(Sign2001, MisuseAndSizeQueries) {
  std::array<uint8_t, 748> ctx{};
  uint8_t digest[32] = {}, sig[64] = {};
  EXPECT_EQ(gen_secret(ctx.data()), 1) << "no parameters set";
  EXPECT_EQ(sign_fn(ctx.data(), digest, sig), 1);
  EXPECT_EQ(set_parms(ctx.data(), state, nullptr, 32, nullptr, 32, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(sign_fn(ctx.data(), digest, sig), 2) << "no secret key";
  EXPECT_EQ(verify_fn(ctx.data(), digest, sig), 2) << "no public key";
  EXPECT_EQ(gen_public(ctx.data()), 2);
  int32_t len = 0;
  EXPECT_EQ(get_secret(ctx.data(), nullptr, &len), 2);
  ASSERT_EQ(gen_secret(ctx.data()), 0);
  EXPECT_EQ(get_secret(ctx.data(), nullptr, &len), 0);
  EXPECT_EQ(len, 32);
  len = 31;
  uint8_t out[100];
  EXPECT_EQ(get_secret(ctx.data(), out, &len), 14);
  EXPECT_EQ(get_secret(ctx.data(), out, nullptr), 15);
  EXPECT_EQ(sign_fn(ctx.data(), nullptr, sig), 15);
  EXPECT_EQ(sign_fn(ctx.data(), digest, nullptr), 15);
  EXPECT_EQ(sign_fn(nullptr, digest, sig), 15);
  EXPECT_EQ(set_parms(ctx.data(), state, digest, 32, nullptr, 32, nullptr, nullptr, nullptr), 14)
      << "explicit parameters are not offered";
  EXPECT_EQ(set_parms(ctx.data(), state, nullptr, 64, nullptr, 32, nullptr, nullptr, nullptr), 14);
  EXPECT_EQ(set_parms(ctx.data(), nullptr, nullptr, 32, nullptr, 32, nullptr, nullptr, nullptr), 15);
  EXPECT_EQ(clear(ctx.data()), 0);
  EXPECT_EQ(clear(ctx.data()), 0);
  EXPECT_EQ(std::count(ctx.begin(), ctx.end(), 0), 748);
}

TEST_F(Sign2001, CurveAgreementIsSymmetric) {
  auto mutual = lib().fn<MutualFn>("RuroV_LR34_10_2001_gen_mutual_key");
  Bytes sa, pa, sb, pb;
  generate(sa, pa);
  generate(sb, pb);
  auto ca = fresh(), cb = fresh();
  ASSERT_EQ(set_secret(ca.data(), sa.data()), 0);
  ASSERT_EQ(set_secret(cb.data(), sb.data()), 0);
  Bytes ka(64), kb(64);
  ASSERT_EQ(mutual(ca.data(), pb.data(), ka.data()), 0);
  ASSERT_EQ(mutual(cb.data(), pa.data(), kb.data()), 0);
  EXPECT_EQ(ka, kb);
  Bytes bad(100, 0);
  EXPECT_EQ(mutual(ca.data(), bad.data(), ka.data()), 3);
}

TEST_F(Sign2001, AgreementIsTheSecretTimesThePeerPoint) {
  auto mutual = lib().fn<MutualFn>("RuroV_LR34_10_2001_gen_mutual_key");
  Bytes sa, pa, sb, pb;
  generate(sa, pa);
  generate(sb, pb);
  auto ctx = fresh();
  ASSERT_EQ(set_secret(ctx.data(), sa.data()), 0);
  Bytes out(64);
  ASSERT_EQ(mutual(ctx.data(), pb.data(), out.data()), 0);
  Z d = z_from_le(sa.data(), 32);
  ASSERT_EQ(ecc_scalar_set(&key_, d.get()), 1);
  nettle_public(pb);
  ecc_point product;
  ecc_point_init(&product, nettle_get_gost_gc256b());
  ecc_point_mul(&product, &key_, &pub_);
  Z x, y;
  ecc_point_get(&product, x.get(), y.get());
  ecc_point_clear(&product);
  EXPECT_EQ(to_hex(out.data(), 32), to_hex(z_to_le(x, 32)));
  EXPECT_EQ(to_hex(out.data() + 32, 32), to_hex(z_to_le(y, 32)));
  // A peer with y + 1 is off the curve; one with x = p is no field element.
  Bytes off = pb;
  off[32] ^= 1;
  EXPECT_EQ(mutual(ctx.data(), off.data(), out.data()), 3);
  Bytes beyond = pb;
  const Bytes p = z_to_le(Z(kP2001), 32);
  std::copy(p.begin(), p.end(), beyond.begin());
  EXPECT_EQ(mutual(ctx.data(), beyond.data(), out.data()), 3);
}

// Secret 1 gives G = (1, Gy); secret q - 1 gives -G = (1, p - Gy); a key
// outside [1, q - 1] is never taken.
TEST_F(Sign2001, KnownPublicKeysAtTheEndsOfTheRange) {
  const Z gy("8D91E471E0989CDA27DF505A453F2B7635294F2DDF23E3B122ACC99C9E9F1E14");
  Z minus_gy, qm1, qp1;
  mpz_sub(minus_gy.get(), Z(kP2001).get(), gy.get());
  mpz_sub_ui(qm1.get(), Z(kQ2001).get(), 1);
  mpz_add_ui(qp1.get(), Z(kQ2001).get(), 1);
  const std::pair<Z, Z> cases[] = {{Z("1"), gy}, {qm1, minus_gy}};
  for (const auto& [d, y] : cases) {
    auto ctx = fresh();
    ASSERT_EQ(set_secret(ctx.data(), z_to_le(d, 32).data()), 0);
    ASSERT_EQ(gen_public(ctx.data()), 0);
    Bytes area(100, 0xEE);
    int32_t len = 0;
    ASSERT_EQ(get_public(ctx.data(), area.data(), &len), 0);
    EXPECT_EQ(len, 100);
    EXPECT_EQ(to_hex(area.data(), 32), to_hex(z_to_le(Z("1"), 32)));
    EXPECT_EQ(to_hex(area.data() + 32, 32), to_hex(z_to_le(y, 32)));
    // The key pair signs, and the signature verifies with the public area.
    const Bytes digest = random_bytes(32, 900);
    EXPECT_EQ(verify(area, digest, sign(z_to_le(d, 32), digest)), 0);
    EXPECT_TRUE(nettle_verify(area, digest, sign(z_to_le(d, 32), digest)));
  }
  auto ctx = fresh();
  EXPECT_EQ(set_secret(ctx.data(), z_to_le(qp1, 32).data()), 3);
  EXPECT_EQ(set_secret(ctx.data(), Bytes(32, 0xFF).data()), 3);
}

}  // namespace
}  // namespace gosttest
