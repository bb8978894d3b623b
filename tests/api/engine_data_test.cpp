// Data operations of the engine through the exported functions: argument
// checks, signatures appended to data, the recipients and method settings of
// encryption, hash forms. Signatures and blocks themselves are checked
// against independent implementations in tests/oracle.
#include <gtest/gtest.h>

#include <string>

#include "engine_test_util.h"

namespace dz_api_test {
namespace {

constexpr int32_t kMaxSignature = 319;
constexpr int32_t DZ_LIB_BAD_SIGNATURE = 5;

struct Signature {
  std::array<uint8_t, kMaxSignature> block{};
  int32_t size = 0;
};

int32_t Sign(const Engine& e, const Bytes& data, Signature& s) {
  return SignData(e, data.data(), static_cast<int32_t>(data.size()), s.block.data(), &s.size, 0);
}

int32_t Verify(const Engine& e, const Bytes& data, const Signature& s, std::string& uid) {
  std::array<char, 255> buf;
  buf.fill('x');
  const int32_t r = VerifyData(e, data.data(), static_cast<int32_t>(data.size()), s.block.data(), s.size, buf.data());
  uid = buf.data();
  return r;
}

TEST(DataOperations, UnsupportedSaveSignedDataWritesNothing) {
  Engine e;
  TempDir d;
  EXPECT_EQ(SaveSignedDataToFile(e, "abc", 3, "s", 1, (d / "out").c_str()), -2);
  EXPECT_FALSE(Exists(d / "out"));
}

TEST(SignVerifyArguments, NullUIDBufferIsRefusedBeforeAnythingElse) {
  Engine e;
  e.Set(kKeyRequestTimeOut, "not a number");
  EXPECT_EQ(VerifyData(e, nullptr, -1, nullptr, -1, nullptr), -4);
  EXPECT_EQ(VerifySignWOCheckValidity(e, nullptr, 0, nullptr, 0, nullptr), -4);
  EXPECT_EQ(SignData(e, "a", 1, nullptr, nullptr, 0), -4);
  EXPECT_EQ(HashData(e, "a", 1, 0, nullptr, nullptr), -4);
  EXPECT_EQ(EncodeData(e, nullptr, nullptr, "x"), -4);
  EXPECT_EQ(DecodeData(e, nullptr, nullptr, 0), -4);
}

TEST(SignVerifyArguments, SignatureOfAnotherUserNeedsTheirPublicKey) {
  Engine alice, bob;
  Medium a, b;
  TempDir drop;
  ASSERT_NO_FATAL_FAILURE(MakeMedium(alice, a, "Alice", "2001"));
  ASSERT_NO_FATAL_FAILURE(MakeMedium(bob, b, "Bob", "1994"));
  const Bytes data = PatternBytes(500);
  Signature s;
  ASSERT_EQ(Sign(alice, data, s), 0);
  std::string uid;
  EXPECT_EQ(Verify(bob, data, s, uid), -11);
  EXPECT_EQ(uid, "Alice");
  ASSERT_NO_FATAL_FAILURE(GivePublicKey(a, bob, drop));
  EXPECT_EQ(Verify(bob, data, s, uid), 0);
  EXPECT_EQ(uid, "Alice");
}

// ---- Signature appended to the data -------------------------------------------------

class AppendedSignature : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(MakeMedium(e, m, "Alice", "2001")); }

  // Buffer with `n` data bytes and room for the signature.
  Bytes Buffer(size_t n) const {
    Bytes b = PatternBytes(n);
    b.resize(n + 323);
    return b;
  }

  Engine e;
  Medium m;
};

TEST_F(AppendedSignature, AddSignAppendsBlockAndLengthAndRemoveSignRestores) {
  Bytes buf = Buffer(10);
  const Bytes original(buf.begin(), buf.begin() + 10);
  int32_t size = 10;
  ASSERT_EQ(AddSign(e, buf.data(), &size, 0), 0);
  EXPECT_EQ(size, 10 + 70 + 4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf.data() + 10)), "Alice");
  EXPECT_EQ(buf[80], 10);
  EXPECT_EQ(buf[81], 0);
  EXPECT_EQ(buf[82], 0);
  EXPECT_EQ(buf[83], 0);

  std::array<char, 255> uid{};
  EXPECT_EQ(RemoveSign(e, buf.data(), &size, uid.data()), 0);
  EXPECT_EQ(size, 10);
  EXPECT_EQ(std::string(uid.data()), "Alice");
  EXPECT_TRUE(std::equal(original.begin(), original.end(), buf.begin()));
}

