// GOST R 34.10-94 (CryptoPro-A group), checked by computing keys, signatures
// and verifications independently with GMP.
#include "bignum.hpp"

namespace gosttest {
namespace {

class Sign94 : public ::testing::Test {
 protected:
  std::array<uint8_t, 1148> fresh() {
    std::array<uint8_t, 1148> ctx{};
    EXPECT_EQ(set_parms(ctx.data(), state, nullptr, 128, nullptr, 32, nullptr), 0);
    return ctx;
  }
  void generate(Bytes& secret, Bytes& pub) {
    auto ctx = fresh();
    ASSERT_EQ(gen_secret(ctx.data()), 0);
    ASSERT_EQ(gen_public(ctx.data()), 0);
    int32_t len = 0;
    ASSERT_EQ(get_secret(ctx.data(), nullptr, &len), 0);
    ASSERT_EQ(len, 32);
    secret.assign(32, 0);
    ASSERT_EQ(get_secret(ctx.data(), secret.data(), &len), 0);
    ASSERT_EQ(get_public(ctx.data(), nullptr, &len), 0);
    ASSERT_EQ(len, 128);
    pub.assign(128, 0);
    ASSERT_EQ(get_public(ctx.data(), pub.data(), &len), 0);
    clear(ctx.data());
  }
  Bytes sign(const Bytes& secret, const Bytes& digest) {
    auto ctx = fresh();
    Bytes sig(64);
    EXPECT_EQ(set_secret(ctx.data(), secret.data()), 0);
    EXPECT_EQ(sign_fn(ctx.data(), digest.data(), sig.data()), 0);
    clear(ctx.data());
    return sig;
  }
  int32_t verify(const Bytes& pub, const Bytes& digest, const Bytes& sig) {
    auto ctx = fresh();
    const int32_t set = set_public(ctx.data(), pub.data());
    if (set != 0) return 100 + set;
    const int32_t rc = verify_fn(ctx.data(), digest.data(), sig.data());
    clear(ctx.data());
    return rc;
  }

  // e = digest (little-endian) mod q, 1 when 0.
  Z e_of(const Bytes& digest) {
    Z e = z_from_le(digest.data(), 32);
    mpz_mod(e.get(), e.get(), q.get());
    if (mpz_sgn(e.get()) == 0) mpz_set_ui(e.get(), 1);
    return e;
  }
  bool gmp_verify(const Bytes& pub, const Bytes& digest, const Bytes& sig) {
    Z s = z_from_be(sig.data(), 32), r = z_from_be(sig.data() + 32, 32), y = z_from_le(pub.data(), 128);
    Z e = e_of(digest), v, z1, z2, u1, u2, q2;
    mpz_sub_ui(q2.get(), q.get(), 2);
    mpz_powm(v.get(), e.get(), q2.get(), q.get());
    mpz_mul(z1.get(), s.get(), v.get());
    mpz_mod(z1.get(), z1.get(), q.get());
    mpz_sub(z2.get(), q.get(), r.get());
    mpz_mul(z2.get(), z2.get(), v.get());
    mpz_mod(z2.get(), z2.get(), q.get());
    mpz_powm(u1.get(), a.get(), z1.get(), p.get());
    mpz_powm(u2.get(), y.get(), z2.get(), p.get());
    mpz_mul(u1.get(), u1.get(), u2.get());
    mpz_mod(u1.get(), u1.get(), p.get());
    mpz_mod(u1.get(), u1.get(), q.get());
    return u1 == r;
  }
  Bytes gmp_sign(const Bytes& secret, const Bytes& digest, const Z& k) {
    Z x = z_from_le(secret.data(), 32), r, s, t;
    mpz_powm(r.get(), a.get(), k.get(), p.get());
    mpz_mod(r.get(), r.get(), q.get());
    mpz_mul(s.get(), x.get(), r.get());
    mpz_mul(t.get(), k.get(), e_of(digest).get());
    mpz_add(s.get(), s.get(), t.get());
    mpz_mod(s.get(), s.get(), q.get());
    Bytes sig = z_to_be(s, 32);
    const Bytes rb = z_to_be(r, 32);
    sig.insert(sig.end(), rb.begin(), rb.end());
    return sig;
  }

