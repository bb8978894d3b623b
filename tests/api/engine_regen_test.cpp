// Local key generation and remote regeneration with the bank, through the
// exported functions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "dizora.h"
#include "transfer_media.h"

namespace {

using namespace transfer_test;

// " (dd-mm-yyyy hh-mm-ss)" of every second from `from` to `to`.
std::set<std::string> SuffixesBetween(std::time_t from, std::time_t to) {
  std::set<std::string> suffixes;
  for (std::time_t t = from; t <= to; ++t) {
    char text[64];
    std::strftime(text, sizeof text, " (%d-%m-%Y %H-%M-%S)", std::localtime(&t));
    suffixes.insert(text);
  }
  return suffixes;
}

// "Client (dd-mm-yyyy hh-mm-ss)": the base UID and one date suffix.
bool IsDatedClientUID(const std::string& uid) {
  const std::string shape = "Client (00-00-0000 00-00-00)";
  if (uid.size() != shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    const bool digit = uid[i] >= '0' && uid[i] <= '9';
    if (shape[i] == '0' ? !digit : uid[i] != shape[i]) return false;
  }
  return true;
}

std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReportOf(DizoraEngine e, const char* uid, int32_t* result) {
  std::vector<char> text(kMaxReport, 0);
  *result = GetReport(e, uid, text.data());
  return text.data();
}

// ---- Local generation ------------------------------------------------------------

// The key files themselves are read back by the key-record oracle; here the
// setting's blanks, the second name and the "Key gen" paths.
TEST(Generation, BothAlgorithmsAndTheSecondName) {
  Medium m("User2");
  ASSERT_EQ(m.generated(), 0);
  const fs::path pub = m.dir() / "gen.pub", sec = m.dir() / "gen.sec";
  m.Set(11, pub.string());
  m.Set(12, sec.string());
  struct Case {
    const char* setting;
    decltype(&GenerateNewSEK) generate;
    uint8_t algorithm;
  };
  for (const auto& [setting, generate, algorithm] : {Case{"  2001 ", GenerateNewSEK, 1}, Case{"1994", GenerateNewSSK, 0}}) {
    m.Set(9, setting);
    ASSERT_EQ(generate(m.engine()), 0) << setting;
    EXPECT_EQ(ReadFile(pub).at(6), algorithm) << setting;
    EXPECT_EQ(ReadFile(sec).at(0), algorithm) << setting;
  }
}

TEST(Generation, UnknownYearAndTimeOutSettings) {
  Medium m("User2");
  ASSERT_EQ(m.generated(), 0);
  const fs::path pub = m.dir() / "gen.pub";
  m.Set(11, pub.string());
  m.Set(12, (m.dir() / "gen.sec").string());
  for (const char* year : {"2002", "", "94", "2001x"}) {
    m.Set(9, year);
    EXPECT_EQ(GenerateNewSEK(m.engine()), -5) << year;
  }
  EXPECT_FALSE(fs::exists(pub));
  // Generation does not read the time-outs.
  m.Set(9, "2001");
  m.Set(7, "later");
  EXPECT_EQ(GenerateNewSEK(m.engine()), 0);
  EXPECT_TRUE(fs::exists(pub));
  EXPECT_EQ(GetRemoteGenType(m.engine()), 0);
}

// ---- Remote regeneration -----------------------------------------------------------

class Regeneration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(client.generated(), 0);
    ASSERT_EQ(bank.generated(), 0);
    client.Know(bank);
    bank.Know(client);
    regen = client.dir() / "regen";
    fs::create_directories(regen);
    SetRemoteGeneratePath(client.engine(), regen.string().c_str());
  }

  // StartEx without a UID; the transfer of the new key.
  std::string Start(int32_t expectedState = 1) {
    std::vector<char> transfer(kMaxTransfer + 1, 0);
    int32_t state = 0;
    EXPECT_EQ(RemoteGenerateStartEx(client.engine(), nullptr, transfer.data(), &state), 0);
    EXPECT_EQ(state, expectedState);
    return transfer.data();
  }

  // The bank takes the client's new key and answers with its own transfer of it.
  std::string BankAnswers(const std::string& transfer) {
    char uid[256] = {};
    EXPECT_EQ(GetUIDByPublicKeyTransfer(bank.engine(), transfer.c_str(), uid), 0);
    EXPECT_EQ(IncludePublicKeyTransfer(bank.engine(), transfer.c_str()), 0);
    return bank.Transfer(uid);
  }

  Medium client{"Client"};
  Medium bank{"Bank"};
  fs::path regen;
};