TEST_F(AppendedSignature, RemoveSignCutsTheSignatureEvenWhenItFails) {
  Bytes buf = Buffer(1000);
  int32_t size = 1000;
  ASSERT_EQ(AddSign(e, buf.data(), &size, 0), 0);
  buf[3] ^= 0x40;
  std::array<char, 255> uid{};
  EXPECT_EQ(RemoveSign(e, buf.data(), &size, uid.data()), DZ_LIB_BAD_SIGNATURE);
  EXPECT_EQ(size, 1000);
}

// A failure before the verification runs leaves the caller's size alone, so
// the same buffer can be offered again.
TEST_F(AppendedSignature, RemoveSignKeepsTheSizeWhenTheVerificationNeverRan) {
  Bytes buf = Buffer(100);
  int32_t size = 100;
  ASSERT_EQ(AddSign(e, buf.data(), &size, 0), 0);
  const int32_t signed_size = size;
  std::array<char, 255> uid{};
  EXPECT_EQ(RemoveSign(e, buf.data(), &size, nullptr), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(size, signed_size);
  for (const int32_t setting : {kKeyRequestTimeOut, kLastOpTimeOut}) {
    const std::string kept = e.Get(setting);
    e.Set(setting, "soon");
    EXPECT_EQ(RemoveSign(e, buf.data(), &size, uid.data()), DZ_E_BAD_NUMBER_SETTING);
    EXPECT_EQ(size, signed_size);
    e.Set(setting, kept);
  }
  EXPECT_EQ(RemoveSign(e, buf.data(), &size, uid.data()), DZ_OK);
  EXPECT_EQ(size, 100);
}

TEST_F(AppendedSignature, AddSignFailureLeavesTheBufferAlone) {
  Bytes buf = Buffer(10);
  const Bytes before = buf;
  int32_t size = 10;
  fs::rename(m.sec, m.sec + ".away");
  EXPECT_EQ(AddSign(e, buf.data(), &size, 0), -10);
  EXPECT_EQ(size, 10);
  EXPECT_EQ(buf, before);
  EXPECT_EQ(AddSign(e, nullptr, &size, 0), -4);
  EXPECT_EQ(AddSign(e, buf.data(), nullptr, 0), -4);
}

TEST_F(AppendedSignature, BadTrailersGiveMinusFourteenAndKeepTheSize) {
  Bytes buf = Buffer(20);
  int32_t size = 20;
  ASSERT_EQ(AddSign(e, buf.data(), &size, 0), 0);
  const int32_t signed_size = size;
  auto set_trailer = [&](int32_t n) {
    const auto v = static_cast<uint32_t>(n);
    for (int i = 0; i < 4; ++i) buf[static_cast<size_t>(signed_size - 4 + i)] = static_cast<uint8_t>(v >> (8 * i));
  };
  std::array<char, 255> uid{};
  for (int32_t n : {0, -1, -20, signed_size - 4, signed_size, 0x7FFFFFFF}) {
    SCOPED_TRACE(n);
    set_trailer(n);
    size = signed_size;
    EXPECT_EQ(RemoveSign(e, buf.data(), &size, uid.data()), -14);
    EXPECT_EQ(size, signed_size);
  }
  for (int32_t small : {1, 2, 3, 4}) {
    size = small;
    EXPECT_EQ(RemoveSign(e, buf.data(), &size, uid.data()), -14);
    EXPECT_EQ(size, small);
  }
  size = 0;
  EXPECT_EQ(RemoveSign(e, buf.data(), &size, uid.data()), -4);
  size = -5;
  EXPECT_EQ(RemoveSign(e, buf.data(), &size, uid.data()), -4);
  size = 10;
  EXPECT_EQ(RemoveSign(e, nullptr, &size, uid.data()), -4);
  EXPECT_EQ(RemoveSign(e, buf.data(), nullptr, uid.data()), -4);
}

// ---- Encryption for several users ---------------------------------------------------

class ThreeUsers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(MakeMedium(alice, a, "Alice", "2001"));
    ASSERT_NO_FATAL_FAILURE(MakeMedium(bob, b, "Bob", "1994"));
    ASSERT_NO_FATAL_FAILURE(MakeMedium(carol, c, "Carol", "2001"));
    const Medium* media[] = {&a, &b, &c};
    const Engine* engines[] = {&alice, &bob, &carol};
    for (int from = 0; from < 3; ++from) {
      for (int to = 0; to < 3; ++to) {
        if (from == to) continue;
        ASSERT_NO_FATAL_FAILURE(GivePublicKey(*media[from], *engines[to], drop));
      }
    }
  }

  // Encrypts `plain` on `e`; the buffer holds the block afterwards.
  static int32_t Encrypt(const Engine& e, const Bytes& plain, const char* recipients, Bytes& block) {
    block = plain;
    block.resize(plain.size() + static_cast<size_t>(GetMaxAdditionEx(e, recipients)));
    int32_t size = static_cast<int32_t>(plain.size());
    const int32_t r = EncodeData(e, block.data(), &size, recipients);
    block.resize(static_cast<size_t>(size));
    return r;
  }

  static int32_t Decrypt(const Engine& e, Bytes block, Bytes& plain) {
    int32_t size = static_cast<int32_t>(block.size());
    const int32_t r = DecodeData(e, block.data(), &size, 0);
    plain.assign(block.begin(), block.begin() + std::max(0, std::min(size, static_cast<int32_t>(block.size()))));
    return r;
  }

  static int32_t MethodOf(const Bytes& block) { return block.size() < 8 ? -1 : block[4]; }

  Engine alice, bob, carol;
  Medium a, b, c;
  TempDir drop;
};

