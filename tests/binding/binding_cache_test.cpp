// The public-key cache and the correspondents' directory.
#include <cstring>

#include "binding_fixture.h"

namespace dizora::binding_test {
namespace {

class BindingCache : public BindingTest {
 protected:
  void SetUp() override {
    BindingTest::SetUp();
    self = MakeMedium("Owner");
    alice = MakeMedium("Alice", rurov::kGost2001);
    bob = MakeMedium("Bob", rurov::kGost1994);
    AddCorrespondent(self, alice);
    AddCorrespondent(self, bob);
    dir = self.settings.CorrespondentsDir;
  }

  int32_t Lookup(const std::string& uid, bool exchange, Bytes& key, int32_t& algorithm) {
    return GetKey(self, uid, exchange, key, algorithm);
  }
  int32_t Include(const Bytes& record) {
    return binding->IncludePublicKeyRecord(self.settings, record.data(), static_cast<int32_t>(record.size()));
  }
  int32_t Remove(const std::string& uid) { return binding->RemovePublicKey(self.settings, uid); }
  int32_t Refresh(const std::string& uid) { return binding->RefreshPublicKey(self.settings, uid); }
  int32_t Record(const std::string& uid, Bytes& out) {
    out.assign(rurov::kMaxPublicKeyFileSize, 0);
    int32_t length = -1;
    const int32_t result = binding->GetPublicKeyRecord(self.settings, uid.c_str(), out.data(), length);
    out.resize(static_cast<size_t>(length));
    return result;
  }
  // A record of `uid` with the keys of `from`.
  static Bytes RecordFor(const std::string& uid, const KeyMedium& from) {
    const Bytes pub = ReadFileBytes(from.settings.PublicKeyPath);
    Bytes record(uid.begin(), uid.end());
    record.insert(record.end(), pub.begin() + static_cast<std::ptrdiff_t>(from.uid.size()), pub.end());
    return record;
  }

