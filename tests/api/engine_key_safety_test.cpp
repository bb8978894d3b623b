// Scenes of the operations that include, replace, write or delete key
// material, through the exported functions, as a careless or hostile user
// would drive them: nothing refused may change the key medium (checked byte
// for byte), no key may be lost, and secret keys stay private.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dizora.h"
#include "engine_test_util.h"
#include "transfer_media.h"

namespace {

using namespace transfer_test;
using dz_api_test::TreeDifference;
using dz_api_test::TreeSnapshot;

// Signs a short order on `signer` and verifies it on `verifier`: the
// verification's code; the UID it names in `who`.
int32_t Verified(const Medium& signer, DizoraEngine verifier, std::string* who = nullptr) {
  const char data[] = "payment order 42";
  std::vector<char> signature(static_cast<size_t>(GetMaxSignatureLength(signer.engine())));
  int32_t size = 0;
  const int32_t signed_code = SignData(signer.engine(), data, sizeof data, signature.data(), &size, 0);
  if (signed_code != DZ_OK) return signed_code;
  char uid[256] = {};
  const int32_t code = VerifyData(verifier, data, sizeof data, signature.data(), size, uid);
  if (who != nullptr) *who = uid;
  return code;
}

// The public-key record of `uid` with the keys of `from`'s public-key file.
Bytes RecordWithKeysOf(const std::string& uid, const Medium& from) {
  const Bytes own = ReadFile(from.PublicKey());
  Bytes record(uid.begin(), uid.end());
  record.insert(record.end(), own.begin() + static_cast<std::ptrdiff_t>(from.uid().size()), own.end());
  return record;
}

// Two media with their key pairs, each knowing the other's public key.
void Acquaint(Medium& a, Medium& b) {
  ASSERT_EQ(a.generated(), 0);
  ASSERT_EQ(b.generated(), 0);
  a.Know(b);
  b.Know(a);
}

using IncludeFn = int32_t(DIZORA_API*)(DizoraEngine, const char*);
struct IncludeExport {
  const char* name;
  IncludeFn fn;
};
const IncludeExport kIncludeExports[] = {{"IncludePublicKey", IncludePublicKey},
                                         {"IncludePublicEncodeKey", IncludePublicEncodeKey}};

// ---- Including key files ------------------------------------------------------------

// Only a public-key record is taken. The user's own secret-key file, a text,
// a record padded or cut short: each refused with -11, the medium and the
// file untouched.
TEST(IncludeKeyFile, AnythingButAPublicKeyRecordIsRefusedAndStays) {
  Medium alice("Alice"), bob("Bob");
  ASSERT_EQ(alice.generated(), 0);
  ASSERT_EQ(bob.generated(), 0);
  const Bytes record = ReadFile(bob.PublicKey());
  Bytes padded = record;
  padded.resize(515, 0);
  Bytes algorithm2 = record;
  algorithm2[4] = 2;  // "Bob", zero, algorithm word
  Bytes longUID(255, 'u');
  longUID.insert(longUID.end(), record.begin() + 3, record.end() - 1);
  const std::string text = "Bob\nthis is a letter, not a key\n";
  struct Case {
    const char* name;
    Bytes bytes;
  };
  const Case cases[] = {{"text", Bytes(text.begin(), text.end())},
                        {"padded with zeros", padded},
                        {"cut short", Bytes(record.begin(), record.end() - 1)},
                        {"algorithm 2", algorithm2},
                        {"empty UID", Bytes(record.begin() + 3, record.end())},
                        {"UID of 255 characters", longUID},
                        {"empty file", Bytes()},
                        {"516 bytes", Bytes(516, 'a')}};
  const fs::path drop = alice.dir() / "drop";
  fs::create_directories(drop);
  for (const IncludeExport& include : kIncludeExports) {
    SCOPED_TRACE(include.name);
    const auto before = TreeSnapshot(alice.dir());
    EXPECT_EQ(include.fn(alice.engine(), alice.SecretKey().string().c_str()), DZ_E_PUBLIC_KEY) << "own self.sec";
    EXPECT_EQ(include.fn(alice.engine(), (drop / "missing.pub").string().c_str()), DZ_E_PUBLIC_KEY);
    EXPECT_EQ(include.fn(alice.engine(), nullptr), DZ_E_BAD_ARGUMENT);
    EXPECT_EQ(TreeDifference(before, TreeSnapshot(alice.dir())), "");
    for (const Case& c : cases) {
      WriteFile(drop / "key.pub", c.bytes);
      const auto withFile = TreeSnapshot(alice.dir());
      EXPECT_EQ(include.fn(alice.engine(), (drop / "key.pub").string().c_str()), DZ_E_PUBLIC_KEY) << c.name;
      EXPECT_EQ(TreeDifference(withFile, TreeSnapshot(alice.dir())), "") << c.name;
    }
    // The user's own public key, under another name: -20.
    WriteFile(drop / "own.pub", ReadFile(alice.PublicKey()));
    const auto withOwn = TreeSnapshot(alice.dir());
    EXPECT_EQ(include.fn(alice.engine(), (drop / "own.pub").string().c_str()), DZ_E_INCLUDE_OWN_KEY);
    EXPECT_EQ(TreeDifference(withOwn, TreeSnapshot(alice.dir())), "");
  }
  EXPECT_EQ(Verified(alice, alice.engine()), DZ_OK) << "the own pair still works";
}

// Including the stored entry itself, under any spelling, keeps it: the entry
// is rewritten in place and the "source" is not deleted.
TEST(IncludeKeyFile, TheStoredFileItselfStaysStored) {
  Medium alice("Alice"), bob("Bob");
  ASSERT_EQ(alice.generated(), 0);
  ASSERT_EQ(bob.generated(), 0);
  alice.Know(bob);
  const fs::path stored = alice.Abonents() / "Bob.pub";
  const Bytes record = ReadFile(bob.PublicKey());
  ASSERT_EQ(ReadFile(stored), record);
  const fs::path links = alice.dir() / "links";
  fs::create_directories(links);

  // An ordinary include through the second name moves the file in.
  const fs::path copy = alice.dir() / "bob.pub";
  fs::copy_file(bob.PublicKey(), copy);
  fs::remove(stored);
  ClearCash(alice.engine());
  ASSERT_EQ(IncludePublicEncodeKey(alice.engine(), copy.string().c_str()), DZ_OK);
  EXPECT_FALSE(fs::exists(copy));
  ASSERT_EQ(ReadFile(stored), record);

  std::vector<std::pair<std::string, fs::path>> spellings = {{"itself", stored},
                                                             {"another spelling", alice.Abonents() / "." / "Bob.pub"}};
  std::error_code ec;
  fs::create_symlink(stored, links / "symbolic.pub", ec);
  if (!ec) spellings.emplace_back("symbolic link", links / "symbolic.pub");
  for (const IncludeExport& include : kIncludeExports) {
    for (const auto& [name, path] : spellings) {
      SCOPED_TRACE(std::string(include.name) + ", " + name);
      EXPECT_EQ(include.fn(alice.engine(), path.string().c_str()), DZ_OK);
      ASSERT_EQ(ReadFile(stored), record);
      EXPECT_EQ(std::distance(fs::directory_iterator(alice.Abonents()), fs::directory_iterator()), 1);
      ClearCash(alice.engine());
      std::string who;
      EXPECT_EQ(Verified(bob, alice.engine(), &who), DZ_OK);
      EXPECT_EQ(who, "Bob");
    }
  }
  // A hard link is another name of the stored file's bytes: the key is
  // stored anew and the link, now another file, is consumed.
  fs::create_hard_link(stored, links / "hard.pub", ec);
  if (!ec) {
    EXPECT_EQ(IncludePublicKey(alice.engine(), (links / "hard.pub").string().c_str()), DZ_OK);
    EXPECT_EQ(ReadFile(stored), record);
  }
}

// A secret-key file or a text named where a public-key file belongs is
// neither sent as a transfer nor copied over the public-key file; a saved
// transfer, whose file name comes from the sender, replaces neither a
// secret-key file nor the user's own public-key file nor any other file that
// is not a public-key file.
TEST(IncludeKeyFile, OtherOperationsNeverTakeASecretKeyForAPublicOne) {
  Medium alice("Alice"), bob("Bob");
  ASSERT_NO_FATAL_FAILURE(Acquaint(alice, bob));
  WriteFile(alice.dir() / "notes.txt", Bytes(30, 'n'));
  const auto before = TreeSnapshot(alice.dir());
  std::vector<char> out(kMaxTransfer + 1, '\x7f');
  EXPECT_EQ(GetPublicKeyTransferByFile(alice.engine(), out.data(), alice.SecretKey().string().c_str()),
            DZ_E_PUBLIC_KEY);
  EXPECT_EQ(out[0], '\x7f') << "nothing written";
  EXPECT_EQ(CreateDirStructure(alice.engine(), alice.SecretKey().string().c_str(), 0), DZ_E_MEDIUM_STRUCTURE);
  EXPECT_EQ(CreateDirStructure(alice.engine(), (alice.dir() / "notes.txt").string().c_str(), 0),
            DZ_E_MEDIUM_STRUCTURE);
  const Bytes record = ReadFile(bob.PublicKey());
  for (const char* name : {"self.sec", "self.pub", "notes.txt"}) {
    EXPECT_EQ(SavePublicKeyFromTransfer(alice.engine(), alice.dir().string().c_str(),
                                        bob.CraftTransfer(record, name).c_str()),
              DZ_E_PUBLIC_KEY_FILE)
        << name;
  }
  EXPECT_EQ(TreeDifference(before, TreeSnapshot(alice.dir())), "");
  // A public-key file is replaced as before.
  const std::string saved = (alice.dir() / "ABONENTS").string();
  EXPECT_EQ(SavePublicKeyFromTransfer(alice.engine(), saved.c_str(), bob.CraftTransfer(record, "Bob.pub").c_str()),
            DZ_OK);
  EXPECT_EQ(ReadFile(alice.Abonents() / "Bob.pub"), record);
}

// ---- Transfers ----------------------------------------------------------------------

// A known correspondent (Alice) cannot put her keys under another's UID
// (Dave), which would let her sign as Dave. New correspondents, the stored
// key again and a replacement signed by the UID itself still pass, and so
// does a regeneration that keeps the UID.
TEST(TransferRules, ReplacingAnotherCorrespondentsKeyIsRefused) {
  Medium bank("Bank"), alice("Alice"), dave("Dave"), erin("Erin");
  for (const Medium* m : {&bank, &alice, &dave, &erin}) ASSERT_EQ(m->generated(), 0);
  bank.Know(alice);
  bank.Know(dave);
  alice.Know(erin);
  dave.Know(bank);

  const auto before = TreeSnapshot(bank.dir());
  const std::string takeover = alice.CraftTransfer(RecordWithKeysOf("Dave", alice), "tran.pub");
  const std::string lowerCase = alice.CraftTransfer(RecordWithKeysOf("dave", alice), "tran.pub");
  EXPECT_EQ(IncludePublicKeyTransfer(bank.engine(), takeover.c_str()), DZ_LIB_BAD_SIGNATURE);
  EXPECT_EQ(IncludePublicKeyTransfer(bank.engine(), lowerCase.c_str()), DZ_LIB_BAD_SIGNATURE);
  EXPECT_EQ(TreeDifference(before, TreeSnapshot(bank.dir())), "");
  std::string who;
  EXPECT_EQ(Verified(dave, bank.engine(), &who), DZ_OK);
  EXPECT_EQ(who, "Dave");

  // The stored key again, and a correspondent not known yet.
  EXPECT_EQ(IncludePublicKeyTransfer(bank.engine(), alice.Transfer("Alice").c_str()), DZ_OK);
  EXPECT_EQ(TreeDifference(before, TreeSnapshot(bank.dir())), "");
  EXPECT_EQ(IncludePublicKeyTransfer(bank.engine(), alice.Transfer("Erin").c_str()), DZ_OK);
  EXPECT_EQ(Verified(erin, bank.engine()), DZ_OK);

  // Dave regenerates keeping his UID: his transfer, signed with his current
  // key, replaces his stored key at the bank; the bank's answer finishes.
  const fs::path regen = dave.dir() / "regen";
  fs::create_directories(regen);
  SetRemoteGeneratePath(dave.engine(), regen.string().c_str());
  std::vector<char> transfer(kMaxTransfer + 1, 0);
  ASSERT_EQ(RemoteGenerateStart(dave.engine(), transfer.data()), DZ_OK);
  EXPECT_EQ(IncludePublicKeyTransfer(bank.engine(), transfer.data()), DZ_OK);
  int32_t state = DZ_REGEN_ACT;
  ASSERT_EQ(RemoteGenerateFinishEx(dave.engine(), bank.Transfer("Dave").c_str(), &state), DZ_OK);
  ClearCash(bank.engine());
  EXPECT_EQ(Verified(dave, bank.engine(), &who), DZ_OK);
  EXPECT_EQ(who, "Dave");
  // Alice still cannot take the new key's place.
  EXPECT_EQ(IncludePublicKeyTransfer(bank.engine(), takeover.c_str()), DZ_LIB_BAD_SIGNATURE);
}

// `text` broken into lines of `width` characters ending in `eol`.
std::string Wrapped(const std::string& text, size_t width, const std::string& eol) {
  std::string out;
  for (size_t at = 0; at < text.size(); at += width) out += text.substr(at, width) + eol;
  return out;
}

// Mail programs and peers wrap base64 at 64 or 76 columns with CR LF: such
// texts open; any other character outside the alphabet and a padding that
// is not the canonical one are still refused.
TEST(TransferRules, WrappedTextsOpenAlteredOnesDoNot) {
  Medium bank("Bank1"), alice("Alice");  // 850 signed bytes: the text ends in "=="
  ASSERT_EQ(bank.generated(), 0);
  ASSERT_EQ(alice.generated(), 0);
  alice.Know(bank);
  const std::string text = bank.Transfer("Bank1");
  ASSERT_EQ(text.substr(text.size() - 2), "==");
  const std::string forms[] = {Wrapped(text, 64, "\r\n"), Wrapped(text, 76, "\r\n"), Wrapped(text, 76, "\n"),
                               " \t" + text + "\r\n\r\n", text.substr(0, 100) + " \t \r\n" + text.substr(100)};
  for (const std::string& form : forms) {
    char uid[256] = {};
    EXPECT_EQ(GetUIDByPublicKeyTransfer(alice.engine(), form.c_str(), uid), DZ_OK) << form.substr(0, 80);
    EXPECT_STREQ(uid, "Bank1");
    EXPECT_EQ(IncludePublicKeyTransfer(alice.engine(), form.c_str()), DZ_OK);
  }
  const std::string wrapped = Wrapped(text, 76, "\r\n");
  const std::string altered[] = {wrapped.substr(0, 40) + "!" + wrapped.substr(40),
                                 wrapped.substr(0, 40) + "." + wrapped.substr(40),
                                 wrapped.substr(0, 40) + "-" + wrapped.substr(41),
                                 Wrapped(text.substr(0, text.size() - 1), 76, "\r\n"),
                                 wrapped + "=",
                                 wrapped + "\r\nQQ==",
                                 Wrapped(text, 76, "\r\n\x01")};
  for (const std::string& form : altered) {
    char uid[256] = {};
    EXPECT_EQ(GetUIDByPublicKeyTransfer(alice.engine(), form.c_str(), uid), DZ_E_BAD_ARGUMENT)
        << form.substr(form.size() - 10);
  }
}

// ---- Regeneration -------------------------------------------------------------------

// The host names the key medium itself as the regeneration folder: the
// finish removes the regeneration's own files and nothing else.
TEST(RegenerationFolder, FinishRemovesOnlyTheRegenerationsOwnFiles) {
  Medium client("Client"), bank("Bank");
  ASSERT_NO_FATAL_FAILURE(Acquaint(client, bank));
  fs::create_directories(client.dir() / "CA");
  WriteFile(client.dir() / "CA" / "root.cer", Bytes(40, 'c'));
  WriteFile(client.dir() / "notes.txt", Bytes(10, 'n'));
  SetRemoteGeneratePath(client.engine(), client.dir().string().c_str());

  std::vector<char> transfer(kMaxTransfer + 1, 0);
  int32_t state = DZ_REGEN_ACT;
  ASSERT_EQ(RemoteGenerateStartEx(client.engine(), "Client 2", transfer.data(), &state), DZ_OK);
  ASSERT_EQ(IncludePublicKeyTransfer(bank.engine(), transfer.data()), DZ_OK);
  state = DZ_REGEN_ACT;
  ASSERT_EQ(RemoteGenerateFinishEx(client.engine(), bank.Transfer("Client 2").c_str(), &state), DZ_OK);

  for (const char* kept : {"self.pub", "self.sec", "old.pub", "old.sec", "notes.txt", "CA/root.cer",
                           "ABONENTS/Bank.pub"})
    EXPECT_TRUE(fs::exists(client.dir() / kept)) << kept;
  for (const char* gone : {"new.pub", "new.sec", "sec.dat"}) EXPECT_FALSE(fs::exists(client.dir() / gone)) << gone;
  EXPECT_EQ(client.CurrentUID(), "Client 2");
  std::string who;
  EXPECT_EQ(Verified(client, bank.engine(), &who), DZ_OK);
  EXPECT_EQ(who, "Client 2");
}

// A regeneration folder on another file system (when the machine has one,
// such as a memory file system): the new pair is moved in by copying.
TEST(RegenerationFolder, OnAnotherFileSystemTheFinishCompletes) {
  const fs::path memory = "/dev/shm";
  std::error_code ec;
  if (!fs::is_directory(memory, ec)) GTEST_SKIP() << "no /dev/shm";
  Medium client("Client"), bank("Bank");
  ASSERT_NO_FATAL_FAILURE(Acquaint(client, bank));
  const fs::path probe = client.dir() / "probe";
  WriteFile(probe, Bytes(1, 'p'));
  const fs::path regen = memory / ("dz_regen_" + client.dir().filename().string());
  fs::create_directories(regen);
  fs::rename(probe, regen / "probe", ec);
  if (ec != std::errc::cross_device_link) {
    fs::remove_all(regen);
    GTEST_SKIP() << "/dev/shm is on the same file system as " << client.dir();
  }
  SetRemoteGeneratePath(client.engine(), regen.string().c_str());
  std::vector<char> transfer(kMaxTransfer + 1, 0);
  int32_t state = DZ_REGEN_ACT;
  ASSERT_EQ(RemoteGenerateStartEx(client.engine(), nullptr, transfer.data(), &state), DZ_OK);
  char uid[256] = {};
  ASSERT_EQ(GetUIDByPublicKeyTransfer(bank.engine(), transfer.data(), uid), DZ_OK);
  ASSERT_EQ(IncludePublicKeyTransfer(bank.engine(), transfer.data()), DZ_OK);
  state = DZ_REGEN_ACT;
  const int32_t finished = RemoteGenerateFinishEx(client.engine(), bank.Transfer(uid).c_str(), &state);
  const bool pendingLeft = fs::exists(regen / "new.pub") || fs::exists(regen / "sec.dat");
  fs::remove_all(regen);
  ASSERT_EQ(finished, DZ_OK);
  EXPECT_FALSE(pendingLeft);
  EXPECT_EQ(client.CurrentUID(), uid);
  EXPECT_EQ(Verified(client, bank.engine()), DZ_OK);
}

// ---- Long UIDs ----------------------------------------------------------------------

// Every UID the key files allow (up to 254 characters) can be stored as a
// correspondent, replaced by a new key of the same UID, and verified after
// the cache is dropped. Names too long for the file system become pkN.pub.
TEST(LongUIDs, CorrespondentsAreStoredReplacedAndVerified) {
  Medium bank("Bank");
  ASSERT_EQ(bank.generated(), 0);
  const fs::path drop = bank.dir() / "drop";
  fs::create_directories(drop);
  char letter = 'a';
  for (const size_t length : {size_t{233}, size_t{234}, size_t{251}, size_t{252}, size_t{254}}) {
    const std::string uid(length, letter++);
    SCOPED_TRACE(length);
    Medium corr(uid, length == 254 ? "1994" : "2001");
    ASSERT_EQ(corr.generated(), 0);
    for (int round = 0; round < 2; ++round) {
      if (round == 1) {
        ASSERT_EQ(GenerateNewSEK(corr.engine()), DZ_OK);  // a new key of the same UID
      }
      WriteFile(drop / "corr.pub", ReadFile(corr.PublicKey()));
      ASSERT_EQ(IncludePublicKey(bank.engine(), (drop / "corr.pub").string().c_str()), DZ_OK) << round;
      ClearCash(bank.engine());
      std::string who;
      EXPECT_EQ(Verified(corr, bank.engine(), &who), DZ_OK) << round;
      EXPECT_EQ(who, uid);
      size_t files = 0;
      for (const auto& entry : fs::directory_iterator(bank.Abonents()))
        files += ReadFile(entry.path()) == ReadFile(corr.PublicKey());
      EXPECT_EQ(files, 1u) << round;
    }
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(bank.Abonents()), fs::directory_iterator()), 5);
}

