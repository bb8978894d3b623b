// The binding's encrypted block: layout, recipients, tampering, hostile blocks.
#include <climits>
#include <cstring>
#include <map>
#include <string>

#include "binding_fixture.h"
#include "platform/dynlib.h"

namespace dizora::binding_test {
namespace {

using namespace rurov;

Bytes Pattern(size_t size, uint32_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 57 + seed * 3 + (i >> 7)) & 0xFF);
  return bytes;
}

struct Outcome {
  int32_t result = 0;
  Bytes data;  // the caller's buffer, cut to the returned length
  int32_t length = 0;
};

Outcome EncryptWith(TCryptoC_DLL& dll, const KeyMedium& medium, const Bytes& plain, const char* list,
                    int32_t method = 0, int32_t recipients = 3) {
  Outcome out;
  out.data = plain;
  out.data.resize(plain.size() + static_cast<size_t>(TCryptoC_DLL::GetMaxEncryptAddition(recipients)), 0xCD);
  out.length = static_cast<int32_t>(plain.size());
  out.result = dll.EncryptData(out.data.data(), out.length, method, list, medium.settings);
  out.data.resize(static_cast<size_t>(out.length));
  return out;
}

Outcome DecryptWith(TCryptoC_DLL& dll, const KeyMedium& medium, const Bytes& block) {
  Outcome out;
  out.data = block;
  out.length = static_cast<int32_t>(block.size());
  out.result = dll.DecryptData(out.data.empty() ? nullptr : out.data.data(), out.length, medium.settings);
  return out;
}

// A user: a key medium and a binding object of its own (one per key settings).
struct User {
  KeyMedium medium;
  std::unique_ptr<TCryptoC_DLL> dll;

  Outcome Encrypt(const Bytes& plain, const char* list, int32_t method = 0, int32_t recipients = 3) {
    return EncryptWith(*dll, medium, plain, list, method, recipients);
  }
  Outcome Decrypt(const Bytes& block) { return DecryptWith(*dll, medium, block); }

  Bytes MutualKey(const std::string& uid) {
    Bytes key(kMutualKeySize, 0);
    EXPECT_EQ(Access::GetMutualKey(*dll, uid, key.data(), medium.settings), 0);
    return key;
  }
};

class BindingCrypt : public BindingTest {
 protected:
  void SetUp() override {
    BindingTest::SetUp();
    AddUser("Alice", kGost2001);
    AddUser("Bob", kGost1994);
    AddUser("Carol", kGost2001);
    AddUser("Dave", kGost2001);
    for (auto& [uid, user] : users)
      for (auto& [peerUid, peer] : users)
        if (uid != peerUid) AddCorrespondent(user.medium, peer.medium);
  }

  User& AddUser(const std::string& uid, int32_t algorithm) {
    User& user = users[uid];
    user.medium = MakeMedium(uid, algorithm);
    user.dll = std::make_unique<TCryptoC_DLL>();
    return user;
  }

  void TearDown() override {
    users.clear();
    BindingTest::TearDown();
  }

  User& operator[](const std::string& uid) { return users.at(uid); }

  std::map<std::string, User> users;
};

// Offsets of an encrypted block's fields, found by walking it as a reader would.
struct Layout {
  int32_t count = 0;
  int32_t method = 0;
  std::string sender;
  struct Entry {
    std::string uid;
    size_t iv = 0;  // then MAC at iv + 8, encrypted data key at iv + 16
  };
  std::vector<Entry> entries;
  size_t dataIv = 0;  // then MAC at + 8, ciphertext at + 16
};

Layout Parse(const Bytes& block) {
  Layout layout;
  layout.count = ReadInt32LE(block.data());
  layout.method = ReadInt32LE(block.data() + 4);
  layout.sender = reinterpret_cast<const char*>(block.data() + 8);
  size_t pos = 8 + layout.sender.size() + 1;
  for (int32_t i = 0; i < layout.count; ++i) {
    Layout::Entry entry;
    entry.uid = reinterpret_cast<const char*>(block.data() + pos);
    entry.iv = pos + entry.uid.size() + 1;
    pos = entry.iv + 48;
    layout.entries.push_back(entry);
  }
  layout.dataIv = pos;
  return layout;
}

