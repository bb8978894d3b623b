// Public-key transfers and key reports, through the exported functions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dizora.h"
#include "transfer_media.h"

namespace {

using namespace transfer_test;

std::string Hex(const uint8_t* bytes, size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

// The hexadecimal digits of dump lines, separators removed.
std::string DumpDigits(const std::vector<std::string>& lines, size_t first, size_t count) {
  std::string digits;
  for (size_t i = first; i < first + count; ++i)
    for (char c : lines[i])
      if (c != ' ') digits += c;
  return digits;
}

std::string Report(DizoraEngine e, const char* uid, int32_t* result) {
  std::vector<char> text(kMaxReport, '\x7f');
  *result = GetReport(e, uid, text.data());
  return *result == 0 ? std::string(text.data()) : std::string();
}

// The bank passes Carol's key to Alice; Alice, who knows the bank, includes it
// and can then check Carol's signatures.
TEST(Transfer, IncludedOnAnotherMediumCarriesTheKey) {
  Medium bank("Bank"), alice("Alice"), carol("Carol");
  ASSERT_EQ(bank.generated(), 0);
  ASSERT_EQ(alice.generated(), 0);
  ASSERT_EQ(carol.generated(), 0);
  bank.Know(carol);
  alice.Know(bank);

  const std::string transfer = bank.Transfer("Carol");
  ASSERT_FALSE(transfer.empty());
  char uid[256] = {};
  ASSERT_EQ(GetUIDByPublicKeyTransfer(alice.engine(), transfer.c_str(), uid), 0);
  EXPECT_STREQ(uid, "Carol");
  ASSERT_EQ(IncludePublicKeyTransfer(alice.engine(), transfer.c_str()), 0);
  EXPECT_EQ(ReadFile(alice.Abonents() / "Carol.pub"), ReadFile(carol.PublicKey()));

  const char data[] = "payment order 42";
  std::vector<char> signature(GetMaxSignatureLength(carol.engine()));
  int32_t signatureSize = 0;
  ASSERT_EQ(SignData(carol.engine(), data, sizeof data, signature.data(), &signatureSize, 0), 0);
  ASSERT_EQ(VerifyData(alice.engine(), data, sizeof data, signature.data(), signatureSize, uid), 0);
  EXPECT_STREQ(uid, "Carol");
}

TEST(Transfer, UnknownSignerIsNotAccepted) {
  Medium bank("Bank"), alice("Alice");
  ASSERT_EQ(bank.generated(), 0);
  ASSERT_EQ(alice.generated(), 0);
  const std::string transfer = bank.Transfer("Bank");
  ASSERT_FALSE(transfer.empty());
  EXPECT_NE(IncludePublicKeyTransfer(alice.engine(), transfer.c_str()), 0);
  EXPECT_FALSE(fs::exists(alice.Abonents() / "Bank.pub"));
}

TEST(Transfer, ChangedCharacterNeverOpens) {
  Medium alice("Alice");
  ASSERT_EQ(alice.generated(), 0);
  const std::string transfer = alice.Transfer("Alice");
  ASSERT_GT(transfer.size(), 16u);
  char uid[256];
  ASSERT_EQ(GetUIDByPublicKeyTransfer(alice.engine(), transfer.c_str(), uid), 0);

  // Every position near both ends (trailer, padding bits, name) and a spread
  // of positions in between; each replaced by a neighbouring alphabet
  // character, by a character outside the alphabet and by "=".
  std::vector<size_t> positions;
  for (size_t i = 0; i < transfer.size(); ++i)
    if (i < 8 || i + 12 >= transfer.size() || i % 37 == 0) positions.push_back(i);
  for (size_t i : positions) {
    for (char replacement : {static_cast<char>(transfer[i] == 'A' ? 'B' : 'A'),
                             static_cast<char>(transfer[i] + 1), '!', '='}) {
      if (replacement == transfer[i]) continue;
      std::string changed = transfer;
      changed[i] = replacement;
      EXPECT_NE(GetUIDByPublicKeyTransfer(alice.engine(), changed.c_str(), uid), 0)
          << "position " << i << " as '" << replacement << "'";
    }
  }
  // The padding character's neighbour carries spare bits: any value of them
  // must be refused as well.
  const size_t last = transfer.find_last_not_of('=');
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (const char* c = kAlphabet; *c; ++c) {
    if (*c == transfer[last]) continue;
    std::string changed = transfer;
    changed[last] = *c;
    EXPECT_NE(GetUIDByPublicKeyTransfer(alice.engine(), changed.c_str(), uid), 0) << *c;
  }
}

TEST(Transfer, MalformedTextsAndArguments) {
  Medium alice("Alice");
  ASSERT_EQ(alice.generated(), 0);
  DizoraEngine e = alice.engine();
  char uid[256];
  char report[kMaxReport];
  std::vector<char> out(kMaxTransfer + 1);
  EXPECT_EQ(GetUIDByPublicKeyTransfer(e, "", uid), -4);
  EXPECT_EQ(GetUIDByPublicKeyTransfer(e, nullptr, uid), -4);
  EXPECT_EQ(GetUIDByPublicKeyTransfer(e, "abc", uid), -4);
  EXPECT_EQ(GetUIDByPublicKeyTransfer(e, "====", uid), -4);
  const std::string transfer = alice.Transfer("Alice");
  EXPECT_EQ(GetUIDByPublicKeyTransfer(e, transfer.c_str(), nullptr), -4);
  EXPECT_EQ(GetPublicKeyPropertiesByTransfer(e, transfer.c_str(), nullptr), -4);
  EXPECT_EQ(IncludePublicKeyTransfer(e, "QUJD"), -14);  // "ABC": no trailer
  EXPECT_EQ(SavePublicKeyFromTransfer(e, nullptr, transfer.c_str()), -4);
  EXPECT_EQ(SavePublicKeyFromTransfer(e, (alice.dir() / "missing").string().c_str(),
                                      transfer.c_str()),
            -19);
  EXPECT_EQ(GetPublicKeyPropertiesByTransfer(e, "", report), -4);

  EXPECT_EQ(GetPublicKeyTransfer(e, "", out.data()), -7);
  EXPECT_EQ(GetPublicKeyTransfer(e, nullptr, out.data()), -7);
  EXPECT_EQ(GetPublicKeyTransfer(e, std::string(255, 'u').c_str(), out.data()), -7);
  EXPECT_EQ(GetPublicKeyTransfer(e, "Nobody", out.data()), -11);
  EXPECT_EQ(GetPublicKeyTransferByFile(e, out.data(), (alice.dir() / "none.pub").string().c_str()),
            -19);
  WriteFile(alice.dir() / "long.pub", Bytes(516, 'a'));
  EXPECT_EQ(GetPublicKeyTransferByFile(e, out.data(), (alice.dir() / "long.pub").string().c_str()),
            -19);

  // A non-integer time-out stops the operations that read the key settings.
  alice.Set(7, "soon");
  EXPECT_EQ(GetPublicKeyTransfer(e, "Alice", out.data()), -13);
  EXPECT_EQ(IncludePublicKeyTransfer(e, transfer.c_str()), -13);
  int32_t result = 0;
  Report(e, "Alice", &result);
  EXPECT_EQ(result, -13);
}

// A signed transfer whose name tries to leave the directory still lands in it.
TEST(Transfer, SavedNameNeverLeavesTheDirectory) {
  Medium alice("Alice");
  ASSERT_EQ(alice.generated(), 0);
  const Bytes record = ReadFile(alice.PublicKey());
  const fs::path box = alice.dir() / "box" / "inner";
  const fs::path outside = alice.dir() / "outside";
  fs::create_directories(box);
  fs::create_directories(outside);
  const std::string absolute = (outside / "abs.pub").string();

  struct Case {
    std::string name;
    std::string expected;
  };
  for (const Case& c : {Case{"../x.pub", "x.pub"}, Case{absolute, "abs.pub"},
                        Case{"a\\..\\b.pub", "b.pub"}, Case{"c:up.pub", "up.pub"}}) {
    const std::string transfer = alice.CraftTransfer(record, c.name);
    ASSERT_EQ(SavePublicKeyFromTransfer(alice.engine(), box.string().c_str(), transfer.c_str()), 0)
        << c.name;
    EXPECT_EQ(ReadFile(box / c.expected), record) << c.name;
  }
  EXPECT_FALSE(fs::exists(box.parent_path() / "x.pub"));
  EXPECT_FALSE(fs::exists(outside / "abs.pub"));
  EXPECT_FALSE(fs::exists(box.parent_path() / "b.pub"));

  for (const std::string name : {"", ".", "..", "sub/", "a/.."}) {
    const std::string transfer = alice.CraftTransfer(record, name);
    EXPECT_EQ(SavePublicKeyFromTransfer(alice.engine(), box.string().c_str(), transfer.c_str()), -19)
        << name;
  }
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(box)) ++entries;
  EXPECT_EQ(entries, 4u);
}

TEST(Transfer, RecordLengthAndDataPartAreChecked) {
  Medium alice("Alice");
  ASSERT_EQ(alice.generated(), 0);
  const Bytes record = ReadFile(alice.PublicKey());
  char uid[256];
  EXPECT_EQ(GetUIDByPublicKeyTransfer(alice.engine(),
                                      alice.CraftTransfer(record, "tran.pub", 516).c_str(), uid),
            -4);
  EXPECT_EQ(GetUIDByPublicKeyTransfer(alice.engine(),
                                      alice.CraftTransfer(record, "tran.pub", -1000).c_str(), uid),
            -4);
  EXPECT_EQ(GetUIDByPublicKeyTransfer(alice.engine(),
                                      alice.CraftTransfer(record, "tran.pub", 0).c_str(), uid),
            -4);
  // A correctly signed data part that is too short for a transfer record.
  Bytes shortData(100, 'z');
  shortData.resize(100 + 323);
  int32_t size = 100;
  ASSERT_EQ(AddSign(alice.engine(), shortData.data(), &size, 0), 0);
  shortData.resize(static_cast<size_t>(size));
  EXPECT_EQ(GetUIDByPublicKeyTransfer(alice.engine(), Base64(shortData).c_str(), uid), -4);
}

// A transfer carries exactly a public-key record; a valid record padded with
// zeros, cut short or of an unknown algorithm is refused by every function
// that opens a transfer, and nothing is written.
TEST(Transfer, OnlyExactPublicKeyRecordsAreCarried) {
  Medium bank("Bank"), alice("Alice");
  ASSERT_EQ(bank.generated(), 0);
  ASSERT_EQ(alice.generated(), 0);
  alice.Know(bank);
  const Bytes good = ReadFile(bank.PublicKey());
  Bytes padded = good;
  padded.resize(515, 0);
  Bytes algorithm2 = good;
  algorithm2[5] = 2;
  const fs::path saved = alice.dir() / "saved";
  fs::create_directories(saved);
  for (const Bytes& record : {padded, Bytes(good.begin(), good.end() - 1), algorithm2}) {
    const std::string transfer = bank.CraftTransfer(record, "tran.pub");
    char uid[256] = {};
    std::vector<char> report(kMaxReport, 0);
    EXPECT_EQ(GetUIDByPublicKeyTransfer(alice.engine(), transfer.c_str(), uid), DZ_E_PUBLIC_KEY);
    EXPECT_EQ(IncludePublicKeyTransfer(alice.engine(), transfer.c_str()), DZ_E_PUBLIC_KEY);
    EXPECT_EQ(SavePublicKeyFromTransfer(alice.engine(), saved.string().c_str(), transfer.c_str()),
              DZ_E_PUBLIC_KEY);
    EXPECT_EQ(GetPublicKeyPropertiesByTransfer(alice.engine(), transfer.c_str(), report.data()), DZ_E_PUBLIC_KEY);
  }
  EXPECT_TRUE(fs::is_empty(saved));
  EXPECT_EQ(ReadFile(alice.Abonents() / "Bank.pub"), good) << "the good key was replaced";
}

// The longest UID (254 characters) in the largest record (515 bytes): its
// transfer names the whole UID.
TEST(Transfer, LongestUIDIsReturnedWhole) {
  const std::string longest(254, 'L');
  Medium holder(longest, "1994");
  ASSERT_EQ(holder.generated(), 0);
  ASSERT_EQ(ReadFile(holder.PublicKey()).size(), 515u);
  char uid[256];
  std::memset(uid, 'x', sizeof uid);
  ASSERT_EQ(GetUIDByPublicKeyTransfer(holder.engine(), holder.Transfer(longest).c_str(), uid), DZ_OK);
  EXPECT_EQ(std::string(uid), longest);
}

// ---- Reports -------------------------------------------------------------------

TEST(Report, Gost2001RecordLineByLine) {
  Medium alice("Alice", "2001");
  ASSERT_EQ(alice.generated(), 0);
  const Bytes record = ReadFile(alice.PublicKey());
  ASSERT_EQ(record.size(), 5u + 1 + 4 + 100 + 128);
  int32_t result = -1;
  const std::string text = Report(alice.engine(), "Alice", &result);
  ASSERT_EQ(result, 0);

  const std::vector<std::string> lines = CrLfLines(text);
  ASSERT_EQ(lines.size(), 19u) << text;
  EXPECT_EQ(lines[0], "UID=Alice");
  EXPECT_EQ(lines[1], "PKeyAlg=\xC3\xCE\xD1\xD2 P34.10 - 2001");
  EXPECT_EQ(lines[2], "SPKey=");
  for (size_t i = 3; i < 6; ++i) EXPECT_EQ(lines[i].size(), 45u) << i;
  EXPECT_EQ(lines[6].size(), 25u);
  EXPECT_EQ(lines[6].back(), ' ');
  EXPECT_EQ(lines[7], "");
  EXPECT_EQ(lines[8], "EPKey=");
  for (size_t i = 9; i < 16; ++i) EXPECT_EQ(lines[i].size(), 45u) << i;
  EXPECT_EQ(lines[16].size(), 5u);
  EXPECT_EQ(lines[17], "");
  EXPECT_EQ(lines[18], "");
  EXPECT_EQ(lines[3].substr(0, 10), Hex(record.data() + 10, 2) + " " + Hex(record.data() + 12, 2) + " ");
  EXPECT_EQ(DumpDigits(lines, 3, 4), Hex(record.data() + 10, 64));
  EXPECT_EQ(DumpDigits(lines, 9, 8), Hex(record.data() + 110, 128));
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
    EXPECT_EQ(text[at - 1], '\r');

  // The same text through the second name, the file and a transfer.
  std::vector<char> other(kMaxReport, 0);
  ASSERT_EQ(GetPublicKeyProperties(alice.engine(), "Alice", other.data()), 0);
  EXPECT_EQ(std::string(other.data()), text);
  ASSERT_EQ(GetPublicKeyPropertiesByFile(alice.engine(), alice.PublicKey().string().c_str(),
                                         other.data()),
            0);
  EXPECT_EQ(std::string(other.data()), text);
  const std::string transfer = alice.Transfer("Alice");
  ASSERT_EQ(GetPublicKeyPropertiesByTransfer(alice.engine(), transfer.c_str(), other.data()), 0);
  EXPECT_EQ(std::string(other.data()), text);
}

TEST(Report, Gost1994RecordShowsTheWholeSignatureKey) {
  Medium alice("Alice", "1994");
  ASSERT_EQ(alice.generated(), 0);
  const Bytes record = ReadFile(alice.PublicKey());
  ASSERT_EQ(record.size(), 5u + 1 + 4 + 128 + 128);
  int32_t result = -1;
  const std::vector<std::string> lines = CrLfLines(Report(alice.engine(), "Alice", &result));
  ASSERT_EQ(result, 0);
  ASSERT_EQ(lines.size(), 23u);
  EXPECT_EQ(lines[1], "PKeyAlg=\xC3\xCE\xD1\xD2 P34.10 - 1994");
  EXPECT_EQ(lines[2], "SPKey=");
  EXPECT_EQ(lines[10].size(), 5u);
  EXPECT_EQ(DumpDigits(lines, 3, 8), Hex(record.data() + 10, 128));
  EXPECT_EQ(lines[11], "");
  EXPECT_EQ(lines[12], "EPKey=");
  EXPECT_EQ(DumpDigits(lines, 13, 8), Hex(record.data() + 138, 128));
}

TEST(Report, DamagedRecordsAreRefused) {
  Medium alice("Alice");
  ASSERT_EQ(alice.generated(), 0);
  DizoraEngine e = alice.engine();
  const Bytes good = ReadFile(alice.PublicKey());
  std::vector<char> text(kMaxReport, 0);
  const auto reportOf = [&](const Bytes& bytes) {
    const fs::path path = alice.dir() / "probe.pub";
    WriteFile(path, bytes);
    return GetPublicKeyPropertiesByFile(e, path.string().c_str(), text.data());
  };
  Bytes algorithm7 = good;
  algorithm7[6] = 7;
  EXPECT_EQ(reportOf(algorithm7), -11);
  Bytes emptyUID = good;
  emptyUID[0] = 0;
  EXPECT_EQ(reportOf(emptyUID), -11);
  EXPECT_EQ(reportOf(Bytes(300, 'a')), -11);  // no UID terminator
  Bytes longUID(255, 'u');
  longUID.push_back(0);
  longUID.resize(515, 0);
  EXPECT_EQ(reportOf(longUID), -11);
  EXPECT_EQ(reportOf(Bytes(good.begin(), good.end() - 1)), -11);  // exchange key cut short
  EXPECT_EQ(reportOf(Bytes(516, 'a')), -19);
  EXPECT_EQ(GetPublicKeyPropertiesByFile(e, (alice.dir() / "none.pub").string().c_str(),
                                         text.data()),
            -19);
  EXPECT_EQ(reportOf(good), 0);
  int32_t result = 0;
  Report(e, "Nobody", &result);
  EXPECT_EQ(result, -11);
}

TEST(Report, WithoutUIDNeedsARegenerationDirectory) {
  Medium alice("Alice");
  ASSERT_EQ(alice.generated(), 0);
  int32_t result = 0;
  Report(alice.engine(), nullptr, &result);
  EXPECT_EQ(result, -22);
  Report(alice.engine(), "", &result);
  EXPECT_EQ(result, -22);
  SetRemoteGeneratePath(alice.engine(), (alice.dir() / "no-such-dir").string().c_str());
  Report(alice.engine(), nullptr, &result);
  EXPECT_EQ(result, -22);
  fs::create_directories(alice.dir() / "regen");
  SetRemoteGeneratePath(alice.engine(), (alice.dir() / "regen").string().c_str());
  Report(alice.engine(), nullptr, &result);
  EXPECT_EQ(result, -23);
}

}  // namespace
