// Signature blocks of SignData checked by an independent GOST R 34.10
// (nettle's gostdsa for -2001, GMP for -94) over a hash computed by libgcrypt,
// and signatures made independently checked by VerifyData.
#include <gtest/gtest.h>

#include "oracle_party.h"

namespace oracle {
namespace {

Bytes EngineSigns(const Party& signer, const Bytes& data) {
  Bytes block(static_cast<size_t>(GetMaxSignatureLength(signer.engine)));
  int32_t size = 0;
  EXPECT_EQ(SignData(signer.engine, data.data(), static_cast<int32_t>(data.size()), block.data(), &size, 0), 0);
  block.resize(static_cast<size_t>(size));
  return block;
}

// Data sizes around the 65535-byte pieces the hash is fed in.
const size_t kSizes[] = {1, 100, 65535, 65536, 140000};

// The oracle's hash is the published one (GOST R 34.11-94, test parameter set).
TEST(HashOracle, PublishedVectors) {
  EXPECT_EQ(Hash(Text("abc")), Bytes({0xf3, 0x13, 0x43, 0x48, 0xc4, 0x4f, 0xb1, 0xb2, 0xa2, 0x77, 0x72,
                                      0x9e, 0x22, 0x85, 0xeb, 0xb5, 0xcb, 0x5e, 0x0f, 0x29, 0xc9, 0x75,
                                      0xbc, 0x75, 0x3b, 0x70, 0x49, 0x7c, 0x06, 0xa4, 0xd5, 0x1d}));
  EXPECT_EQ(Hash(Bytes(128, 'U')), Bytes({0x53, 0xa3, 0xa3, 0xed, 0x25, 0x18, 0x0c, 0xef, 0x0c, 0x1d, 0x85,
                                          0xa0, 0x74, 0x27, 0x3e, 0x55, 0x1c, 0x25, 0x66, 0x0a, 0x87, 0x06,
                                          0x2a, 0x52, 0xd9, 0x26, 0xa9, 0xe8, 0xfe, 0x57, 0x33, 0xa4}));
}

// HashData in raw form: the full hash with "Hash method" GOST in any letter
// case, the legacy digest with anything else (the library's default is empty).
TEST(HashOracle, HashDataMatchesIndependentHash) {
  dz_api_test::Engine engine;
  for (const std::string method : {"GOST", "gost", "", "OLD_FORMAT"}) {
    engine.Set(dz_api_test::kHashMethod, method);
    for (const size_t size : kSizes) {
      const Bytes data = dz_api_test::PatternBytes(size, 9);
      Bytes hash(32);
      int32_t length = 32;
      ASSERT_EQ(HashData(engine, data.data(), static_cast<int32_t>(size), 0, hash.data(), &length), 0);
      const bool full = method == "GOST" || method == "gost";
      EXPECT_EQ(hash, full ? Hash(data) : LegacyDigest(data)) << size << " bytes, method \"" << method << '"';
    }
  }
}

class SignatureOracle : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(signer.Make("Signer", GetParam()));
    ASSERT_NO_FATAL_FAILURE(verifier.Make("Verifier", "2001"));
    ASSERT_NO_FATAL_FAILURE(verifier.Know(signer));
  }
  Party signer, verifier;
};

TEST_P(SignatureOracle, EngineSignatureVerifiesIndependently) {
  for (const size_t size : kSizes) {
    const Bytes data = dz_api_test::PatternBytes(size, 3);
    const Bytes block = EngineSigns(signer, data);
    const auto parsed = ReadSignatureBlock(block.data(), block.size());
    ASSERT_TRUE(parsed) << size;
    EXPECT_EQ(parsed->uid, "Signer");
    EXPECT_TRUE(SignatureVerifies(signer.pub, Hash(data), parsed->value.data())) << size;
    // The oracle is not blind: the same value over other data fails.
    Bytes other = data;
    other.back() ^= 1;
    EXPECT_FALSE(SignatureVerifies(signer.pub, Hash(other), parsed->value.data())) << size;
  }
}

// With the library's default "Hash method" the engine signs the legacy
// digest: above 65535 bytes only the first 65535 bytes count, repeated.
TEST_P(SignatureOracle, LegacyDigestSignatureVerifiesIndependently) {
  signer.engine.Set(dz_api_test::kHashMethod, "");
  for (const size_t size : kSizes) {
    const Bytes data = dz_api_test::PatternBytes(size, 5);
    const Bytes block = EngineSigns(signer, data);
    const auto parsed = ReadSignatureBlock(block.data(), block.size());
    ASSERT_TRUE(parsed) << size;
    EXPECT_TRUE(SignatureVerifies(signer.pub, LegacyDigest(data), parsed->value.data())) << size;
  }
}

// Both verification exports accept it, name the signer, and refuse other data.
TEST_P(SignatureOracle, IndependentSignatureVerifiesInTheEngine) {
  for (const auto verify : {VerifyData, VerifySignWOCheckValidity}) {
    for (const size_t size : kSizes) {
      const Bytes data = dz_api_test::PatternBytes(size, 7);
      const Bytes value = SignatureOf(signer.sec, Hash(data));
      ASSERT_EQ(value.size(), 64u);
      const Bytes block = WriteSignatureBlock("Signer", value);
      const auto blockSize = static_cast<int32_t>(block.size());
      char uid[256] = {};
      EXPECT_EQ(verify(verifier.engine, data.data(), static_cast<int32_t>(size), block.data(), blockSize, uid), 0)
          << size;
      EXPECT_STREQ(uid, "Signer");
      Bytes other = data;
      other.front() ^= 0x80;
      EXPECT_EQ(verify(verifier.engine, other.data(), static_cast<int32_t>(size), block.data(), blockSize, uid),
                DZ_LIB_BAD_SIGNATURE)
          << size;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Algorithms, SignatureOracle, ::testing::Values("2001", "1994"),
                         [](const auto& info) { return std::string("Gost") + info.param; });

}  // namespace
}  // namespace oracle
