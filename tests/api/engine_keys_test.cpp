// Key and certificate management through the exported functions: the current
// UID, correspondents' public keys moving into the directory, their removal
// and refresh, and the preparation of a key medium.
#include <gtest/gtest.h>

#include <string>

#include "engine_test_util.h"

namespace dz_api_test {
namespace {

std::string EncodeUID(const Engine& e, const char* uid, int32_t* result) {
  std::array<char, 300> buf;
  buf.fill('x');
  *result = GetEncodeUIDBySignUID(e, uid, buf.data());
  return std::string(buf.data(), strnlen(buf.data(), buf.size()));
}

TEST(Identity, CurrentUIDIsTheOwnersFromThePublicKeyFile) {
  Engine e;
  Medium m;
  ASSERT_NO_FATAL_FAILURE(MakeMedium(e, m, "Ivanov I.I.", "1994"));
  EXPECT_EQ(e.CurrentUID(), "Ivanov I.I.");
  EXPECT_EQ(GetCurrentUserUID(e, nullptr), -4);

  Engine other;
  TempDir d;
  other.Set(kPublicKey, d / "self.pub");
  other.Set(kSecretKey, d / "self.sec");
  std::array<char, 255> uid{};
  EXPECT_EQ(GetCurrentUserUID(other, uid.data()), -11);
}

TEST(Identity, EncodeUIDIsTheSignUIDAlwaysTerminated) {
  Engine e;
  int32_t r = 1;
  EXPECT_EQ(EncodeUID(e, "Petrov", &r), "Petrov");
  EXPECT_EQ(r, 0);
  const std::string longest(254, 'u');
  EXPECT_EQ(EncodeUID(e, longest.c_str(), &r), longest);
  EXPECT_EQ(r, 0);
  const std::string too_long(300, 'v');
  EXPECT_EQ(EncodeUID(e, too_long.c_str(), &r), std::string(254, 'v'));
  EXPECT_EQ(r, 0);
  std::array<char, 8> buf{};
  EXPECT_EQ(GetEncodeUIDBySignUID(e, nullptr, buf.data()), -4);
  EXPECT_EQ(GetEncodeUIDBySignUID(e, "x", nullptr), -4);
}

// ---- Correspondents' public keys ----------------------------------------------------

class Correspondents : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(MakeMedium(alice, a, "Alice", "2001"));
    ASSERT_NO_FATAL_FAILURE(MakeMedium(bob, b, "Bob", "1994"));
  }

  // Copy of Bob's public-key file in the drop directory.
  std::string BobsFile(const std::string& name = "bob.pub") const {
    const std::string path = drop / name;
    fs::copy_file(b.pub, path, fs::copy_options::overwrite_existing);
    return path;
  }

  // Encrypts a few bytes on Alice's engine for `uid`.
  int32_t EncryptFor(const char* uid) const {
    Bytes buf = PatternBytes(32);
    buf.resize(32 + 600);
    int32_t size = 32;
    return EncodeData(alice, buf.data(), &size, uid);
  }

  Engine alice, bob;
  Medium a, b;
  TempDir drop;
};

TEST_F(Correspondents, IncludedKeyMovesIntoTheDirectory) {
  EXPECT_EQ(EncryptFor("Bob"), -11);
  const std::string file = BobsFile();
  ASSERT_EQ(IncludePublicKey(alice, file.c_str()), 0);
  EXPECT_FALSE(Exists(file));
  EXPECT_FALSE(fs::is_empty(a.abonents));
  EXPECT_EQ(EncryptFor("Bob"), 0);
}

TEST_F(Correspondents, RemovedKeyIsGoneOwnKeyIsProtected) {
  const std::string file = BobsFile();
  ASSERT_EQ(IncludePublicKey(alice, file.c_str()), 0);
  ASSERT_EQ(EncryptFor("Bob"), 0);  // also loads Alice's secret key
  EXPECT_EQ(RemoveCertificate(alice, "Bob"), 0);
  EXPECT_TRUE(fs::is_empty(a.abonents));
  EXPECT_EQ(EncryptFor("Bob"), -11);
  EXPECT_EQ(RemoveCertificate(alice, "Alice"), -21);
  EXPECT_TRUE(Exists(a.pub));
  EXPECT_EQ(RemoveCertificate(alice, nullptr), -4);
}