  KeyMedium self, alice, bob;
  std::string dir;
};

TEST_F(BindingCache, LookupCopiesSignatureOrExchangeKeyFromTheRecord) {
  const Bytes alicePub = ReadFileBytes(alice.settings.PublicKeyPath);
  const Bytes bobPub = ReadFileBytes(bob.settings.PublicKeyPath);
  Bytes key;
  int32_t algorithm = -1;
  ASSERT_EQ(Lookup("Alice", false, key, algorithm), 0);
  EXPECT_EQ(algorithm, rurov::kGost2001);
  EXPECT_EQ(std::memcmp(key.data(), alicePub.data() + 10, 100), 0);
  ASSERT_EQ(Lookup("Alice", true, key, algorithm), 0);
  EXPECT_EQ(std::memcmp(key.data(), alicePub.data() + 110, 128), 0);
  ASSERT_EQ(Lookup("Bob", false, key, algorithm), 0);
  EXPECT_EQ(algorithm, rurov::kGost1994);
  EXPECT_EQ(std::memcmp(key.data(), bobPub.data() + 8, 128), 0);
  ASSERT_EQ(Lookup("Owner", false, key, algorithm), 0) << "the own file is cached too";
  EXPECT_EQ(Lookup("Carol", false, key, algorithm), DZ_E_PUBLIC_KEY);
}

TEST_F(BindingCache, LookupIgnoresLetterCase) {
  const KeyMedium ivanov = MakeMedium("\xC8\xE2\xE0\xED\xEE\xE2", rurov::kGost2001, temp / "ivanov");
  AddCorrespondent(self, ivanov, "ivanov.pub");
  Bytes key;
  int32_t algorithm = -1;
  EXPECT_EQ(Lookup("aLICE", false, key, algorithm), 0);
  EXPECT_EQ(Lookup("\xE8\xC2\xC0\xCD\xCE\xC2", true, key, algorithm), 0);
}

TEST_F(BindingCache, FirstFillingWithAnUnreadableFileReportsMinus11ThenFinds) {
  WriteFileBytes(dir + "broken.pub", Bytes(600, 'x'));  // larger than any record
  Bytes key;
  int32_t algorithm = -1;
  EXPECT_EQ(Lookup("Alice", false, key, algorithm), DZ_E_PUBLIC_KEY);
  EXPECT_EQ(Lookup("Alice", false, key, algorithm), 0);
}

TEST_F(BindingCache, MissingOwnFileFailsTheFirstFillingOnly) {
  fs::remove(self.settings.PublicKeyPath);
  Bytes key;
  int32_t algorithm = -1;
  EXPECT_EQ(Lookup("Bob", false, key, algorithm), DZ_E_PUBLIC_KEY);
  EXPECT_EQ(Lookup("Bob", false, key, algorithm), 0);
}

TEST_F(BindingCache, FilesInSubdirectoriesAndAnySuffixCaseAreFound) {
  fs::create_directories(dir + "sub/deeper");
  const KeyMedium carol = MakeMedium("Carol", rurov::kGost2001, temp / "carol");
  const KeyMedium dave = MakeMedium("Dave", rurov::kGost2001, temp / "dave");
  AddCorrespondent(self, carol, "sub/deeper/carol.PUB");
  AddCorrespondent(self, dave, "davepub");
  WriteFileBytes(dir + ".hidden.pub", RecordFor("Eve", alice));
  Bytes key;
  int32_t algorithm = -1;
  EXPECT_EQ(Lookup("Carol", false, key, algorithm), 0);
  EXPECT_EQ(Lookup("Dave", false, key, algorithm), 0);
  EXPECT_EQ(Lookup("Eve", false, key, algorithm), DZ_E_PUBLIC_KEY);
}

TEST_F(BindingCache, TheOwnFileWinsOverADuplicateInTheDirectory) {
  WriteFileBytes(dir + "fake_owner.pub", RecordFor("Owner", alice));
  const Bytes own = ReadFileBytes(self.settings.PublicKeyPath);
  Bytes record;
  ASSERT_EQ(Record("OWNER", record), 0);
  EXPECT_EQ(record, own);
}

TEST_F(BindingCache, RecordLengthMustFitTheAlgorithm) {
  Bytes wrong = RecordFor("Long", alice);
  wrong.push_back(0);  // algorithm 1 with L + 234 bytes
  WriteFileBytes(dir + "long.pub", wrong);
  Bytes unknown = RecordFor("Odd", bob);  // L + 261 bytes...
  rurov::WriteInt32LE(unknown.data() + 4, 7);  // ...with algorithm 7
  WriteFileBytes(dir + "odd.pub", unknown);
  Bytes noTerminator(100, 'n');
  WriteFileBytes(dir + "noterm.pub", noTerminator);
  Bytes key;
  int32_t algorithm = -1;
  EXPECT_EQ(Lookup("Alice", false, key, algorithm), DZ_E_PUBLIC_KEY);  // first filling met noterm.pub
  EXPECT_EQ(Lookup("Long", false, key, algorithm), DZ_E_PUBLIC_KEY);
  EXPECT_EQ(Lookup("Odd", true, key, algorithm), DZ_E_PUBLIC_KEY);
  EXPECT_EQ(Lookup("Alice", false, key, algorithm), 0);
}

TEST_F(BindingCache, RecordReadBackAndItsFailures) {
  Bytes record;
  ASSERT_EQ(Record("alice", record), 0);
  EXPECT_EQ(record, ReadFileBytes(alice.settings.PublicKeyPath));
  EXPECT_EQ(Record("Nobody", record), DZ_E_PUBLIC_KEY);
  EXPECT_TRUE(record.empty()) << "outputLength is 0 on failure";
}

TEST_F(BindingCache, IncludeWritesTheUIDNamedFileAndReplacesEarlierEntries) {
  Bytes key;
  int32_t algorithm = -1;
  ASSERT_EQ(Lookup("Alice", false, key, algorithm), 0);
  const Bytes carol = RecordFor("Carol", alice);
  ASSERT_EQ(Include(carol), 0);
  EXPECT_EQ(ReadFileBytes(dir + "Carol.pub"), carol);
  Bytes record;
  ASSERT_EQ(Record("Carol", record), 0);
  EXPECT_EQ(record, carol);

  // Including Alice again with Bob's keys replaces her file and entry: one
  // file holds the new record under the UID's name. (Where names ignore
  // letter case, "Alice.pub" is that name and is replaced in place.)
  const Bytes replacement = RecordFor("ALICE", bob);
  ASSERT_EQ(Include(replacement), 0);
  EXPECT_EQ(ReadFileBytes(dir + "ALICE.pub"), replacement);
  EXPECT_EQ(NamesIn(dir).size(), 3u);
  if (platform::kCaseSensitiveNames) {
    EXPECT_FALSE(FileExists(dir + "Alice.pub"));
  }
  ASSERT_EQ(Lookup("alice", false, key, algorithm), 0);
  EXPECT_EQ(algorithm, rurov::kGost1994);
}

TEST_F(BindingCache, IncludeUsesNumberedNamesWhenTheUIDNameIsTaken) {
  Bytes key;
  int32_t algorithm = -1;
  ASSERT_EQ(Lookup("Alice", false, key, algorithm), 0);
  // A file of that name exists on disk but its UID is not cached.
  WriteFileBytes(dir + "Frank.pub", Bytes{'x'});
  ASSERT_EQ(Include(RecordFor("Frank", alice)), 0);
  EXPECT_TRUE(FileExists(dir + "pk1.pub"));
  EXPECT_EQ(ReadFileBytes(dir + "Frank.pub"), Bytes{'x'});

  WriteFileBytes(dir + "pk7.pub", Bytes{'y'});
  WriteFileBytes(dir + "Gina.pub", Bytes{'x'});
  ASSERT_EQ(Include(RecordFor("Gina", alice)), 0);
  EXPECT_EQ(ReadFileBytes(dir + "pk8.pub"), RecordFor("Gina", alice));
}

TEST_F(BindingCache, IncludeNeverWritesOutsideTheDirectory) {
  Bytes key;
  int32_t algorithm = -1;
  ASSERT_EQ(Lookup("Alice", false, key, algorithm), 0);
  const Bytes record = RecordFor("../escaped", alice);
  ASSERT_EQ(Include(record), 0);
  EXPECT_FALSE(FileExists(temp / "Owner/escaped.pub"));
  EXPECT_EQ(ReadFileBytes(dir + "pk1.pub"), record);
  Bytes back;
  EXPECT_EQ(Record("../escaped", back), 0);
}

TEST_F(BindingCache, IncludeRefusesTheOwnUIDInAnyCaseAndBadRecords) {
  EXPECT_EQ(Include(RecordFor("Owner", alice)), DZ_E_INCLUDE_OWN_KEY);
  EXPECT_EQ(Include(RecordFor("oWNER", alice)), DZ_E_INCLUDE_OWN_KEY);
  EXPECT_FALSE(FileExists(dir + "Owner.pub"));
  EXPECT_FALSE(FileExists(dir + "oWNER.pub"));
  EXPECT_EQ(ReadFileBytes(self.settings.PublicKeyPath).size(), 5u + 233u);

  // Only exact public-key records; nothing is written for the others.
  Bytes padded = RecordFor("Big", alice);
  padded.resize(515, 0);
  Bytes otherAlgorithm = RecordFor("Big", alice);
  otherAlgorithm[4] = 2;
  for (const Bytes& bad : {RecordFor(std::string(255, 'L'), alice), RecordFor("", alice), padded,
                           Bytes(padded.begin(), padded.begin() + 237), otherAlgorithm, Bytes(20, 'z')}) {
    EXPECT_EQ(Include(bad), DZ_E_PUBLIC_KEY) << bad.size() << " bytes";
  }
  EXPECT_EQ(NamesIn(dir), (std::vector<std::string>{"Alice.pub", "Bob.pub"}));
}

TEST_F(BindingCache, IncludeGoesOnWhenTheOwnUIDCannotBeRead) {
  fs::remove(self.settings.PublicKeyPath);
  const Bytes record = RecordFor("Owner", alice);
  // The first filling reports the missing own file; the next include works.
  EXPECT_EQ(Include(record), DZ_E_PUBLIC_KEY);
  EXPECT_EQ(Include(record), 0);
  EXPECT_TRUE(FileExists(dir + "Owner.pub"));
}

TEST_F(BindingCache, RemoveDeletesEveryEntryAndFileOfTheUID) {
  WriteFileBytes(dir + "second_alice.pub", RecordFor("alice", bob));
  ASSERT_EQ(Remove("ALICE"), 0);
  EXPECT_FALSE(FileExists(dir + "Alice.pub"));
  EXPECT_FALSE(FileExists(dir + "second_alice.pub"));
  Bytes key;
  int32_t algorithm = -1;
  EXPECT_EQ(Lookup("Alice", false, key, algorithm), DZ_E_PUBLIC_KEY);
  EXPECT_EQ(Remove("Alice"), DZ_E_PUBLIC_KEY) << "nothing cached any more";
  EXPECT_EQ(Lookup("Bob", false, key, algorithm), 0);
}

TEST_F(BindingCache, RemoveProtectsTheOwnKeyLoadedOrNot) {
  EXPECT_EQ(Remove("Owner"), DZ_E_REMOVE_OWN_KEY);
  EXPECT_EQ(Remove("OWNER"), DZ_E_REMOVE_OWN_KEY);
  Bytes key;
  int32_t algorithm = -1;
  ASSERT_EQ(AcquireSignature(self, key, algorithm), 0);
  EXPECT_EQ(Remove("owner"), DZ_E_REMOVE_OWN_KEY);
  EXPECT_TRUE(FileExists(self.settings.PublicKeyPath));
}

TEST_F(BindingCache, RemoveReportsAFileThatCannotBeDeleted) {
  Bytes key;
  int32_t algorithm = -1;
  ASSERT_EQ(Lookup("Alice", false, key, algorithm), 0);
  // Put a directory where the cached file was: it cannot be deleted as a file.
  fs::remove(dir + "Alice.pub");
  fs::create_directories(dir + "Alice.pub/x");
  EXPECT_EQ(Remove("Alice"), DZ_E_PUBLIC_KEY_FILE);
  EXPECT_EQ(Lookup("Alice", false, key, algorithm), 0) << "the entry stays";
}

TEST_F(BindingCache, MutualKeyIsStoredOnceAndDroppedByARefreshOfAReplacedFile) {
  Bytes key;
  int32_t algorithm = -1;
  ASSERT_EQ(Lookup("Alice", false, key, algorithm), 0);
  uint8_t first[32], second[32], out[32];
  std::memset(first, 1, 32);
  std::memset(second, 2, 32);
  EXPECT_FALSE(Access::FindCachedMutualKey(*binding, "Alice", out));
  Access::StoreMutualKey(*binding, "Alice", first);
  Access::StoreMutualKey(*binding, "alice", second);
  ASSERT_TRUE(Access::FindCachedMutualKey(*binding, "ALICE", out));
  EXPECT_EQ(std::memcmp(out, first, 32), 0);
  Access::StoreMutualKey(*binding, "Nobody", first);
  EXPECT_FALSE(Access::FindCachedMutualKey(*binding, "Nobody", out));

  const Bytes replacement = RecordFor("Alice", bob);
  WriteFileBytes(dir + "Alice.pub", replacement);
  ASSERT_EQ(Refresh("Alice"), 0);
  EXPECT_FALSE(Access::FindCachedMutualKey(*binding, "Alice", out));
  ASSERT_EQ(Lookup("Alice", false, key, algorithm), 0);
  EXPECT_EQ(algorithm, rurov::kGost1994);
}

TEST_F(BindingCache, RefreshFindsAnUncachedUIDUnderANumberedName) {
  Bytes key;
  int32_t algorithm = -1;
  ASSERT_EQ(Lookup("Alice", false, key, algorithm), 0);
  WriteFileBytes(dir + "pk3.pub", RecordFor("Henry", alice));
  EXPECT_EQ(Lookup("Henry", false, key, algorithm), DZ_E_PUBLIC_KEY) << "the cache is not re-read";
  ASSERT_EQ(Refresh("Henry"), 0);
  EXPECT_EQ(Lookup("Henry", false, key, algorithm), 0);
  EXPECT_EQ(Refresh("Nobody"), DZ_E_PUBLIC_KEY);
}

TEST_F(BindingCache, RefreshFallsBackToAFullReload) {
  Bytes key;
  int32_t algorithm = -1;
  ASSERT_EQ(Lookup("Alice", false, key, algorithm), 0);
  // Alice's file now carries another UID: the entry cannot be re-read alone.
  WriteFileBytes(dir + "Alice.pub", RecordFor("Ivy", bob));
  EXPECT_EQ(Refresh("Alice"), DZ_E_PUBLIC_KEY);
  EXPECT_EQ(Lookup("Ivy", false, key, algorithm), 0) << "the cache was reloaded";
  EXPECT_EQ(Lookup("Alice", false, key, algorithm), DZ_E_PUBLIC_KEY);

  // Without a cache a refresh reloads everything; no directory: -11.
  binding->ReleaseKeys();
  EXPECT_EQ(Refresh("Bob"), 0);
  binding->ReleaseKeys();
  self.settings.CorrespondentsDir = temp / "none/";
  EXPECT_EQ(Refresh("Bob"), DZ_E_PUBLIC_KEY);
}

}  // namespace
}  // namespace dizora::binding_test
