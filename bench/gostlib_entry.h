// libcrypt.dll as the engine calls it, for the benchmark programs: loaded by
// path with dlopen, each operation through its entry points (init, work,
// clear), plus libgcrypt's GOST rows that sit next to it. Each benchmark
// program includes this header once.
#pragma once

#include <benchmark/benchmark.h>
#include <gcrypt.h>
#include <nettle/gosthash94.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "libcrypt_loader.h"

namespace dz_bench {

using Bytes = std::vector<uint8_t>;

// libgcrypt's name of the substitution table in default_params().
inline constexpr const char* kTableOid = "1.2.643.2.2.30.0";

// The GOST R 34.10-94 group the library uses by default (p 1024, q 256 bits,
// generator a), big-endian hex.
inline constexpr const char* kGroup94P =
    "B4E25EFB018E3C8B87505E2A67553C5EDC56C2914B7E4F89D23F03F03377E70A2903489DD60E78418D3D851EDB5317C4"
    "871E40B04228C3B7902963C4B7D85D52B9AA88F2AFDBEB28DA8869D6DF846A1D98924E925561BD69300B9DDD05D247B5"
    "922D967CBB02671881C57D10E5EF72D3E6DAD4223DC82AA1F7D0294651A480DF";
inline constexpr const char* kGroup94Q = "972432A437178B30BD96195B773789AB2FFF15594B176DD175B63256EE5AF2CF";
inline constexpr const char* kGroup94A =
    "8FD36731237654BBE41F5F1F8453E71CA414FFC22C25D915309E5D2E62A2A26C7111F3FC79568DAFA028042FE1A52A04"
    "89805C0DE9A1A469C844C7CABBEE625C3078888C1D85EEA883F1AD5BC4E6776E8E1A0750912DF64F79956499F1E18247"
    "5B0B60E2632ADCD8CF94E9C54FD1F3B109D81F00BF2AB8CB862ADF7D40B9369A";

// The library's handle; libgcrypt is initialised once next to it, before
// the library's first call.
inline void* library() {
  static void* handle = [] {
    void* h = libcrypt_handle();
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM_WARN);
    gcry_control(GCRYCTL_INIT_SECMEM, 65536, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return h;
  }();
  return handle;
}

template <class F>
F fn(const char* name) {
  return entry<F>(library(), name);
}

inline Bytes random_bytes(size_t n) {
  std::mt19937 gen(1);
  Bytes b(n);
  for (auto& x : b) x = uint8_t(gen());
  return b;
}

inline const Bytes kKey = random_bytes(32);
inline const Bytes kIv(8, 0x5A);

inline void count_ops(benchmark::State& st) {
  st.counters["ops/s"] = benchmark::Counter(double(st.iterations()), benchmark::Counter::kIsRate);
}

// --- symmetric --------------------------------------------------------------

inline void lib_stream(benchmark::State& st, const char* init_name, const char* crypt_name,
                       const char* clear_name) {
  auto init = fn<InitFn>(init_name);
  auto crypt = fn<CryptFn>(crypt_name);
  auto clear = fn<ClearFn>(clear_name);
  const auto& p = default_params();
  const Bytes in = random_bytes(size_t(st.range(0)));
  Bytes out(in.size());
  uint8_t ctx[124] = {}, state[76] = {};
  for (auto _ : st) {
    init(ctx, p.data(), state, kKey.data(), kIv.data());
    // The engine feeds whole buffers; pieces of at most 2^31 - 1 bytes.
    crypt(ctx, in.data(), out.data(), int32_t(in.size()));
    clear(ctx);
    benchmark::DoNotOptimize(out.data());
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(0));
}

inline void lib_gamma(benchmark::State& st) {
  lib_stream(st, "RuroV_G28147_1989_gamma_init", "RuroV_G28147_1989_gamma_crypt", "RuroV_G28147_1989_gamma_clear");
}

inline void lib_hash(benchmark::State& st) {
  auto init = fn<HashInitFn>("RuroV_R34_11_1994_init");
  auto update = fn<UpdateFn>("RuroV_R34_11_1994_update");
  auto final = fn<FinalFn>("RuroV_R34_11_1994_final");
  auto clear = fn<ClearFn>("RuroV_R34_11_1994_clear");
  const auto& p = default_params();
  const Bytes in = random_bytes(size_t(st.range(0)));
  uint8_t ctx[120] = {}, state[76] = {}, start[32] = {}, digest[32] = {};
  for (auto _ : st) {
    init(ctx, p.data(), state, start);
    // Pieces of at most 65535 bytes, as the engine feeds them.
    for (size_t off = 0; off < in.size(); off += 65535) {
      update(ctx, in.data() + off, int32_t(std::min<size_t>(65535, in.size() - off)));
    }
    final(ctx, digest);
    clear(ctx);
    benchmark::DoNotOptimize(digest);
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(0));
}

// libgcrypt's GOST 28147-89 in the given mode, same key and table.
// nettle's GOST R 34.11-94 over range(0) bytes in one update.
inline void nettle_hash(benchmark::State& st) {
  const Bytes in = random_bytes(size_t(st.range(0)));
  uint8_t digest[32];
  for (auto _ : st) {
    gosthash94_ctx ctx;
    gosthash94_init(&ctx);
    gosthash94_update(&ctx, in.size(), in.data());
    gosthash94_digest(&ctx, sizeof digest, digest);
    benchmark::DoNotOptimize(digest);
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(0));
}

inline void gcry_cipher(benchmark::State& st, int mode) {
  library();
  gcry_cipher_hd_t h = nullptr;
  gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, mode, 0);
  gcry_cipher_setkey(h, kKey.data(), kKey.size());
  gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(kTableOid), 0);
  const Bytes in = random_bytes(size_t(st.range(0)));
  Bytes out(in.size());
  for (auto _ : st) {
    if (mode != GCRY_CIPHER_MODE_ECB) gcry_cipher_setiv(h, kIv.data(), kIv.size());
    gcry_cipher_encrypt(h, out.data(), out.size(), in.data(), in.size());
    benchmark::DoNotOptimize(out.data());
  }
  gcry_cipher_close(h);
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(0));
}