TEST_F(ThreeUsers, RecipientsComeFromTheSettingWhenNoneAreGiven) {
  const Bytes plain = PatternBytes(100);
  Bytes block, out;
  bob.Set(kEncryptForUID, " \t Carol\r\n");
  ASSERT_EQ(Encrypt(bob, plain, nullptr, block), 0);
  EXPECT_EQ(Decrypt(carol, block, out), 0);
  EXPECT_EQ(out, plain);
  ASSERT_EQ(Encrypt(bob, plain, "", block), 0);
  EXPECT_EQ(Decrypt(carol, block, out), 0);

  bob.Set(kEncryptForUID, " \t ");
  Bytes untouched = plain;
  int32_t size = 100;
  EXPECT_EQ(EncodeData(bob, untouched.data(), &size, nullptr), -7);
  EXPECT_EQ(size, 100);
  EXPECT_EQ(untouched, plain);
}

TEST_F(ThreeUsers, EncryptMethodSettingSelectsTheMode) {
  const Bytes plain = PatternBytes(3000);
  Bytes block, out;
  const std::pair<const char*, int32_t> cases[] = {{"1", 1}, {"0", 0}, {"7", 0}, {"", 0}, {"-1", 0}};
  for (const auto& [text, method] : cases) {
    SCOPED_TRACE(text);
    alice.Set(kEncryptMethod, text);
    ASSERT_EQ(Encrypt(alice, plain, "Bob", block), 0);
    EXPECT_EQ(MethodOf(block), method);
    EXPECT_EQ(Decrypt(bob, block, out), 0);
    EXPECT_EQ(out, plain);
  }
  alice.Set(kEncryptMethod, "x");
  Bytes buf = plain;
  buf.resize(plain.size() + 1000);
  int32_t size = static_cast<int32_t>(plain.size());
  EXPECT_EQ(EncodeData(alice, buf.data(), &size, "Bob"), -13);
  EXPECT_EQ(size, static_cast<int32_t>(plain.size()));
}

// ---- Hashing -------------------------------------------------------------------------

TEST(Hashing, FormsAndSizesWithoutAnyKey) {
  Engine e;
  TempDir d;
  e.Set(kPublicKey, d / "missing.pub");
  e.Set(kSecretKey, d / "missing.sec");
  const Bytes data = PatternBytes(70000);
  const int32_t n = static_cast<int32_t>(data.size());
  int32_t size = 0;
  EXPECT_EQ(HashData(e, data.data(), n, 2, nullptr, &size), 0);
  EXPECT_EQ(size, 64);
  EXPECT_EQ(HashData(e, data.data(), n, 1, nullptr, &size), 0);
  EXPECT_EQ(size, 44);
  EXPECT_EQ(HashData(e, data.data(), n, 0, nullptr, &size), 0);
  EXPECT_EQ(size, 32);

  std::array<char, 80> hex{};
  size = 63;
  EXPECT_EQ(HashData(e, data.data(), n, 2, hex.data(), &size), -3);
  EXPECT_EQ(size, 64);
  size = static_cast<int32_t>(hex.size());
  ASSERT_EQ(HashData(e, data.data(), n, 2, hex.data(), &size), 0);
  EXPECT_EQ(size, 64);
}

}  // namespace
}  // namespace dz_api_test