// ---- Secret keys ----------------------------------------------------------------------

// Every secret-key file the engine writes is readable by its owner only:
// generation (also over a file that allowed more), the regeneration's
// "sec.dat", and the installed pair.
TEST(SecretKeyFiles, AreTheOwnersAlone) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files get the user's default access";
#endif
  const fs::perms owner = fs::perms::owner_read | fs::perms::owner_write;
  const auto modeOf = [](const fs::path& p) { return fs::status(p).permissions() & fs::perms::all; };
  Medium client("Client");
  ASSERT_EQ(client.generated(), 0);
  EXPECT_EQ(modeOf(client.SecretKey()), owner);
  fs::permissions(client.SecretKey(), owner | fs::perms::group_read | fs::perms::others_read);
  ASSERT_EQ(GenerateNewSEK(client.engine()), DZ_OK);
  EXPECT_EQ(modeOf(client.SecretKey()), owner) << "generation over a readable file";

  const fs::path regen = client.dir() / "regen";
  fs::create_directories(regen);
  SetRemoteGeneratePath(client.engine(), regen.string().c_str());
  std::vector<char> transfer(kMaxTransfer + 1, 0);
  ASSERT_EQ(RemoteGenerateStart(client.engine(), transfer.data()), DZ_OK);
  EXPECT_EQ(modeOf(regen / "sec.dat"), owner);
  ASSERT_EQ(RemoteGenerateFinish(client.engine(), 0), DZ_OK);
  EXPECT_EQ(modeOf(client.SecretKey()), owner);
  EXPECT_EQ(modeOf(client.dir() / "old.sec"), owner);
}

