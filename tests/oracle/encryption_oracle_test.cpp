// Encrypted blocks of EncodeData opened by an independent reader: the block
// parsed from its layout, the mutual key agreed through GMP and hashed by
// libgcrypt, the data key and the data decrypted by libgcrypt's GOST 28147-89
// and their MACs checked by libgcrypt's GOST28147_IMIT; and a block built the
// same way opened by DecodeData. Empty data is included: its MAC is zero on
// both sides.
#include <gtest/gtest.h>

#include <tuple>

#include "oracle_party.h"

namespace oracle {
namespace {

// The key `self` shares with `peer`: the hash of peer's exchange public key
// raised to self's exchange secret key.
Bytes MutualKey(const Party& self, const Party& peer) {
  return Hash(SharedSecret(self.sec.exchangeKey.data(), peer.pub.exchangeKey.data()));
}

Bytes Encrypt(int32_t method, const Bytes& key, const Bytes& iv, const Bytes& plain) {
  return method == 0 ? GammaCrypt(key.data(), iv.data(), plain) : FeedbackEncrypt(key.data(), iv.data(), plain);
}

Bytes Decrypt(int32_t method, const Bytes& key, const Bytes& iv, const Bytes& cipher) {
  return method == 0 ? GammaCrypt(key.data(), iv.data(), cipher) : FeedbackDecrypt(key.data(), iv.data(), cipher);
}

// Opens `block` as `self`, sent by `sender`; every step checked.
void ExpectOpens(const EncryptedBlock& block, const Party& self, const Party& sender, const Bytes& plain) {
  const EncryptedBlock::Entry* mine = nullptr;
  for (const auto& entry : block.entries)
    if (entry.uid == self.pub.uid) mine = &entry;
  ASSERT_NE(mine, nullptr) << "no entry for " << self.pub.uid;
  const Bytes mutual = MutualKey(self, sender);
  const Bytes dataKey = Decrypt(block.method, mutual, mine->iv, mine->key);
  EXPECT_EQ(Imit(mutual.data(), dataKey), mine->mac) << "MAC of the data key for " << self.pub.uid;
  const Bytes data = Decrypt(block.method, dataKey, block.iv, block.ciphertext);
  EXPECT_EQ(Imit(dataKey.data(), data), block.mac) << "MAC of the data for " << self.pub.uid;
  EXPECT_EQ(data, plain) << "data for " << self.pub.uid;
}

// A block from `sender` to `recipients`, built by the oracle alone.
EncryptedBlock BuildBlock(int32_t method, const Party& sender, const std::vector<const Party*>& recipients,
                          const Bytes& plain) {
  EncryptedBlock block;
  block.method = method;
  block.sender = sender.pub.uid;
  const Bytes dataKey = RandomBytes(32);
  for (const Party* r : recipients) {
    const Bytes mutual = MutualKey(sender, *r);
    EncryptedBlock::Entry e{r->pub.uid, RandomBytes(8), Imit(mutual.data(), dataKey), {}};
    e.key = Encrypt(method, mutual, e.iv, dataKey);
    block.entries.push_back(e);
  }
  block.iv = RandomBytes(8);
  block.mac = Imit(dataKey.data(), plain);
  block.ciphertext = Encrypt(method, dataKey, block.iv, plain);
  return block;
}

// Sizes around the 8-byte block of the cipher, and empty data.
const size_t kSizes[] = {0, 1, 7, 8, 9, 16, 1000, 65537};

// Parameter: the "Encrypt Method" setting (0 gamma, 1 gamma with feedback)
// and the signature algorithm of the parties' key pairs, which key agreement
// does not depend on.
class EncryptionOracle : public ::testing::TestWithParam<std::tuple<int32_t, const char*>> {
 protected:
  void SetUp() override {
    const auto [method, gost] = GetParam();
    ASSERT_NO_FATAL_FAILURE(client.Make("Client", gost));
    ASSERT_NO_FATAL_FAILURE(bank.Make("Bank", "2001"));
    ASSERT_NO_FATAL_FAILURE(client.Know(bank));
    ASSERT_NO_FATAL_FAILURE(bank.Know(client));
    client.engine.Set(dz_api_test::kEncryptMethod, std::to_string(method));
  }
  int32_t Method() const { return std::get<0>(GetParam()); }

  Party client, bank;
};

TEST_P(EncryptionOracle, EngineBlockOpensIndependently) {
  for (const size_t size : kSizes) {
    SCOPED_TRACE("size " + std::to_string(size));
    const Bytes plain = dz_api_test::PatternBytes(size, 11);
    Bytes buffer = plain;
    buffer.resize(size + static_cast<size_t>(GetMaxEncodeAddition(client.engine)));
    int32_t length = static_cast<int32_t>(size);
    ASSERT_EQ(EncodeData(client.engine, buffer.data(), &length, "Bank;Client"), 0);
    buffer.resize(static_cast<size_t>(length));

    const auto block = ReadEncryptedBlock(buffer);
    ASSERT_TRUE(block) << "unreadable block";
    EXPECT_EQ(block->method, Method());
    EXPECT_EQ(block->sender, "Client");
    ASSERT_EQ(block->entries.size(), 2u);
    EXPECT_EQ(block->entries[0].uid, "Bank");
    EXPECT_EQ(block->entries[1].uid, "Client");
    EXPECT_NE(block->entries[0].iv, block->entries[1].iv) << "each encryption draws its own IV";
    EXPECT_EQ(block->ciphertext.size(), size);
    ExpectOpens(*block, bank, client, plain);
    ExpectOpens(*block, client, client, plain);
  }
}

TEST_P(EncryptionOracle, IndependentBlockOpensInTheEngine) {
  for (const size_t size : kSizes) {
    SCOPED_TRACE("size " + std::to_string(size));
    const Bytes plain = dz_api_test::PatternBytes(size, 13);
    Bytes buffer = WriteEncryptedBlock(BuildBlock(Method(), client, {&client, &bank}, plain));
    int32_t length = static_cast<int32_t>(buffer.size());
    ASSERT_EQ(DecodeData(bank.engine, buffer.data(), &length, 0), 0);
    buffer.resize(static_cast<size_t>(length));
    EXPECT_EQ(buffer, plain);
  }
}

INSTANTIATE_TEST_SUITE_P(MethodsAndKeys, EncryptionOracle,
                         ::testing::Combine(::testing::Values(0, 1), ::testing::Values("2001", "1994")),
                         [](const auto& info) {
                           return "Method" + std::to_string(std::get<0>(info.param)) + "Gost" +
                                  std::get<1>(info.param);
                         });

}  // namespace
}  // namespace oracle