TEST_F(Regeneration, WholeExchangeWithTheBank) {
  const Bytes oldPub = ReadFile(client.PublicKey()), oldSec = ReadFile(client.SecretKey());
  const std::time_t before = std::time(nullptr);
  const std::string transfer = Start();
  const std::time_t after = std::time(nullptr);
  ASSERT_FALSE(transfer.empty());
  EXPECT_EQ(Entries(regen), (std::vector<std::string>{"new.pub", "sec.dat"}));

  // The pending key is reported without a UID; its UID carries the date.
  int32_t result = -1;
  const std::string pending = ReportOf(client.engine(), nullptr, &result);
  ASSERT_EQ(result, 0);
  std::vector<char> byFile(kMaxReport, 0);
  ASSERT_EQ(GetPublicKeyPropertiesByFile(client.engine(), (regen / "new.pub").string().c_str(),
                                         byFile.data()),
            0);
  EXPECT_EQ(pending, std::string(byFile.data()));
  const std::string uidLine = CrLfLines(pending)[0];
  ASSERT_EQ(uidLine.substr(0, 10), "UID=Client");
  const std::string newUID = uidLine.substr(4);
  EXPECT_TRUE(SuffixesBetween(before, after).count(newUID.substr(6))) << newUID;
  EXPECT_TRUE(IsDatedClientUID(newUID)) << newUID;
  // The transfer itself is signed with the current key and carries new.pub.
  EXPECT_EQ(client.CurrentUID(), "Client");

  const std::string answer = BankAnswers(transfer);
  ASSERT_FALSE(answer.empty());
  const Bytes newPub = ReadFile(regen / "new.pub");
  int32_t state = 0;
  ASSERT_EQ(RemoteGenerateFinishEx(client.engine(), answer.c_str(), &state), 0);
  EXPECT_EQ(state, 1);

  EXPECT_EQ(ReadFile(client.PublicKey()), newPub);
  EXPECT_EQ(ReadFile(client.dir() / "old.pub"), oldPub);
  EXPECT_EQ(ReadFile(client.dir() / "old.sec"), oldSec);
  const Bytes newSec = ReadFile(client.SecretKey());
  EXPECT_EQ(newSec.size(), 164u);
  EXPECT_NE(newSec, oldSec);
  EXPECT_TRUE(Entries(regen).empty());
  EXPECT_EQ(client.CurrentUID(), newUID);

  // The next signature is made with the new key and verifies at the bank.
  const char data[] = "first order after regeneration";
  std::vector<char> signature(GetMaxSignatureLength(client.engine()));
  int32_t signatureSize = 0;
  ASSERT_EQ(SignData(client.engine(), data, sizeof data, signature.data(), &signatureSize, 0), 0);
  char signer[256] = {};
  ASSERT_EQ(VerifyData(bank.engine(), data, sizeof data, signature.data(), signatureSize, signer), 0);
  EXPECT_EQ(std::string(signer), newUID);

  // The previous key is now one of the client's correspondents.
  const std::string previous = ReportOf(client.engine(), "Client", &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(CrLfLines(previous)[0], "UID=Client");
  bool found = false;
  for (const auto& entry : fs::directory_iterator(client.Abonents()))
    found = found || ReadFile(entry.path()) == oldPub;
  EXPECT_TRUE(found);
}

TEST_F(Regeneration, AnotherKeyInTheAnswerChangesNothing) {
  const Bytes oldPub = ReadFile(client.PublicKey()), oldSec = ReadFile(client.SecretKey());
  const std::string transfer = Start();
  ASSERT_FALSE(transfer.empty());
  BankAnswers(transfer);
  const Bytes newPub = ReadFile(regen / "new.pub"), sealed = ReadFile(regen / "sec.dat");

  std::vector<char> bankOwn(kMaxTransfer + 1, 0);
  ASSERT_EQ(ExcludeSelfPublicKeyTransfer(bank.engine(), bankOwn.data()), 0);
  int32_t state = 0;
  EXPECT_EQ(RemoteGenerateFinishEx(client.engine(), bankOwn.data(), &state), -27);
  EXPECT_EQ(state, 0);
  // The client's own earlier key, passed back by the bank, is another key too.
  EXPECT_EQ(RemoteGenerateFinishEx(client.engine(), bank.Transfer("Client").c_str(), &state), -27);

  // The pending record itself with one byte of a key changed: same UID, same
  // length, other content.
  for (const size_t at : {newPub.size() - 1, newPub.size() - 150}) {
    Bytes forged = newPub;
    forged[at] ^= 0x01;
    state = 0;
    EXPECT_EQ(RemoteGenerateFinishEx(client.engine(), bank.CraftTransfer(forged, "tran.pub").c_str(), &state),
              DZ_E_REGEN_KEY_MISMATCH)
        << "byte " << at;
    EXPECT_EQ(state, 0);
  }

  EXPECT_EQ(ReadFile(client.PublicKey()), oldPub);
  EXPECT_EQ(ReadFile(client.SecretKey()), oldSec);
  EXPECT_EQ(ReadFile(regen / "new.pub"), newPub);
  EXPECT_EQ(ReadFile(regen / "sec.dat"), sealed);
  EXPECT_FALSE(fs::exists(client.dir() / "old.pub"));
  EXPECT_EQ(client.CurrentUID(), "Client");
}

TEST_F(Regeneration, DirectoryAndStateRules) {
  // Idle: nothing pending.
  EXPECT_EQ(RemoteGenerateFinish(client.engine(), 0), -23);
  int32_t result = 0;
  ReportOf(client.engine(), nullptr, &result);
  EXPECT_EQ(result, -23);
  int32_t state = 0;
  EXPECT_EQ(RemoteGenerateFinishEx(client.engine(), bank.Transfer("Client").c_str(), &state), -23);
  EXPECT_EQ(state, 0);

  // No regeneration directory.
  SetRemoteGeneratePath(client.engine(), "");
  EXPECT_EQ(RemoteGenerateFinish(client.engine(), 0), -25);
  std::vector<char> transfer(kMaxTransfer + 1, 0);
  EXPECT_EQ(RemoteGenerateStart(client.engine(), transfer.data()), -25);
  SetRemoteGeneratePath(client.engine(), (client.dir() / "gone").string().c_str());
  EXPECT_EQ(RemoteGenerateStartEx(client.engine(), "X", transfer.data(), &state), -25);
  EXPECT_EQ(state, 0);
  EXPECT_EQ(RemoteGenerateFinish(client.engine(), 0), -25);
  SetRemoteGeneratePath(client.engine(), regen.string().c_str());

  // An unknown "Key gen - GOST" leaves the directory idle.
  client.Set(9, "2012");
  EXPECT_EQ(RemoteGenerateStartEx(client.engine(), nullptr, transfer.data(), &state), -5);
  EXPECT_TRUE(Entries(regen).empty());
  client.Set(9, "2001");

  // A null state is refused rather than written through.
  EXPECT_EQ(RemoteGenerateStartEx(client.engine(), nullptr, transfer.data(), nullptr), -4);
  EXPECT_EQ(RemoteGenerateFinishEx(client.engine(), "", nullptr), -4);
}

TEST(RegenerationWithoutKeys, StateTwoUnlessAskedToProceed) {
  Medium empty("Nobody");
  ASSERT_EQ(empty.generated(), 0);
  fs::remove(empty.SecretKey());
  const fs::path regen = empty.dir() / "regen";
  fs::create_directories(regen);
  SetRemoteGeneratePath(empty.engine(), regen.string().c_str());
  std::vector<char> transfer(kMaxTransfer + 1, 0);
  int32_t state = 0;
  EXPECT_EQ(RemoteGenerateStartEx(empty.engine(), nullptr, transfer.data(), &state), 0);
  EXPECT_EQ(state, 2);
  state = 0;
  EXPECT_EQ(RemoteGenerateFinishEx(empty.engine(), "garbage", &state), 0);
  EXPECT_EQ(state, 2);
  EXPECT_TRUE(Entries(regen).empty());
  state = 1;
  EXPECT_NE(RemoteGenerateStartEx(empty.engine(), nullptr, transfer.data(), &state), 0);
  EXPECT_EQ(state, 1);
  EXPECT_FALSE(fs::exists(regen / "new.sec"));
  EXPECT_FALSE(fs::exists(regen / "sec.dat"));
}

TEST_F(Regeneration, StartKeepsTheUIDAndAGivenUIDIsUsed) {
  std::vector<char> transfer(kMaxTransfer + 1, 0);
  ASSERT_EQ(RemoteGenerateStart(client.engine(), transfer.data()), 0);
  EXPECT_EQ(Entries(regen), (std::vector<std::string>{"new.pub", "sec.dat"}));
  char uid[256] = {};
  ASSERT_EQ(GetUIDByPublicKeyTransfer(bank.engine(), transfer.data(), uid), 0);
  EXPECT_STREQ(uid, "Client");

  // A second start replaces the pending pair.
  int32_t state = 0;
  ASSERT_EQ(RemoteGenerateStartEx(client.engine(), "Client Two", transfer.data(), &state), 0);
  EXPECT_EQ(state, 1);
  ASSERT_EQ(GetUIDByPublicKeyTransfer(bank.engine(), transfer.data(), uid), 0);
  EXPECT_STREQ(uid, "Client Two");
  EXPECT_EQ(Entries(regen), (std::vector<std::string>{"new.pub", "sec.dat"}));
  EXPECT_EQ(RemoteGenerateStartEx(client.engine(), std::string(255, 'u').c_str(), transfer.data(),
                                  &state),
            -7);

  // Finishing straight away (the host's own check done) installs the pair.
  EXPECT_EQ(RemoteGenerateFinish(client.engine(), 0), 0);
  EXPECT_EQ(client.CurrentUID(), "Client Two");
  EXPECT_TRUE(Entries(regen).empty());
}

// The new secret key is sealed for exactly the owner: a UID holding ';' is
// one recipient, never a list.
TEST(RegenerationSeal, OwnerUIDWithSemicolonIsOneRecipient) {
  const std::string uid = "Client;Branch 7";
  Medium owner(uid);
  ASSERT_EQ(owner.generated(), 0);
  const fs::path regen = owner.dir() / "regen";
  fs::create_directories(regen);
  SetRemoteGeneratePath(owner.engine(), regen.string().c_str());
  std::vector<char> transfer(kMaxTransfer, 0);
  ASSERT_EQ(RemoteGenerateStart(owner.engine(), transfer.data()), 0);

  Bytes sealed = ReadFile(regen / "sec.dat");
  const size_t entry = 8 + uid.size() + 1;  // count, method, sender UID and its zero
  ASSERT_GT(sealed.size(), entry + uid.size());
  EXPECT_EQ(Bytes(sealed.begin(), sealed.begin() + 4), Bytes({1, 0, 0, 0})) << "one recipient";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(sealed.data()) + entry), uid);
  int32_t size = static_cast<int32_t>(sealed.size());
  EXPECT_EQ(DecodeData(owner.engine(), sealed.data(), &size, 0), 0);
  EXPECT_EQ(size, 164);
}

