// Key files, the masked secret key, its time-outs and the owner's UID.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "binding_fixture.h"

namespace dizora::binding_test {
namespace {

class BindingKeys : public BindingTest {
 protected:
  void SetUp() override {
    BindingTest::SetUp();
    medium = MakeMedium("User2", rurov::kGost2001);
  }

  int32_t Load() { return Access::LoadKeyFiles(*binding, medium.settings); }

  void ExpectNothingLoaded() {
    EXPECT_TRUE(Access::SecretKeyBytes(*binding).empty());
    EXPECT_TRUE(Access::KeyMaskBytes(*binding).empty());
    EXPECT_EQ(Access::KeyAlgorithm(*binding), rurov::kNoAlgorithm);
    EXPECT_TRUE(Access::OwnerUID(*binding).empty());
  }

  KeyMedium medium;
};

TEST_F(BindingKeys, LoadedKeyIsMaskedAndUnmaskingRestoresIt) {
  const Bytes file = ReadFileBytes(medium.settings.SecretKeyPath);
  ASSERT_EQ(file.size(), 164u);
  Bytes key;
  int32_t algorithm = -7;
  ASSERT_EQ(AcquireSignature(medium, key, algorithm), 0);
  EXPECT_EQ(algorithm, rurov::kGost2001);
  EXPECT_EQ(key, Bytes(file.begin() + 4, file.begin() + 36));
  EXPECT_EQ(Access::OwnerUID(*binding), "User2");
  EXPECT_EQ(Access::KeyAlgorithm(*binding), rurov::kGost2001);

  const Bytes stored = Access::SecretKeyBytes(*binding);
  const Bytes keyMask = Access::KeyMaskBytes(*binding);
  ASSERT_EQ(stored.size(), 164u);
  ASSERT_EQ(keyMask.size(), 32u);
  EXPECT_NE(std::memcmp(stored.data(), key.data(), 32), 0) << "signature key kept in plain";
  for (int i = 0; i < 8; ++i) {
    const uint32_t word = static_cast<uint32_t>(rurov::ReadInt32LE(stored.data() + 4 * i));
    const uint32_t mask = static_cast<uint32_t>(rurov::ReadInt32LE(keyMask.data() + 4 * i));
    EXPECT_EQ(static_cast<uint32_t>(word + mask), static_cast<uint32_t>(rurov::ReadInt32LE(key.data() + 4 * i)));
  }
  // The exchange key sits in plain at offset 32.
  EXPECT_EQ(std::memcmp(stored.data() + 32, file.data() + 36, 128), 0);

  Bytes exchange(128, 0);
  ASSERT_EQ(Access::AcquireExchangeKey(*binding, medium.settings, exchange.data()), 0);
  EXPECT_EQ(exchange, Bytes(file.begin() + 36, file.end()));
}

#ifdef __linux__
// The kernel's flags of the mapping that holds `address` ("VmFlags" of
// /proc/self/smaps), or "" when none holds it.
std::string MappingFlags(const void* address) {
  std::ifstream smaps("/proc/self/smaps");
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    unsigned long long from = 0, to = 0;
    if (std::sscanf(line.c_str(), "%llx-%llx ", &from, &to) == 2 && line.find('-') < line.find(' ')) {
      inside = at >= from && at < to;
    } else if (inside && line.rfind("VmFlags:", 0) == 0) {
      return line;
    }
  }
  return "";
}

// The loaded key and its mask lie on pages that never reach a core dump.
TEST_F(BindingKeys, LoadedKeyIsKeptOutOfCoreDumps) {
  ASSERT_EQ(Load(), 0);
  for (const void* block : Access::KeyBlockAddresses(*binding)) {
    const std::string flags = MappingFlags(block);
    EXPECT_NE(flags.find(" dd"), std::string::npos) << flags;
  }
}
#endif

TEST_F(BindingKeys, EveryLoadDrawsAFreshMask) {
  ASSERT_EQ(Load(), 0);
  const Bytes first = Access::KeyMaskBytes(*binding);
  ASSERT_EQ(Load(), 0);
  EXPECT_NE(Access::KeyMaskBytes(*binding), first);
}

TEST_F(BindingKeys, SecretKeyFileOfWrongSizeOrAlgorithmGivesMinus10) {
  Bytes file = ReadFileBytes(medium.settings.SecretKeyPath);
  for (size_t size : {size_t{163}, size_t{165}, size_t{0}}) {
    Bytes wrong = file;
    wrong.resize(size, 0);
    WriteFileBytes(medium.settings.SecretKeyPath, wrong);
    EXPECT_EQ(Load(), DZ_E_SECRET_KEY) << size;
    ExpectNothingLoaded();
  }
  Bytes unknown = file;
  unknown[0] = 2;
  WriteFileBytes(medium.settings.SecretKeyPath, unknown);
  EXPECT_EQ(Load(), DZ_E_SECRET_KEY);
  ExpectNothingLoaded();
  fs::remove(medium.settings.SecretKeyPath);
  EXPECT_EQ(Load(), DZ_E_SECRET_KEY);
}

TEST_F(BindingKeys, PublicKeyFileChecksGiveMinus11OrMinus12) {
  const Bytes pub = ReadFileBytes(medium.settings.PublicKeyPath);
  ASSERT_EQ(pub.size(), 5u + 233u);

  Bytes mismatch = pub;
  mismatch[6] = 0;  // algorithm word 1 -> 0
  WriteFileBytes(medium.settings.PublicKeyPath, mismatch);
  EXPECT_EQ(Load(), DZ_E_KEY_MISMATCH);
  ExpectNothingLoaded();

  // The public-key file of another pair of the same UID and algorithm.
  const KeyMedium other = MakeMedium("User2", rurov::kGost2001, temp / "other");
  WriteFileBytes(medium.settings.PublicKeyPath, ReadFileBytes(other.settings.PublicKeyPath));
  EXPECT_EQ(Load(), DZ_E_KEY_MISMATCH);
  ExpectNothingLoaded();

  Bytes longer = pub;
  longer.push_back(0);
  WriteFileBytes(medium.settings.PublicKeyPath, longer);
  EXPECT_EQ(Load(), DZ_E_PUBLIC_KEY);

  Bytes emptyUID = pub;
  emptyUID[0] = 0;
  WriteFileBytes(medium.settings.PublicKeyPath, emptyUID);
  EXPECT_EQ(Load(), DZ_E_PUBLIC_KEY);

  Bytes tooLong(516, 'A');
  WriteFileBytes(medium.settings.PublicKeyPath, tooLong);
  EXPECT_EQ(Load(), DZ_E_PUBLIC_KEY);

  fs::remove(medium.settings.PublicKeyPath);
  EXPECT_EQ(Load(), DZ_E_PUBLIC_KEY);
  ExpectNothingLoaded();
}

TEST_F(BindingKeys, UIDOf254CharactersLoadsAnd255IsRefused) {
  const Bytes pub = ReadFileBytes(medium.settings.PublicKeyPath);
  const Bytes body(pub.begin() + 5, pub.end());  // zero byte, algorithm, keys
  Bytes uid254(254, 'u');
  uid254.insert(uid254.end(), body.begin(), body.end());
  WriteFileBytes(medium.settings.PublicKeyPath, uid254);
  EXPECT_EQ(Load(), 0);
  EXPECT_EQ(Access::OwnerUID(*binding), std::string(254, 'u'));

  // 255 characters: no terminator among the first 255 bytes.
  Bytes uid255(255, 'u');
  uid255.insert(uid255.end(), body.begin(), body.end());
  WriteFileBytes(medium.settings.PublicKeyPath, uid255);
  EXPECT_EQ(Load(), DZ_E_PUBLIC_KEY);
  ExpectNothingLoaded();
}

TEST_F(BindingKeys, ReadOwnerUIDPrefersTheLoadedKeyAndOtherwiseReadsThePublicFile) {
  char uid[rurov::kUIDBufferSize];
  const TKeySettings& s = medium.settings;
  ASSERT_EQ(binding->ReadOwnerUID(s.PublicKeyPath, uid), 0);
  EXPECT_STREQ(uid, "User2");
  EXPECT_TRUE(Access::OwnerUID(*binding).empty()) << "a UID read from the file is not stored";

  Bytes key;
  int32_t algorithm = 0;
  ASSERT_EQ(AcquireSignature(medium, key, algorithm), 0);
  const Bytes pub = ReadFileBytes(s.PublicKeyPath);
  fs::remove(s.PublicKeyPath);
  ASSERT_EQ(binding->ReadOwnerUID(s.PublicKeyPath, uid), 0);
  EXPECT_STREQ(uid, "User2");

  // No key loaded and no public-key file: -11, although the secret-key file exists.
  binding->ReleaseKeys();
  EXPECT_EQ(binding->ReadOwnerUID(s.PublicKeyPath, uid), DZ_E_PUBLIC_KEY);

  // After a failed load the file is read again, not a stale UID.
  Bytes renamed = pub;
  renamed[0] = 'X';
  WriteFileBytes(s.PublicKeyPath, renamed);
  fs::remove(s.SecretKeyPath);
  EXPECT_EQ(AcquireSignature(medium, key, algorithm), DZ_E_SECRET_KEY);
  ASSERT_EQ(binding->ReadOwnerUID(s.PublicKeyPath, uid), 0);
  EXPECT_STREQ(uid, "Xser2");

  Bytes noTerminator(40, 'z');
  WriteFileBytes(s.PublicKeyPath, noTerminator);
  EXPECT_EQ(binding->ReadOwnerUID(s.PublicKeyPath, uid), DZ_E_PUBLIC_KEY);
}

TEST_F(BindingKeys, ReleaseKeysDropsTheKeyAndTheCache) {
  Bytes key;
  int32_t algorithm = 0;
  ASSERT_EQ(AcquireSignature(medium, key, algorithm), 0);
  Bytes pub;
  ASSERT_EQ(GetKey(medium, "User2", false, pub, algorithm), 0);
  ASSERT_TRUE(Access::HasKeyCache(*binding));
  binding->ReleaseKeys();
  EXPECT_FALSE(Access::HasKeyCache(*binding));
  ExpectNothingLoaded();
}

// Time-outs, with the clock replaced. A reload is seen by swapping the
// secret-key file on disk for another user's.
class BindingKeyTimeouts : public BindingKeys {
 protected:
  void SetUp() override {
    BindingKeys::SetUp();
    other = MakeMedium("User2", rurov::kGost2001, temp / "other");
    originalKey = ReadFileBytes(medium.settings.SecretKeyPath);
    otherKey = ReadFileBytes(other.settings.SecretKeyPath);
    otherPub = ReadFileBytes(other.settings.PublicKeyPath);
    originalPub = ReadFileBytes(medium.settings.PublicKeyPath);
    ASSERT_NE(originalKey, otherKey);
  }