// --- public key ----------------------------------------------------------------

struct LibSigner {
  const char* prefix;
  int32_t (*set)(void*, void*);
  size_t ctx_size;
};

inline int32_t set94(void* ctx, void* state) {
  return fn<Set94Fn>("RuroV_LR34_10_1994_set_parms")(ctx, state, nullptr, 128, nullptr, 32, nullptr);
}
inline int32_t set01(void* ctx, void* state) {
  return fn<Set01Fn>("RuroV_LR34_10_2001_set_parms")(ctx, state, nullptr, 32, nullptr, 32, nullptr, nullptr,
                                                      nullptr);
}

inline std::string entry_name(const char* prefix, const char* op) {
  return std::string("RuroV_LR34_10_") + prefix + "_" + op;
}

inline const LibSigner k94{"1994", set94, 1148};
inline const LibSigner k01{"2001", set01, 748};

// One key pair per benchmark; each iteration does the engine's full call
// sequence: set parameters, set the key, sign (or verify), clear.
inline void lib_sign(benchmark::State& st, const LibSigner& s, bool verify) {
  std::vector<uint8_t> ctx(s.ctx_size), secret(32), pub(128);
  uint8_t state[76] = {}, digest[32] = {1, 2, 3}, sig[64] = {};
  int32_t len = 128;
  s.set(ctx.data(), state);
  fn<GenFn>(entry_name(s.prefix, "gen_secret_key").c_str())(ctx.data());
  fn<GenFn>(entry_name(s.prefix, "gen_public_key").c_str())(ctx.data());
  len = 32;
  fn<GetKeyFn>(entry_name(s.prefix, "get_secret_key").c_str())(ctx.data(), secret.data(), &len);
  len = 128;
  fn<GetKeyFn>(entry_name(s.prefix, "get_public_key").c_str())(ctx.data(), pub.data(), &len);
  fn<SignFn>(entry_name(s.prefix, "sign").c_str())(ctx.data(), digest, sig);
  auto set_secret = fn<SetKeyFn>(entry_name(s.prefix, "set_secret_key").c_str());
  auto set_public = fn<SetKeyFn>(entry_name(s.prefix, "set_public_key").c_str());
  auto sign = fn<SignFn>(entry_name(s.prefix, "sign").c_str());
  auto check = fn<SignFn>(entry_name(s.prefix, "verify").c_str());
  auto clear = fn<ClearFn>(entry_name(s.prefix, "clear").c_str());
  clear(ctx.data());
  for (auto _ : st) {
    s.set(ctx.data(), state);
    int32_t rc = 0;
    if (verify) {
      set_public(ctx.data(), pub.data());
      rc = check(ctx.data(), digest, sig);
    } else {
      set_secret(ctx.data(), secret.data());
      rc = sign(ctx.data(), digest, sig);
    }
    clear(ctx.data());
    if (rc != 0) st.SkipWithError("library call failed");
  }
  count_ops(st);
}