TEST_F(BindingCrypt, ThreeRecipientsDecryptAndAFourthUserGetsMinus17) {
  for (int32_t method : {0, 1}) {
    const Bytes plain = Pattern(5000, 2);
    const Outcome sent = users.at("Alice").Encrypt(plain, "Bob;Carol;Alice", method);
    ASSERT_EQ(sent.result, 0);
    EXPECT_EQ(Parse(sent.data).method, method);
    for (const char* uid : {"Bob", "Carol", "Alice"}) {
      const Outcome got = users.at(uid).Decrypt(sent.data);
      EXPECT_EQ(got.result, 0) << uid << " method " << method;
      EXPECT_EQ(got.length, 5000) << uid;
      EXPECT_EQ(Bytes(got.data.begin(), got.data.begin() + 5000), plain) << uid;
    }
    const Outcome dave = users.at("Dave").Decrypt(sent.data);
    EXPECT_EQ(dave.result, DZ_E_NOT_RECIPIENT);
    EXPECT_EQ(dave.data, sent.data) << "a failed decryption leaves the buffer";
    EXPECT_EQ(dave.length, static_cast<int32_t>(sent.data.size()));
  }
}

TEST_F(BindingCrypt, TamperingIsDetectedOnlyWhereItMatters) {
  const Bytes plain = Pattern(300, 3);
  const Outcome sent = users.at("Alice").Encrypt(plain, "Carol;Bob");
  ASSERT_EQ(sent.result, 0);
  const Layout layout = Parse(sent.data);
  const size_t carol = layout.entries[0].iv;
  const size_t bob = layout.entries[1].iv;

  auto flipped = [&](size_t offset) {
    Bytes copy = sent.data;
    copy[offset] ^= 0x04;
    return copy;
  };
  const std::vector<std::pair<const char*, size_t>> fatal = {
      {"ciphertext", sent.data.size() - 1}, {"data MAC", layout.dataIv + 8}, {"data IV", layout.dataIv},
      {"own encrypted key", bob + 16 + 5}, {"own entry MAC", bob + 8}, {"own entry IV", bob}};
  for (const auto& [what, offset] : fatal) {
    const Bytes altered = flipped(offset);
    const Outcome got = users.at("Bob").Decrypt(altered);
    EXPECT_EQ(got.result, DZ_E_MAC_MISMATCH) << what;
    EXPECT_EQ(got.data, altered) << what;
  }
  for (size_t offset : {carol, carol + 8, carol + 16, carol + 47}) {
    const Outcome got = users.at("Bob").Decrypt(flipped(offset));
    EXPECT_EQ(got.result, 0) << "another recipient's entry, offset " << offset - carol;
    EXPECT_EQ(Bytes(got.data.begin(), got.data.begin() + got.length), plain);
  }
}

TEST_F(BindingCrypt, StoredMethodDecidesTheMode) {
  const Bytes plain = Pattern(64, 4);
  const Outcome sent = users.at("Alice").Encrypt(plain, "Bob", 0);
  ASSERT_EQ(sent.result, 0);
  Bytes block = sent.data;
  WriteInt32LE(block.data() + 4, 1);
  EXPECT_EQ(users.at("Bob").Decrypt(block).result, DZ_E_MAC_MISMATCH) << "method 1 reads a method-0 block wrongly";
  for (int32_t method : {7, 2, -1, -2, INT32_MAX}) {
    WriteInt32LE(block.data() + 4, method);
    EXPECT_EQ(users.at("Bob").Decrypt(block).result, DZ_E_CRYPT_MODE) << method;
  }
  WriteInt32LE(block.data() + 4, 0);
  EXPECT_EQ(users.at("Bob").Decrypt(block).result, 0);
}

