// The binding's library load, entry-point table, library state and parameter block.
#include <cstring>

#include "binding_fixture.h"
#include "platform/dynlib.h"

namespace dizora::binding_test {
namespace {

using ForceResultFn = int32_t (*)(const char* name, int32_t code, int32_t count);

TEST(BindingLoader, RealLibraryResolvesAllSixtyEntryPointsInTableOrder) {
  TCryptoC_DLL binding;
  ASSERT_TRUE(binding.Loaded);
  ASSERT_TRUE(binding.Complete);
  void* module = RurovLibraryHandleForTesting();
  ASSERT_NE(module, nullptr);
  EXPECT_STREQ(kRuroVEntryPointNames[0], "RuroV_G28147_1989_block_init");
  EXPECT_STREQ(kRuroVEntryPointNames[16], "RuroV_R34_11_1994_init");
  EXPECT_STREQ(kRuroVEntryPointNames[57], "RuroV_Random_Fill");
  EXPECT_STREQ(kRuroVEntryPointNames[59], "RuroV_TestSignFunctions_");
  // Each field holds the address of the export of its own name.
  EXPECT_EQ(reinterpret_cast<void*>(binding.RuroV_R34_11_1994_init),
            platform::FindModuleSymbol(module, "RuroV_R34_11_1994_init"));
  EXPECT_EQ(reinterpret_cast<void*>(binding.RuroV_LDH_PKA_gen_mutual_key),
            platform::FindModuleSymbol(module, "RuroV_LDH_PKA_gen_mutual_key"));
  EXPECT_EQ(reinterpret_cast<void*>(binding.RuroV_TestSignFunctions_),
            platform::FindModuleSymbol(module, "RuroV_TestSignFunctions_"));
  EXPECT_NE(binding.RuroV_Random_Fill, nullptr);
}

TEST(BindingLoader, ObjectsShareOneModuleAndDestroyingOneKeepsItLoaded) {
  auto first = std::make_unique<TCryptoC_DLL>();
  ASSERT_TRUE(first->Complete);
  void* module = RurovLibraryHandleForTesting();
  TCryptoC_DLL second;
  EXPECT_EQ(RurovLibraryHandleForTesting(), module);
  EXPECT_EQ(second.RuroV_Random_Fill, first->RuroV_Random_Fill);
  first.reset();
  EXPECT_EQ(RurovLibraryHandleForTesting(), module);
  uint8_t bytes[16] = {};
  EXPECT_EQ(second.RandomFill(bytes, sizeof bytes), 0);
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
  EXPECT_EQ(binding.RuroV_TestSignFunctions_, nullptr);
  EXPECT_NE(binding.RuroV_TestCryptoFunctions_, nullptr);
  EXPECT_NE(RurovLibraryHandleForTesting(), nullptr);
}

TEST(BindingLoader, RandomFillCommitsTheStateEvenWhenTheLibraryFails) {
  LibraryVariant faulty(BinFile("libcrypt_faulty.dll"));
  TCryptoC_DLL binding;
  ASSERT_TRUE(binding.Complete);
  auto force = reinterpret_cast<ForceResultFn>(
      platform::FindModuleSymbol(RurovLibraryHandleForTesting(), "RuroV_TestHook_ForceResult"));
  ASSERT_NE(force, nullptr);

  TLibraryState before;
  binding.SnapshotState(before);
  uint8_t bytes[8] = {};
  ASSERT_EQ(force("RuroV_Random_Fill", 12, 1), 0);
  EXPECT_EQ(binding.RandomFill(bytes, sizeof bytes), 12);
  TLibraryState after;
  binding.SnapshotState(after);
  EXPECT_NE(after, before) << "the state copy the library advanced was not stored back";

  EXPECT_EQ(binding.RandomFill(bytes, sizeof bytes), 0);
  TLibraryState third;
  binding.SnapshotState(third);
  EXPECT_NE(third, after);
}

TEST(BindingLoader, SnapshotAndCommitCopyTheWholeStateBlock) {
  TCryptoC_DLL binding;
  TLibraryState zero{};
  TLibraryState copy;
  copy.fill(0xAB);
  binding.SnapshotState(copy);
  EXPECT_EQ(copy, zero) << "a new object starts with a zero-filled state";
  for (size_t i = 0; i < copy.size(); ++i) copy[i] = static_cast<uint8_t>(i + 1);
  binding.CommitState(copy);
  TLibraryState back{};
  binding.SnapshotState(back);
  EXPECT_EQ(back, copy);
}

TEST(BindingLoader, ParameterBlockCarriesTheTestTableRowsK8DownToK1) {
  TParameterBlock block;
  block.fill(0xFF);
  TCryptoC_DLL::PrepareParameterBlock(block);
  const uint8_t k8[16] = {1, 15, 13, 0, 5, 7, 10, 4, 9, 2, 3, 14, 6, 11, 8, 12};
  const uint8_t k1[16] = {4, 10, 9, 2, 13, 8, 0, 14, 6, 11, 1, 12, 7, 15, 5, 3};
  EXPECT_EQ(std::memcmp(block.data(), k8, 16), 0);
  EXPECT_EQ(std::memcmp(block.data() + 112, k1, 16), 0);
  for (size_t i = 0; i < 128; ++i) EXPECT_LT(block[i], 16) << i;
  for (size_t i = 128; i < block.size(); ++i) ASSERT_EQ(block[i], 0) << i;
}

TEST(BindingLoader, ParameterBlockGivesThePublishedHashThroughTheLibrary) {
  TCryptoC_DLL binding;
  ASSERT_TRUE(binding.Complete);
  TParameterBlock params;
  TCryptoC_DLL::PrepareParameterBlock(params);
  TLibraryState state;
  binding.SnapshotState(state);
  rurov::TLibraryContext<rurov::kHashContextSize> ctx;
  const uint8_t start[32] = {};
  ASSERT_EQ(binding.RuroV_R34_11_1994_init(ctx.get(), params.data(), state.data(), start), 0);
  ctx.Arm(binding.RuroV_R34_11_1994_clear);
  const char* message = "This is message, length=32 bytes";
  ASSERT_EQ(binding.RuroV_R34_11_1994_update(ctx.get(), message, 32), 0);
  uint8_t hash[32] = {};
  ASSERT_EQ(binding.RuroV_R34_11_1994_final(ctx.get(), hash), 0);
  const uint8_t expected[32] = {0xb1, 0xc4, 0x66, 0xd3, 0x75, 0x19, 0xb8, 0x2e, 0x83, 0x19, 0x81,
                                0x9f, 0xf3, 0x25, 0x95, 0xe0, 0x47, 0xa2, 0x8c, 0xb6, 0xf8, 0x3e,
                                0xff, 0x1c, 0x69, 0x16, 0xa8, 0x15, 0xa6, 0x37, 0xff, 0xfa};
  EXPECT_EQ(std::memcmp(hash, expected, 32), 0);
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
