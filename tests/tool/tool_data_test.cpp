// sign, verify, attach, detach, encrypt, decrypt, hash: results, refusals,
// outputs that never replace files, standard input, large and empty inputs.
#include <random>

#include "tool_runner.h"

namespace tool_test {
namespace {

bool NoTemporaryFiles(const fs::path& dir) {
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.path().filename().string().rfind(".dz-", 0) == 0) return false;
  return true;
}

TEST_F(ToolTest, SignVerifyAttachDetachWithJson) {
  TwoParties();
  WriteText(Path("order.txt"), "pay 100 to Bob\n");
  Result r = On("alice", {"sign", "order.txt"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(r.out, "signed order.txt as Alice: order.txt.sig\n");
  r = On("bank", {"verify", "order.txt", "order.txt.sig", "--signer", "Alice"});
  EXPECT_EQ(r.rc, 0) << r;
  EXPECT_EQ(r.out, "good signature of order.txt by Alice\n");
  Json j = JsonOf(On("bank", {"verify", "order.txt", "order.txt.sig", "--json"}));
  EXPECT_TRUE(j["ok"].boolean);
  EXPECT_TRUE(j["valid"].boolean);
  EXPECT_EQ(j["signer"].text, "Alice");

  ASSERT_EQ(On("alice", {"attach", "order.txt"}).rc, 0);
  EXPECT_EQ(ReadText(Path("order.txt.signed")).size(), 15u + 6 + 64 + 4);
  r = On("bank", {"detach", "order.txt.signed", "-o", "back.txt", "--json", "--signer", "Alice"});
  ASSERT_EQ(r.rc, 0) << r;
  j = JsonOf(r);
  EXPECT_EQ(j["signer"].text, "Alice");
  EXPECT_EQ(j["output"].text, "back.txt");
  EXPECT_EQ(ReadText(Path("back.txt")), "pay 100 to Bob\n");
  r = On("bank", {"detach", "order.txt.signed", "-o", "-"});
  EXPECT_EQ(r.out, "pay 100 to Bob\n");
  EXPECT_TRUE(Contains(r.err, "good signature of order.txt.signed by Alice; data: standard output")) << r;
  EXPECT_TRUE(NoTemporaryFiles(dir_.path()));
}

// A bank must not accept an order signed by any client it knows.
TEST_F(ToolTest, AnotherSignerIsRefusedAndNothingIsWritten) {
  TwoParties();
  MakeMedium("carol", "Carol");
  Register("bank", "carol");
  WriteText(Path("order.txt"), "pay 100\n");
  ASSERT_EQ(On("carol", {"attach", "order.txt", "-o", "o.signed"}).rc, 0);
  Result r = On("bank", {"detach", "o.signed", "-o", "out.txt", "--signer", "Alice", "--json"});
  EXPECT_TRUE(Failed(r, 1, "signed by \"Carol\", not by \"Alice\""));
  const Json j = JsonOf(r);
  EXPECT_FALSE(j["ok"].boolean);
  EXPECT_EQ(j["signer"].text, "Carol");
  EXPECT_EQ(j["error"]["exit"].number, 1);
  EXPECT_FALSE(fs::exists(Path("out.txt")));
}

TEST_F(ToolTest, AlteredDataIsRefusedNamingTheSigner) {
  TwoParties();
  WriteText(Path("order.txt"), "pay 100 to Bob\n");
  ASSERT_EQ(On("alice", {"sign", "order.txt"}).rc, 0);
  ASSERT_EQ(On("alice", {"attach", "order.txt"}).rc, 0);
  ASSERT_EQ(On("alice", {"encrypt", "order.txt", "--to", "Bank"}).rc, 0);
  WriteText(Path("order.txt"), "pay 900 to Bob\n");
  Result r = On("bank", {"verify", "order.txt", "order.txt.sig", "--json"});
  EXPECT_TRUE(Failed(r, 1, "the signature by \"Alice\" does not verify"));
  EXPECT_TRUE(Contains(r.err, ": 5: Подпись проверена, результат проверки отрицательный.")) << r;
  const Json j = JsonOf(r);
  EXPECT_FALSE(j["valid"].boolean);
  EXPECT_EQ(j["error"]["code"].number, 5);

  std::string block = ReadText(Path("order.txt.signed"));
  block[4] = '9';
  WriteText(Path("t.signed"), block);
  WriteText(Path("back.txt"), "previous content");
  r = On("bank", {"detach", "t.signed", "-o", "back.txt", "--force"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_EQ(ReadText(Path("back.txt")), "previous content");

  block = ReadText(Path("order.txt.enc"));
  block[block.size() - 3] ^= 0x20;
  WriteText(Path("t.enc"), block);
  r = On("bank", {"decrypt", "t.enc"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_FALSE(fs::exists(Path("t")));
  EXPECT_TRUE(NoTemporaryFiles(dir_.path()));
}

TEST_F(ToolTest, OutputsNeverReplaceFiles) {
  TwoParties();
  WriteText(Path("order.txt"), "pay 100\n");
  ASSERT_EQ(On("alice", {"attach", "order.txt"}).rc, 0);
  ASSERT_EQ(On("alice", {"encrypt", "order.txt", "--to", "Bank", "-o", "x.enc"}).rc, 0);
  WriteText(Path("order.txt.sig"), "an unrelated file");
  WriteText(Path("x"), "an unrelated file");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--medium", "alice", "sign", "order.txt"}, "order.txt.sig"},
      {{"--medium", "bank", "detach", "order.txt.signed"}, "order.txt"},  // the default output
      {{"--medium", "bank", "decrypt", "x.enc"}, "x"},
      {{"--medium", "alice", "sign", "order.txt", "-o", "alice/self.sec", "--force"}, "alice/self.sec"},
      {{"--medium", "alice", "sign", "order.txt", "-o", "alice/ABONENTS/Bank.pub", "--force"}, "alice/ABONENTS/Bank.pub"},
      {{"--medium", "alice", "sign", "order.txt", "-o", "alice/../alice/self.pub", "--force"}, "alice/self.pub"},
      {{"--medium", "alice", "sign", "order.txt", "-o", "order.txt", "--force"}, "order.txt"},
  };
  for (const auto& [args, target] : cases) {
    const std::string before = ReadText(Path(target));
    const Result r = Run(args);
    EXPECT_EQ(r.rc, 4) << ::testing::PrintToString(args) << "\n" << r;
    EXPECT_TRUE(Contains(r.err, "already exists (give --force to replace it)") || Contains(r.err, "refusing to write"))
        << r;
    EXPECT_EQ(ReadText(Path(target)), before) << target;
  }
  if (!kWindows) {
    fs::create_symlink(Path("alice/self.sec"), Path("link.sec"));
    EXPECT_EQ(On("alice", {"sign", "order.txt", "-o", "link.sec", "--force"}).rc, 4);
  }
  const Result r = On("alice", {"sign", "order.txt", "--force"});
  EXPECT_EQ(r.rc, 0) << r;
  EXPECT_NE(ReadText(Path("order.txt.sig")), "an unrelated file");
  EXPECT_TRUE(NoTemporaryFiles(dir_.path()));
}

TEST_F(ToolTest, StandardInputForData) {
  TwoParties();
  const std::string order = "pay 100 to Bob\n";
  Result r = On("alice", {"sign", "-", "-o", "stdin.sig"}, order);
  ASSERT_EQ(r.rc, 0) << r;
  WriteText(Path("order.txt"), order);
  EXPECT_EQ(On("bank", {"verify", "-", "stdin.sig"}, order).rc, 0);
  EXPECT_EQ(On("bank", {"verify", "order.txt", "-"}, ReadText(Path("stdin.sig"))).rc, 0);
  EXPECT_EQ(Run({"hash", "-"}, order).out, Run({"hash", "order.txt"}).out);

  r = On("alice", {"encrypt", "-", "--to", "Bank"}, order);  // to standard output
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_TRUE(Contains(r.err, "encrypted standard input for Bank: standard output")) << r;
  r = On("bank", {"decrypt", "-", "-o", "plain.txt"}, r.out);
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(ReadText(Path("plain.txt")), order);
  EXPECT_TRUE(OwnerOnly(Path("plain.txt")));
}

TEST_F(ToolTest, EncryptionNamesTheMissingRecipient) {
  TwoParties();
  MakeMedium("carol", "Carol");
  WriteText(Path("doc.txt"), "balance 1 000 000\n");
  Result r = On("alice", {"encrypt", "doc.txt", "--to", "Bank;Nobody"});
  EXPECT_TRUE(Failed(r, 3, "no public key of \"Nobody\" in "));
  EXPECT_FALSE(Contains(r.err, "\"Bank\"")) << r;
  EXPECT_TRUE(Failed(On("alice", {"encrypt", "doc.txt"}), 3, "\"User1\"",
                     "(the \"Encrypt for UID\" setting; give --to)"));
  EXPECT_FALSE(fs::exists(Path("doc.txt.enc")));

  ASSERT_EQ(On("alice", {"encrypt", "doc.txt", "--to", "Bank"}).rc, 0);
  EXPECT_TRUE(Failed(On("carol", {"decrypt", "doc.txt.enc", "-o", "carol.txt"}), 3,
                     "is encrypted for other users only, not for \"Carol\""));
}

TEST_F(ToolTest, EmptyAndOversizedInputsAreRefusedBeforeReading) {
  MakeMedium("alice", "Alice");
  WriteText(Path("empty"), "");
  Result r = On("alice", {"sign", "empty"});
  EXPECT_TRUE(Failed(r, 4, "\"empty\" is empty: there is nothing to sign"));
  // 2.2 GB, sparse: refused from its size, not after reading it.
  std::ofstream(Path("huge.bin")).close();
  fs::resize_file(Path("huge.bin"), 2'200'000'000ULL);
  EXPECT_TRUE(Failed(Run({"hash", "huge.bin"}), 4,
                     "\"huge.bin\" is too large: 2200000000 bytes, more than the 2147483647 bytes this command takes"));
}

// The tool signs with the full GOST R 34.11-94 hash: a change in the tail of
// long data is caught. The legacy digest stops at 65535 bytes.
TEST_F(ToolTest, LongDataTailIsCoveredByDefault) {
  TwoParties();
  std::string data(200000, '\0');
  std::mt19937 random(7);
  for (char& c : data) c = static_cast<char>('a' + random() % 26);
  WriteText(Path("long.bin"), data);
  ASSERT_EQ(On("alice", {"sign", "long.bin", "-o", "gost.sig"}).rc, 0);
  ASSERT_EQ(Run({"--medium", "alice", "--set", "Hash method=OLD_FORMAT", "sign", "long.bin", "-o", "old.sig"}).rc, 0);
  data[199999] = data[199999] == 'b' ? 'c' : 'b';
  WriteText(Path("long.bin"), data);
  EXPECT_EQ(On("bank", {"verify", "long.bin", "gost.sig"}).rc, 1);
  EXPECT_EQ(On("bank", {"verify", "long.bin", "old.sig"}).rc, 0);
}

std::string Base64Decoded(const std::string& text) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (alphabet.find(c) == std::string::npos) break;
    bits = (bits << 6) | static_cast<uint32_t>(alphabet.find(c));
    if ((count += 6) >= 8) out += static_cast<char>((bits >> (count -= 8)) & 0xFF);
  }
  return out;
}

TEST_F(ToolTest, HashFormsAgree) {
  WriteText(Path("a.txt"), "abc");
  const Result hex = Run({"hash", "a.txt"});
  ASSERT_EQ(hex.rc, 0) << hex;
  const std::string raw = Run({"hash", "a.txt", "--form", "raw"}).out;
  ASSERT_EQ(raw.size(), 32u);
  std::string raw_hex;
  for (unsigned char c : raw) {
    char two[3];
    std::snprintf(two, sizeof two, "%02X", c);
    raw_hex += two;
  }
  EXPECT_EQ(raw_hex + "\n", hex.out);
  EXPECT_EQ(Base64Decoded(Run({"hash", "a.txt", "--form", "base64"}).out), raw);
  const Json j = JsonOf(Run({"hash", "a.txt", "--json"}));
  EXPECT_EQ(j["hex"].text + "\n", hex.out);
  EXPECT_EQ(Base64Decoded(j["base64"].text), raw);
  EXPECT_EQ(j["method"].text, "GOST");
  EXPECT_NE(Run({"hash", "-"}, "abd").out, hex.out);
}

}  // namespace
}  // namespace tool_test
