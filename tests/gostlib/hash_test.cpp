// GOST R 34.11-94: published vectors, and the reference vectors of
// vectors/symmetric.txt (libgcrypt and nettle) on data fed in every kind of
// piece.
#include "gostlib_fixture.hpp"

#if DZ_GOST_LIVE_REFERENCE
#include <gcrypt.h>
#include <nettle/gosthash94.h>

#include "vectors/reference.hpp"
#endif

namespace gosttest {
namespace {

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(Hash, PublishedVectors) {
  const std::pair<std::string, std::string> vectors[] = {
      {"", "ce85b99cc46752fffee35cab9a7b0278abb4c2d2055cff685af4912c49490f8d"},
      {"a", "d42c539e367c66e9c88a801f6649349c21871b4344c6a573f849fdce62f314dd"},
      {"abc", "f3134348c44fb1b2a277729e2285ebb5cb5e0f29c975bc753b70497c06a4d51d"},
      {"message digest", "ad4434ecb18f2c99b60cbe59ec3d2469582b65273f48de72db2fde16a4889a4d"},
      {"This is message, length=32 bytes", "b1c466d37519b82e8319819ff32595e047a28cb6f83eff1c6916a815a637fffa"},
      {"Suppose the original message has length = 50 bytes",
       "471aba57a60a770d3a76130635c1fbea4ef14de51f78b4ae57dd893b62f55208"},
      {std::string(128, 'U'), "53a3a3ed25180cef0c1d85a074273e551c25660a87062a52d926a9e8fe5733a4"},
  };
  for (const auto& [message, digest] : vectors) {
    EXPECT_EQ(to_hex(lib_hash(text(message))), digest) << "message of " << message.size() << " bytes";
  }
}

TEST(Hash, MillionA) {
  EXPECT_EQ(to_hex(lib_hash(Bytes(1000000, 'a'))),
            "5c00ccc2734cdd3332d3d4749576e3c1a7dbaf0e7ea74e9fa602413c90a129fa");
}

// Every length from 0 to 70 bytes (zero to two blocks and more), 200 and
// 1000 bytes; the longest also in pieces of every kind.
TEST(Hash, MatchesTheReferenceOnEveryLengthAndPiece) {
  const std::vector<Row>& rows = vectors("symmetric.txt", "hash");  // data digest
  for (const Row& r : rows) EXPECT_EQ(to_hex(lib_hash(from_hex(r[0]))), r[1]) << r[0].size() / 2 << " bytes";
  ASSERT_FALSE(rows.empty());
  const Row& longest = rows.back();
  const Bytes data = from_hex(longest[0]);
  for (size_t piece : {1, 7, 31, 32, 33, 64, 999}) {
    EXPECT_EQ(to_hex(lib_hash(data, piece)), longest[1]) << "pieces of " << piece;
  }
}

#if DZ_GOST_LIVE_REFERENCE
// The CryptoPro table is one of the standard tables the library always
// serves; its digests are those of libgcrypt's and nettle's CryptoPro hash.
TEST(Hash, CryptoProTableAgreesWithLibgcryptAndNettle) {
  gostvec::init_gcrypt();
  for (const size_t n : {0, 1, 31, 32, 33, 1000, 70000}) {
    const Bytes data = random_bytes(n, uint32_t(n) + 11);
    Bytes gcrypt(32), nettle(GOSTHASH94CP_DIGEST_SIZE);
    gcry_md_hash_buffer(GCRY_MD_GOSTR3411_CP, gcrypt.data(), data.data(), data.size());
    gosthash94_ctx ctx;
    gosthash94cp_init(&ctx);
    gosthash94cp_update(&ctx, data.size(), data.data());
    gosthash94cp_digest(&ctx, nettle.size(), nettle.data());
    EXPECT_EQ(to_hex(lib_hash_with(cryptopro_params(), data)), to_hex(gcrypt)) << n;
    EXPECT_EQ(to_hex(nettle), to_hex(gcrypt)) << n;
  }
}
#endif

class HashMisuse : public ::testing::Test {
 protected:
  HashInitFn init = lib().fn<HashInitFn>("RuroV_R34_11_1994_init");
  UpdateFn update = lib().fn<UpdateFn>("RuroV_R34_11_1994_update");
  FinalFn final = lib().fn<FinalFn>("RuroV_R34_11_1994_final");
  ClearFn clear = lib().fn<ClearFn>("RuroV_R34_11_1994_clear");
  std::array<uint8_t, kParamBlockSize> params = test_params();
  uint8_t ctx[120] = {};
  uint8_t state[kStateSize] = {};
  uint8_t start[32] = {};
  uint8_t digest[32] = {};
};

TEST_F(HashMisuse, NullPointersGiveCode15) {
  EXPECT_EQ(init(nullptr, params.data(), state, start), 15);
  EXPECT_EQ(init(ctx, nullptr, state, start), 15);
  EXPECT_EQ(init(ctx, params.data(), nullptr, start), 15);
  EXPECT_EQ(init(ctx, params.data(), state, nullptr), 15);
  ASSERT_EQ(init(ctx, params.data(), state, start), 0);
  EXPECT_EQ(update(ctx, nullptr, 5), 15);
  EXPECT_EQ(update(ctx, nullptr, 0), 0);
  EXPECT_EQ(final(ctx, nullptr), 15);
  EXPECT_EQ(update(nullptr, "a", 1), 15);
  EXPECT_EQ(final(nullptr, digest), 15);
  EXPECT_EQ(clear(nullptr), 15);
}

TEST_F(HashMisuse, UninitialisedOrFinishedContextIsRefused) {
  EXPECT_EQ(update(ctx, "abc", 3), 1);
  EXPECT_EQ(final(ctx, digest), 1);
  ASSERT_EQ(init(ctx, params.data(), state, start), 0);
  EXPECT_EQ(update(ctx, "abc", -1), 14);
  ASSERT_EQ(update(ctx, "abc", 3), 0);
  ASSERT_EQ(final(ctx, digest), 0);
  EXPECT_EQ(update(ctx, "abc", 3), 2);
  EXPECT_EQ(final(ctx, digest), 2);
  EXPECT_EQ(clear(ctx), 0);
  EXPECT_EQ(clear(ctx), 0);
  EXPECT_EQ(update(ctx, "abc", 3), 1);
  EXPECT_EQ(std::count(std::begin(ctx), std::end(ctx), 0), 120) << "clear leaves the context zero-filled";
}

TEST_F(HashMisuse, CorruptedContextDoesNotCrash) {
  ASSERT_EQ(init(ctx, params.data(), state, start), 0);
  for (size_t i = 4; i < sizeof ctx; ++i) ctx[i] = 0xA5;  // keeps the tag, spoils the rest
  const int32_t rc = update(ctx, "abc", 3);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(final(ctx, digest), 1);
}

TEST_F(HashMisuse, UnusableTablesAreRefused) {
  auto zero = params;
  std::fill(zero.begin(), zero.begin() + 128, 0);
  EXPECT_EQ(init(ctx, zero.data(), state, start), 14);
  EXPECT_EQ(update(ctx, "abc", 3), 1) << "a failed init leaves no usable context";
  auto wide = params;
  wide[5] = 16;
  EXPECT_EQ(init(ctx, wide.data(), state, start), 14);
  auto repeated = params;
  repeated[1] = repeated[0];
  EXPECT_EQ(init(ctx, repeated.data(), state, start), 14);
}

TEST_F(HashMisuse, StartVectorIsUsed) {
  start[0] = 1;
  ASSERT_EQ(init(ctx, params.data(), state, start), 0);
  ASSERT_EQ(final(ctx, digest), 0);
  EXPECT_NE(to_hex(digest, 32), to_hex(lib_hash({})));
}

}  // namespace
}  // namespace gosttest
