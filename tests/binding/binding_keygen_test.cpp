// Key pair generation: write order, codes and the library state. The file
// images and the keys in them are checked by the key-record oracle.
#include "binding_fixture.h"

namespace dizora::binding_test {
namespace {

using BindingKeygen = BindingTest;

void ExpectImages(const std::string& pubPath, const std::string& secPath, const std::string& uid,
                  int32_t algorithm) {
  const Bytes pub = ReadFileBytes(pubPath);
  const Bytes sec = ReadFileBytes(secPath);
  const size_t signatureKey = algorithm == rurov::kGost1994 ? 128 : 100;
  ASSERT_EQ(pub.size(), uid.size() + 1 + 4 + signatureKey + 128);
  ASSERT_EQ(sec.size(), 164u);
  EXPECT_EQ(std::string(pub.begin(), pub.begin() + static_cast<std::ptrdiff_t>(uid.size())), uid);
  EXPECT_EQ(pub[uid.size()], 0);
  EXPECT_EQ(rurov::ReadInt32LE(pub.data() + uid.size() + 1), algorithm);
  EXPECT_EQ(rurov::ReadInt32LE(sec.data()), algorithm);
}

TEST_F(BindingKeygen, UnknownAlgorithmOrEmptyUIDTouchesNoFile) {
  const std::string pub = temp / "u.pub", sec = temp / "u.sec";
  EXPECT_EQ(binding->GenerateKeyPair(2, "User2", pub, sec), DZ_E_UNKNOWN_ALGORITHM);
  EXPECT_EQ(binding->GenerateKeyPair(-1, "User2", pub, sec), DZ_E_UNKNOWN_ALGORITHM);
  EXPECT_EQ(binding->GenerateKeyPair(rurov::kGost2001, "", pub, sec), DZ_E_EMPTY_UID);
  EXPECT_EQ(binding->GenerateKeyPair(rurov::kGost1994, "", pub, sec), DZ_E_EMPTY_UID);
  EXPECT_FALSE(FileExists(pub));
  EXPECT_FALSE(FileExists(sec));
}

TEST_F(BindingKeygen, FailedSecretWriteLeavesNoHalfPair) {
  // No previous pair: the public-key file written first is taken away again.
  const std::string pub = temp / "u.pub", sec = temp / "missing/dir/u.sec";
  EXPECT_EQ(binding->GenerateKeyPair(rurov::kGost2001, "User2", pub, sec), DZ_E_FILE_WRITE);
  EXPECT_FALSE(FileExists(pub));
  EXPECT_FALSE(FileExists(sec));
  EXPECT_EQ(binding->GenerateKeyPair(rurov::kGost2001, "User2", temp / "missing/u.pub", temp / "u.sec"),
            DZ_E_FILE_WRITE);
  EXPECT_FALSE(FileExists(temp / "u.sec"));

  // A previous public-key file is put back as it was.
  const KeyMedium medium = MakeMedium("User2", rurov::kGost2001);
  const Bytes previous = ReadFileBytes(medium.settings.PublicKeyPath);
  EXPECT_EQ(binding->GenerateKeyPair(rurov::kGost2001, "User2", medium.settings.PublicKeyPath, sec),
            DZ_E_FILE_WRITE);
  EXPECT_EQ(ReadFileBytes(medium.settings.PublicKeyPath), previous);
}

TEST_F(BindingKeygen, GenerationOverwritesExistingFiles) {
  const KeyMedium medium = MakeMedium("User2", rurov::kGost1994);
  const Bytes before = ReadFileBytes(medium.settings.SecretKeyPath);
  ASSERT_EQ(binding->GenerateKeyPair(rurov::kGost2001, "Z", medium.settings.PublicKeyPath,
                                     medium.settings.SecretKeyPath),
            0);
  ExpectImages(medium.settings.PublicKeyPath, medium.settings.SecretKeyPath, "Z", rurov::kGost2001);
  EXPECT_NE(ReadFileBytes(medium.settings.SecretKeyPath), before);
}

TEST_F(BindingKeygen, UIDOf255CharactersIsWrittenButDoesNotLoad) {
  const std::string uid(255, 'q');
  const KeyMedium medium = MakeMedium(uid, rurov::kGost2001, temp / "long");
  ExpectImages(medium.settings.PublicKeyPath, medium.settings.SecretKeyPath, uid, rurov::kGost2001);
  Bytes key;
  int32_t algorithm = 0;
  EXPECT_EQ(AcquireSignature(medium, key, algorithm), DZ_E_PUBLIC_KEY);
}

TEST_F(BindingKeygen, GenerationAdvancesTheLibraryStateOnlyOnSuccess) {
  TLibraryState before = Access::State(*binding);
  ASSERT_EQ(binding->GenerateKeyPair(rurov::kGost2001, "", temp / "a", temp / "b"), DZ_E_EMPTY_UID);
  TLibraryState after = Access::State(*binding);
  EXPECT_EQ(after, before);
  ASSERT_EQ(binding->GenerateKeyPair(rurov::kGost2001, "S", temp / "a", temp / "b"), 0);
  after = Access::State(*binding);
  EXPECT_NE(after, before);
}

}  // namespace
}  // namespace dizora::binding_test