// A secret key that does not belong to the public-key file beside it (one
// bit changed in either key, or another user's key) is refused with -12 when
// it is loaded: it signs and decrypts nothing.
TEST(SecretKeyFiles, ASecretKeyOfAnotherPairSignsNothing) {
  for (const char* algorithm : {"2001", "1994"}) {
    SCOPED_TRACE(algorithm);
    Medium alice("Alice", algorithm), bob("Bob", algorithm);
    ASSERT_EQ(alice.generated(), 0);
    ASSERT_EQ(bob.generated(), 0);
    const Bytes own = ReadFile(alice.SecretKey());
    Bytes signatureBit = own, exchangeBit = own;
    signatureBit[4 + 10] ^= 0x04;
    exchangeBit[36 + 17] ^= 0x20;
    Bytes block(600, 'd');
    int32_t blockSize = 64;
    ASSERT_EQ(EncodeData(alice.engine(), block.data(), &blockSize, "Alice"), DZ_OK);
    for (const Bytes& wrong : {signatureBit, exchangeBit, ReadFile(bob.SecretKey())}) {
      WriteFile(alice.SecretKey(), wrong);
      ClearCash(alice.engine());
      std::vector<char> signature(400, 'x');
      int32_t size = -7;
      EXPECT_EQ(SignData(alice.engine(), "data", 4, signature.data(), &size, 0), DZ_E_KEY_MISMATCH);
      EXPECT_EQ(size, -7);
      Bytes copy = block;
      int32_t copySize = blockSize;
      EXPECT_EQ(DecodeData(alice.engine(), copy.data(), &copySize, 0), DZ_E_KEY_MISMATCH);
    }
    WriteFile(alice.SecretKey(), own);
    ClearCash(alice.engine());
    EXPECT_EQ(Verified(alice, alice.engine()), DZ_OK);
  }
}

}  // namespace
