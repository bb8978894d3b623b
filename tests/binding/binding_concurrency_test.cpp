// One binding object shared by eight threads that sign, verify, encrypt and
// decrypt at once, with the keys and the cache released in between.
#include <sstream>
#include <string>
#include <thread>

#include "binding_fixture.h"
#include "common/test_sync.h"

namespace dizora::binding_test {
namespace {

using namespace rurov;

constexpr int kThreads = 8;
constexpr int kRounds = 6;

Bytes Pattern(size_t size, uint32_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 71 + seed * 17 + (i >> 6)) & 0xFF);
  return bytes;
}

// Alice's binding is the one under test; Bob prepares signatures and blocks
// for her through a binding of his own before the threads start.
class BindingConcurrency : public BindingTest {
 protected:
  void SetUp() override {
    BindingTest::SetUp();
    alice = MakeMedium("Alice", kGost2001);
    bob = MakeMedium("Bob", kGost2001);
    AddCorrespondent(alice, bob);
    AddCorrespondent(bob, alice);
    bobBinding = std::make_unique<TCryptoC_DLL>();
    for (uint32_t i = 0; i < kThreads; ++i) {
      fromBobData.push_back(Pattern(300 + i * 50, i));
      fromBobSignature.push_back(Sign(*bobBinding, bob, fromBobData.back()));
      fromBobBlock.push_back(Encrypt(*bobBinding, bob, fromBobData.back(), "Alice;Bob"));
    }
  }
  void TearDown() override {
    bobBinding.reset();
    BindingTest::TearDown();
  }

  static Bytes Sign(TCryptoC_DLL& dll, const KeyMedium& m, const Bytes& data, int32_t* result = nullptr) {
    Bytes block(kMaxUIDLength + 1 + kSignatureValueSize, 0);
    int32_t length = 0;
    const TKeySettings& s = m.settings;
    const int32_t r = dll.SignBuffer(data.data(), static_cast<int32_t>(data.size()), block.data(), length, s, true);
    if (result != nullptr) *result = r;
    block.resize(r == 0 ? static_cast<size_t>(length) : 0);
    return block;
  }

  static Bytes Encrypt(TCryptoC_DLL& dll, const KeyMedium& m, const Bytes& plain, const char* list,
                       int32_t* result = nullptr) {
    Bytes buffer = plain;
    buffer.resize(plain.size() + static_cast<size_t>(TCryptoC_DLL::GetMaxEncryptAddition(2)));
    int32_t length = static_cast<int32_t>(plain.size());
    const int32_t r = dll.EncryptData(buffer.data(), length, 0, list, m.settings);
    if (result != nullptr) *result = r;
    buffer.resize(r == 0 ? static_cast<size_t>(length) : 0);
    return buffer;
  }

  int32_t Verify(const Bytes& data, const Bytes& block, std::string& signer) {
    return binding->VerifySignature(data.data(), static_cast<int32_t>(data.size()), block.data(),
                                    static_cast<int32_t>(block.size()), signer, alice.settings);
  }

  int32_t Decrypt(Bytes& block) {
    int32_t length = static_cast<int32_t>(block.size());
    const int32_t r = binding->DecryptData(block.data(), length, alice.settings);
    if (r == 0) block.resize(static_cast<size_t>(length));
    return r;
  }

  // One round of thread `t`: every operation once, each result checked.
  // Returns a description of every mismatch.
  std::string Round(int t, int round) {
    std::ostringstream errors;
    const Bytes data = Pattern(200 + static_cast<size_t>(t) * 37 + static_cast<size_t>(round), 100u + t);

    int32_t r = -99;
    const Bytes signature = Sign(*binding, alice, data, &r);
    if (r != 0) errors << "sign " << r << "; ";
    std::string signer;
    if (r == 0 && (r = Verify(data, signature, signer)) != 0) errors << "verify own " << r << "; ";
    if (r == 0 && signer != "Alice") errors << "signer " << signer << "; ";

    if ((r = Verify(fromBobData[t], fromBobSignature[t], signer)) != 0) errors << "verify Bob " << r << "; ";
    Bytes altered = fromBobData[t];
    altered[7] ^= 1;
    if ((r = Verify(altered, fromBobSignature[t], signer)) != DZ_LIB_BAD_SIGNATURE)
      errors << "verify altered " << r << "; ";

    Bytes block = Encrypt(*binding, alice, data, "Bob;Alice", &r);
    if (r != 0) errors << "encrypt " << r << "; ";
    if (r == 0 && ((r = Decrypt(block)) != 0 || block != data)) errors << "decrypt own " << r << "; ";

    Bytes fromBob = fromBobBlock[t];
    if ((r = Decrypt(fromBob)) != 0 || fromBob != fromBobData[t]) errors << "decrypt Bob's " << r << "; ";
    return errors.str();
  }

  KeyMedium alice, bob;
  std::unique_ptr<TCryptoC_DLL> bobBinding;
  std::vector<Bytes> fromBobData, fromBobSignature, fromBobBlock;
};

TEST_F(BindingConcurrency, EightThreadsSignVerifyEncryptDecryptWhileKeysAreReleased) {
  dz_test::Barrier start(kThreads);
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      EXPECT_TRUE(start.ArriveAndWait());
      for (int round = 0; round < kRounds; ++round) {
        failures[t] += Round(t, round);
        // Two threads drop the key and the cache between their rounds.
        if (t % 4 == 0) binding->ReleaseKeys();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], "") << "thread " << t;
}

TEST_F(BindingConcurrency, SimultaneousMissesOfTheMutualKeyAllGetTheSameKey) {
  Bytes expected(kMutualKeySize, 0);
  const TKeySettings& s = alice.settings;
  ASSERT_EQ(Access::GetMutualKey(*binding, "Bob", expected.data(), s), 0);
  dz_test::Barrier sync(kThreads);
  std::vector<int> wrong(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        if (t == 0) binding->ReleaseKeys();
        EXPECT_TRUE(sync.ArriveAndWait());  // every thread now misses the cache together
        Bytes key(kMutualKeySize, 0);
        const int32_t r = Access::GetMutualKey(*binding, "Bob", key.data(), s);
        if (r != 0 || key != expected) ++wrong[t];
        EXPECT_TRUE(sync.ArriveAndWait());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace dizora::binding_test
