// GOST R 34.10-94 (CryptoPro-A group) through the entry points, checked
// against the reference vectors of vectors/public_key.txt (GMP); natively
// GMP also verifies the library's own signatures, new at every run.
#include "gostlib_fixture.hpp"

#if DZ_GOST_LIVE_REFERENCE
#include "vectors/reference.hpp"
#endif

namespace gosttest {
namespace {

const std::vector<Row>& rows(const char* kind) { return vectors("public_key.txt", kind); }

class Sign94 : public SignContext<Gost94> {
 protected:
  // The library's verification and, natively, GMP's agree on a signature.
  void expect_verdict(const Bytes& pub, const Bytes& digest, const Bytes& sig, bool valid) {
    EXPECT_EQ(verify(pub, digest, sig), valid ? 0 : 5) << to_hex(digest);
#if DZ_GOST_LIVE_REFERENCE
    EXPECT_EQ(gostvec::gmp_verifies_94(pub, digest, sig), valid) << to_hex(digest);
#endif
  }

  Set94Fn set_parms = lib().fn<Set94Fn>("RuroV_LR34_10_1994_set_parms");
  ClearFn clear_public = fn<ClearFn>("clear_public_key");
};

// The reference's key pairs: the library derives the same public key, and
// its signatures with the secret hold under that key (natively GMP says so
// too; see sign2001_test.cpp for what this proves where it cannot) and
// fail for another digest.
TEST_F(Sign94, KeyPairsMatchTheReferenceAndSignaturesHoldUnderThem) {
  for (const Row& r : rows("key94")) {  // x y
    const Bytes secret = from_hex(r[0]), pub = from_hex(r[1]);
    EXPECT_EQ(to_hex(public_of(secret)), r[1]) << r[0];
    for (const Bytes& digest : {Bytes(32, 0), random_bytes(32, 500)}) {
      const Bytes sig = sign(secret, digest);
      expect_verdict(pub, digest, sig, true);
      Bytes other = digest;
      other[31] ^= 0x80;
      expect_verdict(pub, other, sig, false);
    }
  }
}

// Signatures of the reference (the zero digest counting as one among them).
TEST_F(Sign94, ReferenceSignaturesVerify) {
  for (const Row& r : rows("sig94")) {  // y digest s||r
    const Bytes pub = from_hex(r[0]), digest = from_hex(r[1]), sig = from_hex(r[2]);
    EXPECT_EQ(verify(pub, digest, sig), 0) << r[1];
    Bytes altered = sig;
    altered[0] ^= 1;
    EXPECT_EQ(verify(pub, digest, altered), 5) << r[1];
  }
}

TEST_F(Sign94, OutOfRangeSignaturePartsAndKeys) {
  Bytes secret, pub;
  generate(secret, pub);
  const Bytes digest = random_bytes(32, 7);
  const Bytes good = sign(secret, digest);
  const Bytes qb = from_hex(gostvec::kQ94);
  auto with = [&](size_t off, const Bytes& part) {
    Bytes sig = good;
    std::copy(part.begin(), part.end(), sig.begin() + off);
    return sig;
  };
  EXPECT_EQ(verify(pub, digest, with(32, Bytes(32, 0))), 6);
  EXPECT_EQ(verify(pub, digest, with(0, Bytes(32, 0))), 7);
  EXPECT_EQ(verify(pub, digest, with(32, qb)), 8);
  EXPECT_EQ(verify(pub, digest, with(0, qb)), 9);
  // Public keys outside 2..p - 2 are refused when set; one in range but
  // outside the order-q subgroup (2) by the verification, with 3 whatever
  // the signature, and again after a first refusal.
  for (const Bytes& bad : {Bytes(128, 0), le_of(gostvec::kP94)}) EXPECT_EQ(verify(bad, digest, good), 103);
  Bytes two(128, 0);
  two[0] = 2;
  {
    auto ctx = fresh();
    ASSERT_EQ(set_public(ctx.data(), two.data()), 0);
    for (const Bytes& sig : {good, with(32, Bytes(32, 0)), with(0, qb), good})
      EXPECT_EQ(verify_fn(ctx.data(), digest.data(), sig.data()), 3);
    clear(ctx.data());
  }
  auto ctx = fresh();
  EXPECT_EQ(set_secret(ctx.data(), Bytes(32, 0).data()), 3);
  EXPECT_EQ(set_secret(ctx.data(), le_of(gostvec::kQ94).data()), 3);
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
  // A signature with r = 0 under the new key: its code, the key checked on
  // the way; later verifications in the context take the checked path.
  Bytes zero_r = sig;
  std::fill(zero_r.begin() + 32, zero_r.end(), uint8_t{0});
  EXPECT_EQ(verify_fn(ctx.data(), digest.data(), zero_r.data()), 6);
  EXPECT_EQ(verify_fn(ctx.data(), digest.data(), sig.data()), 5) << "the old key's signature";
  const Bytes sig2 = sign(secret2, digest);
  EXPECT_EQ(verify_fn(ctx.data(), digest.data(), sig2.data()), 0);
  EXPECT_EQ(verify_fn(ctx.data(), other.data(), sig2.data()), 5);
  // A key found in the subgroup by one verification does not excuse the
  // next key set in the same context.
  Bytes two(128, 0);
  two[0] = 2;
  ASSERT_EQ(clear_public(ctx.data()), 0);
  ASSERT_EQ(set_public(ctx.data(), two.data()), 0);
  EXPECT_EQ(verify_fn(ctx.data(), digest.data(), sig2.data()), 3);
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
  len = 0;
  EXPECT_EQ(get_public(ctx.data(), nullptr, &len), 0) << "a size query";
  EXPECT_EQ(len, 128);
  EXPECT_EQ(get_secret(ctx.data(), nullptr, &len), 0);
  EXPECT_EQ(len, 32);
  EXPECT_EQ(sign_fn(ctx.data(), digest, nullptr), 15);
  EXPECT_EQ(clear(ctx.data()), 0);
  EXPECT_EQ(clear(ctx.data()), 0);
  EXPECT_EQ(std::count(ctx.begin(), ctx.end(), 0), 1148);
}

}  // namespace
}  // namespace gosttest