  // Acquires at the given time with the medium's time-outs; returns the file
  // image the key came from: 1 the original, 2 the other one.
  int Use(int32_t hour, int32_t minute, int32_t second, int32_t ms = 0) {
    clock.Set(hour, minute, second, ms);
    Bytes key;
    int32_t algorithm = 0;
    EXPECT_EQ(AcquireSignature(medium, key, algorithm), 0);
    if (key == Bytes(originalKey.begin() + 4, originalKey.begin() + 36)) return 1;
    if (key == Bytes(otherKey.begin() + 4, otherKey.begin() + 36)) return 2;
    return 0;
  }

  void SwapFilesOnDisk() {
    WriteFileBytes(medium.settings.SecretKeyPath, otherKey);
    WriteFileBytes(medium.settings.PublicKeyPath, otherPub);
  }

  FakeClock clock;
  KeyMedium other;
  Bytes originalKey, otherKey, otherPub, originalPub;
};

TEST_F(BindingKeyTimeouts, KeyRequestTimeoutEndsJustBeforeSixtySeconds) {
  medium.settings.KeyRequestTimeout = 60;
  medium.settings.LastOpTimeout = 5;
  ASSERT_EQ(Use(10, 0, 0), 1);
  SwapFilesOnDisk();
  for (int32_t s = 3; s <= 57; s += 3) ASSERT_EQ(Use(10, 0, s), 1) << s;
  // 59.999 s is within 60 x 1.1574E-5 days; 60 s is not (the factor is below 1/86400).
  EXPECT_EQ(Use(10, 0, 59, 999), 1);
  EXPECT_EQ(Use(10, 1, 0), 2);
}

TEST_F(BindingKeyTimeouts, LastOperationTimeoutDropsAnIdleKey) {
  medium.settings.KeyRequestTimeout = 60;
  medium.settings.LastOpTimeout = 5;
  ASSERT_EQ(Use(10, 0, 0), 1);
  SwapFilesOnDisk();
  EXPECT_EQ(Use(10, 0, 4), 1);
  EXPECT_EQ(Use(10, 0, 8, 999), 1);
  EXPECT_EQ(Use(10, 0, 14), 2);
}

TEST_F(BindingKeyTimeouts, RecordedTimeoutsAlsoApply) {
  // Loaded with a request time-out of 10; a later caller asking for 60 does
  // not extend it.
  medium.settings.KeyRequestTimeout = 10;
  medium.settings.LastOpTimeout = 100;
  ASSERT_EQ(Use(10, 0, 0), 1);
  SwapFilesOnDisk();
  medium.settings.KeyRequestTimeout = 60;
  EXPECT_EQ(Use(10, 0, 9), 1);
  EXPECT_EQ(Use(10, 0, 11), 2);
}

TEST_F(BindingKeyTimeouts, ZeroTimeoutReadsTheFilesAtEveryAcquisition) {
  medium.settings.KeyRequestTimeout = 0;
  ASSERT_EQ(Use(10, 0, 0), 1);
  SwapFilesOnDisk();
  EXPECT_EQ(Use(10, 0, 0), 2);
  WriteFileBytes(medium.settings.SecretKeyPath, originalKey);
  WriteFileBytes(medium.settings.PublicKeyPath, originalPub);
  EXPECT_EQ(Use(10, 0, 0), 1);
}

TEST_F(BindingKeyTimeouts, MidnightDropsAKeyLoadedJustBefore) {
  ASSERT_EQ(Use(23, 59, 58), 1);
  SwapFilesOnDisk();
  EXPECT_EQ(Use(23, 59, 59), 1);
  EXPECT_EQ(Use(0, 0, 1), 2);
}

TEST_F(BindingKeyTimeouts, ExpiredKeyStaysUntilTheNextAcquisition) {
  ASSERT_EQ(Use(10, 0, 0), 1);
  clock.Set(12, 0, 0);
  EXPECT_FALSE(Access::SecretKeyBytes(*binding).empty()) << "no timer drops the key";
  SwapFilesOnDisk();
  EXPECT_EQ(Use(12, 0, 0), 2);
}

}  // namespace
}  // namespace dizora::binding_test
