// The bank's side: one correspondents' directory of 1, 1,000 or 20,000
// public-key files, verifications and decryptions from rotating senders, and
// two threads through one engine or two engines sharing a binding.
#include <benchmark/benchmark.h>

#include <numeric>
#include <random>
#include <string>

#include "bench_world.h"

namespace dz_bench {

namespace {

const Medium& BankWith(int64_t files) {
  const World& w = World::Get();
  return files == 1 ? w.bank1 : files == 1000 ? w.bank1k : w.bank20k;
}

void Fail(benchmark::State& st, const char* what, int32_t result) {
  st.SkipWithError((std::string(what) + " returned " + std::to_string(result)).c_str());
}

// The cache's first filling: the cache is released, then one verification
// reads the whole directory. Argument: files in the directory.
void BM_Bank_FirstVerify(benchmark::State& st) {
  const World& w = World::Get();
  Engine e;
  BankWith(st.range(0)).Configure(e);
  const Bytes block = SignatureBlock(w.senders[0].uid, w.senderSignatures[0].data());
  const Bytes& data = World::SignedData();
  char uid[256];
  for (auto _ : st) {
    st.PauseTiming();
    ClearCash(e);
    st.ResumeTiming();
    const int32_t r = VerifyData(e, data.data(), int32_t(data.size()), block.data(), int32_t(block.size()), uid);
    if (r != 0) Fail(st, "VerifyData", r);
  }
}

// Signature blocks of every correspondent of the 20,000, in a shuffled order;
// with one file, the block of its only sender.
std::vector<Bytes> RotatingBlocks(int64_t files) {
  const World& w = World::Get();
  std::vector<Bytes> blocks;
  if (files == 1) {
    blocks.push_back(SignatureBlock(w.senders[0].uid, w.senderSignatures[0].data()));
    return blocks;
  }
  std::vector<size_t> order(w.directoryUIDs.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  for (size_t i : order)
    blocks.push_back(SignatureBlock(w.directoryUIDs[i], w.senderSignatures[w.directoryKey[i]].data()));
  return blocks;
}

// Verifications with the whole directory cached. Argument: files.
void BM_Bank_Verify(benchmark::State& st) {
  Engine e;
  BankWith(st.range(0)).Configure(e);
  const std::vector<Bytes> blocks = RotatingBlocks(st.range(0));
  const Bytes& data = World::SignedData();
  char uid[256];
  size_t next = 0;
  // The first filling, outside the timing.
  const int32_t first = VerifyData(e, data.data(), int32_t(data.size()), blocks[0].data(),
                                   int32_t(blocks[0].size()), uid);
  if (first != DZ_OK) return Fail(st, "VerifyData", first);
  for (auto _ : st) {
    const Bytes& b = blocks[next];
    next = next + 1 == blocks.size() ? 0 : next + 1;
    const int32_t r = VerifyData(e, data.data(), int32_t(data.size()), b.data(), int32_t(b.size()), uid);
    if (r != 0) Fail(st, "VerifyData", r);
  }
}

// Decryptions of 1 KiB from the senders in turn (one sender with one file);
// the mutual keys are cached after the first round. Argument: files.
void BM_Bank_Decrypt(benchmark::State& st) {
  const World& w = World::Get();
  Engine e;
  BankWith(st.range(0)).Configure(e);
  const size_t senders = st.range(0) == 1 ? 1 : w.senderMessages.size();
  Bytes buffer(w.senderMessages[0].size() + 1024);
  auto decode = [&](size_t i) {
    const Bytes& m = w.senderMessages[i];
    std::copy(m.begin(), m.end(), buffer.begin());
    int32_t size = int32_t(m.size());
    return DecodeData(e, buffer.data(), &size, 0);
  };
  for (size_t i = 0; i < senders; ++i) decode(i);  // fill the cache and the mutual keys
  size_t next = 0;
  for (auto _ : st) {
    const int32_t r = decode(next);
    next = next + 1 == senders ? 0 : next + 1;
    if (r != 0) Fail(st, "DecodeData", r);
  }
}

// ---- Two threads ------------------------------------------------------------------

// One signature and one verification of 1 KiB per iteration.
void SignAndVerify(benchmark::State& st, const Engine& e) {
  const Bytes data = PatternBytes(1024);
  Bytes block(512);
  char uid[256];
  for (auto _ : st) {
    int32_t size = 0;
    int32_t r = SignData(e, data.data(), int32_t(data.size()), block.data(), &size, 0);
    if (r == 0) r = VerifyData(e, data.data(), int32_t(data.size()), block.data(), size, uid);
    if (r != 0) Fail(st, "sign and verify", r);
  }
  st.SetItemsProcessed(int64_t(st.iterations()));
}

void BM_Threads_SharedEngine(benchmark::State& st) {
  static const Engine& shared = [] () -> const Engine& {
    static Engine e;
    World::Get().client01.Configure(e);
    e.Set(kSetHashMethod, "GOST");
    return e;
  }();
  SignAndVerify(st, shared);
}

// Each thread its own engine on the same key files: one shared binding.
void BM_Threads_SharedBinding(benchmark::State& st) {
  Engine e;
  World::Get().client01.Configure(e);
  e.Set(kSetHashMethod, "GOST");
  SignAndVerify(st, e);
}

// The same work on the raw primitives: the ceiling the machine allows.
void BM_Threads_Raw(benchmark::State& st) {
  const RawPrimitives& raw = RawPrimitives::Get();
  const Bytes data = PatternBytes(1024);
  uint8_t digest[32], signature[64];
  for (auto _ : st) {
    raw.Hash(data.data(), int32_t(data.size()), digest);
    int32_t r = raw.Sign(1, digest, signature);
    raw.Hash(data.data(), int32_t(data.size()), digest);
    if (r == 0) r = raw.Verify(1, digest, signature);
    if (r != 0) Fail(st, "raw sign and verify", r);
  }
  st.SetItemsProcessed(int64_t(st.iterations()));
}

}  // namespace

BENCHMARK(BM_Bank_FirstVerify)->Arg(1000)->Arg(20000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bank_Verify)->Arg(1)->Arg(20000);
BENCHMARK(BM_Bank_Decrypt)->Arg(1)->Arg(20000);
BENCHMARK(BM_Threads_SharedEngine)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_Threads_SharedBinding)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_Threads_Raw)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace dz_bench