TEST_F(BindingCrypt, EmptyPlaintextRoundTrips) {
  const Outcome sent = users.at("Alice").Encrypt(Bytes(), "Bob");
  ASSERT_EQ(sent.result, 0);
  EXPECT_EQ(sent.data.size(), 8u + 6u + (3u + 49u) + 16u);
  // The data's MAC closes the block: zero for no data, as other GOST
  // implementations compute it, so their blocks and ours are accepted alike.
  EXPECT_EQ(Bytes(sent.data.end() - 8, sent.data.end()), Bytes(8, 0));
  const Outcome got = users.at("Bob").Decrypt(sent.data);
  EXPECT_EQ(got.result, 0);
  EXPECT_EQ(got.length, 0);
}

TEST_F(BindingCrypt, RecipientListRules) {
  User& alice = users.at("Alice");
  const Bytes plain = Pattern(20, 5);

  const Outcome one = alice.Encrypt(plain, "Carol", 1);
  ASSERT_EQ(one.result, 0);
  EXPECT_EQ(one.data.size(), 8u + 6u + (5u + 49u) + 16u + 20u);

  // A trailing ";" adds the empty UID, which has no public key.
  const Outcome trailing = alice.Encrypt(plain, "Carol;");
  EXPECT_EQ(trailing.result, DZ_E_PUBLIC_KEY);
  EXPECT_EQ(trailing.length, 20);
  EXPECT_EQ(Bytes(trailing.data.begin(), trailing.data.end()), plain);

  EXPECT_EQ(alice.Encrypt(plain, nullptr).result, DZ_E_EMPTY_UID);
  EXPECT_EQ(alice.Encrypt(plain, "").result, DZ_E_EMPTY_UID);
  const std::string tooLong = "Carol;" + std::string(255, 'x');
  const Outcome refused = alice.Encrypt(plain, tooLong.c_str());
  EXPECT_EQ(refused.result, DZ_E_EMPTY_UID);
  EXPECT_EQ(Bytes(refused.data.begin(), refused.data.end()), plain);
  EXPECT_EQ(alice.Encrypt(plain, "Nobody").result, DZ_E_PUBLIC_KEY);

  int32_t length = -1;
  uint8_t byte = 0;
  const TKeySettings& s = alice.medium.settings;
  EXPECT_EQ(alice.dll->EncryptData(&byte, length, 0, "Bob", s), DZ_E_BAD_ARGUMENT);
  length = 1;
  EXPECT_EQ(alice.dll->EncryptData(nullptr, length, 0, "Bob", s), DZ_E_BAD_ARGUMENT);
  EXPECT_EQ(alice.dll->DecryptData(nullptr, length, s), DZ_E_BAD_ARGUMENT);
}

TEST_F(BindingCrypt, ManyRecipientsBeyondAHundred) {
  std::string list;
  for (int i = 0; i < 120; ++i) list += "Bob;";
  list += "Carol";
  const Bytes plain = Pattern(100, 6);
  const Outcome sent = users.at("Alice").Encrypt(plain, list.c_str(), 0, 121);
  ASSERT_EQ(sent.result, 0);
  EXPECT_EQ(Parse(sent.data).count, 121);
  const Outcome got = users.at("Carol").Decrypt(sent.data);
  EXPECT_EQ(got.result, 0);
  EXPECT_EQ(Bytes(got.data.begin(), got.data.begin() + got.length), plain);
}

TEST_F(BindingCrypt, EntriesMatchTheOwnUIDByteForByte) {
  // The cache finds "bob" for Bob, but the entry then does not carry Bob's UID.
  const Outcome sent = users.at("Alice").Encrypt(Pattern(10, 7), "bob");
  ASSERT_EQ(sent.result, 0);
  EXPECT_EQ(users.at("Bob").Decrypt(sent.data).result, DZ_E_NOT_RECIPIENT);
}

TEST_F(BindingCrypt, SenderUnknownToTheRecipientGivesMinus11) {
  User& eve = AddUser("Eve", kGost2001);
  AddCorrespondent(eve.medium, users.at("Bob").medium);
  const Outcome sent = eve.Encrypt(Pattern(10, 8), "Bob");
  ASSERT_EQ(sent.result, 0);
  const Outcome got = users.at("Bob").Decrypt(sent.data);
  EXPECT_EQ(got.result, DZ_E_PUBLIC_KEY);
  EXPECT_EQ(got.data, sent.data);
}

