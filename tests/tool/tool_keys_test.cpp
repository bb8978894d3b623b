// keygen, whoami, key ..., medium init, regen: success and failure paths.
#include "tool_runner.h"

namespace tool_test {
namespace {

TEST_F(ToolTest, KeygenProtectsAnExistingKeyPair) {
  MakeMedium("alice", "Alice");
  Result r = On("alice", {"whoami"});
  EXPECT_EQ(r.out, "Alice\n") << r;
  EXPECT_TRUE(fs::is_directory(Path("alice/ABONENTS")));
  EXPECT_TRUE(fs::is_directory(Path("alice/CA")));
  const std::string secret = ReadText(Path("alice/self.sec"));

  r = On("alice", {"keygen", "--self", "--uid", "Mallory"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "already exists")) << r;
  EXPECT_EQ(ReadText(Path("alice/self.sec")), secret);

  r = On("alice", {"keygen", "--self", "--uid", "Alice2", "--force", "--alg", "1994"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(On("alice", {"whoami"}).out, "Alice2\n");
  r = On("alice", {"key", "report", "--file", "alice/self.pub"});
  EXPECT_TRUE(Contains(r.out, "PKeyAlg=ГОСТ P34.10 - 1994\n")) << r;

  // Default outputs come from the settings: new.pub and new.sec in the medium.
  r = On("alice", {"keygen", "--uid", "Пётр"});
  ASSERT_EQ(r.rc, 0) << r;
  r = On("alice", {"key", "report", "--file", "alice/new.pub"});
  EXPECT_TRUE(Contains(r.out, "UID=Пётр\n")) << r;

  fs::create_directories(Path("empty"));
  r = On("empty", {"whoami"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "-11: Открытый ключ/сертификат не найден либо испорчен.")) << r;
}

TEST_F(ToolTest, IncludeRemoveRefreshAndReports) {
  MakeMedium("alice", "Alice");
  MakeMedium("bank", "Банк");
  fs::copy_file(Path("bank/self.pub"), Path("bank.pub"));
  Result r = On("alice", {"key", "include", "bank.pub"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_TRUE(Contains(r.out, "included the key of Банк")) << r;
  EXPECT_FALSE(fs::exists(Path("bank.pub")));  // moved into ABONENTS
  EXPECT_EQ(Entries("alice/ABONENTS").size(), 1u);

  // The report of a Cyrillic UID and algorithm name, in UTF-8 with LF lines.
  r = On("alice", {"key", "report", "Банк"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(r.out.rfind("UID=Банк\nPKeyAlg=ГОСТ P34.10 - 2001\nSPKey=\n", 0), 0u) << r;
  EXPECT_EQ(r.out.find('\r'), std::string::npos);

  // Own key: refused, and the file stays.
  fs::copy_file(Path("alice/self.pub"), Path("own.pub"));
  r = On("alice", {"key", "include", "own.pub"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "-20: ")) << r;
  EXPECT_TRUE(fs::exists(Path("own.pub")));
  r = On("alice", {"key", "include", "missing.pub"});
  EXPECT_EQ(r.rc, 1) << r;

  EXPECT_EQ(On("alice", {"key", "refresh", "Банк"}).rc, 0);
  r = On("alice", {"key", "remove", "Alice"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "-21: Невозможно удалить собственный открытый ключ/сертификат.")) << r;
  r = On("alice", {"key", "remove", "Банк"});
  EXPECT_EQ(r.rc, 0) << r;
  EXPECT_TRUE(Entries("alice/ABONENTS").empty());
  r = On("alice", {"key", "report", "Банк"});
  EXPECT_EQ(r.rc, 1) << r;

  // Without a UID the report is of a pending regeneration; there is none.
  r = On("alice", {"key", "report"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "-22: ")) << r;
}

TEST_F(ToolTest, TransfersExportImportSaveUid) {
  TwoParties();
  MakeMedium("carol", "Carol");
  Register("bank", "carol");
  // The bank passes Carol's key on; Alice, who knows the bank, takes it.
  Result r = On("bank", {"key", "export", "Carol"});
  ASSERT_EQ(r.rc, 0) << r;
  const std::string transfer = r.out;
  WriteText(Path("carol.tr"), transfer);

  EXPECT_EQ(On("alice", {"key", "uid", "carol.tr"}).out, "Carol\n");
  EXPECT_EQ(On("alice", {"key", "uid", "-"}, transfer).out, "Carol\n");
  r = On("alice", {"key", "report", "--transfer", "-"}, transfer);
  EXPECT_TRUE(Contains(r.out, "UID=Carol\n")) << r;

  fs::create_directories(Path("saved"));
  r = On("alice", {"key", "save", "saved", "carol.tr"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(ReadText(Path("saved/tran.pub")), ReadText(Path("carol/self.pub")));
  r = On("alice", {"key", "save", "no-such-dir", "carol.tr"});
  EXPECT_EQ(r.rc, 1) << r;

  r = On("alice", {"key", "import", "-"}, transfer);
  ASSERT_EQ(r.rc, 0) << r;
  WriteText(Path("m.txt"), "from carol\n");
  ASSERT_EQ(On("carol", {"sign", "m.txt"}).rc, 0);
  EXPECT_EQ(On("alice", {"verify", "m.txt", "m.txt.sig"}).rc, 0);

  // Carol cannot open the bank's transfer: she does not know the bank.
  r = On("carol", {"key", "import", "carol.tr"});
  EXPECT_EQ(r.rc, 1) << r;
  // A changed character never opens.
  std::string changed = transfer;
  changed[40] = changed[40] == 'A' ? 'B' : 'A';
  r = On("alice", {"key", "import", changed});
  EXPECT_EQ(r.rc, 1) << r;
  r = On("alice", {"key", "uid", ""});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "-4: ")) << r;
}

TEST_F(ToolTest, MediumInit) {
  MakeMedium("alice", "Alice");
  fs::create_directories(Path("stick"));
  Result r = On("stick", {"medium", "init", "alice/self.pub"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(ReadText(Path("stick/self.pub")), ReadText(Path("alice/self.pub")));
  EXPECT_TRUE(fs::is_directory(Path("stick/ABONENTS")));
  EXPECT_TRUE(fs::is_directory(Path("stick/CA")));

  fs::create_directories(Path("stick2"));
  r = On("stick2", {"medium", "init", "missing.pub"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "-24: ")) << r;
  EXPECT_FALSE(fs::exists(Path("stick2/ABONENTS")));
}

TEST_F(ToolTest, RegenerationWithTheBank) {
  TwoParties();
  WriteText(Path("order.txt"), "pay 100\n");
  ASSERT_EQ(On("alice", {"sign", "order.txt", "-o", "old.sig"}).rc, 0);

  Result r = On("alice", {"regen", "start"});
  ASSERT_EQ(r.rc, 0) << r;
  WriteText(Path("start.tr"), r.out);
  EXPECT_EQ(Entries("alice/REGEN"), (std::vector<std::string>{"new.pub", "sec.dat"}));
  r = On("alice", {"key", "report"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(r.out.rfind("UID=Alice (", 0), 0u) << r;

  r = On("bank", {"key", "uid", "start.tr"});
  ASSERT_EQ(r.rc, 0) << r;
  const std::string new_uid = r.out.substr(0, r.out.size() - 1);
  ASSERT_EQ(new_uid.size(), 5u + 22) << new_uid;
  ASSERT_EQ(On("bank", {"key", "import", "start.tr"}).rc, 0);

  // The bank's own key is not the prepared one: refused, nothing changes.
  WriteText(Path("wrong.tr"), On("bank", {"key", "export"}).out);
  r = On("alice", {"regen", "finish", "wrong.tr"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "-27: ")) << r;
  EXPECT_EQ(On("alice", {"whoami"}).out, "Alice\n");

  r = On("bank", {"key", "export", new_uid});
  ASSERT_EQ(r.rc, 0) << r;
  r = On("alice", {"regen", "finish", "-"}, r.out);
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(On("alice", {"whoami"}).out, new_uid + "\n");
  EXPECT_TRUE(Entries("alice/REGEN").empty());

  ASSERT_EQ(On("alice", {"sign", "order.txt", "-o", "new.sig"}).rc, 0);
  r = On("bank", {"verify", "order.txt", "new.sig"});
  EXPECT_EQ(r.out, "good signature of order.txt by " + new_uid + "\n") << r;
  r = On("bank", {"verify", "order.txt", "old.sig"});
  EXPECT_EQ(r.out, "good signature of order.txt by Alice\n") << r;
  // Finishing again: nothing is pending.
  r = On("alice", {"regen", "finish", "start.tr"});
  EXPECT_EQ(r.rc, 1) << r;
}

TEST_F(ToolTest, RegenerationNeedsAKeyPair) {
  fs::create_directories(Path("empty"));
  Result r = On("empty", {"regen", "start"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "no key pair")) << r;
  EXPECT_TRUE(r.out.empty());
}

}  // namespace
}  // namespace tool_test
