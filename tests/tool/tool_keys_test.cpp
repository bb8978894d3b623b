// keygen, key ..., medium init|check, regen: keys kept safe, damaged files
// named, transfers naming their signer, UIDs escaped and in Windows-1251.
#include "tool_runner.h"

namespace tool_test {
namespace {

TEST_F(ToolTest, KeygenProtectsAnExistingKeyPair) {
  MakeMedium("alice", "Alice");
  EXPECT_EQ(On("alice", {"whoami"}).out, "Alice\n");
  EXPECT_TRUE(OwnerOnly(Path("alice/self.sec")));
  const std::string secret = ReadText(Path("alice/self.sec"));
  Result r = On("alice", {"keygen", "--self", "--uid", "Mallory"});
  EXPECT_TRUE(Failed(r, 4, "already exists (give --force to replace it)"));
  EXPECT_EQ(ReadText(Path("alice/self.sec")), secret);
  EXPECT_EQ(On("alice", {"keygen", "--pub", "same", "--sec", "same"}).rc, 2);
  EXPECT_TRUE(Failed(On("alice", {"keygen", "--pub", "alice/ABONENTS/x.pub", "--sec", "x.sec"}), 4,
                     "it lies in the correspondents' directory"));

  ASSERT_EQ(On("alice", {"keygen", "--self", "--uid", "Alice2", "--force", "--alg", "1994"}).rc, 0);
  const Json j = JsonOf(On("alice", {"whoami", "--json"}));
  EXPECT_EQ(j["uid"].text, "Alice2");
  EXPECT_EQ(j["algorithm"].text, "GOST R 34.10-94");
  EXPECT_EQ(j["fingerprint"].text.size(), 19u);
  // Default outputs come from the settings: new.pub and new.sec in the medium.
  ASSERT_EQ(On("alice", {"keygen", "--uid", "Пётр"}).rc, 0);
  EXPECT_TRUE(Contains(On("alice", {"key", "report", "--file", "alice/new.pub"}).out, "UID=Пётр\n"));

  fs::create_directories(Path("empty"));
  EXPECT_TRUE(Failed(On("empty", {"whoami"}), 3, "the medium's public key", "cannot read"));
}

TEST_F(ToolTest, IncludeKeepsTheSourceAndRefusesWhatIsNoKey) {
  MakeMedium("alice", "Alice");
  MakeMedium("bank", "Банк");
  fs::copy_file(Path("bank/self.pub"), Path("bank.pub"));
  Result r = On("alice", {"key", "include", "bank.pub"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_TRUE(Contains(r.out, "included the key of Банк (GOST R 34.10-2001, fingerprint ")) << r;
  EXPECT_EQ(ReadText(Path("bank.pub")), ReadText(Path("bank/self.pub")));
  EXPECT_EQ(Entries("alice/ABONENTS").size(), 1u);

  std::string padded = ReadText(Path("bank.pub"));
  padded.resize(515, '\0');
  const std::vector<std::pair<std::string, std::string>> not_keys = {
      {"hello.txt", "hello\n"}, {"secret.pub", ReadText(Path("bank/self.sec"))}, {"padded.pub", padded}, {"empty.pub", ""}};
  for (const auto& [name, content] : not_keys) {
    WriteText(Path(name), content);
    EXPECT_TRUE(Failed(On("alice", {"key", "include", name}), 4, "\"" + name + "\" is not a public-key record: "));
    EXPECT_EQ(ReadText(Path(name)), content);
  }
  EXPECT_TRUE(Failed(On("alice", {"key", "include", "alice/self.pub"}), 5, "-20: "));
  EXPECT_EQ(Entries("alice/ABONENTS").size(), 1u);
  // ABONENTS, CA, self.pub, self.sec and the medium's lock file: nothing left behind
  EXPECT_EQ(Entries("alice"), AsEntries({".dizora.lock", "ABONENTS", "CA", "self.pub", "self.sec"}));

  // The report of a Cyrillic UID, in UTF-8 with LF lines, and as JSON.
  r = On("alice", {"key", "report", "Банк"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(r.out.rfind("UID=Банк\nPKeyAlg=ГОСТ P34.10 - 2001\nSPKey=\n", 0), 0u) << r;
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
  const Json j = JsonOf(On("alice", {"key", "report", "Банк", "--json"}));
  EXPECT_EQ(j["uid"].text, "Банк");
  EXPECT_EQ(j["signature_key"].text.size(), 128u);
  EXPECT_EQ(j["exchange_key"].text.size(), 256u);

  EXPECT_EQ(On("alice", {"key", "refresh", "Банк"}).rc, 0);
  EXPECT_EQ(On("alice", {"key", "remove", "Банк"}).rc, 0);
  EXPECT_TRUE(Entries("alice/ABONENTS").empty());
  EXPECT_TRUE(Failed(On("alice", {"key", "report", "Банк"}), 3, "no public key of \"Банк\""));
}

TEST_F(ToolTest, KeyListAndMediumCheckNameDamagedFiles) {
  TwoParties();
  WriteText(Path("order.txt"), "pay 100\n");
  ASSERT_EQ(On("alice", {"sign", "order.txt"}).rc, 0);
  Result r = On("bank", {"medium", "check"});
  EXPECT_EQ(r.rc, 0) << r;

  std::string wrong_algorithm = ReadText(Path("alice/self.pub"));
  wrong_algorithm[6] = 7;  // "Alice", zero, then the algorithm word
  const std::vector<std::pair<std::string, std::string>> damaged = {
      {"empty.pub", ""},
      {"junk.pub", "junk"},
      {"wrong.pub", wrong_algorithm},
      {"long.pub", ReadText(Path("alice/self.pub")) + "x"},
  };
  for (const auto& [name, content] : damaged) WriteText(Path("bank/ABONENTS/" + name), content);
  const Json list = JsonOf(On("bank", {"key", "list", "--json"}));
  ASSERT_EQ(list["keys"].items.size(), 1u);
  EXPECT_EQ(list["keys"].items[0]["uid"].text, "Alice");
  EXPECT_EQ(list["keys"].items[0]["file"].text, Native("ABONENTS/Alice.pub"));
  std::string reasons;
  for (const Json& d : list["damaged"].items) reasons += d["file"].text + ": " + d["reason"].text + "\n";
  EXPECT_EQ(reasons, Native("ABONENTS/empty.pub") + ": empty\n" + Native("ABONENTS/junk.pub") +
                         ": 4 bytes: no zero byte after the UID\n" + Native("ABONENTS/long.pub") +
                         ": 239 bytes; a GOST R 34.10-2001 key with this UID takes 238\n" +
                         Native("ABONENTS/wrong.pub") + ": unknown algorithm word 7\n");
  EXPECT_TRUE(Contains(On("bank", {"key", "list"}).out,
                       "damaged  " + Native("ABONENTS/junk.pub") + ": 4 bytes: no zero byte after the UID"));

  // One damaged file fails the engine's first key lookup of every run: the
  // tool names the file and points to the check.
  r = On("bank", {"verify", "order.txt", "order.txt.sig"});
  EXPECT_TRUE(Failed(r, 3, "signed by \"Alice\"; damaged files in the correspondents' directory"));
  EXPECT_TRUE(Contains(r.err, "\"" + Native("ABONENTS/empty.pub") + "\" (empty)")) << r;
  EXPECT_TRUE(Contains(r.err, "see: dizora medium check")) << r;
  r = On("bank", {"medium", "check"});
  EXPECT_EQ(r.rc, 3) << r;
  for (const auto& [name, content] : damaged) EXPECT_TRUE(Contains(r.out, "FAIL  damaged key file") && Contains(r.out, name)) << r;

  for (const auto& [name, content] : damaged) fs::remove(Path("bank/ABONENTS/" + name));
  EXPECT_EQ(On("bank", {"verify", "order.txt", "order.txt.sig"}).rc, 0);
  if (!kWindows) {
    fs::permissions(Path("bank/self.sec"), fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
    r = On("bank", {"medium", "check"});
    EXPECT_EQ(r.rc, 4) << r;
    EXPECT_TRUE(Contains(r.out, "may be read by others (mode 0644)")) << r;
  }
  // A secret key that does not belong to the public key beside it.
  fs::remove(Path("bank/self.sec"));
  fs::copy_file(Path("alice/self.sec"), Path("bank/self.sec"));
  r = On("bank", {"medium", "check"});
  EXPECT_EQ(r.rc, 3) << r;
  EXPECT_TRUE(Contains(r.out, "FAIL  the secret key does not work with the public key")) << r;
}

TEST_F(ToolTest, TransfersNameTheirSigner) {
  TwoParties();
  MakeMedium("carol", "Carol");
  Register("bank", "carol");
  const std::string transfer = On("bank", {"key", "export", "Carol"}).out;
  WriteText(Path("carol.tr"), transfer);
  std::string wrapped;  // as mail programs send it
  for (size_t i = 0; i < transfer.size(); i += 64) wrapped += transfer.substr(i, 64) + "\r\n";
  EXPECT_EQ(On("alice", {"key", "uid", "-"}, wrapped).out, "Carol\n");

  Result r = On("alice", {"key", "import", "carol.tr", "--from", "Carol"});
  EXPECT_TRUE(Failed(r, 1, "signed by \"Bank\", not by \"Carol\""));
  r = On("alice", {"key", "import", "carol.tr", "--from", "Bank"});
  EXPECT_EQ(r.rc, 0) << r;
  EXPECT_EQ(r.out, "included the key of Carol, signed by Bank\n");
  EXPECT_TRUE(Failed(On("carol", {"key", "import", "carol.tr"}), 3, "signed by \"Bank\"; no public key of \"Bank\"",
                     "key include"));
  EXPECT_TRUE(Failed(On("alice", {"key", "import", "carol.tx"}), 4,
                     "cannot read \"carol.tx\": No such file or directory"));
  std::string changed = transfer;
  changed[40] = changed[40] == 'A' ? 'B' : 'A';
  EXPECT_EQ(On("alice", {"key", "import", changed}).rc, 1);

  fs::create_directories(Path("saved"));
  r = On("alice", {"key", "save", "saved", "carol.tr"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(ReadText(Path("saved/tran.pub")), ReadText(Path("carol/self.pub")));
  EXPECT_EQ(On("alice", {"key", "save", "saved", "carol.tr"}).rc, 4);
  EXPECT_EQ(On("alice", {"key", "save", "saved", "carol.tr", "--force"}).rc, 0);
  EXPECT_EQ(On("alice", {"key", "save", "alice/ABONENTS", "carol.tr", "--force"}).rc, 4);
  EXPECT_EQ(Entries("saved"), std::vector<std::string>{"tran.pub"});
}

TEST_F(ToolTest, RegenerationWithTheBank) {
  TwoParties();
  WriteText(Path("order.txt"), "pay 100\n");
  ASSERT_EQ(On("alice", {"sign", "order.txt", "-o", "old.sig"}).rc, 0);
  Result r = On("alice", {"regen", "start"});
  ASSERT_EQ(r.rc, 0) << r;
  WriteText(Path("start.tr"), r.out);
  EXPECT_EQ(Entries("alice/REGEN"), (std::vector<std::string>{"new.pub", "sec.dat"}));
  EXPECT_TRUE(Failed(On("alice", {"regen", "start"}), 4, "a regeneration is already pending"));
  // The user's own request given by mistake instead of the bank's answer.
  EXPECT_TRUE(Failed(On("alice", {"regen", "finish", "start.tr"}), 1, "signed by the medium's own key (\"Alice\")"));

  r = On("bank", {"key", "import", "start.tr"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_TRUE(Contains(r.out, ", signed by Alice\n")) << r;
  const std::string new_uid = On("bank", {"key", "uid", "start.tr"}).out.substr(0, 5 + 22);
  WriteText(Path("wrong.tr"), On("bank", {"key", "export"}).out);
  EXPECT_TRUE(Failed(On("alice", {"regen", "finish", "wrong.tr"}), 1,
                     "carries the key of \"Bank\", not the pending one"));
  EXPECT_EQ(On("alice", {"whoami"}).out, "Alice\n");

  r = On("alice", {"regen", "finish", "-", "--from", "Bank"}, On("bank", {"key", "export", new_uid}).out);
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(r.out, "new key pair installed: " + new_uid + " (the answer was signed by Bank)\n");
  EXPECT_EQ(On("alice", {"whoami"}).out, new_uid + "\n");
  EXPECT_TRUE(Entries("alice/REGEN").empty());
  EXPECT_TRUE(OwnerOnly(Path("alice/self.sec")) && OwnerOnly(Path("alice/old.sec")));
  ASSERT_EQ(On("alice", {"sign", "order.txt", "-o", "new.sig"}).rc, 0);
  EXPECT_EQ(On("bank", {"verify", "order.txt", "new.sig"}).out, "good signature of order.txt by " + new_uid + "\n");
  EXPECT_EQ(On("bank", {"verify", "order.txt", "old.sig"}).out, "good signature of order.txt by Alice\n");
  EXPECT_EQ(On("alice", {"regen", "finish", "start.tr"}).rc, 3);  // nothing is pending any more
}

// A UID with terminal escapes must not rewrite what the user sees; a Cyrillic
// UID from the command line reaches the key file in Windows-1251.
TEST_F(ToolTest, UidsAreEscapedAndKeptInWindows1251) {
  const std::string forged = "Mallory\x1b[2K\rgood signature of order.txt by Bank";
  MakeMedium("bank", "Bank");
  MakeMedium("mallory", forged);
  Register("bank", "mallory");
  WriteText(Path("order.txt"), "pay 100\n");
  ASSERT_EQ(On("mallory", {"sign", "order.txt"}).rc, 0);
  Result r = On("bank", {"verify", "order.txt", "order.txt.sig", "--signer", "Bank"});
  EXPECT_TRUE(Failed(r, 1, "signed by \"Mallory\\x1B[2K\\x0Dgood signature"));
  r = On("bank", {"key", "list"});
  EXPECT_TRUE(Contains(r.out, "Mallory\\x1B[2K\\x0Dgood")) << r;
  for (const Result& shown : {r, On("bank", {"verify", "order.txt", "order.txt.sig"})})
    EXPECT_EQ((shown.out + shown.err).find_first_of("\x1b\r"), std::string::npos) << shown;
  EXPECT_EQ(JsonOf(On("bank", {"key", "list", "--json"}))["keys"].items[0]["uid"].text, forged);

  MakeMedium("client", "Клиент");
  EXPECT_EQ(ReadText(Path("client/self.pub")).substr(0, 7), std::string("\xCA\xEB\xE8\xE5\xED\xF2\0", 7));
  EXPECT_EQ(On("client", {"whoami"}).out, "Клиент\n");
}

TEST_F(ToolTest, MediumInitTakesOnlyAKeyAndReplacesNone) {
  MakeMedium("alice", "Alice");
  MakeMedium("bank", "Bank");
  fs::create_directories(Path("stick"));
  WriteText(Path("notes.pub"), "not a key");
  Result r = On("stick", {"medium", "init", "notes.pub"});
  EXPECT_TRUE(Failed(r, 4, "is not a public-key record"));
  EXPECT_EQ(On("stick", {"medium", "init", "missing.pub"}).rc, 4);
  EXPECT_TRUE(Entries("stick").empty());  // refused calls leave an empty medium empty
  ASSERT_EQ(On("stick", {"medium", "init", "alice/self.pub"}).rc, 0);
  EXPECT_EQ(Entries("stick"), AsEntries({".dizora.lock", "ABONENTS", "CA", "self.pub"}));
  EXPECT_TRUE(Failed(On("stick", {"medium", "init", "bank/self.pub"}), 4, "already has another public key"));
  EXPECT_EQ(ReadText(Path("stick/self.pub")), ReadText(Path("alice/self.pub")));
}

}  // namespace
}  // namespace tool_test