// Data encrypted by `from` for the UID `to`, then decrypted by `reader`: the
// result of the decryption (or of the encryption when that failed).
int32_t EncryptedExchange(const Medium& from, const std::string& to, const Medium& reader) {
  Bytes data(200 + 1000, 0x5a);
  int32_t size = 200;
  const int32_t encrypted = EncodeData(from.engine(), data.data(), &size, to.c_str());
  if (encrypted != DZ_OK) return encrypted;
  return DecodeData(reader.engine(), data.data(), &size, 0);
}

// A key pair replaced behind the binding's back (another process finishing a
// regeneration) must never be mixed with what was derived from the previous
// one: the mutual keys cached with the old exchange key are not used with the
// new UID, in either direction.
TEST_F(Regeneration, APairReplacedByAnotherProcessIsNeverMixedWithTheOldOne) {
  client.Set(8, "0");  // the key files are read again at every use
  ASSERT_EQ(EncryptedExchange(client, "Bank", bank), DZ_OK);
  ASSERT_EQ(EncryptedExchange(bank, "Client", client), DZ_OK);

  Medium renewed{"Client (renewed)"};
  ASSERT_EQ(renewed.generated(), DZ_OK);
  bank.Know(renewed);
  WriteFile(client.PublicKey(), ReadFile(renewed.PublicKey()));
  WriteFile(client.SecretKey(), ReadFile(renewed.SecretKey()));

  Bytes data(64, 1), signature(400);
  int32_t signatureSize = static_cast<int32_t>(signature.size());
  ASSERT_EQ(SignData(client.engine(), data.data(), 64, signature.data(), &signatureSize, 0), DZ_OK);
  EXPECT_EQ(EncryptedExchange(client, "Bank", bank), DZ_OK);
  EXPECT_EQ(EncryptedExchange(bank, "Client (renewed)", client), DZ_OK);
}

