// Throughput of libcrypt.dll's primitives next to libgcrypt's own (and
// nettle's GOST hash), measured in the same run. The library is loaded by
// path, as the engine loads it.

#include "gostlib_entry.h"

namespace {

using namespace dz_bench;

// --- symmetric: the library ---------------------------------------------

void BM_Lib_Gamma(benchmark::State& st) { lib_gamma(st); }
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
  const auto& p = default_params();
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

void BM_Lib_Hash(benchmark::State& st) { lib_hash(st); }

// --- symmetric: libgcrypt and nettle -------------------------------------

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

void BM_Nettle_Hash(benchmark::State& st) { nettle_hash(st); }

// --- public key: the library ----------------------------------------------

void BM_Lib_Sign2001(benchmark::State& st) { lib_sign(st, k01, false); }
void BM_Lib_Verify2001(benchmark::State& st) { lib_sign(st, k01, true); }
void BM_Lib_Sign94(benchmark::State& st) { lib_sign(st, k94, false); }
void BM_Lib_Verify94(benchmark::State& st) { lib_sign(st, k94, true); }

void BM_Lib_DH(benchmark::State& st) { lib_dh(st); }

// --- public key: libgcrypt ---------------------------------------------

// libgcrypt's DSA in the GOST R 34.10-94 group (p 1024, q 256 bits): the
// same exponentiations, as its nearest own counterpart of GOST R 34.10-94.
void gcry_keys_94(GcryKeys& k) {
  library();
  gcry_mpi_t mp = nullptr, mq = nullptr, ma = nullptr;
  gcry_mpi_scan(&mp, GCRYMPI_FMT_HEX, kGroup94P, 0, nullptr);
  gcry_mpi_scan(&mq, GCRYMPI_FMT_HEX, kGroup94Q, 0, nullptr);
  gcry_mpi_scan(&ma, GCRYMPI_FMT_HEX, kGroup94A, 0, nullptr);
  gcry_mpi_t x = gcry_mpi_snew(256), y = gcry_mpi_new(1024);
  gcry_mpi_randomize(x, 250, GCRY_STRONG_RANDOM);
  gcry_mpi_powm(y, ma, x, mp);
  gcry_sexp_build(&k.secret, nullptr, "(private-key(dsa(p %m)(q %m)(g %m)(y %m)(x %m)))", mp, mq, ma, y, x);
  gcry_sexp_build(&k.pub, nullptr, "(public-key(dsa(p %m)(q %m)(g %m)(y %m)))", mp, mq, ma, y);
  const uint8_t digest[32] = {1, 2, 3};
  gcry_sexp_build(&k.data, nullptr, "(data(flags raw)(value %b))", 32, digest);
  for (gcry_mpi_t m : {mp, mq, ma, x, y}) gcry_mpi_release(m);
}

void BM_Gcry_Sign2001(benchmark::State& st) { gcry_sign(st, gcry_keys_2001, false); }
void BM_Gcry_Verify2001(benchmark::State& st) { gcry_sign(st, gcry_keys_2001, true); }
void BM_Gcry_DsaSign94Group(benchmark::State& st) { gcry_sign(st, gcry_keys_94, false); }
void BM_Gcry_DsaVerify94Group(benchmark::State& st) { gcry_sign(st, gcry_keys_94, true); }

// The agreement's one exponentiation (1024-bit modulus, 256-bit exponent).
void BM_Gcry_DH(benchmark::State& st) {
  library();
  gcry_mpi_t p = nullptr, base = nullptr;
  gcry_mpi_scan(&p, GCRYMPI_FMT_HEX, kGroup94P, 0, nullptr);
  gcry_mpi_scan(&base, GCRYMPI_FMT_HEX, "1234567890ABCDEF1234567890ABCDEF", 0, nullptr);
  gcry_mpi_t x = gcry_mpi_snew(256), r = gcry_mpi_snew(1024);
  gcry_mpi_randomize(x, 255, GCRY_STRONG_RANDOM);
  for (auto _ : st) {
    gcry_mpi_powm(r, base, x, p);
    benchmark::DoNotOptimize(r);
  }
  for (gcry_mpi_t m : {p, base, x, r}) gcry_mpi_release(m);
  count_ops(st);
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
