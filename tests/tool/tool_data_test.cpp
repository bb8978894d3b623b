// sign, verify, attach, detach, encrypt, decrypt, hash: success and failure paths.
#include <random>

#include "tool_runner.h"

namespace tool_test {
namespace {

bool NoTempFiles(const fs::path& dir) {
  for (const auto& e : fs::directory_iterator(dir))
    if (Contains(e.path().filename().string(), ".tmp-")) return false;
  return true;
}

TEST_F(ToolTest, SignAndVerify) {
  TwoParties();
  WriteText(Path("order.txt"), "pay 100 to Bob\n");
  Result r = On("alice", {"sign", "order.txt"});
  ASSERT_EQ(r.rc, 0) << r;
  ASSERT_TRUE(fs::exists(Path("order.txt.sig")));
  EXPECT_TRUE(NoTempFiles(dir_.path()));

  r = On("bank", {"verify", "order.txt", "order.txt.sig"});
  EXPECT_EQ(r.rc, 0) << r;
  EXPECT_EQ(r.out, "good signature of order.txt by Alice\n");

  // Tampered data: the engine's code 5 and the signer named.
  WriteText(Path("order.txt"), "pay 900 to Bob\n");
  r = On("bank", {"verify", "order.txt", "order.txt.sig"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "(signer Alice) failed: 5: Подпись проверена, результат проверки отрицательный.")) << r;
  EXPECT_TRUE(r.out.empty());
}

TEST_F(ToolTest, SignAndVerifyFailures) {
  TwoParties();
  MakeMedium("carol", "Carol");
  WriteText(Path("order.txt"), "pay 100\n");
  Result r = On("alice", {"sign", "missing.txt"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "cannot read missing.txt: No such file or directory")) << r;

  r = On("alice", {"sign", "order.txt", "-o", "no/such/dir/x.sig"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "cannot write no/such/dir/x.sig")) << r;

  ASSERT_EQ(On("carol", {"sign", "order.txt"}).rc, 0);
  // The bank does not know Carol: her key is not found.
  r = On("bank", {"verify", "order.txt", "order.txt.sig"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "(signer Carol) failed: -11: ")) << r;

  // A medium without keys cannot sign.
  fs::create_directories(Path("empty"));
  r = On("empty", {"sign", "order.txt", "-o", "e.sig"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_FALSE(fs::exists(Path("e.sig")));
}

// The tool signs with the full GOST R 34.11-94 hash: a change in the tail of
// long data is caught. The library's legacy digest stops at 65535 bytes.
TEST_F(ToolTest, LongDataTailIsCoveredByDefault) {
  TwoParties();
  // Varied bytes: for data that repeats its first 65535 bytes throughout, the
  // legacy digest of a changed tail equals the full hash of the original.
  std::string data(200000, '\0');
  std::mt19937 random(7);
  for (char& c : data) c = static_cast<char>('a' + random() % 26);
  WriteText(Path("long.bin"), data);
  ASSERT_EQ(On("alice", {"sign", "long.bin", "-o", "gost.sig"}).rc, 0);
  ASSERT_EQ(Run({"--medium", "alice", "--set", "Hash method=OLD_FORMAT", "sign", "long.bin", "-o", "old.sig"}).rc,
            0);
  data[199999] = data[199999] == 'b' ? 'c' : 'b';
  WriteText(Path("long.bin"), data);
  Result r = On("bank", {"verify", "long.bin", "gost.sig"});
  EXPECT_EQ(r.rc, 1) << r;
  // What the default protects against: the legacy signature still verifies.
  r = On("bank", {"verify", "long.bin", "old.sig"});
  EXPECT_EQ(r.rc, 0) << r;
}

TEST_F(ToolTest, AttachAndDetach) {
  TwoParties();
  WriteText(Path("order.txt"), "pay 100 to Bob\n");
  Result r = On("alice", {"attach", "order.txt"});
  ASSERT_EQ(r.rc, 0) << r;
  const std::string signed_data = ReadText(Path("order.txt.signed"));
  // Data, signature block (UID, zero, 64 bytes), 32-bit length.
  ASSERT_EQ(signed_data.size(), 15u + 6 + 64 + 4);
  EXPECT_EQ(signed_data.substr(0, 15), "pay 100 to Bob\n");

  r = On("bank", {"detach", "order.txt.signed", "-o", "back.txt"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_TRUE(Contains(r.out, "by Alice")) << r;
  EXPECT_EQ(ReadText(Path("back.txt")), "pay 100 to Bob\n");

  // Default output name: the input without ".signed"; "-" is standard output.
  fs::remove(Path("order.txt"));
  ASSERT_EQ(On("bank", {"detach", "order.txt.signed"}).rc, 0);
  EXPECT_EQ(ReadText(Path("order.txt")), "pay 100 to Bob\n");
  r = On("bank", {"detach", "order.txt.signed", "-o", "-"});
  EXPECT_EQ(r.out, "pay 100 to Bob\n");
  EXPECT_TRUE(Contains(r.err, "by Alice")) << r;
}

TEST_F(ToolTest, DetachRefusesTamperedDataAndWritesNothing) {
  TwoParties();
  WriteText(Path("order.txt"), "pay 100 to Bob\n");
  ASSERT_EQ(On("alice", {"attach", "order.txt"}).rc, 0);
  std::string signed_data = ReadText(Path("order.txt.signed"));
  WriteText(Path("back.txt"), "previous content");

  std::string tampered = signed_data;
  tampered[4] = '9';
  WriteText(Path("t.signed"), tampered);
  Result r = On("bank", {"detach", "t.signed", "-o", "back.txt"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "failed: 5: ")) << r;
  EXPECT_EQ(ReadText(Path("back.txt")), "previous content");

  // A trailer that points past the data: -14, the signature format.
  tampered = signed_data;
  tampered[tampered.size() - 4] = '\x7f';
  WriteText(Path("t.signed"), tampered);
  r = On("bank", {"detach", "t.signed", "-o", "back.txt"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "-14: Неверный формат подписи")) << r;
  EXPECT_EQ(ReadText(Path("back.txt")), "previous content");
  EXPECT_TRUE(NoTempFiles(dir_.path()));
}

TEST_F(ToolTest, EncryptForSeveralAndDecrypt) {
  TwoParties();
  MakeMedium("carol", "Carol");
  const std::string secret = "account 40702810900000000042, balance 1 000 000\n";
  WriteText(Path("doc.txt"), secret);
  Result r = On("alice", {"encrypt", "doc.txt", "--to", "Bank;Alice"});
  ASSERT_EQ(r.rc, 0) << r;
  const std::string block = ReadText(Path("doc.txt.enc"));
  EXPECT_EQ(block.find("balance"), std::string::npos);

  r = On("bank", {"decrypt", "doc.txt.enc", "-o", "bank.txt"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(ReadText(Path("bank.txt")), secret);
  r = On("alice", {"decrypt", "doc.txt.enc", "-o", "-"});
  ASSERT_EQ(r.rc, 0) << r;
  EXPECT_EQ(r.out, secret);

  // Not a recipient.
  r = On("carol", {"decrypt", "doc.txt.enc", "-o", "carol.txt"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "DecodeData failed: ")) << r;
  EXPECT_FALSE(fs::exists(Path("carol.txt")));

  // A changed byte of the encrypted data is detected.
  std::string tampered = block;
  tampered[tampered.size() - 3] ^= 0x20;
  WriteText(Path("t.enc"), tampered);
  r = On("bank", {"decrypt", "t.enc"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_FALSE(fs::exists(Path("t")));
}

TEST_F(ToolTest, EncryptForUnknownUidFails) {
  TwoParties();
  WriteText(Path("doc.txt"), "x\n");
  const Result r = On("alice", {"encrypt", "doc.txt", "--to", "Nobody"});
  EXPECT_EQ(r.rc, 1) << r;
  EXPECT_TRUE(Contains(r.err, "EncodeData failed: ")) << r;
  EXPECT_FALSE(fs::exists(Path("doc.txt.enc")));
}

TEST_F(ToolTest, HashForms) {
  WriteText(Path("a.txt"), "abc");
  const Result hex = Run({"hash", "a.txt"});
  ASSERT_EQ(hex.rc, 0) << hex;
  ASSERT_EQ(hex.out.size(), 65u) << hex;
  const Result b64 = Run({"hash", "a.txt", "--form", "base64"});
  ASSERT_EQ(b64.rc, 0) << b64;
  EXPECT_EQ(b64.out.size(), 45u) << b64;
  const Result raw = Run({"hash", "a.txt", "--form", "raw"});
  ASSERT_EQ(raw.rc, 0);
  ASSERT_EQ(raw.out.size(), 32u);
  std::string raw_hex;
  for (unsigned char c : raw.out) {
    char two[3];
    std::snprintf(two, sizeof two, "%02X", c);
    raw_hex += two;
  }
  EXPECT_EQ(raw_hex + "\n", hex.out);

  WriteText(Path("b.txt"), "abd");
  EXPECT_NE(Run({"hash", "b.txt"}).out, hex.out);
  const Result missing = Run({"hash", "nope"});
  EXPECT_EQ(missing.rc, 1);
  EXPECT_TRUE(Contains(missing.err, "cannot read nope")) << missing;
}

}  // namespace
}  // namespace tool_test