TEST_F(Regeneration, SecondRegenerationReplacesTheOldFiles) {
  const Bytes firstPub = ReadFile(client.PublicKey());
  std::string answer = BankAnswers(Start());
  int32_t state = 0;
  ASSERT_EQ(RemoteGenerateFinishEx(client.engine(), answer.c_str(), &state), 0);
  const std::string firstUID = client.CurrentUID();
  const Bytes secondPub = ReadFile(client.PublicKey()), secondSec = ReadFile(client.SecretKey());
  EXPECT_EQ(ReadFile(client.dir() / "old.pub"), firstPub);

  answer = BankAnswers(Start());
  state = 0;
  ASSERT_EQ(RemoteGenerateFinishEx(client.engine(), answer.c_str(), &state), 0);
  EXPECT_EQ(ReadFile(client.dir() / "old.pub"), secondPub);
  EXPECT_EQ(ReadFile(client.dir() / "old.sec"), secondSec);
  // The earlier date suffix was replaced, not stacked.
  const std::string uid = client.CurrentUID();
  EXPECT_TRUE(IsDatedClientUID(uid)) << uid << " after " << firstUID;
}

TEST_F(Regeneration, DamagedSealedKeyLeavesTheWorkingPair) {
  const Bytes oldPub = ReadFile(client.PublicKey()), oldSec = ReadFile(client.SecretKey());
  const std::string answer = BankAnswers(Start());
  Bytes sealed = ReadFile(regen / "sec.dat");
  sealed[sealed.size() / 2] ^= 0x5A;
  WriteFile(regen / "sec.dat", sealed);
  int32_t state = 0;
  EXPECT_NE(RemoteGenerateFinishEx(client.engine(), answer.c_str(), &state), 0);
  EXPECT_EQ(ReadFile(client.PublicKey()), oldPub);
  EXPECT_EQ(ReadFile(client.SecretKey()), oldSec);
  EXPECT_EQ(Entries(regen), (std::vector<std::string>{"new.pub", "sec.dat"}));
}

