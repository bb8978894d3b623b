// Library failures forced through the fault-injecting test build of the
// library: codes pass through, nothing half-done stays behind.
#include "binding_fixture.h"
#include "platform/dynlib.h"

namespace dizora::binding_test {
namespace {

using ForceResultFn = int32_t (*)(const char* name, int32_t code, int32_t count);
using ResetFn = void (*)();

class BindingFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    binding = std::make_unique<TCryptoC_DLL>();
    ASSERT_TRUE(binding->Complete);
    void* module = RurovLibraryHandleForTesting();
    force = reinterpret_cast<ForceResultFn>(platform::FindModuleSymbol(module, "RuroV_TestHook_ForceResult"));
    reset = reinterpret_cast<ResetFn>(platform::FindModuleSymbol(module, "RuroV_TestHook_Reset"));
    ASSERT_NE(force, nullptr);
    ASSERT_NE(reset, nullptr);
    pub = temp / "self.pub";
    sec = temp / "self.sec";
  }
  void TearDown() override {
    if (reset != nullptr) reset();
    binding.reset();
  }

  LibraryVariant faulty{BinFile("libcrypt_faulty.dll")};
  TempDir temp;
  std::unique_ptr<TCryptoC_DLL> binding;
  ForceResultFn force = nullptr;
  ResetFn reset = nullptr;
  std::string pub, sec;
};

TEST_F(BindingFaults, MaskDrawFailureIsReportedAndNothingStaysLoaded) {
  ASSERT_EQ(binding->GenerateKeyPair(rurov::kGost2001, "User2", pub, sec), 0);
  ASSERT_EQ(force("RuroV_Random_Fill", 3, 1), 0);
  uint8_t key[32];
  int32_t algorithm = -1;
  TKeySettings s;
  s.PublicKeyPath = pub;
  s.SecretKeyPath = sec;
  EXPECT_EQ(Access::AcquireSignatureKey(*binding, s, key, algorithm), 3);
  EXPECT_TRUE(Access::SecretKeyBytes(*binding).empty());
  EXPECT_EQ(Access::KeyAlgorithm(*binding), rurov::kNoAlgorithm);
  EXPECT_TRUE(Access::OwnerUID(*binding).empty());
  EXPECT_EQ(Access::AcquireSignatureKey(*binding, s, key, algorithm), 0);
  EXPECT_EQ(Access::OwnerUID(*binding), "User2");
}

TEST_F(BindingFaults, SignatureKeyGenerationFailureWritesNothingAndKeepsTheState) {
  for (const char* entry : {"RuroV_LR34_10_2001_set_parms", "RuroV_LR34_10_2001_gen_secret_key",
                            "RuroV_LR34_10_2001_get_secret_key", "RuroV_LR34_10_2001_gen_public_key",
                            "RuroV_LR34_10_2001_get_public_key"}) {
    TLibraryState before = Access::State(*binding);
    ASSERT_EQ(force(entry, 4, 1), 0) << entry;
    EXPECT_EQ(binding->GenerateKeyPair(rurov::kGost2001, "User2", pub, sec), 4) << entry;
    EXPECT_FALSE(FileExists(pub)) << entry;
    EXPECT_FALSE(FileExists(sec)) << entry;
    TLibraryState after = Access::State(*binding);
    EXPECT_EQ(after, before) << entry;
  }
  ASSERT_EQ(force("RuroV_LR34_10_1994_gen_public_key", 9, 1), 0);
  EXPECT_EQ(binding->GenerateKeyPair(rurov::kGost1994, "User2", pub, sec), 9);
  EXPECT_FALSE(FileExists(pub));
}

TEST_F(BindingFaults, ExchangeKeyGenerationFailureIsPassedUp) {
  for (const char* entry : {"RuroV_LDH_PKA_set_parms", "RuroV_LDH_PKA_gen_secret_key", "RuroV_LDH_PKA_get_secret_key",
                            "RuroV_LDH_PKA_gen_public_key", "RuroV_LDH_PKA_get_public_key"}) {
    ASSERT_EQ(force(entry, 2, 1), 0) << entry;
    EXPECT_EQ(binding->GenerateKeyPair(rurov::kGost2001, "User2", pub, sec), 2) << entry;
    EXPECT_FALSE(FileExists(pub)) << entry;
    EXPECT_FALSE(FileExists(sec)) << entry;
  }
  EXPECT_EQ(binding->GenerateKeyPair(rurov::kGost2001, "User2", pub, sec), 0);
}

}  // namespace
}  // namespace dizora::binding_test
