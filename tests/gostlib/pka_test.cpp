// Diffie-Hellman (LDH_PKA) in the GOST R 34.10-94 CryptoPro-A group:
// agreement both ways, an independent GMP check, and refusal of bad peers.
#include "bignum.hpp"

namespace gosttest {
namespace {

class Pka : public ::testing::Test {
 protected:
  std::array<uint8_t, 1300> fresh() {
    std::array<uint8_t, 1300> ctx{};
    EXPECT_EQ(set_parms(ctx.data(), state, nullptr, 128, nullptr), 0);
    return ctx;
  }
  void generate(Bytes& secret, Bytes& pub) {
    auto ctx = fresh();
    ASSERT_EQ(gen_secret(ctx.data()), 0);
    ASSERT_EQ(gen_public(ctx.data()), 0);
    secret.assign(128, 0xEE);
    pub.assign(128, 0xEE);
    int32_t len = 0;
    ASSERT_EQ(get_secret(ctx.data(), secret.data(), &len), 0);
    EXPECT_EQ(len, 128);
    len = 0;
    ASSERT_EQ(get_public(ctx.data(), pub.data(), &len), 0);
    EXPECT_EQ(len, 128);
    clear(ctx.data());
  }
  int32_t agree(const Bytes& secret, const Bytes& peer, Bytes& out) {
    auto ctx = fresh();
    out.assign(128, 0);
    const int32_t set = set_secret(ctx.data(), secret.data());
    if (set != 0) return 100 + set;
    const int32_t rc = mutual(ctx.data(), peer.data(), out.data());
    clear(ctx.data());
    return rc;
  }

  Z p{kP94}, q{kQ94}, a{kA94};
  SetPkaFn set_parms = lib().fn<SetPkaFn>("RuroV_LDH_PKA_set_parms");
  GenFn gen_secret = lib().fn<GenFn>("RuroV_LDH_PKA_gen_secret_key");
  GenFn gen_public = lib().fn<GenFn>("RuroV_LDH_PKA_gen_public_key");
  GetKeyFn get_secret = lib().fn<GetKeyFn>("RuroV_LDH_PKA_get_secret_key");
  GetKeyFn get_public = lib().fn<GetKeyFn>("RuroV_LDH_PKA_get_public_key");
  SetKeyFn set_secret = lib().fn<SetKeyFn>("RuroV_LDH_PKA_set_secret_key");
  MutualFn mutual = lib().fn<MutualFn>("RuroV_LDH_PKA_gen_mutual_key");
  ClearFn clear = lib().fn<ClearFn>("RuroV_LDH_PKA_clear");
  uint8_t state[kStateSize] = {};
};

TEST_F(Pka, AgreementBothWaysMatchesIndependentComputation) {
  Bytes sa, pa, sb, pb;
  generate(sa, pa);
  generate(sb, pb);
  Z xa = z_from_le(sa.data(), 128), ya;
  EXPECT_GT(mpz_sgn(xa.get()), 0);
  EXPECT_LT(mpz_cmp(xa.get(), q.get()), 0) << "secret in [1, q-1]";
  mpz_powm(ya.get(), a.get(), xa.get(), p.get());
  EXPECT_EQ(to_hex(z_to_le(ya, 128)), to_hex(pa));
  Bytes kab, kba;
  ASSERT_EQ(agree(sa, pb, kab), 0);
  ASSERT_EQ(agree(sb, pa, kba), 0);
  EXPECT_EQ(to_hex(kab), to_hex(kba));
  Z shared;
  mpz_powm(shared.get(), z_from_le(pb.data(), 128).get(), xa.get(), p.get());
  EXPECT_EQ(to_hex(z_to_le(shared, 128)), to_hex(kab));
}

TEST_F(Pka, InvalidPeerKeysAreRefusedWithCode3) {
  Bytes sa, pa;
  generate(sa, pa);
  Z pm1, two("2"), t;
  mpz_sub_ui(pm1.get(), p.get(), 1);
  mpz_powm(t.get(), two.get(), q.get(), p.get());
  ASSERT_NE(mpz_cmp_ui(t.get(), 1), 0) << "2 lies outside the order-q subgroup";
  Bytes out;
  for (const Bytes& peer : {Bytes(128, 0), z_to_le(Z("1"), 128), z_to_le(pm1, 128), z_to_le(p, 128),
                            Bytes(128, 0xFF), z_to_le(two, 128)}) {
    EXPECT_EQ(agree(sa, peer, out), 3) << to_hex(peer).substr(0, 16);
    EXPECT_EQ(out, Bytes(128, 0)) << "nothing written";
  }
}

TEST_F(Pka, UnusableSecretsAndMisuse) {
  Bytes out, peer;
  Bytes sa;
  generate(sa, peer);
  EXPECT_EQ(agree(Bytes(128, 0), peer, out), 103);
  EXPECT_EQ(agree(z_to_le(q, 128), peer, out), 103);
  std::array<uint8_t, 1300> ctx{};
  EXPECT_EQ(gen_secret(ctx.data()), 1);
  EXPECT_EQ(set_parms(ctx.data(), state, nullptr, 64, nullptr), 14);
  ASSERT_EQ(set_parms(ctx.data(), state, nullptr, 128, nullptr), 0);
  out.assign(128, 0);
  EXPECT_EQ(mutual(ctx.data(), peer.data(), out.data()), 2) << "no secret yet";
  int32_t len = 0;
  EXPECT_EQ(get_public(ctx.data(), out.data(), &len), 2);
  ASSERT_EQ(set_secret(ctx.data(), sa.data()), 0);
  EXPECT_EQ(set_secret(ctx.data(), sa.data()), 4);
  EXPECT_EQ(mutual(ctx.data(), nullptr, out.data()), 15);
  EXPECT_EQ(mutual(ctx.data(), peer.data(), nullptr), 15);
  EXPECT_EQ(get_secret(ctx.data(), out.data(), nullptr), 15);
  EXPECT_EQ(clear(ctx.data()), 0);
  EXPECT_EQ(clear(ctx.data()), 0);
  EXPECT_EQ(std::count(ctx.begin(), ctx.end(), 0), 1300);
}

}  // namespace
}  // namespace gosttest