// A start that fails (its files cannot be written, or the new key cannot be
// sealed) changes nothing: an earlier pending pair stays whole and finishes,
// and the new secret key is never on disk in clear.
TEST_F(Regeneration, FailedStartLeavesTheEarlierPendingPairWhole) {
  const std::string firstTransfer = Start();
  ASSERT_FALSE(firstTransfer.empty());
  const Bytes pendingPub = ReadFile(regen / "new.pub"), sealed = ReadFile(regen / "sec.dat");
  std::vector<char> transfer(kMaxTransfer + 1, 0);
  int32_t state = 0;
  client.Set(5, "x");  // "Encrypt Method" that the encryption refuses with -13
  EXPECT_EQ(RemoteGenerateStartEx(client.engine(), nullptr, transfer.data(), &state), -13);
  client.Set(5, "1");
  EXPECT_EQ(state, 0);
  EXPECT_EQ(Entries(regen), (std::vector<std::string>{"new.pub", "sec.dat"}));
  EXPECT_EQ(ReadFile(regen / "new.pub"), pendingPub);
  EXPECT_EQ(ReadFile(regen / "sec.dat"), sealed);
  ASSERT_EQ(RemoteGenerateFinishEx(client.engine(), BankAnswers(firstTransfer).c_str(), &state), 0);
  // The installed pair belongs together: the bank checks the next signature.
  const char data[] = "order";
  std::vector<char> signature(GetMaxSignatureLength(client.engine()));
  int32_t signatureSize = 0;
  ASSERT_EQ(SignData(client.engine(), data, sizeof data, signature.data(), &signatureSize, 0), 0);
  char signer[256] = {};
  EXPECT_EQ(VerifyData(bank.engine(), data, sizeof data, signature.data(), signatureSize, signer), 0);

  // "sec.dat" that is a directory: refused before anything is written.
  fs::create_directory(regen / "sec.dat");
  EXPECT_EQ(RemoteGenerateStartEx(client.engine(), "Other", transfer.data(), &state), -19);
  EXPECT_EQ(Entries(regen), (std::vector<std::string>{"sec.dat"}));
}

