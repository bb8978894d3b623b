// Replacement of the key files after a regeneration, and its failure paths:
// whatever fails, the working pair stays whole and usable.
#include "binding_fixture.h"
#include "platform/fs_fault.h"

namespace dizora::binding_test {
namespace {

class BindingRegen : public BindingTest {
 protected:
  void SetUp() override {
    BindingTest::SetUp();
    medium = MakeMedium("User2", rurov::kGost2001);
    fresh = MakeMedium("User2", rurov::kGost2001, temp / "regen");
    regenPub = fresh.settings.PublicKeyPath;  // the regeneration's "new.pub"
    oldSec = temp / "User2/old.sec";
    oldPub = temp / "User2/old.pub";
    previousSec = ReadFileBytes(medium.settings.SecretKeyPath);
    previousPub = ReadFileBytes(medium.settings.PublicKeyPath);
    newSec = ReadFileBytes(fresh.settings.SecretKeyPath);
    newPub = ReadFileBytes(regenPub);
    ASSERT_NE(previousSec, newSec);
  }

  int32_t Replace() {
    return binding->ReplaceKeyFiles(medium.settings, regenPub, newSec.data(), static_cast<int32_t>(newSec.size()));
  }

  // The working pair is the previous one, whole, and still signs: a fresh
  // signature verifies against the own public-key file.
  void ExpectPreviousPairWorks() {
    EXPECT_EQ(ReadFileBytes(medium.settings.SecretKeyPath), previousSec);
    EXPECT_EQ(ReadFileBytes(medium.settings.PublicKeyPath), previousPub);
    Bytes key;
    int32_t algorithm = -1;
    binding->ReleaseKeys();
    ASSERT_EQ(AcquireSignature(medium, key, algorithm), 0);
    EXPECT_EQ(key, Bytes(previousSec.begin() + 4, previousSec.begin() + 36));
    ExpectSignsAndVerifies();
  }

  void ExpectSignsAndVerifies() {
    const TKeySettings& s = medium.settings;
    const uint8_t data[] = "payment order 17";
    uint8_t signature[rurov::kMaxUIDLength + 65] = {};
    int32_t signatureLength = 0;
    ASSERT_EQ(binding->SignBuffer(data, sizeof data, signature, signatureLength, s, true),
              0);
    std::string signer;
    EXPECT_EQ(binding->VerifySignature(data, sizeof data, signature, signatureLength, signer, s),
              0);
    EXPECT_EQ(signer, "User2");
  }

  // Puts the files back as they were before any replacement.
  void ResetFiles() {
    WriteFileBytes(medium.settings.SecretKeyPath, previousSec);
    WriteFileBytes(medium.settings.PublicKeyPath, previousPub);
    WriteFileBytes(regenPub, newPub);
    fs::remove(oldSec);
    fs::remove(oldPub);
    binding->ReleaseKeys();
  }

