// The binding's library load, entry-point table and library state. The
// parameter block is right when the hash and the cipher agree with libgcrypt
// (tests/oracle).
#include <cstring>

#include "binding_fixture.h"
#include "platform/dynlib.h"

namespace dizora::binding_test {
namespace {

using ForceResultFn = int32_t (*)(const char* name, int32_t code, int32_t count);

TEST(BindingLoader, RealLibraryResolvesEveryEntryPointToItsOwnName) {
  TCryptoC_DLL binding;
  ASSERT_TRUE(binding.Loaded);
  ASSERT_TRUE(binding.Complete);
  void* module = RurovLibraryHandleForTesting();
  ASSERT_NE(module, nullptr);
  // Each field holds the address of the export of its own name.
  EXPECT_EQ(Access::EntryPoint(binding, "RuroV_R34_11_1994_init"),
            platform::FindModuleSymbol(module, "RuroV_R34_11_1994_init"));
  EXPECT_EQ(Access::EntryPoint(binding, "RuroV_LDH_PKA_gen_mutual_key"),
            platform::FindModuleSymbol(module, "RuroV_LDH_PKA_gen_mutual_key"));
  EXPECT_EQ(Access::EntryPoint(binding, "RuroV_TestSignFunctions_"),
            platform::FindModuleSymbol(module, "RuroV_TestSignFunctions_"));
  EXPECT_NE(Access::EntryPoint(binding, "RuroV_Random_Fill"), nullptr);
}

TEST(BindingLoader, ObjectsShareOneModuleAndDestroyingOneKeepsItLoaded) {
  auto first = std::make_unique<TCryptoC_DLL>();
  ASSERT_TRUE(first->Complete);
  void* module = RurovLibraryHandleForTesting();
  TCryptoC_DLL second;
  EXPECT_EQ(RurovLibraryHandleForTesting(), module);
  EXPECT_EQ(Access::EntryPoint(second, "RuroV_Random_Fill"), Access::EntryPoint(*first, "RuroV_Random_Fill"));
  first.reset();
  EXPECT_EQ(RurovLibraryHandleForTesting(), module);
  uint8_t bytes[16] = {};
  EXPECT_EQ(Access::RandomFill(second, bytes, sizeof bytes), 0);
}

TEST(BindingLoader, MissingLibraryIsNotRememberedAndTheNextCreateLoads) {
  {
    LibraryVariant missing(BinFile("no_such_library.dll"));
    TCryptoC_DLL binding;
    EXPECT_FALSE(binding.Loaded);
    EXPECT_FALSE(binding.Complete);
    EXPECT_EQ(RurovLibraryHandleForTesting(), nullptr);
  }
  TCryptoC_DLL binding;
  EXPECT_TRUE(binding.Loaded);
  EXPECT_TRUE(binding.Complete);
}

TEST(BindingLoader, LibraryLackingOneNeverCalledEntryIsIncompleteButStaysLoaded) {
  LibraryVariant incomplete(BinFile("libcrypt_incomplete.dll"));
  TCryptoC_DLL binding;
  EXPECT_TRUE(binding.Loaded);
  EXPECT_FALSE(binding.Complete);
  EXPECT_EQ(Access::EntryPoint(binding, "RuroV_TestSignFunctions_"), nullptr);
  EXPECT_NE(Access::EntryPoint(binding, "RuroV_TestCryptoFunctions_"), nullptr);
  EXPECT_NE(RurovLibraryHandleForTesting(), nullptr);
}

TEST(BindingLoader, RandomFillCommitsTheStateEvenWhenTheLibraryFails) {
  LibraryVariant faulty(BinFile("libcrypt_faulty.dll"));
  TCryptoC_DLL binding;
  ASSERT_TRUE(binding.Complete);
  auto force = reinterpret_cast<ForceResultFn>(
      platform::FindModuleSymbol(RurovLibraryHandleForTesting(), "RuroV_TestHook_ForceResult"));
  ASSERT_NE(force, nullptr);

  TLibraryState before = Access::State(binding);
  uint8_t bytes[8] = {};
  ASSERT_EQ(force("RuroV_Random_Fill", 12, 1), 0);
  EXPECT_EQ(Access::RandomFill(binding, bytes, sizeof bytes), 12);
  TLibraryState after = Access::State(binding);
  EXPECT_NE(after, before) << "the state copy the library advanced was not stored back";

  EXPECT_EQ(Access::RandomFill(binding, bytes, sizeof bytes), 0);
  TLibraryState third = Access::State(binding);
  EXPECT_NE(third, after);
}

TEST(BindingUID, ComparisonIgnoresLetterCaseInWindows1251) {
  EXPECT_TRUE(SameUIDIgnoreCase("User2", "uSER2"));
  EXPECT_FALSE(SameUIDIgnoreCase("User2", "User3"));
  EXPECT_FALSE(SameUIDIgnoreCase("User", "User2"));
  // "Иванов" / "иВАНОВ" in Windows-1251.
  EXPECT_TRUE(SameUIDIgnoreCase("\xC8\xE2\xE0\xED\xEE\xE2", "\xE8\xC2\xC0\xCD\xCE\xC2"));
  EXPECT_TRUE(SameUIDIgnoreCase("\xA8", "\xB8"));  // Ё ё
  EXPECT_TRUE(SameUIDIgnoreCase("\xDF", "\xFF"));  // Я я
  EXPECT_TRUE(SameUIDIgnoreCase("\xB2", "\xB3"));  // І і
  // Characters that are not letters are compared as they are.
  EXPECT_FALSE(SameUIDIgnoreCase("@", "`"));
  EXPECT_FALSE(SameUIDIgnoreCase("[", "{"));
  EXPECT_FALSE(SameUIDIgnoreCase("\xC0", "\xA0"));
  EXPECT_TRUE(SameUIDIgnoreCase("", ""));
}

}  // namespace
}  // namespace dizora::binding_test