// One agreement: set parameters, set the secret key, the mutual key with a
// peer's public key, clear.
inline void lib_dh(benchmark::State& st) {
  auto set = fn<SetPkaFn>("RuroV_LDH_PKA_set_parms");
  auto gen = fn<GenFn>("RuroV_LDH_PKA_gen_secret_key");
  auto genpub = fn<GenFn>("RuroV_LDH_PKA_gen_public_key");
  auto get_secret = fn<GetKeyFn>("RuroV_LDH_PKA_get_secret_key");
  auto get_public = fn<GetKeyFn>("RuroV_LDH_PKA_get_public_key");
  auto set_secret = fn<SetKeyFn>("RuroV_LDH_PKA_set_secret_key");
  auto mutual = fn<MutualFn>("RuroV_LDH_PKA_gen_mutual_key");
  auto clear = fn<ClearFn>("RuroV_LDH_PKA_clear");
  std::vector<uint8_t> ctx(1300);
  uint8_t state[76] = {}, secret[128], peer[128], shared[128];
  int32_t len = 0;
  set(ctx.data(), state, nullptr, 128, nullptr);
  gen(ctx.data());
  genpub(ctx.data());
  get_secret(ctx.data(), secret, &len);
  get_public(ctx.data(), peer, &len);
  clear(ctx.data());
  for (auto _ : st) {
    set(ctx.data(), state, nullptr, 128, nullptr);
    set_secret(ctx.data(), secret);
    if (mutual(ctx.data(), peer, shared) != 0) st.SkipWithError("library call failed");
    clear(ctx.data());
  }
  count_ops(st);
}

// libgcrypt's key pair and digest as S-expressions.
struct GcryKeys {
  gcry_sexp_t secret = nullptr;
  gcry_sexp_t pub = nullptr;
  gcry_sexp_t data = nullptr;
  GcryKeys() = default;
  GcryKeys(const GcryKeys&) = delete;
  GcryKeys& operator=(const GcryKeys&) = delete;
  ~GcryKeys() {
    gcry_sexp_release(secret);
    gcry_sexp_release(pub);
    gcry_sexp_release(data);
  }
};

// GOST R 34.10-2001 through libgcrypt's own curve code.
inline void gcry_keys_2001(GcryKeys& k) {
  library();
  gcry_sexp_t params = nullptr, pair = nullptr;
  gcry_sexp_build(&params, nullptr, "(genkey(ecc(curve GOST2001-CryptoPro-A)))");
  gcry_pk_genkey(&pair, params);
  k.secret = gcry_sexp_find_token(pair, "private-key", 0);
  k.pub = gcry_sexp_find_token(pair, "public-key", 0);
  const uint8_t digest[32] = {1, 2, 3};
  gcry_sexp_build(&k.data, nullptr, "(data(flags gost)(value %b))", 32, digest);
  gcry_sexp_release(params);
  gcry_sexp_release(pair);
}

inline void gcry_sign(benchmark::State& st, void (*keys)(GcryKeys&), bool verify) {
  GcryKeys k;
  keys(k);
  gcry_sexp_t sig = nullptr;
  gcry_pk_sign(&sig, k.data, k.secret);
  for (auto _ : st) {
    if (verify) {
      if (gcry_pk_verify(sig, k.data, k.pub) != 0) st.SkipWithError("verify failed");
    } else {
      gcry_sexp_t s = nullptr;
      gcry_pk_sign(&s, k.data, k.secret);
      gcry_sexp_release(s);
    }
  }
  gcry_sexp_release(sig);
  count_ops(st);
}

}  // namespace dz_bench