TEST_F(BindingCrypt, HostileBlocksNeverDecryptAndNeverReadOutside) {
  const Bytes plain = Pattern(40, 9);
  const Outcome sent = users.at("Alice").Encrypt(plain, "Carol;Bob");
  ASSERT_EQ(sent.result, 0);
  User& bob = users.at("Bob");
  // Every proper prefix, each in a buffer of exactly its size.
  for (size_t n = 0; n < sent.data.size(); ++n) {
    const Bytes prefix(sent.data.begin(), sent.data.begin() + static_cast<long>(n));
    const Outcome got = bob.Decrypt(prefix);
    EXPECT_NE(got.result, 0) << "prefix of " << n;
    EXPECT_EQ(got.data, prefix) << "prefix of " << n;
  }
  // Counts that promise more entries than the block holds, or none.
  for (int32_t count : {INT32_MAX, 3, 0, -1, INT32_MIN}) {
    Bytes block = sent.data;
    WriteInt32LE(block.data(), count);
    const int32_t result = bob.Decrypt(block).result;
    if (count == 3) {
      EXPECT_EQ(result, DZ_E_BAD_ARGUMENT);  // the walk runs off the end after Bob's entry
    } else if (count <= 0) {
      EXPECT_EQ(result, DZ_E_NOT_RECIPIENT) << count;
    } else {
      EXPECT_NE(result, 0);
    }
  }
  // A block of no terminators at all.
  const Bytes noZero(200, 0x41);
  EXPECT_EQ(bob.Decrypt(noZero).result, DZ_E_BAD_ARGUMENT);
}

TEST_F(BindingCrypt, MutualKeyIsCachedUntilTheCacheIsReleased) {
  User& alice = users.at("Alice");
  const Bytes key = alice.MutualKey("Carol");
  Bytes cached(kMutualKeySize, 0);
  EXPECT_TRUE(Access::FindCachedMutualKey(*alice.dll, "Carol", cached.data()));
  EXPECT_EQ(cached, key);
  alice.dll->ReleaseKeys();
  EXPECT_FALSE(Access::FindCachedMutualKey(*alice.dll, "Carol", cached.data()));
  EXPECT_EQ(alice.MutualKey("Carol"), key) << "the derivation is deterministic";
}

// Library failures, forced through the fault-injecting build.
using BindingCryptFaults = FaultyLibraryTest;

TEST_F(BindingCryptFaults, LibraryCodesPassThroughAndLeaveTheBuffer) {
  const Bytes plain = Pattern(30, 12);
  const std::vector<const char*> encryptFailures = {"RuroV_Random_Fill", "RuroV_LDH_PKA_gen_mutual_key",
                                                    "RuroV_G28147_1989_mac_update",
                                                    "RuroV_G28147_1989_gamma_crypt"};
  for (const char* name : encryptFailures) {
    dll->ReleaseKeys();  // forget the mutual key
    ASSERT_EQ(force(name, 9, 1), 0);
    const Outcome got = EncryptWith(*dll, medium, plain, "User5");
    EXPECT_EQ(got.result, 9) << name;
    EXPECT_EQ(got.data, plain) << name;
  }
  const Outcome sent = EncryptWith(*dll, medium, plain, "User5", 1);
  ASSERT_EQ(sent.result, 0);
  for (const char* name : {"RuroV_G28147_1989_gamma_ofb_decrypt", "RuroV_G28147_1989_gamma_ofb_clear",
                           "RuroV_G28147_1989_mac_final"}) {
    ASSERT_EQ(force(name, 10, 1), 0);
    const Outcome got = DecryptWith(*dll, medium, sent.data);
    EXPECT_EQ(got.result, 10) << name;
    EXPECT_EQ(got.data, sent.data) << name;
  }
  const Outcome got = DecryptWith(*dll, medium, sent.data);
  EXPECT_EQ(got.result, 0);
  EXPECT_EQ(Bytes(got.data.begin(), got.data.begin() + got.length), plain);
}

}  // namespace
}  // namespace dizora::binding_test
