// The engine through its exports on the client's side (signing, verification,
// encryption, hashing, key generation, a transfer), each next to the raw cost
// of the libcrypt.dll primitives it calls, measured in the same run.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench_world.h"

namespace dz_bench {

namespace {

const Medium& Client(int algorithm) {
  return algorithm == 0 ? World::Get().client94 : World::Get().client01;
}

// A client engine; "Hash method" GOST when `gost`, else the legacy default.
void ConfigureClient(const Engine& e, int algorithm, bool gost) {
  Client(algorithm).Configure(e);
  e.Set(kSetHashMethod, gost ? "GOST" : "");
}

void Fail(benchmark::State& st, const char* what, int32_t result) {
  st.SkipWithError((std::string(what) + " returned " + std::to_string(result)).c_str());
}

// ---- Signing and verification ------------------------------------------------

// Arguments: algorithm (0 = 94, 1 = 2001), GOST hash (1) or legacy (0), size.
void BM_SignData(benchmark::State& st) {
  Engine e;
  ConfigureClient(e, int(st.range(0)), st.range(1) != 0);
  const Bytes data = PatternBytes(size_t(st.range(2)));
  Bytes block(size_t(GetMaxSignatureLength(e)));
  for (auto _ : st) {
    int32_t size = 0;
    const int32_t r = SignData(e, data.data(), int32_t(data.size()), block.data(), &size, 0);
    if (r != 0) Fail(st, "SignData", r);
    benchmark::DoNotOptimize(block.data());
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(2));
}

void BM_Raw_HashSign(benchmark::State& st) {
  const RawPrimitives& raw = RawPrimitives::Get();
  const Bytes data = PatternBytes(size_t(st.range(1)));
  uint8_t digest[32], signature[64];
  for (auto _ : st) {
    raw.Hash(data.data(), int32_t(data.size()), digest);
    if (raw.Sign(int(st.range(0)), digest, signature) != 0) st.SkipWithError("sign");
    benchmark::DoNotOptimize(signature);
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(1));
}

void BM_VerifyData(benchmark::State& st) {
  Engine e;
  ConfigureClient(e, int(st.range(0)), st.range(1) != 0);
  const Bytes data = PatternBytes(size_t(st.range(2)));
  Bytes block(size_t(GetMaxSignatureLength(e)));
  int32_t size = 0;
  if (const int32_t r = SignData(e, data.data(), int32_t(data.size()), block.data(), &size, 0); r != 0) {
    Fail(st, "SignData", r);
    return;
  }
  char uid[256];
  for (auto _ : st) {
    const int32_t r = VerifyData(e, data.data(), int32_t(data.size()), block.data(), size, uid);
    if (r != 0) Fail(st, "VerifyData", r);
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(2));
}

void BM_Raw_HashVerify(benchmark::State& st) {
  const RawPrimitives& raw = RawPrimitives::Get();
  const Bytes data = PatternBytes(size_t(st.range(1)));
  uint8_t digest[32], signature[64];
  raw.Hash(data.data(), int32_t(data.size()), digest);
  raw.Sign(int(st.range(0)), digest, signature);
  for (auto _ : st) {
    raw.Hash(data.data(), int32_t(data.size()), digest);
    if (raw.Verify(int(st.range(0)), digest, signature) != 0) st.SkipWithError("verify");
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(1));
}

// A signature of 64 bytes with the secret key read from the files again for
// each one (both time-outs 0): the key load with its check that the secret
// key belongs to the public-key file, next to BM_SignData/N/1/64, where the
// key stays loaded. Argument: algorithm.
void BM_SignDataLoadingTheKey(benchmark::State& st) {
  Engine e;
  ConfigureClient(e, int(st.range(0)), true);
  e.Set(kSetKeyRequestTimeOut, "0");
  e.Set(kSetLastOpTimeOut, "0");
  const Bytes data = PatternBytes(64);
  Bytes block(size_t(GetMaxSignatureLength(e)));
  for (auto _ : st) {
    int32_t size = 0;
    const int32_t r = SignData(e, data.data(), int32_t(data.size()), block.data(), &size, 0);
    if (r != 0) Fail(st, "SignData", r);
  }
}

// The key-pair check's work in the library: both public keys derived from
// their secret keys.
void BM_Raw_DerivePublicKeys(benchmark::State& st) {
  uint8_t signaturePublic[128], exchangePublic[128];
  for (auto _ : st) {
    if (RawPrimitives::Get().DerivePublicKeys(int(st.range(0)), signaturePublic, exchangePublic) != 0)
      st.SkipWithError("derive");
    benchmark::DoNotOptimize(exchangePublic);
  }
}

void BM_Raw_Sign(benchmark::State& st) {
  const RawPrimitives& raw = RawPrimitives::Get();
  uint8_t digest[32] = {1, 2, 3}, signature[64];
  for (auto _ : st) {
    if (raw.Sign(int(st.range(0)), digest, signature) != 0) st.SkipWithError("sign");
  }
}

void BM_Raw_Verify(benchmark::State& st) {
  const RawPrimitives& raw = RawPrimitives::Get();
  uint8_t digest[32] = {1, 2, 3}, signature[64];
  raw.Sign(int(st.range(0)), digest, signature);
  for (auto _ : st) {
    if (raw.Verify(int(st.range(0)), digest, signature) != 0) st.SkipWithError("verify");
  }
}

// ---- Encryption --------------------------------------------------------------------

std::string RecipientList(int64_t count) {
  std::string list;
  for (int64_t i = 0; i < count; ++i) list += (i ? ";" : "") + World::Get().recipients[size_t(i)].uid;
  return list;
}

// Arguments: recipients, size, "Encrypt method". Each iteration restores the
// plain text first (a copy of the size of the data, under 1 % of the figure).
void BM_EncodeData(benchmark::State& st) {
  Engine e;
  ConfigureClient(e, 1, true);
  e.Set(kSetEncryptMethod, std::to_string(st.range(2)));
  const std::string list = RecipientList(st.range(0));
  const Bytes plain = PatternBytes(size_t(st.range(1)));
  Bytes buffer(plain.size() + size_t(GetMaxAdditionEx(e, list.c_str())));
  for (auto _ : st) {
    std::copy(plain.begin(), plain.end(), buffer.begin());
    int32_t size = int32_t(plain.size());
    const int32_t r = EncodeData(e, buffer.data(), &size, list.c_str());
    if (r != 0) Fail(st, "EncodeData", r);
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(1));
}

// Decrypted by the first recipient.
void BM_DecodeData(benchmark::State& st) {
  Engine sender, e;
  ConfigureClient(sender, 1, true);
  sender.Set(kSetEncryptMethod, std::to_string(st.range(2)));
  World::Get().recipients[0].Configure(e);
  const std::string list = RecipientList(st.range(0));
  const Bytes plain = PatternBytes(size_t(st.range(1)));
  Bytes message(plain.size() + size_t(GetMaxAdditionEx(sender, list.c_str())));
  std::copy(plain.begin(), plain.end(), message.begin());
  int32_t encoded = int32_t(plain.size());
  if (const int32_t r = EncodeData(sender, message.data(), &encoded, list.c_str()); r != 0) {
    Fail(st, "EncodeData", r);
    return;
  }
  Bytes buffer(static_cast<size_t>(encoded));
  for (auto _ : st) {
    std::copy(message.begin(), message.begin() + encoded, buffer.begin());
    int32_t size = encoded;
    const int32_t r = DecodeData(e, buffer.data(), &size, 0);
    if (r != 0) Fail(st, "DecodeData", r);
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(1));
}

// Arguments: size, feedback mode (the "Encrypt method" 1), decryption.
void BM_Raw_CryptWithMac(benchmark::State& st) {
  const RawPrimitives& raw = RawPrimitives::Get();
  const Bytes in = PatternBytes(size_t(st.range(0)));
  Bytes out(in.size());
  for (auto _ : st) {
    raw.CryptWithMac(in.data(), out.data(), int32_t(in.size()), st.range(1) != 0, st.range(2) != 0);
    benchmark::DoNotOptimize(out.data());
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(0));
}

// One call of the library's random generator (encryption makes 2 + recipients).
void BM_Raw_Random(benchmark::State& st) {
  uint8_t out[32];
  for (auto _ : st) {
    if (RawPrimitives::Get().Random(out, int32_t(st.range(0))) != 0) st.SkipWithError("random");
  }
}

// ---- Hashing, key generation, transfer ------------------------------------------

void BM_HashData(benchmark::State& st) {
  Engine e;
  ConfigureClient(e, 1, st.range(1) != 0);
  const Bytes data = PatternBytes(size_t(st.range(0)));
  uint8_t hash[64];
  for (auto _ : st) {
    int32_t size = sizeof hash;
    const int32_t r = HashData(e, data.data(), int32_t(data.size()), 0, hash, &size);
    if (r != 0) Fail(st, "HashData", r);
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(0));
}

void BM_Raw_Hash(benchmark::State& st) {
  const Bytes data = PatternBytes(size_t(st.range(0)));
  uint8_t digest[32];
  for (auto _ : st) RawPrimitives::Get().Hash(data.data(), int32_t(data.size()), digest);
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(0));
}

// A new key pair (signature and exchange keys) into files of its own.
void BM_GenerateNewSEK(benchmark::State& st) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(World::Get().root) / ("GEN" + std::to_string(st.range(0)));
  fs::create_directories(dir);
  Engine e;
  ConfigureClient(e, 1, true);
  e.Set(kSetKeyGenGost, st.range(0) == 0 ? "1994" : "2001");
  e.Set(kSetKeyGenUID, "Generated");
  e.Set(kSetKeyGenPublic, (dir / "gen.pub").string());
  e.Set(kSetKeyGenSecret, (dir / "gen.sec").string());
  for (auto _ : st) {
    st.PauseTiming();
    fs::remove(dir / "gen.pub");
    fs::remove(dir / "gen.sec");
    st.ResumeTiming();
    const int32_t r = GenerateNewSEK(e);
    if (r != 0) Fail(st, "GenerateNewSEK", r);
  }
}