  KeyMedium medium, fresh;
  std::string regenPub, oldSec, oldPub;
  Bytes previousSec, previousPub, newSec, newPub;
};

TEST_F(BindingRegen, InstallsTheNewPairKeepsTheOldAndForgetsLoadedKeys) {
  Bytes key;
  int32_t algorithm = -1;
  ASSERT_EQ(AcquireSignature(medium, key, algorithm), 0);
  ASSERT_EQ(GetKey(medium, "User2", false, key, algorithm), 0);

  ASSERT_EQ(Replace(), 0);
  EXPECT_EQ(ReadFileBytes(medium.settings.SecretKeyPath), newSec);
  EXPECT_EQ(ReadFileBytes(medium.settings.PublicKeyPath), newPub);
  EXPECT_EQ(ReadFileBytes(oldSec), previousSec);
  EXPECT_EQ(ReadFileBytes(oldPub), previousPub);
  EXPECT_FALSE(FileExists(regenPub));
  EXPECT_TRUE(Access::SecretKeyBytes(*binding).empty());
  EXPECT_FALSE(Access::HasKeyCache(*binding));
  EXPECT_TRUE(Access::OwnerUID(*binding).empty());

  ASSERT_EQ(AcquireSignature(medium, key, algorithm), 0);
  EXPECT_EQ(key, Bytes(newSec.begin() + 4, newSec.begin() + 36));
  ExpectSignsAndVerifies();
  Bytes pub;
  ASSERT_EQ(GetKey(medium, "User2", false, pub, algorithm), 0);
  EXPECT_EQ(Bytes(pub.begin(), pub.begin() + 100), Bytes(newPub.begin() + 10, newPub.begin() + 110));
}

TEST_F(BindingRegen, SecondRegenerationReplacesTheOldFiles) {
  ASSERT_EQ(Replace(), 0);
  const KeyMedium third = MakeMedium("User2", rurov::kGost1994, temp / "regen2");
  const Bytes thirdSec = ReadFileBytes(third.settings.SecretKeyPath);
  ASSERT_EQ(binding->ReplaceKeyFiles(medium.settings, third.settings.PublicKeyPath, thirdSec.data(), 164), 0);
  EXPECT_EQ(ReadFileBytes(oldSec), newSec);
  EXPECT_EQ(ReadFileBytes(oldPub), newPub);
  EXPECT_EQ(ReadFileBytes(medium.settings.SecretKeyPath), thirdSec);
}

TEST_F(BindingRegen, OldPublicFileGoesNextToTheSecretKeyFile) {
  fs::create_directories(temp / "pubdir");
  const std::string pubElsewhere = temp / "pubdir/self.pub";
  fs::rename(medium.settings.PublicKeyPath, pubElsewhere);
  TKeySettings moved = medium.settings;
  moved.PublicKeyPath = pubElsewhere;
  ASSERT_EQ(binding->ReplaceKeyFiles(moved, regenPub, newSec.data(), 164), 0);
  EXPECT_EQ(ReadFileBytes(oldPub), previousPub);
  EXPECT_FALSE(FileExists(temp / "pubdir/old.pub"));
  EXPECT_EQ(ReadFileBytes(pubElsewhere), newPub);
}

TEST_F(BindingRegen, MissingWorkingFilesTouchNothing) {
  const std::string sec = medium.settings.SecretKeyPath;
  fs::rename(medium.settings.PublicKeyPath, temp / "aside.pub");
  EXPECT_EQ(Replace(), DZ_E_PUBLIC_KEY);
  EXPECT_EQ(ReadFileBytes(sec), previousSec);
  EXPECT_TRUE(FileExists(regenPub));
  fs::rename(temp / "aside.pub", medium.settings.PublicKeyPath);
  fs::rename(sec, temp / "aside.sec");
  EXPECT_EQ(Replace(), DZ_E_SECRET_KEY);
  EXPECT_FALSE(FileExists(oldPub));
  EXPECT_TRUE(FileExists(regenPub));
}

TEST_F(BindingRegen, OldSecretNameThatCannotBeClearedGivesMinus18) {
  fs::create_directories(oldSec + "/inside");
  Bytes key;
  int32_t algorithm = -1;
  ASSERT_EQ(AcquireSignature(medium, key, algorithm), 0);
  EXPECT_EQ(Replace(), DZ_E_SECRET_KEY_FILE);
  EXPECT_FALSE(Access::SecretKeyBytes(*binding).empty()) << "a failure keeps the loaded key";
  EXPECT_TRUE(FileExists(regenPub));
  ExpectPreviousPairWorks();
}

TEST_F(BindingRegen, OldPublicNameThatCannotBeClearedRestoresTheSecretKey) {
  fs::create_directories(oldPub + "/inside");
  EXPECT_EQ(Replace(), DZ_E_PUBLIC_KEY_FILE);
  EXPECT_TRUE(FileExists(regenPub));
  ExpectPreviousPairWorks();
}

TEST_F(BindingRegen, MissingNewPublicKeyRestoresBothFiles) {
  fs::remove(regenPub);
  EXPECT_EQ(Replace(), DZ_E_PUBLIC_KEY_FILE);
  ExpectPreviousPairWorks();
  EXPECT_FALSE(FileExists(oldPub));
}

TEST_F(BindingRegen, EveryFailingFileOperationLeavesAWholeWorkingPair) {
  namespace fault = platform::fault;
  fault::CountFileOperations();
  ASSERT_EQ(Replace(), 0);
  const int64_t operations = fault::FileOperationCount();
  fault::DisarmFileFault();
  ASSERT_GE(operations, 4);
  for (int64_t n = 1; n <= operations; ++n) {
    ResetFiles();
    fault::ArmFileFault(n, n % 2 == 0);
    const int32_t result = Replace();
    const bool fired = fault::FileFaultFired();
    fault::DisarmFileFault();
    ASSERT_TRUE(fired) << "operation " << n;
    if (result == 0) {
      EXPECT_EQ(ReadFileBytes(medium.settings.SecretKeyPath), newSec) << n;
      EXPECT_EQ(ReadFileBytes(medium.settings.PublicKeyPath), newPub) << n;
      continue;
    }
    EXPECT_TRUE(result == DZ_E_SECRET_KEY_FILE || result == DZ_E_PUBLIC_KEY_FILE) << result;
    EXPECT_TRUE(FileExists(regenPub)) << n;
    ExpectPreviousPairWorks();
  }
}

}  // namespace
}  // namespace dizora::binding_test
