// GOST R 34.10-2001 on the CryptoPro-A curve through the entry points,
// checked against the reference vectors of vectors/public_key.txt (keys and
// signatures of nettle, agreements of libgcrypt).
//
// The library's own signatures take a fresh k each time, so no vector holds
// them. Natively nettle and libgcrypt verify them at run time. The Windows
// build has no reference library: there the library's verification checks
// them against the reference's public keys, after the same suite has shown
// that this verification accepts the reference's signatures and refuses
// altered ones, and that the library derives the reference's public key
// from the same secret. A mistake made alike in signing and verifying (the
// byte order of the digest or of r and s, say) then fails too.
#include "gostlib_fixture.hpp"

#if DZ_GOST_LIVE_REFERENCE
#include "vectors/reference.hpp"
#endif

namespace gosttest {
namespace {

const std::vector<Row>& rows(const char* kind) { return vectors("public_key.txt", kind); }

// A public area of 100 bytes from the x || y of a vector.
Bytes area_of(const std::string& xy) {
  Bytes area = from_hex(xy);
  area.resize(100, 0);
  return area;
}

class Sign2001 : public SignContext<Gost2001> {
 protected:
  // The library's verification and, natively, the references agree on a
  // signature: valid or not.
  void expect_verdict(const Bytes& area, const Bytes& digest, const Bytes& sig, bool valid) {
    EXPECT_EQ(verify(area, digest, sig), valid ? 0 : 5) << to_hex(digest);
#if DZ_GOST_LIVE_REFERENCE
    EXPECT_EQ(gostvec::nettle_verifies_2001(area, digest, sig), valid) << to_hex(digest);
    EXPECT_EQ(gostvec::gcrypt_verifies_2001(area, digest, sig), valid) << to_hex(digest);
#endif
  }

  Set01Fn set_parms = lib().fn<Set01Fn>("RuroV_LR34_10_2001_set_parms");
};

// The reference's key pairs (among them the secrets 1 and q - 1): the
// library derives the same public key, and its signatures with the secret
// hold under that key and fail for another digest.
TEST_F(Sign2001, KeyPairsMatchTheReferenceAndSignaturesHoldUnderThem) {
  for (const Row& r : rows("key01")) {  // d x||y
    const Bytes secret = from_hex(r[0]), area = area_of(r[1]);
    EXPECT_EQ(to_hex(public_of(secret)), to_hex(area)) << r[0];
    for (const Bytes& digest : {Bytes(32, 0), random_bytes(32, 300)}) {
      const Bytes sig = sign(secret, digest);
      expect_verdict(area, digest, sig, true);
      Bytes other = digest;
      other[7] ^= 4;
      expect_verdict(area, other, sig, false);
    }
  }
}

TEST_F(Sign2001, ReferenceSignaturesVerify) {
  for (const Row& r : rows("sig01")) {  // x||y digest s||r
    const Bytes area = area_of(r[0]), digest = from_hex(r[1]), sig = from_hex(r[2]);
    EXPECT_EQ(verify(area, digest, sig), 0) << r[1];
    Bytes other = digest;
    other[9] ^= 1;  // not byte 0: the zero digest counts as 1
    EXPECT_EQ(verify(area, other, sig), 5) << r[1];
    for (const size_t at : {5, 40}) {
      Bytes altered = sig;
      altered[at] ^= 0x10;
      EXPECT_EQ(verify(area, digest, altered), 5) << r[1] << " byte " << at;
    }
  }
}

TEST_F(Sign2001, EachSignatureUsesAFreshK) {
  Bytes secret, area;
  generate(secret, area);
  EXPECT_EQ(to_hex(area.data() + 64, 36), std::string(72, '0')) << "the last 36 bytes of the area are zero";
  const Bytes digest = random_bytes(32, 5);
  EXPECT_NE(sign(secret, digest), sign(secret, digest));
}

TEST_F(Sign2001, DigestIsReducedModQAndZeroCountsAsOne) {
  Bytes secret, area;
  generate(secret, area);
  Bytes one(32, 0);
  one[0] = 1;
  EXPECT_EQ(verify(area, one, sign(secret, Bytes(32, 0))), 0);
  EXPECT_EQ(verify(area, one, sign(secret, le_of(gostvec::kQ2001))), 0) << "q is 0 mod q, so its e is 1";
}

TEST_F(Sign2001, OutOfRangeSignatureParts) {
  Bytes secret, area;
  generate(secret, area);
  const Bytes digest = random_bytes(32, 6);
  const Bytes good = sign(secret, digest);
  const Bytes q = from_hex(gostvec::kQ2001);
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

// Secrets outside [1, q - 1], points off the curve or with x = p.
TEST_F(Sign2001, UnusableKeysAreRefused) {
  auto ctx = fresh();
  Bytes q_plus_1 = le_of(gostvec::kQ2001);
  ++q_plus_1[0];  // q ends in 0x93
  for (const Bytes& bad : {Bytes(32, 0), le_of(gostvec::kQ2001), q_plus_1, Bytes(32, 0xFF)}) {
    EXPECT_EQ(set_secret(ctx.data(), bad.data()), 3) << to_hex(bad);
  }
  Bytes off_curve(100, 0);
  off_curve[0] = 1;
  off_curve[32] = 1;
  EXPECT_EQ(set_public(ctx.data(), off_curve.data()), 3);
  Bytes secret, area;
  generate(secret, area);
  Bytes beyond = area;
  const Bytes p = le_of(gostvec::kP2001);
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

// d peer as the reference computes it; a peer with y + 1 is off the curve,
// one with x = p no field element.
TEST_F(Sign2001, AgreementIsTheSecretTimesThePeerPoint) {
  auto mutual = lib().fn<MutualFn>("RuroV_LR34_10_2001_gen_mutual_key");
  for (const Row& r : rows("agree01")) {  // d peer d*peer
    auto ctx = fresh();
    ASSERT_EQ(set_secret(ctx.data(), from_hex(r[0]).data()), 0);
    const Bytes peer = area_of(r[1]);
    Bytes out(64);
    ASSERT_EQ(mutual(ctx.data(), peer.data(), out.data()), 0);
    EXPECT_EQ(to_hex(out), r[2]);
    Bytes off = peer;
    off[32] ^= 1;
    Bytes beyond = peer;
    const Bytes p = le_of(gostvec::kP2001);
    std::copy(p.begin(), p.end(), beyond.begin());
    for (const Bytes& bad : {off, beyond, Bytes(100, 0)}) EXPECT_EQ(mutual(ctx.data(), bad.data(), out.data()), 3);
  }
}

}  // namespace
}  // namespace gosttest