// The own public key made into a transfer text and opened again (its report).
void BM_Transfer(benchmark::State& st) {
  Engine e;
  ConfigureClient(e, 1, true);
  std::string transfer(size_t(GetMaxPublicKeyTransferSize(e)) + 1, '\0');
  std::string report(size_t(GetMaxReportSize(e)) + 1, '\0');
  const std::string uid = Client(1).uid;
  for (auto _ : st) {
    int32_t r = GetPublicKeyTransfer(e, uid.c_str(), transfer.data());
    if (r == 0) r = GetPublicKeyPropertiesByTransfer(e, transfer.c_str(), report.data());
    if (r != 0) Fail(st, "transfer", r);
  }
}

}  // namespace

BENCHMARK(BM_SignData)->ArgsProduct({{0, 1}, {1, 0}, {64, 1 << 10, 1 << 20, 16 << 20}});
BENCHMARK(BM_Raw_HashSign)->ArgsProduct({{0, 1}, {64, 1 << 10, 1 << 20, 16 << 20}});
BENCHMARK(BM_VerifyData)->ArgsProduct({{0, 1}, {1, 0}, {64, 1 << 10, 1 << 20, 16 << 20}});
BENCHMARK(BM_Raw_HashVerify)->ArgsProduct({{0, 1}, {64, 1 << 10, 1 << 20, 16 << 20}});
BENCHMARK(BM_SignDataLoadingTheKey)->Arg(0)->Arg(1);
BENCHMARK(BM_Raw_DerivePublicKeys)->Arg(0)->Arg(1);
BENCHMARK(BM_Raw_Sign)->Arg(0)->Arg(1);
BENCHMARK(BM_Raw_Verify)->Arg(0)->Arg(1);
BENCHMARK(BM_EncodeData)->ArgsProduct({{1, 10}, {1 << 10, 1 << 20}, {0, 1}});
BENCHMARK(BM_DecodeData)->ArgsProduct({{1, 10}, {1 << 10, 1 << 20}, {0, 1}});
BENCHMARK(BM_Raw_CryptWithMac)->ArgsProduct({{1 << 10, 1 << 20}, {0, 1}, {0, 1}});
BENCHMARK(BM_Raw_Random)->Arg(8)->Arg(32);
BENCHMARK(BM_HashData)->Args({1 << 20, 1})->Args({1 << 20, 0});
BENCHMARK(BM_Raw_Hash)->Arg(1 << 20);
BENCHMARK(BM_GenerateNewSEK)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transfer);

}  // namespace dz_bench