  Z p{kP94}, q{kQ94}, a{kA94};
  Set94Fn set_parms = lib().fn<Set94Fn>("RuroV_LR34_10_1994_set_parms");
  GenFn gen_secret = lib().fn<GenFn>("RuroV_LR34_10_1994_gen_secret_key");
  GenFn gen_public = lib().fn<GenFn>("RuroV_LR34_10_1994_gen_public_key");
  GetKeyFn get_secret = lib().fn<GetKeyFn>("RuroV_LR34_10_1994_get_secret_key");
  GetKeyFn get_public = lib().fn<GetKeyFn>("RuroV_LR34_10_1994_get_public_key");
  SetKeyFn set_secret = lib().fn<SetKeyFn>("RuroV_LR34_10_1994_set_secret_key");
  SetKeyFn set_public = lib().fn<SetKeyFn>("RuroV_LR34_10_1994_set_public_key");
  SignFn sign_fn = lib().fn<SignFn>("RuroV_LR34_10_1994_sign");
  VerifyFn verify_fn = lib().fn<VerifyFn>("RuroV_LR34_10_1994_verify");
  ClearFn clear = lib().fn<ClearFn>("RuroV_LR34_10_1994_clear");
  ClearFn clear_public = lib().fn<ClearFn>("RuroV_LR34_10_1994_clear_public_key");
  uint8_t state[kStateSize] = {};
};

TEST_F(Sign94, GroupParametersAreConsistent) {
  Z t;
  mpz_sub_ui(t.get(), p.get(), 1);
  EXPECT_TRUE(mpz_divisible_p(t.get(), q.get()));
  mpz_powm(t.get(), a.get(), q.get(), p.get());
  EXPECT_EQ(mpz_cmp_ui(t.get(), 1), 0);
}

TEST_F(Sign94, PublicKeyIsAToTheSecret) {
  Bytes secret, pub;
  generate(secret, pub);
  Z x = z_from_le(secret.data(), 32), y;
  EXPECT_GT(mpz_sgn(x.get()), 0);
  EXPECT_LT(mpz_cmp(x.get(), q.get()), 0);
  mpz_powm(y.get(), a.get(), x.get(), p.get());
  EXPECT_EQ(to_hex(z_to_le(y, 128)), to_hex(pub));
}

TEST_F(Sign94, LibrarySignaturesVerifyIndependently) {
  Bytes secret, pub;
  generate(secret, pub);
  for (uint32_t i = 0; i < 3; ++i) {
    const Bytes digest = random_bytes(32, 500 + i);
    const Bytes sig = sign(secret, digest);
    EXPECT_TRUE(gmp_verify(pub, digest, sig)) << i;
    EXPECT_EQ(verify(pub, digest, sig), 0) << i;
    Bytes other = digest;
    other[31] ^= 0x80;
    EXPECT_FALSE(gmp_verify(pub, other, sig)) << i;
    EXPECT_EQ(verify(pub, other, sig), 5) << i;
  }
}

TEST_F(Sign94, IndependentSignaturesVerifyWithTheLibrary) {
  Bytes secret, pub;
  generate(secret, pub);
  const Bytes digest = random_bytes(32, 600);
  Bytes sig = gmp_sign(secret, digest, Z("123456789ABCDEF0123456789ABCDEF"));
  EXPECT_EQ(verify(pub, digest, sig), 0);
  sig[0] ^= 1;
  EXPECT_EQ(verify(pub, digest, sig), 5);
  const Bytes zero(32, 0);
  Bytes one(32, 0);
  one[0] = 1;
  EXPECT_EQ(verify(pub, zero, gmp_sign(secret, one, Z("77"))), 0) << "a zero digest counts as one";
}

TEST_F(Sign94, OutOfRangeSignaturePartsAndKeys) {
  Bytes secret, pub;
  generate(secret, pub);
  const Bytes digest = random_bytes(32, 7);
  const Bytes good = sign(secret, digest);
  const Bytes qb = z_to_be(q, 32);
  auto with = [&](size_t off, const Bytes& part) {
    Bytes sig = good;
    std::copy(part.begin(), part.end(), sig.begin() + off);
    return sig;
  };
  EXPECT_EQ(verify(pub, digest, with(32, Bytes(32, 0))), 6);
  EXPECT_EQ(verify(pub, digest, with(0, Bytes(32, 0))), 7);
  EXPECT_EQ(verify(pub, digest, with(32, qb)), 8);
  EXPECT_EQ(verify(pub, digest, with(0, qb)), 9);
  // Public keys outside the order-q subgroup.
  Z two("2"), t;
  mpz_powm(t.get(), two.get(), q.get(), p.get());
  ASSERT_NE(mpz_cmp_ui(t.get(), 1), 0);
  EXPECT_EQ(verify(z_to_le(two, 128), digest, good), 103);
  EXPECT_EQ(verify(Bytes(128, 0), digest, good), 103);
  EXPECT_EQ(verify(z_to_le(p, 128), digest, good), 103);
  auto ctx = fresh();
  EXPECT_EQ(set_secret(ctx.data(), Bytes(32, 0).data()), 3);
  EXPECT_EQ(set_secret(ctx.data(), z_to_le(q, 32).data()), 3);
}

// Verification in the context that generated the key pair, and after the
// public key is replaced by another one.
TEST_F(Sign94, VerifiesWithGeneratedAndReplacedPublicKeys) {
  auto ctx = fresh();
  ASSERT_EQ(gen_secret(ctx.data()), 0);
  ASSERT_EQ(gen_public(ctx.data()), 0);
  const Bytes digest = random_bytes(32, 801);
  Bytes sig(64);
  ASSERT_EQ(sign_fn(ctx.data(), digest.data(), sig.data()), 0);
  EXPECT_EQ(verify_fn(ctx.data(), digest.data(), sig.data()), 0);
  Bytes other = digest;
  other[5] ^= 0x10;
  EXPECT_EQ(verify_fn(ctx.data(), other.data(), sig.data()), 5);

  Bytes secret2, pub2;
  generate(secret2, pub2);
  ASSERT_EQ(clear_public(ctx.data()), 0);
  ASSERT_EQ(set_public(ctx.data(), pub2.data()), 0);
  EXPECT_EQ(verify_fn(ctx.data(), digest.data(), sig.data()), 5) << "the old key's signature";
  const Bytes sig2 = sign(secret2, digest);
  EXPECT_EQ(verify_fn(ctx.data(), digest.data(), sig2.data()), 0);
  clear(ctx.data());
}

TEST_F(Sign94, MisuseGivesCodes) {
  std::array<uint8_t, 1148> ctx{};
  uint8_t digest[32] = {}, sig[64] = {};
  EXPECT_EQ(gen_secret(ctx.data()), 1);
  EXPECT_EQ(verify_fn(ctx.data(), digest, sig), 1);
  EXPECT_EQ(set_parms(ctx.data(), state, nullptr, 128, nullptr, 32, digest), 14);
  EXPECT_EQ(set_parms(ctx.data(), state, nullptr, 64, nullptr, 32, nullptr), 14);
  ASSERT_EQ(set_parms(ctx.data(), state, nullptr, 128, nullptr, 32, nullptr), 0);
  EXPECT_EQ(sign_fn(ctx.data(), digest, sig), 2);
  EXPECT_EQ(verify_fn(ctx.data(), digest, sig), 2);
  ASSERT_EQ(gen_secret(ctx.data()), 0);
  EXPECT_EQ(gen_secret(ctx.data()), 4);
  int32_t len = 64;
  uint8_t out[128];
  EXPECT_EQ(get_public(ctx.data(), out, &len), 2) << "no public key yet";
  ASSERT_EQ(gen_public(ctx.data()), 0);
  EXPECT_EQ(get_public(ctx.data(), out, &len), 14) << "buffer of 64 bytes is too small";
  EXPECT_EQ(len, 128);
  EXPECT_EQ(sign_fn(ctx.data(), digest, nullptr), 15);
  EXPECT_EQ(clear(ctx.data()), 0);
  EXPECT_EQ(clear(ctx.data()), 0);
  EXPECT_EQ(std::count(ctx.begin(), ctx.end(), 0), 1148);
}

}  // namespace
}  // namespace gosttest
