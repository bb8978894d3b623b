#include "raw_primitives.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

#include "libcrypt_loader.h"

namespace dz_bench {

namespace {

constexpr size_t kContext94 = 1148;
constexpr size_t kContext01 = 748;
constexpr size_t kContextPka = 1300;

template <class F>
F Fn(const std::string& name) {
  return entry<F>(libcrypt_handle(), name);
}

std::string Name(int algorithm, const char* op) {
  return std::string("RuroV_LR34_10_") + (algorithm == 0 ? "1994" : "2001") + "_" + op;
}

int32_t SetParms(int algorithm, void* ctx, void* state) {
  if (algorithm == 0) return Fn<Set94Fn>(Name(0, "set_parms"))(ctx, state, nullptr, 128, nullptr, 32, nullptr);
  return Fn<Set01Fn>(Name(1, "set_parms"))(ctx, state, nullptr, 32, nullptr, 32, nullptr, nullptr, nullptr);
}

size_t ContextSize(int algorithm) { return algorithm == 0 ? kContext94 : kContext01; }

}  // namespace

Bytes PatternBytes(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return b;
}

RawPrimitives& RawPrimitives::Get() {
  static RawPrimitives instance;
  return instance;
}

RawPrimitives::RawPrimitives() {
  for (int algorithm = 0; algorithm < 2; ++algorithm) {
    Bytes ctx(ContextSize(algorithm));
    uint8_t state[76] = {};
    Keys& k = keys_[algorithm];
    k.secret.resize(32);
    k.pub.resize(128);
    if (SetParms(algorithm, ctx.data(), state) != 0 || Fn<GenFn>(Name(algorithm, "gen_secret_key"))(ctx.data()) != 0 ||
        Fn<GenFn>(Name(algorithm, "gen_public_key"))(ctx.data()) != 0)
      throw std::runtime_error("raw key generation failed");
    int32_t len = 32;
    Fn<GetKeyFn>(Name(algorithm, "get_secret_key"))(ctx.data(), k.secret.data(), &len);
    len = 128;
    Fn<GetKeyFn>(Name(algorithm, "get_public_key"))(ctx.data(), k.pub.data(), &len);
    Fn<ClearFn>(Name(algorithm, "clear"))(ctx.data());
  }
  Bytes ctx(kContextPka);
  uint8_t state[76] = {};
  exchangeSecret_.resize(128);
  int32_t len = 128;
  if (Fn<SetPkaFn>("RuroV_LDH_PKA_set_parms")(ctx.data(), state, nullptr, 128, nullptr) != 0 ||
      Fn<GenFn>("RuroV_LDH_PKA_gen_secret_key")(ctx.data()) != 0 ||
      Fn<GetKeyFn>("RuroV_LDH_PKA_get_secret_key")(ctx.data(), exchangeSecret_.data(), &len) != 0)
    throw std::runtime_error("raw exchange key generation failed");
  Fn<ClearFn>("RuroV_LDH_PKA_clear")(ctx.data());
}

void RawPrimitives::Hash(const uint8_t* data, int32_t n, uint8_t* digest) const {
  static const auto init = Fn<HashInitFn>("RuroV_R34_11_1994_init");
  static const auto update = Fn<UpdateFn>("RuroV_R34_11_1994_update");
  static const auto final = Fn<FinalFn>("RuroV_R34_11_1994_final");
  static const auto clear = Fn<ClearFn>("RuroV_R34_11_1994_clear");
  uint8_t ctx[120] = {}, state[76] = {}, start[32] = {};
  init(ctx, default_params().data(), state, start);
  for (int32_t off = 0; off < n; off += 65535) update(ctx, data + off, std::min<int32_t>(65535, n - off));
  final(ctx, digest);
  clear(ctx);
}

// Set parameters, set the key, sign or verify, clear: the engine's sequence.
int32_t RawPrimitives::Sign(int algorithm, const uint8_t* digest, uint8_t* signature) const {
  static const SetKeyFn set[2] = {Fn<SetKeyFn>(Name(0, "set_secret_key")), Fn<SetKeyFn>(Name(1, "set_secret_key"))};
  static const SignFn sign[2] = {Fn<SignFn>(Name(0, "sign")), Fn<SignFn>(Name(1, "sign"))};
  static const ClearFn clear[2] = {Fn<ClearFn>(Name(0, "clear")), Fn<ClearFn>(Name(1, "clear"))};
  uint8_t ctx[kContext94] = {}, state[76] = {};
  int32_t r = SetParms(algorithm, ctx, state);
  if (r == 0) r = set[algorithm](ctx, keys_[algorithm].secret.data());
  if (r == 0) r = sign[algorithm](ctx, digest, signature);
  clear[algorithm](ctx);
  return r;
}

int32_t RawPrimitives::Verify(int algorithm, const uint8_t* digest, const uint8_t* signature) const {
  static const SetKeyFn set[2] = {Fn<SetKeyFn>(Name(0, "set_public_key")), Fn<SetKeyFn>(Name(1, "set_public_key"))};
  static const SignFn verify[2] = {Fn<SignFn>(Name(0, "verify")), Fn<SignFn>(Name(1, "verify"))};
  static const ClearFn clear[2] = {Fn<ClearFn>(Name(0, "clear")), Fn<ClearFn>(Name(1, "clear"))};
  uint8_t ctx[kContext94] = {}, state[76] = {};
  int32_t r = SetParms(algorithm, ctx, state);
  if (r == 0) r = set[algorithm](ctx, keys_[algorithm].pub.data());
  if (r == 0) r = verify[algorithm](ctx, digest, const_cast<uint8_t*>(signature));
  clear[algorithm](ctx);
  return r;
}

void RawPrimitives::CryptWithMac(const uint8_t* in, uint8_t* out, int32_t n, bool feedback, bool decrypt) const {
  static const auto macInit = Fn<InitFn>("RuroV_G28147_1989_mac_init");
  static const auto macUpdate = Fn<UpdateFn>("RuroV_G28147_1989_mac_update");
  static const auto macFinal = Fn<FinalFn>("RuroV_G28147_1989_mac_final");
  static const auto macClear = Fn<ClearFn>("RuroV_G28147_1989_mac_clear");
  static const auto ctrInit = Fn<InitFn>("RuroV_G28147_1989_gamma_init");
  static const auto ctrCrypt = Fn<CryptFn>("RuroV_G28147_1989_gamma_crypt");
  static const auto ctrClear = Fn<ClearFn>("RuroV_G28147_1989_gamma_clear");
  static const auto ofbInit = Fn<InitFn>("RuroV_G28147_1989_gamma_ofb_init");
  static const auto ofbEncrypt = Fn<CryptFn>("RuroV_G28147_1989_gamma_ofb_encrypt");
  static const auto ofbDecrypt = Fn<CryptFn>("RuroV_G28147_1989_gamma_ofb_decrypt");
  static const auto ofbClear = Fn<ClearFn>("RuroV_G28147_1989_gamma_ofb_clear");
  static const Bytes key = PatternBytes(32, 9);
  uint8_t ctx[124] = {}, state[76] = {}, iv[8] = {1, 2, 3, 4, 5, 6, 7, 8}, mac[8] = {};
  auto runMac = [&](const uint8_t* text) {
    macInit(ctx, default_params().data(), state, key.data(), mac);
    macUpdate(ctx, text, n);
    macFinal(ctx, mac);
    macClear(ctx);
  };
  if (!decrypt) runMac(in);
  if (feedback) {
    ofbInit(ctx, default_params().data(), state, key.data(), iv);
    (decrypt ? ofbDecrypt : ofbEncrypt)(ctx, in, out, n);
    ofbClear(ctx);
  } else {
    ctrInit(ctx, default_params().data(), state, key.data(), iv);
    ctrCrypt(ctx, in, out, n);
    ctrClear(ctx);
  }
  if (decrypt) runMac(out);
}

// Set parameters, set the secret key, make and get the public key, clear:
// the engine's sequence, for the signature key and then the exchange key.
int32_t RawPrimitives::DerivePublicKeys(int algorithm, uint8_t* signaturePublic, uint8_t* exchangePublic) const {
  static const SetKeyFn setSecret[2] = {Fn<SetKeyFn>(Name(0, "set_secret_key")),
                                        Fn<SetKeyFn>(Name(1, "set_secret_key"))};
  static const GenFn genPublic[2] = {Fn<GenFn>(Name(0, "gen_public_key")), Fn<GenFn>(Name(1, "gen_public_key"))};
  static const GetKeyFn getPublic[2] = {Fn<GetKeyFn>(Name(0, "get_public_key")),
                                        Fn<GetKeyFn>(Name(1, "get_public_key"))};
  static const ClearFn clear[2] = {Fn<ClearFn>(Name(0, "clear")), Fn<ClearFn>(Name(1, "clear"))};
  static const auto pkaSet = Fn<SetPkaFn>("RuroV_LDH_PKA_set_parms");
  static const auto pkaSecret = Fn<SetKeyFn>("RuroV_LDH_PKA_set_secret_key");
  static const auto pkaGen = Fn<GenFn>("RuroV_LDH_PKA_gen_public_key");
  static const auto pkaGet = Fn<GetKeyFn>("RuroV_LDH_PKA_get_public_key");
  static const auto pkaClear = Fn<ClearFn>("RuroV_LDH_PKA_clear");
  uint8_t ctx[kContextPka] = {}, state[76] = {};
  int32_t len = algorithm == 0 ? 128 : 100;
  int32_t r = SetParms(algorithm, ctx, state);
  if (r == 0) r = setSecret[algorithm](ctx, keys_[algorithm].secret.data());
  if (r == 0) r = genPublic[algorithm](ctx);
  if (r == 0) r = getPublic[algorithm](ctx, signaturePublic, &len);
  clear[algorithm](ctx);
  if (r != 0) return r;
  len = 128;
  r = pkaSet(ctx, state, nullptr, 128, nullptr);
  if (r == 0) r = pkaSecret(ctx, exchangeSecret_.data());
  if (r == 0) r = pkaGen(ctx);
  if (r == 0) r = pkaGet(ctx, exchangePublic, &len);
  pkaClear(ctx);
  return r;
}

int32_t RawPrimitives::Random(uint8_t* out, int32_t n) const {
  static const auto fill = Fn<int32_t (*)(void*, void*, int32_t)>("RuroV_Random_Fill");
  uint8_t state[76] = {};
  return fill(state, out, n);
}

}  // namespace dz_bench