TEST_F(Correspondents, UpdateCertificateCashRereadsOneKey) {
  const std::string file = BobsFile();
  ASSERT_EQ(IncludePublicKey(alice, file.c_str()), 0);
  const std::string alices = drop / "alice.pub";
  fs::copy_file(a.pub, alices);
  ASSERT_EQ(IncludePublicKey(bob, alices.c_str()), 0);
  ASSERT_EQ(EncryptFor("Bob"), 0);

  // Bob gets a new key pair; Alice's directory receives the new file behind
  // the cache's back.
  bob.Set(kKeyGenUID, "Bob");
  ASSERT_EQ(GenerateNewSEK(bob), 0);
  fs::path stored;
  for (const auto& entry : fs::directory_iterator(a.abonents)) stored = entry.path();
  ASSERT_FALSE(stored.empty());
  fs::remove(stored);  // MinGW's copy_file refuses to overwrite
  fs::copy_file(b.pub, stored);

  auto round_trip = [&]() {
    const Bytes plain = PatternBytes(64);
    Bytes buf = plain;
    buf.resize(64 + 600);
    int32_t size = 64;
    EXPECT_EQ(EncodeData(alice, buf.data(), &size, "Bob"), 0);
    const int32_t r = DecodeData(bob, buf.data(), &size, 0);
    return r == 0 && Bytes(buf.begin(), buf.begin() + size) == plain;
  };
  EXPECT_FALSE(round_trip());  // Alice still encrypts for the old key
  EXPECT_EQ(UpdateCertificateCash(alice, "Bob"), 0);
  EXPECT_TRUE(round_trip());
  EXPECT_EQ(UpdateCertificateCash(alice, "Nobody"), -11);
  EXPECT_EQ(UpdateCertificateCash(alice, nullptr), -4);
}

// ---- Preparing a key medium --------------------------------------------------------

// A relative path with the platform's delimiter.
std::string Native(const char* path) { return fs::path(path).make_preferred().string(); }

class KeyMedium : public ::testing::Test {
 protected:
  void SetUp() override {
    e.Set(kPublicKey, root / "self.pub");
    e.Set(kAbonentsDir, root / Native("keys/ABONENTS"));
    e.Set(kCADir, root / Native("keys/CA"));
  }
  Engine e;
  TempDir root;
};

TEST_F(KeyMedium, OwnFileInPlaceOnlyCreatesTheDirectories) {
  WriteFileBytes(root / "self.pub", PatternBytes(300));
  EXPECT_EQ(CreateDirStructure(e, (root / "self.pub").c_str(), 0), 0);
  EXPECT_TRUE(fs::is_directory(root / Native("keys/ABONENTS")));
  EXPECT_TRUE(fs::is_directory(root / Native("keys/CA")));
  EXPECT_EQ(ReadFileBytes(root / "self.pub"), PatternBytes(300));
  // Again, with everything in place.
  EXPECT_EQ(CreateDirStructure(e, (root / "self.pub").c_str(), 0), 0);
}

// A public-key record of `uid` (GOST R 34.10-2001 layout, made-up keys).
Bytes MadeUpRecord(const std::string& uid) {
  Bytes record(uid.begin(), uid.end());
  record.push_back(0);
  const Bytes rest = {1, 0, 0, 0};
  record.insert(record.end(), rest.begin(), rest.end());
  const Bytes keys = PatternBytes(100 + 128, 3);
  record.insert(record.end(), keys.begin(), keys.end());
  return record;
}

TEST_F(KeyMedium, OtherFileIsCopiedToThePublicKeyPath) {
  WriteFileBytes(root / "self.pub", PatternBytes(100, 1));
  WriteFileBytes(root / "given.pub", MadeUpRecord("Given"));
  EXPECT_EQ(CreateDirStructure(e, (root / "given.pub").c_str(), 0), 0);
  EXPECT_EQ(ReadFileBytes(root / "self.pub"), MadeUpRecord("Given"));
  EXPECT_TRUE(Exists(root / "given.pub"));
  EXPECT_TRUE(fs::is_directory(root / Native("keys/CA")));
}

TEST_F(KeyMedium, MissingFileCreatesNothing) {
  EXPECT_EQ(CreateDirStructure(e, (root / "absent.pub").c_str(), 0), -24);
  EXPECT_EQ(CreateDirStructure(e, root.str().c_str(), 0), -24);  // a directory is no key file
  EXPECT_FALSE(Exists(root / "keys"));
  EXPECT_FALSE(Exists(root / "self.pub"));
}

TEST_F(KeyMedium, UncreatableDirectoryGivesMinusTwentyFour) {
  WriteFileBytes(root / "self.pub", PatternBytes(10));
  WriteFileBytes(root / "blocker", PatternBytes(1));
  e.Set(kCADir, root / "blocker/CA");
  EXPECT_EQ(CreateDirStructure(e, (root / "self.pub").c_str(), 0), -24);
}

}  // namespace
}  // namespace dz_api_test
