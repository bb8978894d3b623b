// Throughput of libcrypt.dll's primitives next to libgcrypt's own (and
// nettle's GOST hash), measured in the same run. The library is loaded by
// path, as the engine loads it.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <gcrypt.h>
#include <nettle/gosthash94.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using InitFn = int32_t (*)(void*, const void*, void*, const void*, const void*);
using CryptFn = int32_t (*)(void*, const void*, void*, int32_t);
using UpdateFn = int32_t (*)(void*, const void*, int32_t);
using FinalFn = int32_t (*)(void*, void*);
using ClearFn = int32_t (*)(void*);
using HashInitFn = int32_t (*)(void*, const void*, void*, const void*);
using Set94Fn = int32_t (*)(void*, void*, const void*, int32_t, const void*, int32_t, const void*);
using Set01Fn = int32_t (*)(void*, void*, const void*, int32_t, const void*, int32_t, const void*, const void*,
                            const void*);
using SetPkaFn = int32_t (*)(void*, void*, const void*, int32_t, const void*);
using GenFn = int32_t (*)(void*);
using GetKeyFn = int32_t (*)(void*, void*, int32_t*);
using SetKeyFn = int32_t (*)(void*, const void*);
using SignFn = int32_t (*)(void*, const void*, void*);
using MutualFn = int32_t (*)(void*, const void*, void*);

constexpr const char* kTableOid = "1.2.643.2.2.30.0";