// An exception inside an operation gives -3 and names the operation in the
// last-error text; the files stay as they were.
class RaiseIn {
 public:
#ifdef _WIN32
  explicit RaiseIn(const char* operation) { _putenv_s("DZ_TEST_RAISE_IN", operation); }
  ~RaiseIn() { _putenv_s("DZ_TEST_RAISE_IN", ""); }
#else
  explicit RaiseIn(const char* operation) { setenv("DZ_TEST_RAISE_IN", operation, 1); }
  ~RaiseIn() { unsetenv("DZ_TEST_RAISE_IN"); }
#endif
  RaiseIn(const RaiseIn&) = delete;
  RaiseIn& operator=(const RaiseIn&) = delete;
};

std::string ErrorText(DizoraEngine e) {
  char text[256] = {};
  GetCryptoErrorString(e, -3, text);
  return text;
}

TEST_F(Regeneration, ExceptionsNameTheOperation) {
#ifndef DZ_TEST_SEAMS
  GTEST_SKIP() << "the fault seam is compiled into test builds only (-DDZ_TEST_SEAMS=ON)";
#endif
  const std::string expected = ": Exception: Fault raised for testing";
  std::vector<char> out(kMaxTransfer + 1, 0);
  {
    RaiseIn fault("InternalRemoteGenerateStart");
    EXPECT_EQ(RemoteGenerateStart(client.engine(), out.data()), -3);
    EXPECT_NE(ErrorText(client.engine()).find("TCryptoCEngine.InternalRemoteGenerateStart" + expected),
              std::string::npos);
    EXPECT_TRUE(Entries(regen).empty());
  }
  const std::string answer = BankAnswers(Start());
  const Bytes oldPub = ReadFile(client.PublicKey());
  {
    RaiseIn fault("RemoteGenerateFinish");
    int32_t state = 0;
    EXPECT_EQ(RemoteGenerateFinishEx(client.engine(), answer.c_str(), &state), -3);
    EXPECT_NE(ErrorText(client.engine()).find("TCryptoCEngine.RemoteGenerateFinish" + expected),
              std::string::npos);
    EXPECT_EQ(ReadFile(client.PublicKey()), oldPub);
    EXPECT_EQ(Entries(regen), (std::vector<std::string>{"new.pub", "sec.dat"}));
  }
  {
    RaiseIn fault("GenerateNewSEK");
    EXPECT_EQ(GenerateNewSEK(client.engine()), -3);
    EXPECT_NE(ErrorText(client.engine()).find("TCryptoCEngine.GenerateNewSEK" + expected),
              std::string::npos);
  }
  {
    RaiseIn fault("GetPublicKeyTransfer");
    EXPECT_EQ(GetPublicKeyTransfer(client.engine(), "Client", out.data()), -3);
    EXPECT_NE(ErrorText(client.engine()).find("TCryptoCEngine.GetPublicKeyTransfer" + expected),
              std::string::npos);
  }
  {
    RaiseIn fault("IncludePublicKeyTransfer");
    EXPECT_EQ(IncludePublicKeyTransfer(bank.engine(), bank.Transfer("Client").c_str()), -3);
    EXPECT_NE(ErrorText(bank.engine()).find("TCryptoCEngine.IncludePublicKeyTransfer" + expected),
              std::string::npos);
  }
  {
    RaiseIn fault("GetReport");
    std::vector<char> text(kMaxReport, 0);
    EXPECT_EQ(GetReport(client.engine(), "Client", text.data()), -3);
    EXPECT_NE(ErrorText(client.engine()).find("TCryptoCEngine.GetReport" + expected),
              std::string::npos);
  }
}

}  // namespace
