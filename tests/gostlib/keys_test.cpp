// Parameter getters, partial clears and stored secrets of the public-key
// contexts.
#include <functional>

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
TEST(PartialClears, RemoveOnlyTheirKey) {
  auto set = lib().fn<Set01Fn>("RuroV_LR34_10_2001_set_parms");
  auto gen = lib().fn<GenFn>("RuroV_LR34_10_2001_gen_secret_key");
  auto genpub = lib().fn<GenFn>("RuroV_LR34_10_2001_gen_public_key");
  auto sign = lib().fn<SignFn>("RuroV_LR34_10_2001_sign");
  auto verify = lib().fn<VerifyFn>("RuroV_LR34_10_2001_verify");
  auto clear_secret = lib().fn<ClearFn>("RuroV_LR34_10_2001_clear_secret_key");
  auto clear_public = lib().fn<ClearFn>("RuroV_LR34_10_2001_clear_public_key");
  uint8_t ctx[748] = {}, state[kStateSize] = {}, digest[32] = {7}, sig[64] = {};
  EXPECT_EQ(clear_secret(ctx), 1);
  ASSERT_EQ(set(ctx, state, nullptr, 32, nullptr, 32, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(gen(ctx), 0);
  ASSERT_EQ(genpub(ctx), 0);
  ASSERT_EQ(sign(ctx, digest, sig), 0);
  ASSERT_EQ(clear_secret(ctx), 0);
  EXPECT_EQ(sign(ctx, digest, sig), 2);
  EXPECT_EQ(verify(ctx, digest, sig), 0);
  ASSERT_EQ(clear_public(ctx), 0);
  EXPECT_EQ(verify(ctx, digest, sig), 2);
  EXPECT_EQ(gen(ctx), 0) << "a cleared secret may be set again";

  auto pset = lib().fn<SetPkaFn>("RuroV_LDH_PKA_set_parms");
  auto pgen = lib().fn<GenFn>("RuroV_LDH_PKA_gen_secret_key");
  auto pgenpub = lib().fn<GenFn>("RuroV_LDH_PKA_gen_public_key");
  auto pget = lib().fn<GetKeyFn>("RuroV_LDH_PKA_get_public_key");
  auto pclear_secret = lib().fn<ClearFn>("RuroV_LDH_PKA_clear_secret_key");
  auto pclear_public = lib().fn<ClearFn>("RuroV_LDH_PKA_clear_public_key");
  uint8_t pctx[1300] = {}, pub[128];
  int32_t len = 0;
  ASSERT_EQ(pset(pctx, state, nullptr, 128, nullptr), 0);
  ASSERT_EQ(pgen(pctx), 0);
  ASSERT_EQ(pgenpub(pctx), 0);
  ASSERT_EQ(pclear_secret(pctx), 0);
  EXPECT_EQ(pgenpub(pctx), 2) << "no secret to derive from";
  EXPECT_EQ(pget(pctx, pub, &len), 0);
  ASSERT_EQ(pclear_public(pctx), 0);
  EXPECT_EQ(pget(pctx, pub, &len), 2);
}

// One public-key context kind as the altered-secret test drives it.
struct SecretContext {
  const char* name;
  size_t size;    // the context
  size_t stored;  // bytes of the stored secret, after the 4-byte tag and the flags
  std::function<int32_t(uint8_t*, uint8_t*)> set_parms;  // (ctx, state)
  std::string prefix;
  bool signs, agrees;
  size_t public_size;

  template <class F>
  F fn(const char* op) const {
    return lib().fn<F>(("RuroV_" + prefix + "_" + op).c_str());
  }
};

// A context whose stored secret was overwritten is not used: signing,
// deriving the public key and the agreement answer 17 on every kind. The 94
// signature and the agreement once used such a secret unchecked (a stored 0
// gave the shared secret 1 with success).
TEST(StoredSecret, AlteredSecretIsRefusedByEveryKind) {
  uint8_t state[kStateSize] = {};
  const SecretContext kinds[] = {
      {"2001", 748, 32,
       [](uint8_t* c, uint8_t* st) {
         return lib().fn<Set01Fn>("RuroV_LR34_10_2001_set_parms")(c, st, nullptr, 32, nullptr, 32, nullptr, nullptr,
                                                                   nullptr);
       },
       "LR34_10_2001", true, true, 100},
      {"94", 1148, 32,
       [](uint8_t* c, uint8_t* st) {
         return lib().fn<Set94Fn>("RuroV_LR34_10_1994_set_parms")(c, st, nullptr, 128, nullptr, 32, nullptr);
       },
       "LR34_10_1994", true, false, 128},
      {"agreement", 1300, 128,
       [](uint8_t* c, uint8_t* st) { return lib().fn<SetPkaFn>("RuroV_LDH_PKA_set_parms")(c, st, nullptr, 128, nullptr); },
       "LDH_PKA", false, true, 128},
  };
  for (const SecretContext& k : kinds) {
    SCOPED_TRACE(k.name);
    Bytes ctx(k.size, 0), secret(k.stored), pub(k.public_size), out(128);
    int32_t len = int32_t(k.stored);
    ASSERT_EQ(k.set_parms(ctx.data(), state), 0);
    ASSERT_EQ(k.fn<GenFn>("gen_secret_key")(ctx.data()), 0);
    ASSERT_EQ(k.fn<GenFn>("gen_public_key")(ctx.data()), 0);
    ASSERT_EQ(k.fn<GetKeyFn>("get_secret_key")(ctx.data(), secret.data(), &len), 0);
    len = int32_t(k.public_size);
    ASSERT_EQ(k.fn<GetKeyFn>("get_public_key")(ctx.data(), pub.data(), &len), 0);
    ASSERT_EQ(to_hex(ctx.data() + 8, k.stored), to_hex(secret)) << "layout assumed by this test";
    const uint8_t digest[32] = {1};
    // The operations on the secret, each with its result.
    auto results = [&] {
      std::vector<int32_t> rc{k.fn<GenFn>("gen_public_key")(ctx.data())};
      if (k.signs) rc.push_back(k.fn<SignFn>("sign")(ctx.data(), digest, out.data()));
      if (k.agrees) rc.push_back(k.fn<MutualFn>("gen_mutual_key")(ctx.data(), pub.data(), out.data()));
      return rc;
    };
    Bytes zero(k.stored, 0), top(k.stored, 0), high = secret;
    std::fill(top.begin(), top.begin() + 32, uint8_t(0xFF));  // at least q
    if (k.stored > 32) high[32] = 1;                           // bytes past the 32nd must be zero
    for (const Bytes* altered : {&zero, &top, &high}) {
      if (*altered == secret) continue;
      std::copy(altered->begin(), altered->end(), ctx.begin() + 8);
      for (const int32_t rc : results()) EXPECT_EQ(rc, 17) << to_hex(*altered);
    }
    std::copy(secret.begin(), secret.end(), ctx.begin() + 8);
    for (const int32_t rc : results()) EXPECT_EQ(rc, 0) << "the stored secret restored";
  }
}

}  // namespace
}  // namespace gosttest
