// Diffie-Hellman (LDH_PKA) in the GOST R 34.10-94 CryptoPro-A group: keys
// and agreements against the reference vectors of vectors/public_key.txt
// (GMP), agreement both ways, and refusal of bad peers.
#include "gostlib_fixture.hpp"

namespace gosttest {
namespace {

const std::vector<Row>& rows(const char* kind) { return vectors("public_key.txt", kind); }

// A secret of 128 bytes from one of 32.
Bytes widened(Bytes secret) {
  secret.resize(128, 0);
  return secret;
}

class Pka : public KeyContext<Pka94> {
 protected:
  int32_t agree(const Bytes& secret, const Bytes& peer, Bytes& out) {
    auto ctx = fresh();
    out.assign(128, 0);
    const int32_t set = set_secret(ctx.data(), secret.data());
    if (set != 0) return 100 + set;
    const int32_t rc = mutual(ctx.data(), peer.data(), out.data());
    clear(ctx.data());
    return rc;
  }

  SetPkaFn set_parms = lib().fn<SetPkaFn>("RuroV_LDH_PKA_set_parms");
  MutualFn mutual = fn<MutualFn>("gen_mutual_key");
};

TEST_F(Pka, KeysAndAgreementsMatchTheReference) {
  for (const Row& r : rows("key94")) {  // x a^x
    EXPECT_EQ(to_hex(public_of(widened(from_hex(r[0])))), r[1]) << r[0];
  }
  for (const Row& r : rows("agree94")) {  // x peer peer^x
    Bytes shared;
    ASSERT_EQ(agree(from_hex(r[0]), from_hex(r[1]), shared), 0);
    EXPECT_EQ(to_hex(shared), r[2]) << r[0];
  }
}

TEST_F(Pka, GeneratedKeysAgreeBothWays) {
  Bytes sa, pa, sb, pb;
  generate(sa, pa);
  generate(sb, pb);
  EXPECT_EQ(to_hex(sa.data() + 32, 96), std::string(192, '0')) << "a secret below q takes 32 bytes";
  EXPECT_LT(to_hex(reversed(Bytes(sa.begin(), sa.begin() + 32))), gostvec::kQ94);
  EXPECT_NE(sa, Bytes(128, 0));
  Bytes kab, kba;
  ASSERT_EQ(agree(sa, pb, kab), 0);
  ASSERT_EQ(agree(sb, pa, kba), 0);
  EXPECT_EQ(to_hex(kab), to_hex(kba));
}

TEST_F(Pka, InvalidPeerKeysAreRefusedWithCode3) {
  Bytes sa, pa;
  generate(sa, pa);
  Bytes out, one(128, 0), two(128, 0), p_minus_1 = le_of(gostvec::kP94);
  one[0] = 1;
  two[0] = 2;  // outside the order-q subgroup
  --p_minus_1[0];
  for (const Bytes& peer : {Bytes(128, 0), one, p_minus_1, le_of(gostvec::kP94), Bytes(128, 0xFF), two}) {
    EXPECT_EQ(agree(sa, peer, out), 3) << to_hex(peer).substr(0, 16);
    EXPECT_EQ(out, Bytes(128, 0)) << "nothing written";
  }
}

TEST_F(Pka, UnusableSecretsAndMisuse) {
  Bytes out, peer;
  Bytes sa;
  generate(sa, peer);
  EXPECT_EQ(agree(Bytes(128, 0), peer, out), 103);
  EXPECT_EQ(agree(widened(le_of(gostvec::kQ94)), peer, out), 103);
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
