// Concurrency stress: many threads over several engines (some sharing a
// binding because they share key paths), mixing signing, verification,
// encryption, decryption, hashing, inclusion and removal of a correspondent's
// key, UpdateCertificateCash and ClearCash. Every result is checked. The run
// is bounded by a count of rounds per thread (DZ_STRESS_ROUNDS, default 40).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>

#include "common/test_sync.h"
#include "reliability_util.h"

namespace dz_reliability {
namespace {

int Rounds() {
  const char* text = std::getenv("DZ_STRESS_ROUNDS");
  const int rounds = text ? std::atoi(text) : 40;
  return rounds > 0 ? rounds : 40;
}

void Include(const Engine& e, const Medium& into, const Medium& key, const std::string& tag) {
  const fs::path copy = into.dir() / ("drop_" + tag + ".pub");
  fs::copy_file(key.PublicKey(), copy, fs::copy_options::overwrite_existing);
  EXPECT_EQ(IncludePublicKey(e, copy.string().c_str()), 0);
}

TEST(StressConcurrency, ManyThreadsOverSharedAndSeparateBindings) {
  Medium a("Stress A", "sa"), b("Stress B", "sb"), x("Stress X", "sx");
  ASSERT_EQ(a.Generate(), 0);
  ASSERT_EQ(b.Generate(), 0);
  ASSERT_EQ(x.Generate(), 0);
  // Four engines: two on A (one binding), two on B (one binding).
  std::vector<std::unique_ptr<Engine>> engines;
  for (const Medium* m : {&a, &a, &b, &b}) {
    engines.push_back(std::make_unique<Engine>());
    m->Configure(*engines.back());
  }
  Include(*engines[0], a, b, "b");
  Include(*engines[2], b, a, "a");

  constexpr int kThreads = 8;
  const int rounds = Rounds();
  std::atomic<int> operations{0};
  dz_test::Barrier start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      EXPECT_TRUE(start.ArriveAndWait());
      const Engine& mine = *engines[static_cast<size_t>(t % 4)];
      const bool onA = t % 4 < 2;
      const Engine& other = *engines[onA ? 2u : 0u];
      const std::string otherUid = onA ? b.uid() : a.uid();
      const Medium& home = onA ? a : b;
      for (int r = 0; r < rounds; ++r) {
        const Bytes data(static_cast<size_t>(1 + (r * 37 + t) % 700), static_cast<uint8_t>(t + r));
        switch ((r + t) % 7) {
          case 0:
            EXPECT_EQ(SignAndVerify(mine, data), 0);
            break;
          case 1:
            EXPECT_EQ(EncryptRoundTrip(mine, other, otherUid, data), 0);
            break;
          case 2: {
            uint8_t hash[64] = {};
            int32_t size = sizeof hash;
            EXPECT_EQ(HashData(mine, data.data(), static_cast<int32_t>(data.size()), 0, hash, &size), 0);
            break;
          }
          case 3: {
            const fs::path copy = home.dir() / ("drop_x_" + std::to_string(t) + "_" + std::to_string(r) + ".pub");
            fs::copy_file(x.PublicKey(), copy);
            EXPECT_EQ(IncludePublicKey(mine, copy.string().c_str()), 0);
            break;
          }
          case 4: {
            // X may already be gone through another thread: any code but a
            // crash is allowed; the final state is checked below.
            (void)RemoveCertificate(mine, x.uid().c_str());
            break;
          }
          case 5:
            EXPECT_EQ(UpdateCertificateCash(mine, otherUid.c_str()), 0);
            break;
          default:
            ClearCash(mine);
            break;
        }
        operations.fetch_add(1);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(operations.load(), kThreads * rounds);
  std::printf("[ stress ] %d threads x %d rounds = %d operations over 4 engines, 2 bindings\n", kThreads,
              rounds, operations.load());

  // After the storm: X's presence in each directory matches what a fresh
  // load of the directory finds, and the working pairs still work.
  for (const Medium* m : {&a, &b}) {
    Engine fresh;
    m->Configure(fresh, 1);
    EXPECT_EQ(SignAndVerify(fresh, Bytes(64, 1)), 0);
    bool fileOfX = false;
    const Bytes recordX = ReadFileBytes(x.PublicKey());
    for (const auto& entry : fs::directory_iterator(m->Abonents()))
      fileOfX = fileOfX || ReadFileBytes(entry.path()) == recordX;
    std::vector<char> text(kMaxTransfer + 1, 0);
    EXPECT_EQ(GetPublicKeyTransfer(fresh, x.uid().c_str(), text.data()) == 0, fileOfX) << m->uid();
  }
}

}  // namespace
}  // namespace dz_reliability
