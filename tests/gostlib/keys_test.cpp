// Parameter getters, partial clears and stored secrets of the public-key
// contexts.
#include "gostlib_fixture.hpp"

namespace gosttest {
namespace {

TEST(Getters, Gost94ParametersAreTheBuiltInGroup) {
  auto set = lib().fn<Set94Fn>("RuroV_LR34_10_1994_set_parms");
  auto get = lib().fn<int32_t (*)(void*, void*, int32_t*, void*, int32_t*, void*)>("RuroV_LR34_10_1994_get_parms");
  uint8_t ctx[1148] = {}, state[kStateSize] = {};
  int32_t p_len = 0, q_len = 0;
  EXPECT_EQ(get(ctx, nullptr, &p_len, nullptr, &q_len, nullptr), 1) << "no parameters set";
  ASSERT_EQ(set(ctx, state, nullptr, 128, nullptr, 32, nullptr), 0);
  ASSERT_EQ(get(ctx, nullptr, &p_len, nullptr, &q_len, nullptr), 0);
  EXPECT_EQ(p_len, 128);
  EXPECT_EQ(q_len, 32);
  Bytes p(128), q(32), a(128);
  ASSERT_EQ(get(ctx, p.data(), &p_len, q.data(), &q_len, a.data()), 0);
  EXPECT_EQ(to_hex(p), to_hex(le_of(gostvec::kP94)));
  EXPECT_EQ(to_hex(q), to_hex(le_of(gostvec::kQ94)));
  EXPECT_EQ(to_hex(a), to_hex(le_of(gostvec::kA94)));
  p_len = 127;
  EXPECT_EQ(get(ctx, p.data(), &p_len, q.data(), &q_len, a.data()), 14);
  EXPECT_EQ(get(ctx, p.data(), nullptr, q.data(), &q_len, a.data()), 15);
}

TEST(Getters, PkaParametersAreTheSameGroup) {
  auto set = lib().fn<SetPkaFn>("RuroV_LDH_PKA_set_parms");
  auto get = lib().fn<int32_t (*)(void*, void*, int32_t*, void*)>("RuroV_LDH_PKA_get_parms");
  uint8_t ctx[1300] = {}, state[kStateSize] = {};
  ASSERT_EQ(set(ctx, state, nullptr, 128, nullptr), 0);
  Bytes p(128), g(128);
  int32_t len = 128;
  ASSERT_EQ(get(ctx, p.data(), &len, g.data()), 0);
  EXPECT_EQ(len, 128);
  EXPECT_EQ(to_hex(p), to_hex(le_of(gostvec::kP94)));
  EXPECT_EQ(to_hex(g), to_hex(le_of(gostvec::kA94)));
}

// After clear_secret_key signing needs a new key; after clear_public_key
// verification does; the other half of the pair stays usable.
using PartialClears = SignContext<Gost2001>;
TEST_F(PartialClears, RemoveOnlyTheirKey) {
  auto clear_secret = fn<ClearFn>("clear_secret_key");
  auto clear_public = fn<ClearFn>("clear_public_key");
  uint8_t digest[32] = {7}, sig[64] = {};
  Context ctx{};
  EXPECT_EQ(clear_secret(ctx.data()), 1);
  ctx = fresh();
  ASSERT_EQ(gen_secret(ctx.data()), 0);
  ASSERT_EQ(gen_public(ctx.data()), 0);
  ASSERT_EQ(sign_fn(ctx.data(), digest, sig), 0);
  ASSERT_EQ(clear_secret(ctx.data()), 0);
  EXPECT_EQ(sign_fn(ctx.data(), digest, sig), 2);
  EXPECT_EQ(verify_fn(ctx.data(), digest, sig), 0);
  ASSERT_EQ(clear_public(ctx.data()), 0);
  EXPECT_EQ(verify_fn(ctx.data(), digest, sig), 2);
  EXPECT_EQ(gen_secret(ctx.data()), 0) << "a cleared secret may be set again";
}

using PkaPartialClears = KeyContext<Pka94>;
TEST_F(PkaPartialClears, RemoveOnlyTheirKey) {
  auto clear_secret = fn<ClearFn>("clear_secret_key");
  auto clear_public = fn<ClearFn>("clear_public_key");
  auto ctx = fresh();
  uint8_t pub[128];
  int32_t len = 0;
  ASSERT_EQ(gen_secret(ctx.data()), 0);
  ASSERT_EQ(gen_public(ctx.data()), 0);
  ASSERT_EQ(clear_secret(ctx.data()), 0);
  EXPECT_EQ(gen_public(ctx.data()), 2) << "no secret to derive from";
  EXPECT_EQ(get_public(ctx.data(), pub, &len), 0);
  ASSERT_EQ(clear_public(ctx.data()), 0);
  EXPECT_EQ(get_public(ctx.data(), pub, &len), 2);
}

template <class K>
class StoredSecret : public KeyContext<K> {};
using Kinds = ::testing::Types<Gost2001, Gost94, Pka94>;
TYPED_TEST_SUITE(StoredSecret, Kinds);

// A context whose stored secret was overwritten is not used: signing,
// deriving the public key and the agreement answer 17 on every kind. The 94
// signature and the agreement once used such a secret unchecked (a stored 0
// gave the shared secret 1 with success).
TYPED_TEST(StoredSecret, AlteredSecretIsRefusedByEveryKind) {
  using K = TypeParam;
  Bytes secret, pub, out(128);
  this->generate(secret, pub);
  auto ctx = this->fresh();
  ASSERT_EQ(this->set_secret(ctx.data(), secret.data()), 0);
  ASSERT_EQ(to_hex(ctx.data() + 8, K::kSecret), to_hex(secret)) << "layout assumed by this test";
  const uint8_t digest[32] = {1};
  // The operations on the secret, each with its result.
  auto results = [&] {
    std::vector<int32_t> rc{this->gen_public(ctx.data())};
    if (K::kSigns) rc.push_back(this->template fn<SignFn>("sign")(ctx.data(), digest, out.data()));
    if (K::kAgrees) rc.push_back(this->template fn<MutualFn>("gen_mutual_key")(ctx.data(), pub.data(), out.data()));
    return rc;
  };
  Bytes zero(K::kSecret, 0), top(K::kSecret, 0), high = secret;
  std::fill(top.begin(), top.begin() + 32, uint8_t(0xFF));  // at least q
  if (K::kSecret > 32) high[32] = 1;                         // bytes past the 32nd must be zero
  for (const Bytes* altered : {&zero, &top, &high}) {
    if (*altered == secret) continue;
    std::copy(altered->begin(), altered->end(), ctx.begin() + 8);
    for (const int32_t rc : results()) EXPECT_EQ(rc, 17) << to_hex(*altered);
  }
  std::copy(secret.begin(), secret.end(), ctx.begin() + 8);
  for (const int32_t rc : results()) EXPECT_EQ(rc, 0) << "the stored secret restored";
}

}  // namespace
}  // namespace gosttest