void* library() {
  static void* handle = [] {
    void* h = dlopen(DZ_BIN_DIR "/libcrypt.dll", RTLD_NOW);
    if (h == nullptr) throw std::runtime_error("cannot load libcrypt.dll");
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
  void* p = dlsym(library(), name);
  if (p == nullptr) throw std::runtime_error(name);
  return reinterpret_cast<F>(p);
}

std::array<uint8_t, 4228> params() {
  static const uint8_t rows[8][16] = {
      {4, 10, 9, 2, 13, 8, 0, 14, 6, 11, 1, 12, 7, 15, 5, 3}, {14, 11, 4, 12, 6, 13, 15, 10, 2, 3, 8, 1, 0, 7, 5, 9},
      {5, 8, 1, 13, 10, 3, 4, 2, 14, 15, 12, 7, 6, 0, 9, 11}, {7, 13, 10, 1, 0, 8, 9, 15, 14, 4, 6, 12, 11, 2, 5, 3},
      {6, 12, 7, 1, 5, 15, 13, 8, 4, 10, 9, 14, 0, 3, 11, 2}, {4, 11, 10, 0, 7, 2, 1, 13, 3, 6, 8, 5, 9, 12, 15, 14},
      {13, 11, 4, 1, 3, 15, 5, 9, 0, 10, 14, 7, 6, 8, 2, 12}, {1, 15, 13, 0, 5, 7, 10, 4, 9, 2, 3, 14, 6, 11, 8, 12},
  };
  std::array<uint8_t, 4228> block{};
  for (int i = 1; i <= 8; ++i) std::memcpy(block.data() + (8 - i) * 16, rows[i - 1], 16);
  return block;
}

Bytes random_bytes(size_t n) {
  std::mt19937 gen(1);
  Bytes b(n);
  for (auto& x : b) x = uint8_t(gen());
  return b;
}

const Bytes kKey = random_bytes(32);
const Bytes kIv(8, 0x5A);

// --- symmetric: the library ---------------------------------------------

void lib_stream(benchmark::State& st, const char* init_name, const char* crypt_name, const char* clear_name) {
  auto init = fn<InitFn>(init_name);
  auto crypt = fn<CryptFn>(crypt_name);
  auto clear = fn<ClearFn>(clear_name);
  const auto p = params();
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

void BM_Lib_Gamma(benchmark::State& st) {
  lib_stream(st, "RuroV_G28147_1989_gamma_init", "RuroV_G28147_1989_gamma_crypt", "RuroV_G28147_1989_gamma_clear");
}
void BM_Lib_GammaFeedback(benchmark::State& st) {
  lib_stream(st, "RuroV_G28147_1989_gamma_ofb_init", "RuroV_G28147_1989_gamma_ofb_encrypt",
             "RuroV_G28147_1989_gamma_ofb_clear");
}

void BM_Lib_GammaFeedbackDecrypt(benchmark::State& st) {
  lib_stream(st, "RuroV_G28147_1989_gamma_ofb_init", "RuroV_G28147_1989_gamma_ofb_decrypt",
             "RuroV_G28147_1989_gamma_ofb_clear");
}

void BM_Lib_Mac(benchmark::State& st) {
  auto init = fn<InitFn>("RuroV_G28147_1989_mac_init");
  auto update = fn<UpdateFn>("RuroV_G28147_1989_mac_update");
  auto final = fn<FinalFn>("RuroV_G28147_1989_mac_final");
  auto clear = fn<ClearFn>("RuroV_G28147_1989_mac_clear");
  const auto p = params();
  const Bytes in = random_bytes(size_t(st.range(0)));
  uint8_t ctx[100] = {}, state[76] = {}, mac[8] = {};
  for (auto _ : st) {
    init(ctx, p.data(), state, kKey.data(), mac);
    update(ctx, in.data(), int32_t(in.size()));
    final(ctx, mac);
    clear(ctx);
    benchmark::DoNotOptimize(mac);
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(0));
}

void BM_Lib_Hash(benchmark::State& st) {
  auto init = fn<HashInitFn>("RuroV_R34_11_1994_init");
  auto update = fn<UpdateFn>("RuroV_R34_11_1994_update");
  auto final = fn<FinalFn>("RuroV_R34_11_1994_final");
  auto clear = fn<ClearFn>("RuroV_R34_11_1994_clear");
  const auto p = params();
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

// --- symmetric: libgcrypt and nettle -------------------------------------

void gcry_cipher(benchmark::State& st, int mode) {
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

void BM_Gcry_Ecb(benchmark::State& st) { gcry_cipher(st, GCRY_CIPHER_MODE_ECB); }
void BM_Gcry_Cfb(benchmark::State& st) { gcry_cipher(st, GCRY_CIPHER_MODE_CFB); }

void BM_Gcry_Imit(benchmark::State& st) {
  library();
  const Bytes in = random_bytes(size_t(st.range(0)));
  uint8_t mac[4];
  for (auto _ : st) {
    gcry_mac_hd_t h = nullptr;
    gcry_mac_open(&h, GCRY_MAC_GOST28147_IMIT, 0, nullptr);
    gcry_mac_setkey(h, kKey.data(), kKey.size());
    gcry_mac_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(kTableOid), 0);
    gcry_mac_write(h, in.data(), in.size());
    size_t n = sizeof mac;
    gcry_mac_read(h, mac, &n);
    gcry_mac_close(h);
    benchmark::DoNotOptimize(mac);
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(0));
}

void BM_Gcry_Hash(benchmark::State& st) {
  library();
  const Bytes in = random_bytes(size_t(st.range(0)));
  uint8_t digest[32];
  for (auto _ : st) {
    gcry_md_hash_buffer(GCRY_MD_GOSTR3411_94, digest, in.data(), in.size());
    benchmark::DoNotOptimize(digest);
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(0));
}

void BM_Nettle_Hash(benchmark::State& st) {
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

// --- public key: the library ----------------------------------------------

struct LibSigner {
  const char* prefix;
  int32_t (*set)(void*, void*);
  size_t ctx_size;
};

int32_t set94(void* ctx, void* state) {
  return fn<Set94Fn>("RuroV_LR34_10_1994_set_parms")(ctx, state, nullptr, 128, nullptr, 32, nullptr);
}
int32_t set01(void* ctx, void* state) {
  return fn<Set01Fn>("RuroV_LR34_10_2001_set_parms")(ctx, state, nullptr, 32, nullptr, 32, nullptr, nullptr,
                                                      nullptr);
}

std::string name(const char* prefix, const char* op) { return std::string("RuroV_LR34_10_") + prefix + "_" + op; }

// One key pair per benchmark; each iteration does the engine's full call
// sequence: set parameters, set the key, sign (or verify), clear.
void lib_sign(benchmark::State& st, const LibSigner& s, bool verify) {
  std::vector<uint8_t> ctx(s.ctx_size), secret(32), pub(128);
  uint8_t state[76] = {}, digest[32] = {1, 2, 3}, sig[64] = {};
  int32_t len = 128;
  s.set(ctx.data(), state);
  fn<GenFn>(name(s.prefix, "gen_secret_key").c_str())(ctx.data());
  fn<GenFn>(name(s.prefix, "gen_public_key").c_str())(ctx.data());
  len = 32;
  fn<GetKeyFn>(name(s.prefix, "get_secret_key").c_str())(ctx.data(), secret.data(), &len);
  len = 128;
  fn<GetKeyFn>(name(s.prefix, "get_public_key").c_str())(ctx.data(), pub.data(), &len);
  fn<SignFn>(name(s.prefix, "sign").c_str())(ctx.data(), digest, sig);
  auto set_secret = fn<SetKeyFn>(name(s.prefix, "set_secret_key").c_str());
  auto set_public = fn<SetKeyFn>(name(s.prefix, "set_public_key").c_str());
  auto sign = fn<SignFn>(name(s.prefix, "sign").c_str());
  auto check = fn<SignFn>(name(s.prefix, "verify").c_str());
  auto clear = fn<ClearFn>(name(s.prefix, "clear").c_str());
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
  st.counters["ops/s"] = benchmark::Counter(double(st.iterations()), benchmark::Counter::kIsRate);
}

const LibSigner k94{"1994", set94, 1148};
const LibSigner k01{"2001", set01, 748};
void BM_Lib_Sign2001(benchmark::State& st) { lib_sign(st, k01, false); }
void BM_Lib_Verify2001(benchmark::State& st) { lib_sign(st, k01, true); }
void BM_Lib_Sign94(benchmark::State& st) { lib_sign(st, k94, false); }
void BM_Lib_Verify94(benchmark::State& st) { lib_sign(st, k94, true); }

void BM_Lib_DH(benchmark::State& st) {
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
  st.counters["ops/s"] = benchmark::Counter(double(st.iterations()), benchmark::Counter::kIsRate);
}

// --- public key: libgcrypt ---------------------------------------------

struct GcryKeys {
  gcry_sexp_t secret = nullptr;
  gcry_sexp_t pub = nullptr;
  gcry_sexp_t data = nullptr;
  ~GcryKeys() {
    gcry_sexp_release(secret);
    gcry_sexp_release(pub);
    gcry_sexp_release(data);
  }
};

// GOST R 34.10-2001 through libgcrypt's own curve code.
void gcry_keys_2001(GcryKeys& k) {
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

// libgcrypt's DSA in the GOST R 34.10-94 group (p 1024, q 256 bits): the
// same exponentiations, as its nearest own counterpart of GOST R 34.10-94.
void gcry_keys_94(GcryKeys& k) {
  library();
  const char* p =
      "B4E25EFB018E3C8B87505E2A67553C5EDC56C2914B7E4F89D23F03F03377E70A2903489DD60E78418D3D851EDB5317C4"
      "871E40B04228C3B7902963C4B7D85D52B9AA88F2AFDBEB28DA8869D6DF846A1D98924E925561BD69300B9DDD05D247B5"
      "922D967CBB02671881C57D10E5EF72D3E6DAD4223DC82AA1F7D0294651A480DF";
  const char* q = "972432A437178B30BD96195B773789AB2FFF15594B176DD175B63256EE5AF2CF";
  const char* a =
      "8FD36731237654BBE41F5F1F8453E71CA414FFC22C25D915309E5D2E62A2A26C7111F3FC79568DAFA028042FE1A52A04"
      "89805C0DE9A1A469C844C7CABBEE625C3078888C1D85EEA883F1AD5BC4E6776E8E1A0750912DF64F79956499F1E18247"
      "5B0B60E2632ADCD8CF94E9C54FD1F3B109D81F00BF2AB8CB862ADF7D40B9369A";
  gcry_mpi_t mp = nullptr, mq = nullptr, ma = nullptr;
  gcry_mpi_scan(&mp, GCRYMPI_FMT_HEX, p, 0, nullptr);
  gcry_mpi_scan(&mq, GCRYMPI_FMT_HEX, q, 0, nullptr);
  gcry_mpi_scan(&ma, GCRYMPI_FMT_HEX, a, 0, nullptr);
  gcry_mpi_t x = gcry_mpi_snew(256), y = gcry_mpi_new(1024);
  gcry_mpi_randomize(x, 250, GCRY_STRONG_RANDOM);
  gcry_mpi_powm(y, ma, x, mp);
  gcry_sexp_build(&k.secret, nullptr, "(private-key(dsa(p %m)(q %m)(g %m)(y %m)(x %m)))", mp, mq, ma, y, x);
  gcry_sexp_build(&k.pub, nullptr, "(public-key(dsa(p %m)(q %m)(g %m)(y %m)))", mp, mq, ma, y);
  const uint8_t digest[32] = {1, 2, 3};
  gcry_sexp_build(&k.data, nullptr, "(data(flags raw)(value %b))", 32, digest);
  for (gcry_mpi_t m : {mp, mq, ma, x, y}) gcry_mpi_release(m);
}

void gcry_sign(benchmark::State& st, void (*keys)(GcryKeys&), bool verify) {
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
  st.counters["ops/s"] = benchmark::Counter(double(st.iterations()), benchmark::Counter::kIsRate);
}

void BM_Gcry_Sign2001(benchmark::State& st) { gcry_sign(st, gcry_keys_2001, false); }
void BM_Gcry_Verify2001(benchmark::State& st) { gcry_sign(st, gcry_keys_2001, true); }
void BM_Gcry_DsaSign94Group(benchmark::State& st) { gcry_sign(st, gcry_keys_94, false); }
void BM_Gcry_DsaVerify94Group(benchmark::State& st) { gcry_sign(st, gcry_keys_94, true); }

// The agreement's one exponentiation (1024-bit modulus, 256-bit exponent).
void BM_Gcry_DH(benchmark::State& st) {
  library();
  gcry_mpi_t p = nullptr, base = nullptr;
  gcry_mpi_scan(&p, GCRYMPI_FMT_HEX,
                "B4E25EFB018E3C8B87505E2A67553C5EDC56C2914B7E4F89D23F03F03377E70A2903489DD60E78418D3D851EDB5317C4"
                "871E40B04228C3B7902963C4B7D85D52B9AA88F2AFDBEB28DA8869D6DF846A1D98924E925561BD69300B9DDD05D247B5"
                "922D967CBB02671881C57D10E5EF72D3E6DAD4223DC82AA1F7D0294651A480DF",
                0, nullptr);
  gcry_mpi_scan(&base, GCRYMPI_FMT_HEX, "1234567890ABCDEF1234567890ABCDEF", 0, nullptr);
  gcry_mpi_t x = gcry_mpi_snew(256), r = gcry_mpi_snew(1024);
  gcry_mpi_randomize(x, 255, GCRY_STRONG_RANDOM);
  for (auto _ : st) {
    gcry_mpi_powm(r, base, x, p);
    benchmark::DoNotOptimize(r);
  }
  for (gcry_mpi_t m : {p, base, x, r}) gcry_mpi_release(m);
  st.counters["ops/s"] = benchmark::Counter(double(st.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_Lib_Gamma)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_Lib_GammaFeedback)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_Lib_GammaFeedbackDecrypt)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_Gcry_Ecb)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_Gcry_Cfb)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_Lib_Mac)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_Gcry_Imit)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_Lib_Hash)->Arg(64)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(BM_Gcry_Hash)->Arg(64)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(BM_Nettle_Hash)->Arg(64)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(BM_Lib_Sign2001);
BENCHMARK(BM_Gcry_Sign2001);
BENCHMARK(BM_Lib_Verify2001);
BENCHMARK(BM_Gcry_Verify2001);
BENCHMARK(BM_Lib_Sign94);
BENCHMARK(BM_Gcry_DsaSign94Group);
BENCHMARK(BM_Lib_Verify94);
BENCHMARK(BM_Gcry_DsaVerify94Group);
BENCHMARK(BM_Lib_DH);
BENCHMARK(BM_Gcry_DH);

BENCHMARK_MAIN();
