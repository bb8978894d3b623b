// Threads on the library load, the secret-key cache and the public-key cache.
#include <cstring>
#include <thread>

#include "binding_fixture.h"
#include "common/test_sync.h"

namespace dizora::binding_test {
namespace {

constexpr int kThreads = 8;

TEST(BindingLoadConcurrency, ObjectsCreatedAtOnceShareOneLoadedLibrary) {
  UnloadLibraryForTesting();  // every thread below races for the first load
  dz_test::Barrier start(kThreads);
  std::vector<std::unique_ptr<TCryptoC_DLL>> bindings(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      EXPECT_TRUE(start.ArriveAndWait());
      bindings[static_cast<size_t>(t)] = std::make_unique<TCryptoC_DLL>();
    });
  }
  for (auto& thread : threads) thread.join();
  void* module = RurovLibraryHandleForTesting();
  ASSERT_NE(module, nullptr);
  for (const auto& binding : bindings) {
    EXPECT_TRUE(binding->Loaded);
    EXPECT_TRUE(binding->Complete);
    EXPECT_EQ(Access::EntryPoint(*binding, "RuroV_Random_Fill"),
              Access::EntryPoint(*bindings[0], "RuroV_Random_Fill"));
  }
}

class BindingKeysConcurrency : public BindingTest {};

// Threads acquire both keys, look up public keys and mutual keys while one
// thread keeps releasing everything: every result is whole and correct.
TEST_F(BindingKeysConcurrency, AcquisitionsAndLookupsSurviveReleaseKeys) {
  const KeyMedium self = MakeMedium("Owner");
  const KeyMedium alice = MakeMedium("Alice", rurov::kGost1994);
  AddCorrespondent(self, alice);
  const Bytes sec = ReadFileBytes(self.settings.SecretKeyPath);
  const Bytes alicePub = ReadFileBytes(alice.settings.PublicKeyPath);
  const TKeySettings& s = self.settings;
  uint8_t mutual[32];
  std::memset(mutual, 0x5A, sizeof mutual);

  constexpr int kRounds = 60;
  dz_test::Barrier start(kThreads);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      EXPECT_TRUE(start.ArriveAndWait());
      for (int round = 0; round < kRounds; ++round) {
        if (t == 0) {
          binding->ReleaseKeys();
          continue;
        }
        uint8_t key[128];
        int32_t algorithm = -1;
        if (Access::AcquireSignatureKey(*binding, s, key, algorithm) != 0 ||
            std::memcmp(key, sec.data() + 4, 32) != 0 || algorithm != rurov::kGost2001)
          ++failures;
        if (Access::AcquireExchangeKey(*binding, s, key) != 0 ||
            std::memcmp(key, sec.data() + 36, 128) != 0)
          ++failures;
        if (Access::GetPublicKey(*binding, s, "alice", t % 2 == 0, key, algorithm) != 0 ||
            std::memcmp(key, alicePub.data() + (t % 2 == 0 ? 138 : 10), 128) != 0)
          ++failures;
        Access::StoreMutualKey(*binding, "Alice", mutual);
        uint8_t found[32];
        if (Access::FindCachedMutualKey(*binding, "Alice", found) && std::memcmp(found, mutual, 32) != 0) ++failures;
        char uid[rurov::kUIDBufferSize];
        if (binding->ReadOwnerUID(s.PublicKeyPath, uid) != 0 || std::strcmp(uid, "Owner") != 0)
          ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

// Concurrent state commits never tear the 76-byte block.
TEST_F(BindingKeysConcurrency, StateBlockIsCopiedWhole) {
  dz_test::Barrier start(kThreads);
  std::atomic<int> torn{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      EXPECT_TRUE(start.ArriveAndWait());
      TLibraryState mine;
      mine.fill(static_cast<uint8_t>(t + 1));
      for (int i = 0; i < 2000; ++i) {
        Access::SetState(*binding, mine);
        TLibraryState seen = Access::State(*binding);
        for (uint8_t b : seen) {
          if (b != seen[0]) {
            ++torn;
            break;
          }
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(torn.load(), 0);
}

}  // namespace
}  // namespace dizora::binding_test
